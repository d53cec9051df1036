#include "transport/pop3_client.h"

#include "support/scripted_server.h"
#include "transport_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace pelmora {
namespace {

using namespace pelmora::testing;

constexpr std::size_t kMiB = 1024 * 1024;

// A conversation up to a signed-in state with the given listing.
std::vector<TScriptStep> SignedIn(std::string listing, std::vector<TScriptStep> rest) {
    std::vector<TScriptStep> script = {
        Say("+OK ready\r\n"), ReadLine(), Say("+OK\r\n"),         ReadLine(),
        Say("+OK\r\n"),       ReadLine(), Say(std::move(listing))};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

std::vector<TScriptStep> SignedIn(std::vector<TScriptStep> rest) {
    return SignedIn("+OK 1 messages\r\n1 100\r\n.\r\n", std::move(rest));
}

// Lines of text, size bytes in all, as a message body would have them.
std::string Lines(std::size_t size) {
    std::string line(78, 'q');
    line += "\r\n";
    std::string text;
    text.reserve(size + line.size());
    while (text.size() < size) {
        text += line;
    }
    return text;
}

struct THostileCase {
    std::string Name;
    std::vector<TScriptStep> Script;
    // Results of OpenSession, SignIn and FetchMessage(1), as far as listed.
    std::vector<bool> Results;
    int ServerMessageCount = -1; // after the last operation
    std::string ReplyHas;        // part of LastReply after the last operation
    std::string Text;            // LastMessageText after a fetch that succeeded
    std::size_t MaxMessageSize = 256 * kMiB;
    std::size_t MaxListingSize = 64 * kMiB;
    int Deadline = 0;
    std::string NeverSent; // a command the client must not send

    THostileCase&& WithText(std::string text) && {
        Text = std::move(text);
        return std::move(*this);
    }
    THostileCase&& WithLimits(std::size_t message, std::size_t listing = 64 * kMiB) && {
        MaxMessageSize = message;
        MaxListingSize = listing;
        return std::move(*this);
    }
    THostileCase&& WithDeadline(int seconds) && {
        Deadline = seconds;
        return std::move(*this);
    }
    THostileCase&& WithNeverSent(std::string command) && {
        NeverSent = std::move(command);
        return std::move(*this);
    }
};

THostileCase Case(std::string name, std::vector<TScriptStep> script, std::vector<bool> results,
                  int count = -1, std::string replyHas = {}) {
    THostileCase item;
    item.Name = std::move(name);
    item.Script = std::move(script);
    item.Results = std::move(results);
    item.ServerMessageCount = count;
    item.ReplyHas = std::move(replyHas);
    return item;
}

void PrintTo(const THostileCase& item, std::ostream* out) {
    *out << item.Name;
}

class Pop3HostilePeerTest : public ::testing::TestWithParam<THostileCase> {};

// Each conversation runs in a child process whose peak memory is measured on its own.
TEST_P(Pop3HostilePeerTest, EndsInBoundedTimeAndMemory) {
    const THostileCase& item = GetParam();
    TScriptedServer server(item.Script);
    TChildRun run = RunInChild([&item, &server] {
        TCountingUi ui;
        TPop3Client client(ui);
        client.Host = "127.0.0.1";
        client.Port = server.Port();
        client.UserName = "bob";
        client.Password = "pw";
        client.TimeOut = 1;
        client.Deadline = item.Deadline;
        client.MaxMessageSize = item.MaxMessageSize;
        client.MaxListingSize = item.MaxListingSize;
        std::string results;
        for (std::size_t step = 0; step < item.Results.size(); ++step) {
            bool ok = step == 0   ? client.OpenSession()
                      : step == 1 ? client.SignIn()
                                  : client.FetchMessage(1);
            results += ok ? '1' : '0';
        }
        std::string reply = client.LastReply();
        std::replace(reply.begin(), reply.end(), '\n', ' ');
        std::string text = results + "\n" + std::to_string(client.ServerMessageCount) + "\n" +
                           reply + "\n" + client.LastMessageText.Copy();
        client.DropConnection();
        return text;
    });
    ASSERT_TRUE(run.Exited);
    std::istringstream out(run.Output);
    std::string results;
    std::string count;
    std::string reply;
    std::getline(out, results);
    std::getline(out, count);
    std::getline(out, reply);
    std::string text = run.Output.substr(
        std::min<std::size_t>(run.Output.size(), results.size() + count.size() + reply.size() + 3));

    std::string expected;
    for (bool result : item.Results) {
        expected += result ? '1' : '0';
    }
    EXPECT_EQ(results, expected);
    EXPECT_EQ(count, std::to_string(item.ServerMessageCount));
    EXPECT_FALSE(reply.empty());
    EXPECT_NE(reply.find(item.ReplyHas), std::string::npos) << reply;
    if (results.ends_with('1')) {
        EXPECT_EQ(text, item.Text);
    } else {
        EXPECT_TRUE(text.empty()) << "nothing half fetched is kept";
    }
    EXPECT_LT(run.ElapsedMs, 4000);
    // The largest message allowed here is 2 MiB: twice that, one read burst and some slack.
    EXPECT_LT(run.PeakGrowthKb, 16 * 1024) << "kB";
    server.Join();
    if (!item.NeverSent.empty()) {
        for (const std::string& line : server.Received()) {
            EXPECT_NE(line, item.NeverSent);
        }
    }
}

// A message is held once while it arrives: in place when its listed size is right; when the
// server listed it far too small, its blocks are joined at the end, each freed once copied,
// which costs about half its size more (never twice). The server's copy is the measure of
// what must arrive.
TEST(Pop3MessageMemoryTest, MessageIsHeldOnceOrAtMostTwice) {
    const std::string message = "Subject: big\r\n\r\n" + Lines(48 * kMiB);
    const long messageKb = static_cast<long>(message.size() / 1024);
    struct TCase {
        std::int64_t Listed;
        double MaxRatio;
    };
    for (const TCase& item :
         {TCase{static_cast<std::int64_t>(message.size()), 1.0}, TCase{1000, 1.5}}) {
        TScriptedServer server(SignedIn("+OK\r\n1 " + std::to_string(item.Listed) + "\r\n.\r\n",
                                        {ReadLine(), Say("+OK\r\n" + message + ".\r\n"), Hold()}));
        TChildRun run = RunInChild([&server, &message] {
            TCountingUi ui;
            TPop3Client client(ui);
            client.Host = "127.0.0.1";
            client.Port = server.Port();
            client.TimeOut = 5;
            bool fetched = client.OpenSession() && client.SignIn() && client.FetchMessage(1);
            return std::string(fetched && client.LastMessageText == message ? "same" : "differs") +
                   " " + client.LastReply();
        });
        ASSERT_TRUE(run.Exited);
        EXPECT_TRUE(run.Output.starts_with("same")) << run.Output;
        // Beyond the text itself: one read burst of 4 MiB and some slack.
        EXPECT_LT(run.PeakGrowthKb, static_cast<long>(messageKb * item.MaxRatio) + 8 * 1024)
            << "listed " << item.Listed << ", message " << messageKb << " kB";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Pop3HostilePeerTest,
    ::testing::Values(
        Case("GreetingNeverComes", {Hold()}, {false}, -1, "no answer"),
        Case("GarbageGreeting", {Say("HTTP/1.1 400 Bad Request\r\n"), Hold()}, {false}),
        Case("ClosedBeforeGreeting", {CloseConnection()}, {false}),
        // A greeting split anywhere, between CR and LF as well, is one greeting.
        Case("SplitGreeting",
             {Say("+"), Pause(150), Say("OK rea"), Pause(150), Say("dy\r"), Pause(150), Say("\n"),
              ReadLine(), Say("+OK\r\n"), ReadLine(), Say("+OK\r\n"), ReadLine(),
              Say("+OK 1 messages\r\n1 14\r\n.\r\n"), ReadLine(),
              Say("+OK\r\nSubject: s\r\n\r\n.\r\n"), Hold()},
             {true, true, true}, 1, "+OK")
            .WithText("Subject: s\r\n\r\n"),
        // Every line ends with a bare LF, the end lines of the listing and message included.
        Case("BareLineFeeds",
             {Say("+OK ready\n"), ReadLine(), Say("+OK\n"), ReadLine(), Say("+OK\n"), ReadLine(),
              Say("+OK 1 messages\n1 40\n.\n"), ReadLine(),
              Say("+OK\nFrom: a@b.c\n\n..dot\nbody\n.\n"), Hold()},
             {true, true, true}, 1, "+OK")
            .WithText("From: a@b.c\r\n\r\n.dot\r\nbody\r\n"),
        // A multi-line reply cut between CR and LF of its end line and inside a stuffed dot.
        Case("MessageSplitAtAwkwardPlaces",
             SignedIn({ReadLine(), Say("+OK\r\nA\r"), Pause(100), Say("\n."), Pause(100),
                       Say(".b\r\n.\r"), Pause(100), Say("\n"), Hold()}),
             {true, true, true}, 1, "+OK")
            .WithText("A\r\n.b\r\n"),
        Case("ClosedMidListing", SignedIn("+OK\r\n1 100\r\n2 2", {CloseConnection()}),
             {true, false}, -1, "listing failed"),
        Case("ListingLineIsNotANumber", SignedIn("+OK\r\n1 100\r\nabc 12\r\n.\r\n", {Hold()}),
             {true, false}, -1, "listing cannot be read"),
        Case("ListingNumberBeyondAnyMailbox", SignedIn("+OK\r\n999999999999 12\r\n.\r\n", {Hold()}),
             {true, false}, -1, "listing cannot be read"),
        Case("GarbageListing", SignedIn("+OK\r\nthis is not a listing\r\n.\r\n", {Hold()}),
             {true, false}, -1, "listing cannot be read"),
        // An endless listing is an error, never an empty mailbox.
        Case("EndlessListing", SignedIn("+OK\r\n", {Flood("1 100\r\n2 200\r\n")}), {true, false},
             -1, "listing failed")
            .WithLimits(256 * kMiB, 1 * kMiB),
        // Listed sizes far beyond the limit: nothing is reserved for them and the message is
        // not asked for; the conversation goes on.
        Case("HugeListedSize", SignedIn("+OK\r\n1 100000000000000\r\n.\r\n", {Hold()}),
             {true, true, false}, 1, "listed with 100000000000000 bytes")
            .WithLimits(2 * kMiB)
            .WithNeverSent("RETR 1"),
        Case("WrappingListedSize", SignedIn("+OK\r\n1 5000000000000000000\r\n.\r\n", {Hold()}),
             {true, true, false}, 1, "stays on the server")
            .WithLimits(2 * kMiB)
            .WithNeverSent("RETR 1"),
        // Listed small, sent larger than the limit: cut at the limit, the connection dropped.
        Case("MessageLargerThanListedAndLimit",
             SignedIn("+OK\r\n1 1000\r\n.\r\n",
                      {ReadLine(), Say("+OK\r\n" + Lines(6 * kMiB) + ".\r\n"), Hold()}),
             {true, true, false}, -1, "larger than the limit")
            .WithLimits(2 * kMiB),
        Case("EndlessMessageWithoutLineEnds",
             SignedIn({ReadLine(), Say("+OK\r\n"), Flood(std::string(65536, 'x'))}),
             {true, true, false}, -1, "larger than the limit")
            .WithLimits(2 * kMiB),
        Case("StatusLineWithoutEnd", SignedIn({ReadLine(), Flood(std::string(65536, '+'))}),
             {true, true, false}, -1, "stays on the server")
            .WithLimits(2 * kMiB),
        // A byte every 200 ms keeps the one-second inactivity time-out from running out; the
        // deadline of the command ends it.
        Case("TrickledMessage", SignedIn({ReadLine(), Say("+OK\r\n"), Trickle("line\r\n", 200)}),
             {true, true, false}, -1, "did not finish its answer within 2 seconds")
            .WithLimits(2 * kMiB)
            .WithDeadline(2),
        Case("TrickledGreeting", {Trickle("+OK ", 200)}, {false}, -1, "did not finish its answer")
            .WithLimits(2 * kMiB)
            .WithDeadline(2),
        Case("NegativeRetrWithoutEndMark",
             SignedIn({ReadLine(), Say("-ERR no such message\r\n"), Hold()}), {true, true, false},
             1, "-ERR no such message"),
        Case("GarbageRetr", SignedIn({ReadLine(), Say("what?\r\n"), Hold()}), {true, true, false},
             -1, "cannot be read: what?"),
        Case("ClosedMidMessage",
             SignedIn({ReadLine(), Say("+OK\r\nFrom: a@b.c\r\n\r\npart"), CloseConnection()}),
             {true, true, false}, -1, "stays on the server"),
        Case("SilentAfterStatusLine", SignedIn({ReadLine(), Say("+OK\r\nFrom: a@b.c\r\n"), Hold()}),
             {true, true, false}, -1, "no answer from the server within 1 seconds")),
    [](const ::testing::TestParamInfo<THostileCase>& info) { return info.param.Name; });

} // namespace
} // namespace pelmora
