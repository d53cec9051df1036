#include "transport/smtp_client.h"

#include "mime/mail_message.h"
#include "support/scripted_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "transport/trusted_certificates.h"
#include "transport_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include <memory>

namespace pelmora {
namespace {

using namespace pelmora::testing;

std::unique_ptr<TMailMessage> BuiltMessage(const std::string& header, const std::string& body) {
    auto message = std::make_unique<TMailMessage>();
    message->ParseText(header + "\r\n" + body, true);
    message->BuildBody();
    return message;
}

std::unique_ptr<TMailMessage> SimpleMessage(const std::string& to = "bob@example.org") {
    return BuiltMessage("From: Ann <ann@example.org>\r\nTo: " + to +
                            "\r\nSubject: hello\r\nMessage-ID: <1@example.org>\r\n",
                        "Hello Bob.\r\n");
}

// One server with a certificate from the suite's authority, a login and a refused mailbox.
class SmtpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Files = std::make_unique<TTempDir>("pelmora-smtp-ca");
        Ca = std::make_unique<TTestCa>(Files->Path());
        ASSERT_TRUE(Ca->Ok());
        Certificate = Ca->Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
        Server = std::make_unique<TSmtpTestServer>();
        TSmtpTestOptions options;
        options.CertPath = Certificate.CertPath;
        options.KeyPath = Certificate.KeyPath;
        options.UserName = "ann";
        options.Password = "pa:ss word";
        options.Refused = {"nobody@example.org"};
        ASSERT_TRUE(Server->Start(options)) << Server->Log();
    }

    static void TearDownTestSuite() {
        Server.reset();
        Ca.reset();
        Files.reset();
    }

    std::unique_ptr<TSmtpClient> Client(int port) {
        auto client = std::make_unique<TSmtpClient>(Ui);
        client->Host = "127.0.0.1";
        client->Port = port;
        client->TimeOut = 10;
        return client;
    }

    // Messages the shared server received since the test began.
    std::vector<TReceivedMail> NewMail() const {
        std::vector<TReceivedMail> all = Server->Received();
        return {all.begin() + static_cast<std::ptrdiff_t>(Before), all.end()};
    }

    void SetUp() override { Before = Server ? Server->Received().size() : 0; }

    static std::unique_ptr<TTempDir> Files;
    static std::unique_ptr<TTestCa> Ca;
    static TTestCertificate Certificate;
    static std::unique_ptr<TSmtpTestServer> Server;
    std::size_t Before = 0;
    TCountingUi Ui;
};

std::unique_ptr<TTempDir> SmtpClientTest::Files;
std::unique_ptr<TTestCa> SmtpClientTest::Ca;
TTestCertificate SmtpClientTest::Certificate;
std::unique_ptr<TSmtpTestServer> SmtpClientTest::Server;

TEST_F(SmtpClientTest, SendsAMessageWithoutAuthentication) {
    auto client = Client(Server->Port());
    auto message = SimpleMessage();
    client->MailMessage = message.get();
    ASSERT_TRUE(client->OpenSession()) << client->LastReply();
    EXPECT_TRUE(client->LastReply().starts_with("220")) << client->LastReply();
    EXPECT_NE(client->LastReply().find("\r\n250"), std::string::npos); // EHLO reply kept
    EXPECT_FALSE(client->Authenticated);
    ASSERT_TRUE(client->SendMail()) << client->LastReply();
    EXPECT_TRUE(client->LastReply().starts_with("250"));
    EXPECT_TRUE(client->CloseSession());
    EXPECT_FALSE(client->Connected);
    std::vector<TReceivedMail> mail = NewMail();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].From, "ann@example.org");
    EXPECT_EQ(mail[0].To, std::vector<std::string>{"bob@example.org"});
    EXPECT_EQ(mail[0].Data, message->FullText());
}

