#pragma once
// TComposeForm: the state of one message window (a new message, a reply, a reply to all, a
// forward, an edited stored message, or a read-only view) without its widgets, and the
// filling of that state for its mode (PrepareForm, the reply header, the plain/HTML switch).
// The window copies the text fields in and out; the message object holds the attachments.
// Every window owns a private directory under the program's temporary directory for the
// pictures of its message and the attachments it opens; it is removed with the form.

#include "compose/compose_context.h"
#include "mime/mail_message.h"

#include <map>
#include <string>
#include <vector>

namespace pelmora {
class TShell;
}

namespace pelmora::compose {

enum TComposeMode { ModeNew = 0, ModeReply = 1, ModeReplyAll = 2, ModeOpen = 3, ModeForward = 4 };

// Items of the priority box, index 0 "Lowest" to 4 "Highest".
constexpr int kPriorityNormalIndex = 2;

class TComposeForm {
public:
    TComposeForm();
    ~TComposeForm();
    TComposeForm(const TComposeForm&) = delete;
    TComposeForm& operator=(const TComposeForm&) = delete;

    TComposeContext Context;
    TComposeMode Mode = ModeNew;
    bool ViewOnly = false;
    std::string MessageFile;
    std::string SourceFile;
    std::string SourceMessageId;
    bool Modified = false;
    bool AccountChanged = false;
    bool FromOutgoing = false;
    bool PrintOnOpen = false;

    // Fields of the window.
    std::vector<std::string> AccountItems;
    std::string AccountText;
    std::string DateText;
    std::string To;
    std::string Cc;
    std::string Bcc;
    std::string Subject;
    int PriorityIndex = kPriorityNormalIndex;
    bool Receipt = false;
    bool HtmlVisible = false; // composing: the HTML editor, else the plain editor
    std::string PlainText;    // lines joined with CR LF
    std::string HtmlText;     // the HTML document
    std::string Caption;
    // View mode: the plain text is shown instead of the HTML (reports, plain messages).
    bool ShowPlainInView = false;
    // View mode: the local file of each picture the HTML names by "cid:" (key: the
    // identifier after "cid:", lower case).
    std::map<std::string, std::string> CidFiles;
    // Local files the user put into the HTML body in this window (pictures, the body
    // background). Only these and the window's own files are embedded when the message is
    // built: a path that came with a received message never takes a file of this computer
    // along.
    std::vector<std::string> InsertedFiles;
    double MessageDate = 0;
    std::string LoadError; // set when the message file could not be read

    TMailMessage Message;

    // The window's private directory (ends in "/"), made on first use; empty when it cannot
    // be made.
    const std::string& WorkDir();

private:
    std::string WorkDirPath;
    bool WorkDirTried = false;
};

// "Pelmora - Project: <name>, ".
std::string CaptionHead(const TComposeContext& context, const TShell& shell);

// Fills the form for its mode from the context and MessageFile (set by the opener together
// with Mode and ViewOnly). Returns false when the window should close at once (no file for
// a mode that needs one). A file that cannot be read is reported (text 4/18) and leaves the
// form usable with LoadError set.
bool PrepareForm(TComposeForm& form, TShell& shell);

// Adds the quoted header block of a reply (plain: quoted lines; HTML: a block at the start).
void InsertReplyHeader(TComposeForm& form, const TShell& shell);

// The plain/HTML switch of a composing window. From HTML to plain it asks first (false when
// the user declined); from plain to HTML it never asks.
bool SwitchBody(TComposeForm& form, TShell& shell);

// Date texts: "ddd d mmm, yyyy - hh:nn.ss" for the date field; "dd-mm-yyyy hh:nn:ss" (the
// time left out at exactly midnight) in the reply header and print header.
std::string DateFieldText(double t);
std::string HeaderDateText(double t);

// The text of the whole message as stored ("Show Source").
std::string MessageSource(const TComposeForm& form);

} // namespace pelmora::compose
