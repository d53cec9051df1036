#include "transport/socket_talk.h"

#include "support/scripted_server.h"
#include "transport_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelmora {
namespace {

using namespace pelmora::testing;

struct TProgressRecord {
    std::int64_t Total;
    std::int64_t Current;
    bool operator==(const TProgressRecord&) const = default;
};

class SocketTalkTest : public ::testing::Test {
protected:
    TCountingUi Ui;
    TSocketTalk Talk{Ui};
    std::vector<TalkOutcome> Failures;

    void SetUp() override {
        Talk.OnReplyComplete = [](TSocketTalk&, TalkStep, bool& accepted, const std::string&) {
            accepted = true;
        };
        Talk.OnTalkFailure = [this](TSocketTalk& talk, TalkStep, TalkOutcome outcome) {
            Failures.push_back(outcome);
            talk.StopWaiting();
        };
    }

    bool Connect(const TScriptedServer& server) {
        Talk.ArmWait(TalkStep::Greeting);
        return Talk.Open("127.0.0.1", server.Port());
    }
};

TEST_F(SocketTalkTest, ReplyInPiecesWaitsForTerminatorAndEachPieceRestartsTheTimeOut) {
    // Three pieces 600 ms apart: longer than the one-second time-out in total, but never
    // a second without data.
    TScriptedServer server({ReadLine(), Say("+OK one"), Pause(600), Say(" two"), Pause(600),
                            Say(" three\r\n"), Hold()});
    ASSERT_TRUE(Connect(server));
    Talk.StopWaiting();
    Talk.TimeOut = 1;
    Talk.Send("HELLO\r\n", "\r\n", TalkStep::User);
    Talk.WaitReply();
    EXPECT_TRUE(Talk.ReplyAccepted);
    EXPECT_EQ(Talk.ReplyBuffer, "+OK one two three\r\n");
    EXPECT_TRUE(Failures.empty());
    EXPECT_EQ(Talk.CurrentStep, TalkStep::None);
    EXPECT_GT(Ui.Pumps, 10); // the interface was served while waiting
}

TEST_F(SocketTalkTest, EmptyTerminatorTakesTheFirstPiece) {
    TScriptedServer server({Say("220 first piece"), Pause(300), Say(" later\r\n"), Hold()});
    ASSERT_TRUE(Connect(server));
    Talk.WaitReply();
    EXPECT_TRUE(Talk.ReplyAccepted);
    EXPECT_EQ(Talk.ReplyBuffer, "220 first piece");
}

// Line ends are matched with the CR optional, and only at the very end of the reply.
TEST(TerminatorTest, MatchesWithOrWithoutCarriageReturns) {
    struct TCase {
        std::string_view Text;
        std::string_view Terminator;
        bool Matches;
    };
    const TCase cases[] = {
        {"+OK\r\n", "\r\n", true},
        {"+OK\n", "\r\n", true},
        {"+OK\r", "\r\n", false},
        {"+OK", "\r\n", false},
        {"+OK\r\n.\r\n", "\r\n.\r\n", true},
        {"+OK\n.\n", "\r\n.\r\n", true},
        {"x\r\n.\n", "\r\n.\r\n", true},
        {"x\n.\r\n", "\r\n.\r\n", true},
        {"x.\r\n", "\r\n.\r\n", false},
        {"x\r\n..\r\n", "\r\n.\r\n", false},
        {".\r\n", "\r\n.\r\n", false},
        {"", "", true},
    };
    for (const TCase& item : cases) {
        EXPECT_EQ(EndsWithTerminator(item.Text, item.Terminator), item.Matches)
            << ::testing::PrintToString(std::string(item.Text));
    }
}

// A byte now and then restarts the inactivity time-out, but not the command's deadline; data
// flowing at a fair rate earns more time.
TEST_F(SocketTalkTest, DeadlineEndsATrickleButNotAFairTransfer) {
    TScriptedServer trickle({ReadLine(), Trickle("+OK slowly", 100)});
    ASSERT_TRUE(Connect(trickle));
    Talk.StopWaiting();
    Talk.TimeOut = 1;
    Talk.Deadline = 1;
    TStopwatch watch;
    Talk.Send("RETR 1\r\n", "\r\n", TalkStep::Retrieve);
    Talk.WaitReply();
    EXPECT_FALSE(Talk.ReplyAccepted);
    ASSERT_EQ(Failures.size(), 1u);
    EXPECT_EQ(Failures[0], TalkOutcome::TimeOut);
    EXPECT_NE(Talk.ErrorText().find("did not finish its answer"), std::string::npos);
    EXPECT_GE(watch.ElapsedMs(), 900);
    EXPECT_LT(watch.ElapsedMs(), 2000);

    // 16 pieces of 64 kB over 1.6 s: longer than the deadline, but every 64 kB is a second more.
    std::vector<TScriptStep> script = {ReadLine()};
    for (int i = 0; i < 16; ++i) {
        script.push_back(Say(std::string(65536, 'a')));
        script.push_back(Pause(100));
    }
    script.push_back(Say("\r\n"));
    script.push_back(Hold());
    TScriptedServer fair(script);
    TSocketTalk talk(Ui);
    talk.OnReplyComplete = [](TSocketTalk&, TalkStep, bool& accepted, const std::string&) {
        accepted = true;
    };
    talk.ArmWait(TalkStep::Greeting);
    ASSERT_TRUE(talk.Open("127.0.0.1", fair.Port()));
    talk.StopWaiting();
    talk.TimeOut = 1;
    talk.Deadline = 1;
    talk.Send("RETR 1\r\n", "\r\n", TalkStep::Retrieve, 2 * 1024 * 1024);
    talk.WaitReply();
    EXPECT_TRUE(talk.ReplyAccepted) << talk.ErrorText();
    EXPECT_EQ(talk.ReplyBuffer.size(), 16u * 65536u + 2u);
}

TEST_F(SocketTalkTest, SilenceEndsTheWaitWithTimeOut) {
    TScriptedServer server({Hold()});
    ASSERT_TRUE(Connect(server));
    Talk.TimeOut = 1;
    TStopwatch watch;
    Talk.WaitReply();
    EXPECT_FALSE(Talk.ReplyAccepted);
    ASSERT_EQ(Failures.size(), 1u);
    EXPECT_EQ(Failures[0], TalkOutcome::TimeOut);
    EXPECT_EQ(Talk.Outcome, TalkOutcome::NoError); // the failure handler stopped the wait
    EXPECT_GE(watch.ElapsedMs(), 900);
    EXPECT_LT(watch.ElapsedMs(), 3000);
}

TEST_F(SocketTalkTest, ChunkedSendReportsProgressAfterEveryPiece) {
    struct TCase {
        std::size_t ChunkSize;
        std::size_t Length;
        std::vector<TProgressRecord> Expected;
    };
    const TCase cases[] = {
        {4096, 10000, {{10000, 0}, {10000, 4096}, {10000, 8192}, {10000, 10000}, {10000, 10000}}},
        {4096, 4096, {}}, // no longer than one piece: one write, no progress
        {0, 10000, {}},
    };
    for (const TCase& item : cases) {
        std::string text(item.Length - 2, 'x');
        text += "\r\n";
        TScriptedServer server({ReadLine(), Say("+OK\r\n")});
        TSocketTalk talk(Ui);
        std::vector<TProgressRecord> progress;
        talk.OnProgress = [&](const void*, std::int64_t total, std::int64_t current) {
            progress.push_back({total, current});
        };
        talk.OnReplyComplete = [](TSocketTalk&, TalkStep, bool& accepted, const std::string&) {
            accepted = true;
        };
        talk.ArmWait(TalkStep::Greeting);
        ASSERT_TRUE(talk.Open("127.0.0.1", server.Port()));
        talk.StopWaiting();
        talk.ChunkSize = item.ChunkSize;
        talk.Send(text, "\r\n", TalkStep::MessageText);
        EXPECT_EQ(talk.ChunkSize, 0u);
        talk.WaitReply();
        EXPECT_TRUE(talk.ReplyAccepted);
        EXPECT_EQ(progress, item.Expected) << "chunk " << item.ChunkSize << ", " << item.Length;
        server.Join();
        ASSERT_EQ(server.Received().size(), 1u);
        EXPECT_EQ(server.Received()[0].size(), item.Length - 2);
    }
}

TEST_F(SocketTalkTest, EndlessReplyEndsAtItsBound) {
    TScriptedServer server({ReadLine(), Flood(std::string(8192, 'z'))});
    ASSERT_TRUE(Connect(server));
    Talk.StopWaiting();
    Talk.TimeOut = 10;
    TStopwatch watch;
    Talk.Send("LIST\r\n", "\r\n.\r\n", TalkStep::List, 1024 * 1024);
    Talk.WaitReply();
    EXPECT_FALSE(Talk.ReplyAccepted);
    ASSERT_EQ(Failures.size(), 1u);
    EXPECT_EQ(Failures[0], TalkOutcome::ReceiveError);
    // At most one read burst beyond the bound was held.
    EXPECT_LT(Talk.ReplyBuffer.size(), 1024u * 1024u + 4u * 1024u * 1024u + 65536u);
    EXPECT_LT(watch.ElapsedMs(), 5000);
}

TEST_F(SocketTalkTest, PeerClosingMidReplyEndsTheWait) {
    TScriptedServer server({ReadLine(), Say("+OK partial\r\nline"), CloseConnection()});
    ASSERT_TRUE(Connect(server));
    Talk.StopWaiting();
    bool closed = false;
    Talk.OnPeerClosed = [&](TSocketTalk&) { closed = true; };
    TStopwatch watch;
    Talk.Send("RETR 1\r\n", "\r\n.\r\n", TalkStep::Retrieve);
    Talk.WaitReply();
    EXPECT_FALSE(Talk.ReplyAccepted);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(Talk.IsOpen());
    EXPECT_FALSE(Talk.Waiting);
    EXPECT_LT(watch.ElapsedMs(), 3000);
}

TEST_F(SocketTalkTest, UnreachablePortIsAConnectError) {
    int port = 0;
    {
        TScriptedServer server({}); // bound, then released when it goes
        port = server.Port();
    }
    Talk.ArmWait(TalkStep::Greeting);
    EXPECT_FALSE(Talk.Open("127.0.0.1", port));
    ASSERT_EQ(Failures.size(), 1u);
    EXPECT_EQ(Failures[0], TalkOutcome::ConnectError);
    EXPECT_FALSE(Talk.ErrorText().empty());
    EXPECT_FALSE(Talk.Waiting);
}

TEST_F(SocketTalkTest, ConnectsByNameAndReportsLocalAddress) {
    TScriptedServer server({Say("+OK hello\r\n"), Hold()});
    Talk.ArmWait(TalkStep::Greeting);
    ASSERT_TRUE(Talk.Open("localhost", server.Port())) << Talk.ErrorText();
    Talk.WaitReply();
    EXPECT_TRUE(Talk.ReplyAccepted);
    EXPECT_EQ(Talk.LocalAddress(), "127.0.0.1");
    EXPECT_FALSE(Talk.LocalHostName().empty());
}

TEST_F(SocketTalkTest, ConnectsToAnIpv6AddressAsItIs) {
    TScriptedServer server({Say("+OK v6\r\n"), Hold()}, true);
    if (server.Port() == 0) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    Talk.ArmWait(TalkStep::Greeting);
    ASSERT_TRUE(Talk.Open("::1", server.Port())) << Talk.ErrorText();
    Talk.WaitReply();
    EXPECT_EQ(Talk.ReplyBuffer, "+OK v6\r\n");
    EXPECT_EQ(Talk.LocalAddress(), "::1");
}

TEST_F(SocketTalkTest, TlsHandshakeWithAPlainTextPeerFailsCleanly) {
    const std::vector<TScriptStep> scripts[] = {
        {Say("220 plain text here\r\n"), Hold()},
        {CloseConnection()},
    };
    for (const auto& script : scripts) {
        TScriptedServer server(script);
        TSocketTalk talk(Ui);
        talk.TimeOut = 2;
        talk.ArmWait(TalkStep::Greeting);
        ASSERT_TRUE(talk.Open("127.0.0.1", server.Port()));
        TStopwatch watch;
        EXPECT_FALSE(talk.StartTls("127.0.0.1", ""));
        EXPECT_FALSE(talk.IsOpen());
        EXPECT_FALSE(talk.ErrorText().empty());
        EXPECT_LT(watch.ElapsedMs(), 3000);
    }
}

} // namespace
} // namespace pelmora