TEST_F(SmtpClientTest, RecipientsAreSortedOnceEachAndBccIsHiddenThenRestored) {
    auto client = Client(Server->Port());
    auto message = BuiltMessage("From: ann@example.org\r\nTo: Zed <zed@example.org>, "
                                "amy@example.org\r\nCc: AMY@example.org, bob@example.org\r\n"
                                "Bcc: carol@example.org\r\nSubject: many\r\n",
                                "Hi all.\r\n");
    const std::vector<std::string> headerBefore = message->HeaderLines;
    client->MailMessage = message.get();
    ASSERT_TRUE(client->OpenSession());
    ASSERT_TRUE(client->SendMail()) << client->LastReply();
    std::vector<TReceivedMail> mail = NewMail();
    ASSERT_EQ(mail.size(), 1u);
    const std::vector<std::string> expected = {"amy@example.org", "bob@example.org",
                                               "carol@example.org", "zed@example.org"};
    EXPECT_EQ(mail[0].To, expected);
    EXPECT_EQ(mail[0].Data.find("Bcc:"), std::string::npos);
    EXPECT_NE(mail[0].Data.find("Cc: AMY@example.org"), std::string::npos);
    EXPECT_EQ(message->HeaderValue("Bcc"), "carol@example.org");
    // The message gained a Message-ID made from the local address and kept it.
    std::string id = message->GetMessageId();
    EXPECT_NE(id.find("@127.0.0.1"), std::string::npos) << id;
    EXPECT_NE(mail[0].Data.find(id), std::string::npos);
    EXPECT_EQ(message->HeaderLines.size(), headerBefore.size() + 1);
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(SmtpClientTest, LinesBeginningWithADotArriveUnchanged) {
    auto client = Client(Server->Port());
    const std::string body = "first\r\n.\r\n.leading dot\r\n..two dots\r\nlast\r\n";
    auto message = BuiltMessage("From: ann@example.org\r\nTo: bob@example.org\r\n", body);
    client->MailMessage = message.get();
    client->PacketSize = 16; // many pieces
    ASSERT_TRUE(client->OpenSession());
    ASSERT_TRUE(client->SendMail()) << client->LastReply();
    std::vector<TReceivedMail> mail = NewMail();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_TRUE(mail[0].Data.ends_with("\r\n\r\n" + body)) << mail[0].Data;
}

TEST_F(SmtpClientTest, StuffingTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\r\nb\r\n", "a\r\nb\r\n.\r\n"},
        {"a\r\nb", "a\r\nb\r\n.\r\n"},
        {".\r\n", "..\r\n.\r\n"},
        {".x\r\n..y\r\nz.\r\n", "..x\r\n...y\r\nz.\r\n.\r\n"},
        {"bare\nlf\n.dot\n", "bare\r\nlf\r\n..dot\r\n.\r\n"},
        {"", ".\r\n"},
        {"lone\rcr\r\n", "lone\rcr\r\n.\r\n"},
        {"x\r\r\n\r\n", "x\r\r\n\r\n.\r\n"},
        {"a\r\n\r\n.b\r\n", "a\r\n\r\n..b\r\n.\r\n"},
        {"a\r\nb\nc\r\n", "a\r\nb\r\nc\r\n.\r\n"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(StuffMessageText(std::string_view(text)), expected) << text;
        EXPECT_EQ(StuffMessageText(std::string(text)), expected) << text;
    }
}

TEST_F(SmtpClientTest, RefusedRecipientEndsTheSendAndTheNextMessageStillGoes) {
    auto client = Client(Server->Port());
    auto refused = SimpleMessage("bob@example.org, nobody@example.org");
    auto good = SimpleMessage("bob@example.org");
    ASSERT_TRUE(client->OpenSession());
    client->MailMessage = refused.get();
    TStopwatch watch;
    EXPECT_FALSE(client->SendMail());
    EXPECT_LT(watch.ElapsedMs(), 3000);
    EXPECT_TRUE(client->LastReply().starts_with("550")) << client->LastReply();
    EXPECT_TRUE(client->Connected);
    client->MailMessage = good.get();
    EXPECT_TRUE(client->SendMail()) << client->LastReply();
    EXPECT_TRUE(client->CloseSession());
    std::vector<TReceivedMail> mail = NewMail();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].To, std::vector<std::string>{"bob@example.org"});
}

TEST_F(SmtpClientTest, AuthLoginWithRightAndWrongPassword) {
    const std::pair<std::string, bool> cases[] = {{"pa:ss word", true}, {"wrong", false}};
    for (const auto& [password, accepted] : cases) {
        auto client = Client(Server->Port());
        client->UserName = "ann";
        client->Password = password;
        ASSERT_TRUE(client->OpenSession());
        EXPECT_EQ(client->AuthLogin(), accepted) << client->LastReply();
        EXPECT_EQ(client->Authenticated, accepted);
        EXPECT_TRUE(client->CloseSession());
    }
}

TEST_F(SmtpClientTest, AuthPlainWhenTheServerOffersNoLogin) {
    TSmtpTestServer server;
    TSmtpTestOptions options;
    options.UserName = "ann";
    options.Password = "pw";
    options.AuthRequired = true;
    options.PlainOnly = true;
    ASSERT_TRUE(server.Start(options));
    auto client = Client(server.Port());
    auto message = SimpleMessage();
    client->MailMessage = message.get();
    ASSERT_TRUE(client->OpenSession());
    EXPECT_FALSE(client->SendMail()); // the server wants authentication first
    client->UserName = "ann";
    client->Password = "pw";
    ASSERT_TRUE(client->AuthLogin()) << client->LastReply();
    EXPECT_TRUE(client->SendMail()) << client->LastReply();
    EXPECT_TRUE(client->CloseSession());
    EXPECT_EQ(server.ReceivedCount(), 1);
}

