// Messages written by the composition windows, read back by other programs: Python's email
// package (default and strict policies) and a real SMTP server after the next transfer run.

#include "compose/attachment_list.h"
#include "compose/compose_save.h"
#include "compose_fixture.h"
#include "mime/base64.h"
#include "paramtree/text_util.h"
#include "processing/transfer_run.h"
#include "support/smtp_test_server.h"

#include <filesystem>
#include <map>

namespace pelmora::compose {
namespace {

namespace fs = std::filesystem;

// What Python's email package reads from a file, by "policy.key".
std::map<std::string, std::string> PythonReading(const std::string& path) {
    const std::string script = std::string(PELMORA_SOURCE_DIR) + "/tests/compose/read_message.py";
    const std::string output = CommandOutput("python3 '" + script + "' '" + path + "'");
    std::map<std::string, std::string> values;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return values;
}

struct TShapeCase {
    const char* Name;
    bool Html;
    bool Picture;
    bool Attachment;
};

class PythonReadsWhatWeWrite : public ComposeTest, public ::testing::WithParamInterface<TShapeCase> {};

TEST_P(PythonReadsWhatWeWrite, WithoutDefectsAndWithTheSameTexts) {
    const TShapeCase& shape = GetParam();
    auto form = Open(ModeNew);
    form->To = "Zoë Brontë (zoe@y.org); bob@y.org, Jo (jo@z.org)";
    form->Cc = "Carl Müller (carl@z.org)";
    form->Subject = "Grüße aus Köln – a long subject line that certainly has to be folded somewhere "
                    "before it reaches the end";
    form->PriorityIndex = 4;
    form->Receipt = true;
    const std::string picture = Home.string() + "/pic ture.png";
    PutFile(picture, std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, '\x01'));
    form->HtmlVisible = shape.Html;
    form->InsertedFiles.push_back(picture); // as the editor's image button records it
    if (shape.Html)
        form->HtmlText = "<html><body><p>Héllo &amp; welcome</p>" +
                         std::string(shape.Picture ? "<img src=\"" + picture + "\">" : "") +
                         "</body></html>";
    else
        form->PlainText = "Héllo & welcome\r\n.leading dot\r\nFrom the start\r\n" + std::string(1200, 'x');
    if (shape.Attachment) {
        TAttachmentList list(form->Message, form->WorkDir(), false);
        const std::string file = Home.string() + "/Überblick 2026.pdf";
        PutFile(file, std::string(5000, 'P'));
        ASSERT_EQ(list.Add({file}), 1);
    }
    const TFileResult result = SaveMessage(*form, *Shell);
    ASSERT_TRUE(result.Written);

    const auto read = PythonReading(result.Target);
    for (const std::string policy : {"default", "strict"}) {
        SCOPED_TRACE(policy);
        ASSERT_EQ(read.count(policy + ".error"), 0u) << read.at(policy + ".error");
        EXPECT_EQ(read.at(policy + ".defects"), "");
        EXPECT_EQ(read.at(policy + ".subject"), form->Subject);
        EXPECT_EQ(read.at(policy + ".from"), "me@example.org");
        EXPECT_EQ(read.at(policy + ".to"), "Zoë Brontë,zoe@y.org | ,bob@y.org | Jo,jo@z.org");
        EXPECT_EQ(read.at(policy + ".cc"), "Carl Müller,carl@z.org");
        EXPECT_NE(read.at(policy + ".message_id").find("@PXID1001>"), std::string::npos);
        EXPECT_EQ(read.at(policy + ".body_type"), shape.Html ? "text/html" : "text/plain");
        const std::string body = read.at(policy + ".body");
        if (shape.Html) {
            EXPECT_NE(body.find("Héllo &amp; welcome"), std::string::npos) << body;
        } else {
            EXPECT_EQ(body, "Héllo & welcome\\n.leading dot\\nFrom the start\\n" +
                                std::string(1200, 'x') + "\\n");
        }
        EXPECT_EQ(read.at(policy + ".attachments"),
                  shape.Attachment ? "Überblick 2026.pdf:5000" : "");
        if (shape.Picture) {
            EXPECT_EQ(read.at(policy + ".content_ids"), "<pic ture.png>");
            EXPECT_NE(body.find("cid:pic ture.png"), std::string::npos) << body;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, PythonReadsWhatWeWrite,
                         ::testing::Values(TShapeCase{"Plain", false, false, false},
                                           TShapeCase{"PlainWithAttachment", false, false, true},
                                           TShapeCase{"Html", true, false, false},
                                           TShapeCase{"HtmlWithPictureAndAttachment", true, true, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ComposeTest, LocalPathsNamedByAReceivedMessageAreNeverSentAlong) {
    const std::string secret = Home.string() + "/secret.png";
    PutFile(secret, "private key");
    const std::string path = Received("20.eml",
        "From: Mallory <m@evil.example>\r\nTo: me@example.org\r\nSubject: look\r\n"
        "MIME-Version: 1.0\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
        "<html><body background=\"" + secret + "\"><p>see <img src=\"file://" + secret +
        "\"><img src=\"/dev/zero\"></p></body></html>\r\n");
    auto form = Open(ModeReply, path);
    ASSERT_TRUE(form->HtmlVisible);
    const TFileResult result = SaveMessage(*form, *Shell);
    ASSERT_TRUE(result.Written);
    const std::string written = SlurpFile(result.Target);
    EXPECT_EQ(written.find("private key"), std::string::npos);
    EXPECT_EQ(written.find(Trim(EncodeBase64("private key"))), std::string::npos);
    EXPECT_EQ(PythonReading(result.Target).at("default.content_ids"), "");
}

TEST_F(ComposeTest, QueuedReplyIsSentByTheNextTransferRun) {
    pelmora::testing::TSmtpTestServer smtp;
    ASSERT_TRUE(smtp.Start()) << smtp.Log();
    SetAccountValue(123, std::to_string(smtp.Port()));
    SetAccountValue(105, "me");
    SetAccountValue(106, "secret");
    const std::string original = Received("_1.eml", "From: Ann <ann@x.org>\r\nTo: me@example.org\r\n"
                                                    "Subject: Question\r\nMessage-ID: <q1@x.org>\r\n"
                                                    "\r\nWill you come?\r\n");
    auto form = Open(ModeReply, original);
    form->PlainText = "Yes.\r\n" + form->PlainText;
    const TFileResult queued = SendMessage(*form, *Shell);
    ASSERT_TRUE(queued.Written);
    EXPECT_EQ(Files(kFolderOutbox).size(), 1u) << queued.Target;

    TTransferRun run(*Workspace);
    run.RunTransfer(1, kSendOnly, false, false);

    const auto received = smtp.Received();
    ASSERT_EQ(received.size(), 1u) << Shell->SessionLog().Joined();
    EXPECT_EQ(received[0].From, "me@example.org");
    EXPECT_EQ(received[0].To, std::vector<std::string>{"ann@x.org"});
    EXPECT_NE(received[0].Data.find("In-Reply-To: <q1@x.org>"), std::string::npos);
    EXPECT_NE(received[0].Data.find("@PXID1001>"), std::string::npos);
    EXPECT_NE(received[0].Data.find("> Will you come?"), std::string::npos);
    EXPECT_TRUE(Files(kFolderOutbox).empty());
    EXPECT_EQ(Files(kFolderSent).size(), 1u);
}

} // namespace
} // namespace pelmora::compose
