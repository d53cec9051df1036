#include "transport/pop3_client.h"

#include "mime/mail_message.h"
#include "support/dovecot_server.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "transport/trusted_certificates.h"
#include "transport_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace pelmora {
namespace {

using namespace pelmora::testing;

const std::string kPassword = "s3cret pass";

std::string Message(const std::string& subject, const std::string& body) {
    return "From: Ann Sender <ann@example.org>\r\nTo: bob@example.org\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + subject + "@example.org>\r\n\r\n" + body;
}

// One Dovecot for the whole suite; every test signs in as a user of its own.
class Pop3ClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Files = std::make_unique<TTempDir>("pelmora-pop3-ca");
        Ca = std::make_unique<TTestCa>(Files->Path());
        ASSERT_TRUE(Ca->Ok());
        Server = std::make_unique<TDovecotServer>();
        TCertificateRequest request{"localhost", {"localhost"}, {"127.0.0.1"}};
        TTestCertificate certificate = Ca->Issue(request);
        TDovecotOptions options;
        options.CertPath = certificate.CertPath;
        options.KeyPath = certificate.KeyPath;
        for (const char* user : {"empty", "three", "dots", "dele", "drop", "progress", "tls"}) {
            options.Users.emplace_back(user, kPassword);
        }
        ASSERT_TRUE(Server->Start(options)) << Server->Log();
        for (int i = 1; i <= 3; ++i) {
            std::string body(static_cast<std::size_t>(i) * 100, 'a' + i);
            Server->AddMessage("three", Message("m" + std::to_string(i), body + "\r\n"));
        }
        Server->AddMessage("dots", Message("dots", DottedBody()));
        Server->AddMessage("dele", Message("first", "one\r\n"));
        Server->AddMessage("dele", Message("second", "two\r\n"));
        Server->AddMessage("drop", Message("kept", "kept\r\n"));
        std::string big;
        for (int i = 0; i < 20000; ++i) {
            big +=
                "line " + std::to_string(i) + " of a message long enough to arrive in pieces\r\n";
        }
        Server->AddMessage("progress", Message("big", big));
        Server->AddMessage("tls", Message("secure", "over TLS\r\n"));
    }

    static void TearDownTestSuite() {
        Server.reset();
        Ca.reset();
        Files.reset();
    }

    static std::string DottedBody() {
        return "first line\r\n.\r\n..two dots\r\n.one dot\r\nlast line\r\n";
    }

    std::unique_ptr<TPop3Client> Client(const std::string& user) {
        auto client = std::make_unique<TPop3Client>(Ui);
        client->Host = "127.0.0.1";
        client->Port = Server->Pop3Port();
        client->UserName = user;
        client->Password = kPassword;
        client->TimeOut = 10;
        return client;
    }

    std::unique_ptr<TPop3Client> SignedIn(const std::string& user) {
        auto client = Client(user);
        EXPECT_TRUE(client->OpenSession()) << client->LastReply();
        EXPECT_TRUE(client->SignIn()) << client->LastReply();
        return client;
    }

    static std::unique_ptr<TTempDir> Files;
    static std::unique_ptr<TTestCa> Ca;
    static std::unique_ptr<TDovecotServer> Server;
    TCountingUi Ui;
};

std::unique_ptr<TTempDir> Pop3ClientTest::Files;
std::unique_ptr<TTestCa> Pop3ClientTest::Ca;
std::unique_ptr<TDovecotServer> Pop3ClientTest::Server;

TEST_F(Pop3ClientTest, SignInListsMessagesWithTheirSizes) {
    auto client = SignedIn("three");
    EXPECT_TRUE(client->Connected);
    EXPECT_TRUE(client->LoggedIn);
    ASSERT_EQ(client->ServerMessageCount, 3);
    ASSERT_EQ(client->MessageSizes.size(), 4u);
    EXPECT_EQ(client->MessageSizes[0], 0);
    std::vector<std::string> stored = Server->Messages("three");
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(client->MessageSizes[i], static_cast<std::int64_t>(stored[i - 1].size()));
    }
    EXPECT_TRUE(client->CloseSession());
    EXPECT_FALSE(client->Connected);
    EXPECT_EQ(client->ServerMessageCount, -1);
}