TEST_F(SmtpClientTest, RefusedEhloFallsBackToHelo) {
    TSmtpTestServer server;
    TSmtpTestOptions options;
    options.RefuseEhlo = true;
    ASSERT_TRUE(server.Start(options));
    auto client = Client(server.Port());
    ASSERT_TRUE(client->OpenSession()) << client->LastReply();
    const std::string& replies = client->LastReply();
    std::size_t greeting = replies.find("220");
    std::size_t refusal = replies.find("502");
    std::size_t helo = replies.find("250", refusal == std::string::npos ? 0 : refusal);
    EXPECT_EQ(greeting, 0u) << replies;
    EXPECT_NE(refusal, std::string::npos) << replies;
    EXPECT_NE(helo, std::string::npos) << replies;
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(SmtpClientTest, TlsFromTheStartAndAfterStartTls) {
    const std::pair<TSecurity, bool> modes[] = {{TSecurity::SslTls, true},
                                                {TSecurity::StartTls, false}};
    for (const auto& [security, implicit] : modes) {
        auto client = Client(implicit ? Server->TlsPort() : Server->Port());
        client->Security = security;
        client->Tls.CaFile = Ca->CaPath();
        client->UserName = "ann";
        client->Password = "pa:ss word";
        auto message = SimpleMessage();
        client->MailMessage = message.get();
        ASSERT_TRUE(client->OpenSession()) << client->LastReply();
        EXPECT_TRUE(client->Talk.IsSecure());
        EXPECT_TRUE(client->AuthLogin()) << client->LastReply();
        EXPECT_TRUE(client->SendMail()) << client->LastReply();
        EXPECT_TRUE(client->CloseSession());
    }
    EXPECT_EQ(NewMail().size(), 2u);
}

TEST_F(SmtpClientTest, BadCertificatesAreRefusedWithTheirReasonUntilTrusted) {
    struct TCase {
        TCertificateRequest Request;
        std::string Reason;
    };
    const TCase cases[] = {
        {{"expired", {"localhost"}, {"127.0.0.1"}, -30, -1}, "expired"},
        {{"elsewhere", {"mail.elsewhere.test"}, {}}, "another host"},
        {{"selfsigned", {"localhost"}, {"127.0.0.1"}, -1, 30, true}, "self-signed"},
    };
    for (const TCase& item : cases) {
        TTestCertificate certificate = Ca->Issue(item.Request);
        TSmtpTestServer server;
        TSmtpTestOptions options;
        options.CertPath = certificate.CertPath;
        options.KeyPath = certificate.KeyPath;
        ASSERT_TRUE(server.Start(options));
        auto client = Client(server.TlsPort());
        client->Security = TSecurity::SslTls;
        client->Tls.CaFile = Ca->CaPath();
        EXPECT_FALSE(client->OpenSession());
        EXPECT_FALSE(client->Talk.IsOpen());
        ASSERT_TRUE(client->Certificate.Refused) << item.Request.Name;
        EXPECT_EQ(client->Certificate.Check.Fingerprint, certificate.Fingerprint);
        EXPECT_NE(client->LastReply().find(item.Reason), std::string::npos) << client->LastReply();
        EXPECT_NE(client->LastReply().find(certificate.Fingerprint), std::string::npos);

        TTrustedCertificates trusted;
        trusted.Trust(client->Certificate.Server, certificate.Fingerprint);
        client->Tls.Trusted = &trusted;
        EXPECT_TRUE(client->OpenSession()) << client->LastReply();
        EXPECT_TRUE(client->CloseSession());
    }
}

// Progress starts at 0 and ends at the whole size; between them it is passed on at most every
// ProgressInterval (whoever shows it pumps the interface), however small the packets.
TEST_F(SmtpClientTest, SendingReportsProgressAtMostEveryInterval) {
    auto client = Client(Server->Port());
    std::string body;
    for (int i = 0; i < 20000; ++i) {
        body += "line " + std::to_string(i) + "\r\n";
    }
    auto message = BuiltMessage("From: ann@example.org\r\nTo: bob@example.org\r\n", body);
    client->MailMessage = message.get();
    client->PacketSize = 64;
    std::vector<std::int64_t> reports;
    std::int64_t total = 0;
    client->OnProgress = [&](const void* sender, std::int64_t all, std::int64_t current) {
        EXPECT_EQ(sender, client.get());
        total = all;
        reports.push_back(current);
    };
    ASSERT_TRUE(client->OpenSession());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client->SendMail());
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front(), 0);
    EXPECT_EQ(reports.back(), total);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(total, static_cast<std::int64_t>(StuffMessageText(message->FullText()).size()));
    // Tiny packets; still one report per interval at most between the first and the last.
    const auto between = std::count_if(reports.begin(), reports.end(),
                                       [&](std::int64_t c) { return c > 0 && c < total; });
    EXPECT_LE(between, took / TSmtpClient::ProgressInterval + 1);
    EXPECT_TRUE(client->CloseSession());
}

