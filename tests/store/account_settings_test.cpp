#include "store/account_settings.h"

#include "paramtree/tree_file.h"
#include "store/node_helpers.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

class AccountSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        auto result = ReadTreeFile(std::string(PELMORA_TEST_DATA) + "/store/folders.tree", Tree);
        ASSERT_TRUE(result.Ok) << result.Error;
    }
    TNodeTree Tree;
};

TEST_F(AccountSettingsTest, ReadsEveryFieldFromAnyNodeOfTheAccount) {
    TNode* deepNode = FindBelow(Tree.First(), 110);
    ASSERT_TRUE(deepNode);
    AccountSettings s = ReadAccountSettings(deepNode);
    EXPECT_EQ(s.AccountNumber, 1);
    EXPECT_EQ(s.AccountName, "Jan & Co (jan@example.nl)");
    EXPECT_FALSE(s.ScheduleMail);
    EXPECT_TRUE(s.LeaveMailOnServer);
    EXPECT_FALSE(s.HonourReceipts);
    EXPECT_TRUE(s.POPBeforeSend);
    EXPECT_EQ(s.POP3Server, "pop.example.nl");
    EXPECT_EQ(s.POP3Login, "jan");
    EXPECT_EQ(s.POP3Password, "s3cr>t");
    EXPECT_EQ(s.SMTPServer, "smtp.example.nl");
    EXPECT_EQ(s.SMTPLogin, "-not set-");
    EXPECT_EQ(s.SMTPPassword, "0"); // the first marker counts
    EXPECT_EQ(s.EmailAddress, "jan@example.nl");
    EXPECT_EQ(s.DisplayName, "Jan & Co");
    EXPECT_EQ(s.Organization, "Jan BV");
    EXPECT_EQ(s.WebAddress, "-not set-");
    EXPECT_EQ(s.ReplyTo, "replies@example.nl");
    EXPECT_EQ(s.ProjectNumbers, (std::vector<std::string>{"1000", "100000", "1003"}));
    EXPECT_EQ(s.ProjectNames,
              (std::vector<std::string>{"Bridge <North>", "Default Project", "Tunnel"}));
    EXPECT_EQ(s.DefaultProject, 100000);
    // An older tree without connection parameters reads their defaults.
    EXPECT_EQ(s.POP3Port, 0);
    EXPECT_EQ(s.SMTPPort, 0);
    EXPECT_EQ(s.POP3Security, TMailSecurity::None);
    EXPECT_EQ(s.SMTPSecurity, TMailSecurity::None);
}

TEST_F(AccountSettingsTest, ConnectionParametersAndMissingNodes) {
    AccountSettings s = ReadAccountSettings(Tree.Top(1));
    EXPECT_EQ(s.AccountNumber, 2);
    EXPECT_EQ(s.AccountName, "beta (-not set-)");
    EXPECT_EQ(s.POP3Port, 995);
    EXPECT_EQ(s.SMTPPort, 0); // 70000 is no port
    EXPECT_EQ(s.POP3Security, TMailSecurity::SslTls);
    EXPECT_EQ(s.SMTPSecurity, TMailSecurity::StartTls);
    EXPECT_EQ(s.POP3Server, "");
    EXPECT_EQ(s.POP3Password, "");
    EXPECT_FALSE(s.HonourReceipts);
    EXPECT_EQ(s.DefaultProject, 100001);
}

TEST_F(AccountSettingsTest, NoNodeGivesAnEmptyRecord) {
    AccountSettings s = ReadAccountSettings(nullptr);
    EXPECT_EQ(s.AccountNumber, 0);
    EXPECT_TRUE(s.AccountName.empty());
    EXPECT_TRUE(s.ProjectNumbers.empty());
}

TEST_F(AccountSettingsTest, TranslatedYesCounts) {
    TNodeTree tree;
    TNode* account = tree.Add(nullptr, "<XID=001>a");
    tree.Add(account, "<XID=103>Actief: <a href=\"ScheduleMail\">Ja</a>");
    EXPECT_TRUE(ReadAccountSettings(account, "Ja").ScheduleMail);
    EXPECT_FALSE(ReadAccountSettings(account).ScheduleMail);
}

} // namespace
} // namespace pelmora
