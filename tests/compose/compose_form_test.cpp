#include "compose/compose_form.h"

#include "compose/attachment_list.h"
#include "compose/compose_save.h"
#include "compose/compose_text.h"
#include "compose_fixture.h"
#include "mime/mime_text.h"

#include <filesystem>

namespace pelmora::compose {
namespace {

namespace fs = std::filesystem;

// A message as mail programs send them: an HTML text with a picture it shows, a plain
// alternative in Latin-1 and an attached file.
const std::string kRichMessage =
    "From: Ann Lee <ann@x.org>\r\n"
    "To: Me Myself <me@example.org>, Bob <bob@y.org>\r\n"
    "Cc: Carl <carl@z.org>, me@example.org\r\n"
    "Subject: Plans\r\n"
    "Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
    "Message-ID: <orig.1@x.org>\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
    "\r\n"
    "--outer\r\n"
    "Content-Type: multipart/related; boundary=\"rel\"\r\n"
    "\r\n"
    "--rel\r\n"
    "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
    "\r\n"
    "--alt\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Gr=FC=DFe\r\n"
    "--alt\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "\r\n"
    "<html><body><p>Gr\xC3\xBC\xC3\x9F" "e</p><img src=\"cid:logo@x.org\"></body></html>\r\n"
    "--alt--\r\n"
    "--rel\r\n"
    "Content-Type: image/png; name=\"logo.png\"\r\n"
    "Content-ID: <logo@x.org>\r\n"
    "Content-Disposition: inline; filename=\"logo.png\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "iVBORw0KGgo=\r\n"
    "--rel--\r\n"
    "--outer\r\n"
    "Content-Type: application/pdf; name=\"plan.pdf\"\r\n"
    "Content-Disposition: attachment; filename=\"plan.pdf\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "JVBERi0xLjQK\r\n"
    "--outer--\r\n";

const std::string kPlainMessage = "From: Ann Lee <ann@x.org>\r\n"
                                  "To: me@example.org\r\n"
                                  "Subject: Re: Lunch\r\n"
                                  "Date: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
                                  "Message-ID: <lunch@x.org>\r\n"
                                  "\r\n"
                                  "First line\r\n"
                                  "Second line\r\n";

std::vector<std::string> NonEmbeddedNames(const TMailMessage& message) {
    std::vector<std::string> names;
    for (const TMailPart* part : message.Attachments)
        if (!part->IsEmbedded)
            names.push_back(part->AttachmentFileName());
    return names;
}

TEST_F(ComposeTest, PlainReplyQuotesHeaderAndText) {
    auto form = Open(ModeReply, Received("1.eml", kPlainMessage));
    EXPECT_EQ(form->Subject, "Re: Lunch") << "no second prefix";
    EXPECT_EQ(form->To, "Ann Lee (ann@x.org)");
    EXPECT_FALSE(form->HtmlVisible);
    const std::vector<std::string> lines = SplitTextLines(form->PlainText);
    ASSERT_EQ(lines.size(), 12u) << form->PlainText;
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "> Subject: Re: Lunch");
    EXPECT_EQ(lines[3].rfind("> Date and Time: 10-12-2026", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4], "> To: " + form->AccountText);
    EXPECT_EQ(lines[5], "> From: Ann Lee (ann@x.org)");
    for (int i = 6; i < 10; ++i)
        EXPECT_EQ(lines[static_cast<size_t>(i)], "> ");
    EXPECT_EQ(lines[10], "> First line");
    EXPECT_EQ(lines[11], "> Second line");
}

TEST_F(ComposeTest, ReplyTargetsAndAttachments) {
    const std::string file = Received("_2.eml", kRichMessage);

    auto reply = Open(ModeReply, file);
    EXPECT_EQ(reply->To, "Ann Lee (ann@x.org)");
    EXPECT_EQ(reply->Cc, "");
    EXPECT_TRUE(reply->Message.Attachments.empty()) << "a reply keeps no attachment";
    EXPECT_TRUE(reply->HtmlVisible);
    EXPECT_NE(reply->HtmlText.find("Ann Lee (ann@x.org)"), std::string::npos);

    // Everybody the message reached, once, without the user's own address.
    auto all = Open(ModeReplyAll, file);
    EXPECT_EQ(all->To, "Ann Lee (ann@x.org)");
    EXPECT_EQ(all->Cc, "Bob (bob@y.org); Carl (carl@z.org)");

    auto forward = Open(ModeForward, file);
    EXPECT_EQ(forward->Subject, "Fw: Plans");
    EXPECT_EQ(NonEmbeddedNames(forward->Message), std::vector<std::string>{"plan.pdf"});
    // The picture shows from the window's own directory.
    EXPECT_EQ(forward->HtmlText.find("cid:"), std::string::npos) << forward->HtmlText;
    const size_t at = forward->HtmlText.find(forward->WorkDir());
    ASSERT_NE(at, std::string::npos) << forward->HtmlText;

    auto view = Open(ModeOpen, file, true);
    EXPECT_EQ(view->To, "Me Myself (me@example.org); Bob (bob@y.org)");
    EXPECT_EQ(view->PlainText, "Grüße") << "Latin-1 text shown as UTF-8";
    EXPECT_FALSE(view->ShowPlainInView);
    ASSERT_EQ(view->CidFiles.count("logo@x.org"), 1u);
    EXPECT_EQ(fs::path(view->CidFiles["logo@x.org"]).parent_path().string() + "/", view->WorkDir());
}

TEST_F(ComposeTest, ReplyToAddressWinsOnlyWhenItLooksLikeOne) {
    const std::string good = Received("3.eml", "From: Ann <ann@x.org>\r\nReply-To: List <list@x.org>\r\n"
                                               "Subject: a\r\n\r\nx\r\n");
    EXPECT_EQ(Open(ModeReply, good)->To, "List (list@x.org)");
    const std::string bad = Received("4.eml", "From: Ann <ann@x.org>\r\nReply-To: nobody\r\n"
                                              "Subject: a\r\n\r\nx\r\n");
    EXPECT_EQ(Open(ModeReply, bad)->To, "Ann (ann@x.org)");
}

TEST_F(ComposeTest, PicturesOfTwoWindowsNeverMeet) {
    auto withPicture = [&](const std::string& name, const std::string& cid, const std::string& data) {
        return Received(name, "From: a@x.org\r\nSubject: p\r\nMIME-Version: 1.0\r\n"
                              "Content-Type: multipart/related; boundary=\"r\"\r\n\r\n--r\r\n"
                              "Content-Type: text/html\r\n\r\n<img src=\"cid:" + cid + "\">\r\n"
                              "--r\r\nContent-Type: image/gif; name=\"" + cid + "\"\r\n"
                              "Content-ID: <" + cid + ">\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                              data + "\r\n--r--\r\n");
    };
    auto first = Open(ModeOpen, withPicture("5.eml", "logo", "QUFB"), true);
    auto second = Open(ModeOpen, withPicture("6.eml", "logo", "QkJC"), true);
    ASSERT_EQ(first->CidFiles.size(), 1u);
    ASSERT_EQ(second->CidFiles.size(), 1u);
    EXPECT_EQ(SlurpFile(first->CidFiles.begin()->second), "AAA");
    EXPECT_EQ(SlurpFile(second->CidFiles.begin()->second), "BBB");

    auto hostile = Open(ModeOpen, withPicture("7.eml", "../../../escape.gif", "QUFB"), true);
    ASSERT_EQ(hostile->CidFiles.size(), 1u);
    const fs::path written = hostile->CidFiles.begin()->second;
    EXPECT_EQ(written.parent_path().string() + "/", hostile->WorkDir());
    EXPECT_FALSE(fs::exists(fs::path(Shell->Dirs().Temp).parent_path() / "escape.gif"));

    const std::string dir = first->WorkDir();
    first.reset();
    EXPECT_FALSE(fs::exists(dir)) << "a window's files go with it";
}

TEST_F(ComposeTest, SaveTwiceKeepsOneDraftAndSendQueuesIt) {
    auto form = Open(ModeNew);
    EXPECT_TRUE(form->Modified) << "a new message counts as changed";
    form->To = "Bob (bob@y.org)";
    form->Subject = "Numbers";
    form->PlainText = "One\r\nTwo";
    form->HtmlVisible = false;

    const TFileResult first = SaveMessage(*form, *Shell);
    ASSERT_TRUE(first.Written) << (Ui.Popups.empty() ? "" : Ui.Popups.back().Request.Text) << form->AccountText;
    EXPECT_FALSE(form->Modified);
    const TFileResult second = SaveMessage(*form, *Shell);
    ASSERT_TRUE(second.Written);
    EXPECT_EQ(first.Target, second.Target);
    EXPECT_EQ(Files(kFolderDrafts).size(), 1u);
    const std::vector<TListRow> drafts = IndexRows(kFolderDrafts);
    ASSERT_EQ(drafts.size(), 1u);
    EXPECT_EQ(drafts[0].SubItem(1), "Bob (bob@y.org)");
    EXPECT_EQ(drafts[0].SubItem(2), "Numbers");

    const TFileResult sent = SendMessage(*form, *Shell);
    ASSERT_TRUE(sent.Written);
    EXPECT_EQ(sent.OldFile, first.Target) << "the draft goes once the outbox copy is written";
    EXPECT_TRUE(Files(kFolderDrafts).empty());
    EXPECT_TRUE(IndexRows(kFolderDrafts).empty());
    ASSERT_EQ(Files(kFolderOutbox).size(), 1u);
    ASSERT_EQ(IndexRows(kFolderOutbox).size(), 1u);
    const std::string queued = SlurpFile(sent.Target);
    EXPECT_NE(queued.find("@PXID1001>"), std::string::npos);
    EXPECT_NE(queued.find("Me Myself <me@example.org>"), std::string::npos);
}

TEST_F(ComposeTest, BadAddressesWriteNothing) {
    struct TCase {
        const char* To;
        const char* Cc;
        const char* Account;
    };
    for (const TCase& c : {TCase{"bob", "", nullptr}, TCase{"bob@y.org (Bob)", "", nullptr},
                           TCase{"bob@y.org", "carl", nullptr},
                           TCase{"bob@y.org", "", "Me (nowhere)"}, TCase{"", "", nullptr}}) {
        auto form = Open(ModeNew);
        form->To = c.To;
        form->Cc = c.Cc;
        if (c.Account)
            form->AccountText = c.Account;
        form->PlainText = "x";
        Ui.ClearRecords();
        EXPECT_FALSE(SaveMessage(*form, *Shell).Written) << c.To << " / " << c.Cc;
        EXPECT_FALSE(SendMessage(*form, *Shell).Written);
        EXPECT_FALSE(Ui.Popups.empty());
        EXPECT_TRUE(form->Modified);
    }
    EXPECT_TRUE(Files(kFolderDrafts).empty());
    EXPECT_TRUE(Files(kFolderOutbox).empty());
}

TEST_F(ComposeTest, EditedDraftKeepsItsFileAndAttachments) {
    const std::string drafts = FolderPath(Store, 1001, kFolderDrafts);
    PutFile(drafts + "9.eml", kRichMessage);
    auto form = Open(ModeOpen, drafts + "9.eml");
    EXPECT_EQ(NonEmbeddedNames(form->Message), std::vector<std::string>{"plan.pdf"});
    form->Subject = "Plans, changed";
    ASSERT_TRUE(SaveMessage(*form, *Shell).Written);
    EXPECT_EQ(Files(kFolderDrafts), std::vector<std::string>{"9.eml"});
    TMailMessage saved;
    ASSERT_TRUE(saved.LoadMessageFile(drafts + "9.eml"));
    saved.MapParts();
    EXPECT_EQ(saved.GetSubject(), "Plans, changed");
    EXPECT_EQ(NonEmbeddedNames(saved), std::vector<std::string>{"plan.pdf"});
    int embedded = 0;
    for (const TMailPart* part : saved.Attachments)
        embedded += part->IsEmbedded ? 1 : 0;
    EXPECT_EQ(embedded, 1) << "the picture is embedded again";
    ASSERT_EQ(saved.HtmlTextLines.size(), 1u);
    EXPECT_NE(saved.HtmlTextLines[0].find("cid:"), std::string::npos);
}

TEST_F(ComposeTest, HtmlToPlainAsksAndNoKeepsTheHtml) {
    auto form = Open(ModeNew);
    form->HtmlVisible = true;
    form->HtmlText = "<p>Hello <b>you</b></p>";
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    EXPECT_FALSE(SwitchBody(*form, *Shell));
    EXPECT_TRUE(form->HtmlVisible);
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_TRUE(SwitchBody(*form, *Shell));
    EXPECT_FALSE(form->HtmlVisible);
    EXPECT_EQ(form->PlainText, "Hello you");
    const size_t questions = Ui.Questions.size();
    EXPECT_TRUE(SwitchBody(*form, *Shell)) << "plain to HTML never asks";
    EXPECT_EQ(Ui.Questions.size(), questions);
    EXPECT_TRUE(form->HtmlVisible);
}

TEST_F(ComposeTest, AttachmentListReadOnlySaveAndOpen) {
    auto form = Open(ModeOpen, Received("10.eml", kRichMessage), true);
    TAttachmentList readOnly(form->Message, form->WorkDir(), true);
    EXPECT_EQ(readOnly.Rows(), std::vector<std::string>{"plan.pdf"});
    const std::string extra = Home.string() + "/extra.txt";
    PutFile(extra, "extra");
    EXPECT_EQ(readOnly.Add({extra}), 0);
    readOnly.Remove({0});
    EXPECT_EQ(readOnly.Count(), 1);
    EXPECT_FALSE(readOnly.Changed());

    const std::string folder = Home.string() + "/saved/";
    fs::create_directories(folder);
    ASSERT_EQ(readOnly.SaveRow(0, folder, Ui), folder + "plan.pdf");
    EXPECT_EQ(SlurpFile(folder + "plan.pdf"), "%PDF-1.4\n");
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    EXPECT_FALSE(readOnly.SaveRow(0, folder, Ui)) << "No keeps the existing file";
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_EQ(readOnly.SaveRow(0, folder, Ui), folder + "plan (2).pdf");

    const auto opened = readOnly.FileForOpening(0, Ui);
    ASSERT_TRUE(opened);
    EXPECT_EQ(fs::status(*opened).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(opened->rfind(form->WorkDir(), 0), 0u);

    auto compose = Open(ModeNew);
    TAttachmentList list(compose->Message, compose->WorkDir(), false);
    const std::string hostile = Home.string() + "/run.desktop";
    PutFile(hostile, "[Desktop Entry]\nExec=rm -rf ~\n");
    EXPECT_EQ(list.Add({extra, hostile, Home.string() + "/missing"}), 2);
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(list.Rows(), (std::vector<std::string>{extra, hostile}));
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    EXPECT_FALSE(list.FileForOpening(1, Ui)) << "a desktop entry is asked about";
    EXPECT_NE(Ui.Questions.back().Text.find("desktop entry"), std::string::npos);
    list.Remove({0});
    EXPECT_EQ(list.Rows(), std::vector<std::string>{hostile});
    EXPECT_EQ(list.SaveRow(0, folder, Ui), folder + "run.desktop") << "saved under its own name";
}

} // namespace
} // namespace pelmora::compose

namespace pelmora::compose {
namespace {

// A second account whose default project is 200002: choosing it as the sender files the
// message there.
class AccountChangeTest : public ComposeTest {
protected:
    std::unique_ptr<TComposeForm> OpenForTeam(TComposeMode mode, const std::string& file = "") {
        auto form = Open(mode, file);
        AccountSettings team = form->Context.Accounts.front();
        team.AccountName = "Team (team@example.org)";
        team.EmailAddress = "team@example.org";
        team.DisplayName = "Team";
        team.DefaultProject = 200002;
        form->Context.Accounts.push_back(team);
        form->AccountText = team.AccountName;
        form->AccountChanged = true;
        form->To = "bob@y.org";
        form->Subject = "From the team";
        form->PlainText = "Hello";
        form->HtmlVisible = false;
        return form;
    }
    std::vector<std::string> FilesOf(int project, int folder) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry :
             std::filesystem::directory_iterator(FolderPath(Store, project, folder), ec))
            if (IsMessageFileName(entry.path().filename().string()))
                names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(AccountChangeTest, NewMessageGoesToTheOtherAccountsProjectAndLeavesNoDraftBehind) {
    auto form = OpenForTeam(ModeNew);
    const TFileResult saved = SaveMessage(*form, *Shell);
    ASSERT_TRUE(saved.Written);
    EXPECT_EQ(saved.Project, 200002);
    EXPECT_EQ(FilesOf(200002, kFolderDrafts).size(), 1u);
    EXPECT_TRUE(Files(kFolderDrafts).empty());
    EXPECT_NE(SlurpFile(saved.Target).find("Team <team@example.org>"), std::string::npos);

    const TFileResult sent = SendMessage(*form, *Shell);
    ASSERT_TRUE(sent.Written);
    EXPECT_EQ(sent.Project, 200002);
    EXPECT_EQ(FilesOf(200002, kFolderOutbox).size(), 1u);
    // The reference stays that of the project the window was opened in.
    EXPECT_NE(SlurpFile(sent.Target).find("@PXID1001>"), std::string::npos);
    EXPECT_TRUE(FilesOf(200002, kFolderDrafts).empty()) << "the draft goes once the message is queued";
    EXPECT_TRUE(Files(kFolderOutbox).empty());
}

TEST_F(AccountChangeTest, EditedDraftMovesToTheOtherAccountsDrafts) {
    const std::string drafts = FolderPath(Store, 1001, kFolderDrafts);
    PutFile(drafts + "7.eml", kPlainMessage);
    auto form = OpenForTeam(ModeOpen, drafts + "7.eml");
    const TFileResult saved = SaveMessage(*form, *Shell);
    ASSERT_TRUE(saved.Written);
    EXPECT_EQ(FilesOf(200002, kFolderDrafts), std::vector<std::string>{"7.eml"});
    EXPECT_TRUE(Files(kFolderDrafts).empty()) << "the old file goes once the new one is written";
}

} // namespace
} // namespace pelmora::compose