TEST_F(Pop3ClientTest, EmptyMailboxListsNothing) {
    auto client = SignedIn("empty");
    EXPECT_EQ(client->ServerMessageCount, 0);
    EXPECT_TRUE(client->MessageSizes.empty());
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(Pop3ClientTest, WrongPasswordFailsWithTheServersAnswer) {
    // A server of its own: a failed sign-in slows down later sign-ins from the same address.
    TDovecotServer server;
    TCertificateRequest request{"localhost-2", {"localhost"}, {"127.0.0.1"}};
    TTestCertificate certificate = Ca->Issue(request);
    ASSERT_TRUE(server.Start({{{"bob", kPassword}}, certificate.CertPath, certificate.KeyPath}));
    auto client = Client("bob");
    client->Port = server.Pop3Port();
    client->Password = "wrong";
    ASSERT_TRUE(client->OpenSession());
    EXPECT_FALSE(client->SignIn());
    EXPECT_FALSE(client->LoggedIn);
    EXPECT_TRUE(client->LastReply().starts_with("-ERR")) << client->LastReply();
    EXPECT_EQ(client->ServerMessageCount, -1);
    client->DropConnection();
}

TEST_F(Pop3ClientTest, FetchUndoesDotStuffingAndParsesTheMessage) {
    auto client = SignedIn("dots");
    TMailMessage message;
    client->MailMessage = &message;
    ASSERT_TRUE(client->FetchMessage(1)) << client->LastReply();
    EXPECT_EQ(client->LastMessageText, Message("dots", DottedBody()));
    EXPECT_EQ(message.GetSubject(), "dots");
    EXPECT_EQ(message.GetSender().Address, "ann@example.org");
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(Pop3ClientTest, TopWithNoLinesGivesTheHeaderAsItIs) {
    auto client = SignedIn("dots");
    TMailMessage message;
    client->MailMessage = &message;
    ASSERT_TRUE(client->FetchHeaders(1, 0));
    const std::vector<std::string> expected = {"From: Ann Sender <ann@example.org>",
                                               "To: bob@example.org", "Subject: dots",
                                               "Message-ID: <dots@example.org>", ""};
    EXPECT_EQ(message.HeaderLines, expected);
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(Pop3ClientTest, NegativeAnswerToRetrEndsAtOnce) {
    auto client = SignedIn("three");
    TStopwatch watch;
    EXPECT_FALSE(client->FetchMessage(99));
    EXPECT_LT(watch.ElapsedMs(), 2000);
    EXPECT_TRUE(client->LastReply().starts_with("-ERR"));
    EXPECT_TRUE(client->LastMessageText.empty());
    EXPECT_TRUE(client->Connected);
    EXPECT_TRUE(client->LoggedIn);
    EXPECT_TRUE(client->FetchMessage(1)); // the conversation goes on
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(Pop3ClientTest, DeleteTakesEffectOnlyAfterQuit) {
    {
        auto client = SignedIn("drop");
        EXPECT_TRUE(client->DeleteOnServer(1));
        client->DropConnection();
        EXPECT_FALSE(client->Connected);
    }
    EXPECT_EQ(Server->MessageCount("drop"), 1);
    {
        auto client = SignedIn("dele");
        ASSERT_EQ(client->ServerMessageCount, 2);
        client->DeleteOnRetrieve = true;
        ASSERT_TRUE(client->FetchMessage(1));
        EXPECT_FALSE(client->DeleteOnServer(1)); // already marked by the fetch
        EXPECT_TRUE(client->CloseSession());
    }
    std::vector<std::string> left = Server->Messages("dele");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left[0].find("Subject: second"), std::string::npos);
}

TEST_F(Pop3ClientTest, UniqueIdsAreReadPerMessage) {
    auto client = SignedIn("three");
    ASSERT_TRUE(client->FetchUniqueIds());
    ASSERT_EQ(client->UniqueIds.size(), 4u);
    EXPECT_TRUE(client->UniqueIds[0].empty());
    EXPECT_FALSE(client->UniqueIds[1].empty());
    EXPECT_NE(client->UniqueIds[1], client->UniqueIds[2]);
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(Pop3ClientTest, FetchReportsProgressAgainstTheListedSize) {
    auto client = SignedIn("progress");
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    client->OnProgress = [&](const void* sender, std::int64_t total, std::int64_t current) {
        EXPECT_EQ(sender, client.get());
        progress.emplace_back(total, current);
    };
    ASSERT_TRUE(client->FetchMessage(1));
    ASSERT_GE(progress.size(), 1u);
    for (const auto& [total, current] : progress) {
        EXPECT_EQ(total, client->MessageSizes[1]);
        EXPECT_GT(current, 0);
    }
    EXPECT_GE(progress.back().second, client->MessageSizes[1]);
    EXPECT_TRUE(client->CloseSession());
}

TEST_F(Pop3ClientTest, WrongStateAndUnsafeInputSendNothing) {
    auto client = Client("three");
    EXPECT_FALSE(client->SignIn());
    EXPECT_FALSE(client->FetchMessage(1));
    EXPECT_FALSE(client->DeleteOnServer(1));
    EXPECT_FALSE(client->CloseSession());
    EXPECT_FALSE(client->Talk.IsOpen());

    const std::pair<std::string, std::string> unsafe[] = {
        {"bob\r\nDELE 1", kPassword}, {"bob", "pw\nQUIT"}, {std::string("bo\0b", 4), "pw"}};
    for (const auto& [user, password] : unsafe) {
        TScriptedServer server({Say("+OK ready\r\n"), ReadLine()});
        TPop3Client scripted(Ui);
        scripted.Host = "127.0.0.1";
        scripted.Port = server.Port();
        scripted.UserName = user;
        scripted.Password = password;
        scripted.TimeOut = 5;
        ASSERT_TRUE(scripted.OpenSession());
        EXPECT_FALSE(scripted.SignIn());
        scripted.DropConnection();
        server.Join();
        EXPECT_TRUE(server.Received().empty());
    }
}

TEST_F(Pop3ClientTest, TlsFromTheStartAndAfterStls) {
    const std::pair<TSecurity, bool> modes[] = {{TSecurity::SslTls, true},
                                                {TSecurity::StartTls, false}};
    for (const auto& [security, implicit] : modes) {
        auto client = Client("tls");
        client->Security = security;
        client->Port = implicit ? Server->Pop3sPort() : Server->Pop3Port();
        client->Tls.CaFile = Ca->CaPath();
        ASSERT_TRUE(client->OpenSession()) << client->LastReply();
        EXPECT_TRUE(client->Talk.IsSecure());
        ASSERT_TRUE(client->SignIn());
        ASSERT_TRUE(client->FetchMessage(1));
        EXPECT_EQ(client->LastMessageText, Message("secure", "over TLS\r\n"));
        EXPECT_TRUE(client->CloseSession());
    }
}

TEST_F(Pop3ClientTest, RefusedStlsEndsTheSessionBeforeAnyPassword)
{
    TScriptedServer server({Say("+OK ready\r\n"), ReadLine(), Say("-ERR not here\r\n"),
                            ReadLine()});
    TPop3Client client(Ui);
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.UserName = "bob";
    client.Password = kPassword;
    client.Security = TSecurity::StartTls;
    client.TimeOut = 5;
    EXPECT_FALSE(client.OpenSession());
    EXPECT_FALSE(client.Connected);
    EXPECT_NE(client.LastReply().find("-ERR not here"), std::string::npos) << client.LastReply();
    EXPECT_FALSE(client.SignIn());
    server.Join();
    EXPECT_EQ(server.Received(), std::vector<std::string>{"STLS"});
}

TEST_F(Pop3ClientTest, UntrustedCertificateIsRefusedUntilItsFingerprintIsTrusted) {
    auto client = Client("tls");
    client->Security = TSecurity::SslTls;
    client->Port = Server->Pop3sPort();
    EXPECT_FALSE(client->OpenSession()); // the test authority is not in the system store
    EXPECT_FALSE(client->Connected);
    EXPECT_FALSE(client->Talk.IsOpen());
    ASSERT_TRUE(client->Certificate.Refused);
    EXPECT_NE(client->LastReply().find("not trusted"), std::string::npos) << client->LastReply();
    EXPECT_NE(client->LastReply().find(client->Certificate.Check.Fingerprint), std::string::npos);

    TTrustedCertificates trusted;
    trusted.Trust(client->Certificate.Server, client->Certificate.Check.Fingerprint);
    client->Tls.Trusted = &trusted;
    ASSERT_TRUE(client->OpenSession()) << client->LastReply();
    EXPECT_TRUE(client->SignIn());
    EXPECT_TRUE(client->CloseSession());
}

} // namespace
} // namespace pelmora