// What the client says to a scripted server that greets and answers EHLO.
std::vector<std::string> Conversation(const std::function<void(TSmtpClient&)>& action,
                                      THandshaking handshaking = hsAuto) {
    TScriptedServer server(
        {Say("220 scripted\r\n"), ReadLine(), Say("250 ok\r\n"), ReadLine(), Say("221 bye\r\n")});
    TCountingUi ui;
    TSmtpClient client(ui);
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.TimeOut = 5;
    client.Handshaking = handshaking;
    EXPECT_TRUE(client.OpenSession());
    action(client);
    client.DropConnection();
    server.Join();
    return server.Received();
}

TEST_F(SmtpClientTest, RefusedSendsSayNothingToTheServer) {
    auto stale = SimpleMessage();
    stale->BodyStale = true; // changed since it was built
    auto good = SimpleMessage();
    const std::vector<std::function<bool(TSmtpClient&)>> sends = {
        [](TSmtpClient& c) { return c.SendMail(); }, // no message
        [&](TSmtpClient& c) {
            c.MailMessage = stale.get();
            return c.SendMail();
        },
        [&](TSmtpClient& c) {
            c.MailMessage = good.get();
            return c.SendMailTo("a@b.c", " , ");
        },
        [&](TSmtpClient& c) {
            c.MailMessage = good.get();
            return c.SendMailTo("a@b.c", "x@y.z\r\nRCPT TO:<evil@y.z>");
        },
        [&](TSmtpClient& c) {
            c.MailMessage = good.get();
            return c.SendMailTo(std::string("a@b.c\0x", 7), "x@y.z");
        },
        [&](TSmtpClient& c) {
            c.UserName = "ann\r\nMAIL FROM:<a@b.c>";
            return c.AuthLogin();
        },
    };
    for (const auto& send : sends) {
        std::vector<std::string> said =
            Conversation([&](TSmtpClient& client) { EXPECT_FALSE(send(client)); });
        ASSERT_EQ(said.size(), 1u);
        EXPECT_TRUE(said[0].starts_with("EHLO ")) << said[0];
    }
}

TEST_F(SmtpClientTest, RefusedStartTlsEndsTheSessionBeforeAnyPassword)
{
    TScriptedServer server({Say("220 hi\r\n"), ReadLine(), Say("250 ok\r\n"), ReadLine(),
                            Say("454 4.7.0 TLS not available\r\n"), ReadLine()});
    TSmtpClient client(Ui);
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.Security = TSecurity::StartTls;
    client.UserName = "ann";
    client.Password = "secret";
    client.TimeOut = 5;
    EXPECT_FALSE(client.OpenSession());
    EXPECT_FALSE(client.Connected);
    EXPECT_NE(client.LastReply().find("454"), std::string::npos) << client.LastReply();
    EXPECT_FALSE(client.AuthLogin());
    server.Join();
    std::vector<std::string> said = server.Received();
    ASSERT_EQ(said.size(), 2u);
    EXPECT_TRUE(said[0].starts_with("EHLO "));
    EXPECT_EQ(said[1], "STARTTLS");
}

TEST_F(SmtpClientTest, ManualHandshakingSendsNoGreeting) {
    std::vector<std::string> said = Conversation(
        [](TSmtpClient& client) {
            EXPECT_TRUE(client.Connected);
            EXPECT_EQ(client.LastReply(), "220 scripted\r\n");
            EXPECT_TRUE(client.SayEhlo());
        },
        hsManual);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said[0].starts_with("EHLO "));
}

