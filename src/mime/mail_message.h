#pragma once
// TMailMessage: one Internet message held as a tree of parts (the message is the root part),
// with its header accessors, its classification (MapParts), the canonical restructuring and
// the building of its text. The message owns every part of its tree and its three recipient
// lists. Bad input never fails: parsing is lenient and accessors read missing data as empty.

#include "mime/mail_part.h"
#include "mime/mail_recipients.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

enum TEmbedMethod { emContentID = 0, emContentLocation = 1 };

enum class RestructureMode { IfStale = 0, Always = 1, ForText = 2, ForAttachment = 3, ForEmbedded = 4 };

// Parse progress: total length of the text and the offset reached.
using TProgressEvent =
    std::function<void(TMailMessage& sender, std::int64_t total, std::int64_t current)>;

// Outcome of an operation that can fail on bad input.
struct TMimeStatus {
    bool Ok = true;
    std::string Error;
    explicit operator bool() const { return Ok; }
    static TMimeStatus Failure(std::string error) { return {false, std::move(error)}; }
};

inline constexpr std::string_view MailerIdentification = "Pelmora v.3.0 by www.pelmora.example";
inline constexpr std::string_view DefaultContentLocationBase = "http://localhost/";

class TMailMessage : public TMailPart {
public:
    TMailMessage();
    ~TMailMessage();

    // Grows with every change the library makes to the message's own header lines; readers
    // that cache what they read from the header (the recipient lists) compare it.
    std::uint64_t HeaderVersion = 0;

    std::string Name = "MailMessage"; // component name used in error texts

    TMailPartList Attachments;
    TTextLines PlainTextLines; // the shown texts, UTF-8
    TTextLines HtmlTextLines;
    // Later text parts whose text is appended to the lines above (list footers, a text split
    // around a picture); Restructure joins them into the text part. Not owned.
    TMailPartList ExtraTextParts;
    TMailPart* PlainTextPart = nullptr;        // Not owned (may be the message itself).
    TMailPart* HtmlTextPart = nullptr;         // Not owned.
    TMailPart* MixedContainer = nullptr;       // Not owned.
    TMailPart* RelatedContainer = nullptr;     // Not owned.
    TMailPart* AlternativeContainer = nullptr; // Not owned.
    TMailPart* InnerContainer = nullptr;       // Not owned.
    std::string Charset = "utf-8";
    TProgressEvent OnProgress;
    int FileCounter = 0;
    TMailRecipients ToRecipients{*this, "To"};
    TMailRecipients CcRecipients{*this, "Cc"};
    TMailRecipients BccRecipients{*this, "Bcc"};
    TEncodingType TextEncoding = etQuotedPrintable;
    TEncodingType AttachEncoding = etBase64;
    TEmbedMethod EmbedMethod = emContentLocation;
    std::string ContentLocationBase{DefaultContentLocationBase};
    bool BodyStale = false;
    bool StructureStale = false;
    bool PartMapStale = false;

    // Header accessors.
    TMailAddress GetSender() const;
    TMailAddress GetReplyTarget() const;
    TMailAddress GetReceiptTarget() const;
    void SetSender(std::string_view name, std::string_view address);
    void SetReplyTarget(std::string_view name, std::string_view address);
    void SetReceiptTarget(std::string_view name, std::string_view address);
    std::string GetSubject() const;
    void SetSubject(std::string_view text);
    int GetPriority() const; // 0 highest, 2 normal, 4 lowest
    void SetPriority(int priority);
    double GetDate() const; // local day count, 0 when absent or invalid
    void SetDate(double t);
    std::string GetMessageId() const;
    void NewMessageId(std::string_view domain);
    void AddReceivedHeader(std::string_view fromHost, std::string_view byHost,
                           std::string_view forAddress, std::string_view withText);
    void ResetMessage();

    // Reading.
    void MapParts();
    TMimeStatus LoadMessageFile(const std::string& path);
    TMimeStatus SaveMessageFile(const std::string& path) const;
    // Writes the bytes of the message file (the folded header, a blank line and the body,
    // every line ending in CR LF) to fd from its current position. 0, or the errno of the
    // failed write; written, when given, gets the number of bytes written.
    int WriteMessageFile(int fd, std::size_t* written = nullptr) const;

    // Building.
    void Restructure(RestructureMode mode);
    void PutPlainText(std::string_view text);
    void PutHtmlText(std::string_view text);
    TMailPart* PutText(std::string_view text, TMailPart* part, std::string_view contentType);
    void DropPlainText();
    void DropHtmlText();
    TMimeStatus AttachFileFrom(const std::string& path, std::string_view contentType,
                               bool embedded);
    TMailPart* AttachData(std::string_view bytes, std::string_view fileName, bool embedded,
                          std::string_view contentType);
    TMimeStatus DropAttachment(int index);
    void BuildBody();

    // Called by parts as they are destroyed so no reference outlives its part.
    void ForgetPart(const TMailPart* part);
    // Called by ParseText of the message itself.
    void ReportProgress(std::int64_t total, std::int64_t current);
    // Called by ParseText of the parts: texts their headers are slices of, kept while the
    // tree may hold such slices (until the message itself is read anew).
    void KeepHeaderSource(const TBodyText& text);
    void ForgetHeaderSources() { HeaderSources_.clear(); }

private:
    void DropText(TMailPart*& textPart, TTextLines& lines);
    TMailPart* MakeContainer(std::string_view type, std::string_view suffix, TMailPart* outer);
    void JoinExtraTexts();
    void MapPart(TMailPart* part);
    std::vector<TBodyText> HeaderSources_;
    bool Destroying_ = false;
    bool BulkDestroy_ = false;
};

} // namespace pelmora
