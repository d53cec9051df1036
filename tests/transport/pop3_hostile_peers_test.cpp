#include "transport/pop3_client.h"

#include "support/scripted_server.h"
#include "transport_test_support.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

using namespace pelmora::testing;

// A conversation up to a signed-in state with a listing of one 100-byte message.
std::vector<TScriptStep> SignedIn(std::vector<TScriptStep> rest) {
    std::vector<TScriptStep> script = {Say("+OK ready\r\n"),
                                       ReadLine(),
                                       Say("+OK\r\n"),
                                       ReadLine(),
                                       Say("+OK\r\n"),
                                       ReadLine(),
                                       Say("+OK 1 messages\r\n1 100\r\n.\r\n")};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

struct THostileCase {
    std::string Name;
    std::vector<TScriptStep> Script;
    // Results of OpenSession, SignIn and FetchMessage(1), as far as listed.
    std::vector<bool> Results;
    int ServerMessageCount = -1; // after the last operation
};

void PrintTo(const THostileCase& item, std::ostream* out) {
    *out << item.Name;
}

class Pop3HostilePeerTest : public ::testing::TestWithParam<THostileCase> {};

TEST_P(Pop3HostilePeerTest, EndsInBoundedTimeAndMemory) {
    const THostileCase& item = GetParam();
    TScriptedServer server(item.Script);
    TCountingUi ui;
    TPop3Client client(ui);
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.UserName = "bob";
    client.Password = "pw";
    client.TimeOut = 1;
    TStopwatch watch;
    std::vector<bool> results;
    for (std::size_t step = 0; step < item.Results.size(); ++step) {
        bool ok = step == 0   ? client.OpenSession()
                  : step == 1 ? client.SignIn()
                              : client.FetchMessage(1);
        results.push_back(ok);
    }
    EXPECT_EQ(results, item.Results);
    EXPECT_EQ(client.ServerMessageCount, item.ServerMessageCount);
    EXPECT_FALSE(client.LastReply().empty());
    EXPECT_LT(watch.ElapsedMs(), 4000);
    EXPECT_LT(client.Talk.ReplyBuffer.size(), 8u * 1024 * 1024);
    client.DropConnection();
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Pop3HostilePeerTest,
    ::testing::Values(
        THostileCase{"GreetingNeverComes", {Hold()}, {false}},
        THostileCase{"GarbageGreeting", {Say("HTTP/1.1 400 Bad Request\r\n"), Hold()}, {false}},
        THostileCase{"ClosedBeforeGreeting", {CloseConnection()}, {false}},
        THostileCase{"ClosedMidListing",
                     {Say("+OK\r\n"), ReadLine(), Say("+OK\r\n"), ReadLine(), Say("+OK\r\n"),
                      ReadLine(), Say("+OK\r\n1 100\r\n2 2"), CloseConnection()},
                     {true, false}},
        THostileCase{"ListingLineIsNotANumber",
                     {Say("+OK\r\n"), ReadLine(), Say("+OK\r\n"), ReadLine(), Say("+OK\r\n"),
                      ReadLine(), Say("+OK\r\n1 100\r\nabc 12\r\n.\r\n"), Hold()},
                     {true, true}},
        THostileCase{"ListingNumberBeyondAnyMailbox",
                     {Say("+OK\r\n"), ReadLine(), Say("+OK\r\n"), ReadLine(), Say("+OK\r\n"),
                      ReadLine(), Say("+OK\r\n999999999999 12\r\n.\r\n"), Hold()},
                     {true, true}},
        THostileCase{"NegativeRetrWithoutEndMark",
                     SignedIn({ReadLine(), Say("-ERR no such message\r\n"), Hold()}),
                     {true, true, false},
                     1},
        THostileCase{"GarbageRetr",
                     SignedIn({ReadLine(), Say("what?\r\n"), Hold()}),
                     {true, true, false},
                     1},
        THostileCase{
            "ClosedMidMessage",
            SignedIn({ReadLine(), Say("+OK\r\nFrom: a@b.c\r\n\r\npart"), CloseConnection()}),
            {true, true, false}},
        THostileCase{"EndlessMessage",
                     SignedIn({ReadLine(), Say("+OK\r\n"), Flood(std::string(65536, 'x'))}),
                     {true, true, false},
                     1},
        THostileCase{"SilentAfterStatusLine",
                     SignedIn({ReadLine(), Say("+OK\r\nFrom: a@b.c\r\n"), Hold()}),
                     {true, true, false},
                     1}),
    [](const ::testing::TestParamInfo<THostileCase>& info) { return info.param.Name; });

} // namespace
} // namespace pelmora