TEST_F(SmtpClientTest, MultiLineReplyInPiecesIsReadWhole) {
    TScriptedServer server({Say("220-scripted\r\n"), Pause(200), Say("220 ready\r\n"), ReadLine(),
                            Say("250-scripted\r\n"), Pause(200),
                            Say("250-AUTH PLAIN\r\n250 SIZE 1000\r\n"), ReadLine(),
                            Say("221 bye\r\n")});
    TCountingUi ui;
    TSmtpClient client(ui);
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.TimeOut = 5;
    ASSERT_TRUE(client.OpenSession()) << client.LastReply();
    const std::vector<std::string> extensions = {"AUTH PLAIN", "SIZE 1000"};
    EXPECT_EQ(client.Extensions, extensions);
    EXPECT_TRUE(client.CloseSession()) << client.LastReply();
}

struct TSmtpHostileCase {
    std::string Name;
    std::vector<TScriptStep> Script;
    std::vector<bool> Results; // OpenSession, SendMail
};

void PrintTo(const TSmtpHostileCase& item, std::ostream* out) {
    *out << item.Name;
}

class SmtpHostilePeerTest : public ::testing::TestWithParam<TSmtpHostileCase> {};

TEST_P(SmtpHostilePeerTest, EndsInBoundedTimeAndMemory) {
    const TSmtpHostileCase& item = GetParam();
    TScriptedServer server(item.Script);
    TCountingUi ui;
    TSmtpClient client(ui);
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.TimeOut = 1;
    client.Deadline = 2;
    auto message = SimpleMessage();
    client.MailMessage = message.get();
    TStopwatch watch;
    std::vector<bool> results;
    for (std::size_t step = 0; step < item.Results.size(); ++step) {
        results.push_back(step == 0 ? client.OpenSession() : client.SendMail());
    }
    EXPECT_EQ(results, item.Results);
    EXPECT_FALSE(client.LastReply().empty());
    EXPECT_LT(watch.ElapsedMs(), 4000);
    EXPECT_LE(client.Talk.ReplyBuffer.size(), 8u * 1024 * 1024);
    client.DropConnection();
}

std::vector<TScriptStep> Greeted(std::vector<TScriptStep> rest) {
    std::vector<TScriptStep> script = {Say("220 hi\r\n"), ReadLine(), Say("250 ok\r\n")};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, SmtpHostilePeerTest,
    ::testing::Values(
        TSmtpHostileCase{"GreetingNeverComes", {Hold()}, {false}},
        TSmtpHostileCase{"ServiceRefused", {Say("554 go away\r\n"), Hold()}, {false}},
        TSmtpHostileCase{"GarbageGreeting", {Say("+OK this is POP\r\n"), Hold()}, {false}},
        TSmtpHostileCase{"EndlessGreeting", {Flood("220-more and more\r\n")}, {false}},
        TSmtpHostileCase{"ClosedMidEhloReply",
                         {Say("220 hi\r\n"), ReadLine(), Say("250-part"), CloseConnection()},
                         {false}},
        TSmtpHostileCase{
            "RefusalInPieces",
            Greeted({ReadLine(), Say("550-no\r\n"), Pause(100), Say("550 really not\r\n"),
                     ReadLine(), Say("250 reset\r\n"), Hold()}),
            {true, false}},
        TSmtpHostileCase{
            "RefusalWithoutEnd", Greeted({ReadLine(), Say("550-no\r\n"), Hold()}), {true, false}},
        TSmtpHostileCase{"MailFromNeverAnswered", Greeted({ReadLine(), Hold()}), {true, false}},
        // A byte now and then keeps the inactivity time-out from ever running out.
        TSmtpHostileCase{"TrickledGreeting", {Trickle("220-slowly ", 200)}, {false}},
        TSmtpHostileCase{"TrickledDataReply",
                         Greeted({ReadLine(), Say("250 ok\r\n"), ReadLine(), Say("250 ok\r\n"),
                                  ReadLine(), Say("354 go\r\n"), ReadData(),
                                  Trickle("250 queued", 200)}),
                         {true, false}},
        TSmtpHostileCase{"BareLineFeeds",
                         {Say("220-hi\n220 there\n"), ReadLine(), Say("250-ok\n250 SIZE 9\n"),
                          ReadLine(), Say("250 ok\n"), ReadLine(), Say("250 ok\n"), ReadLine(),
                          Say("354 go\n"), ReadData(), Say("250 queued\n"), Hold()},
                         {true, true}},
        TSmtpHostileCase{"ClosedAfterData",
                         Greeted({ReadLine(), Say("250 ok\r\n"), ReadLine(), Say("250 ok\r\n"),
                                  ReadLine(), Say("354 go\r\n"), ReadData(), CloseConnection()}),
                         {true, false}}),
    [](const ::testing::TestParamInfo<TSmtpHostileCase>& info) { return info.param.Name; });

} // namespace
} // namespace pelmora
