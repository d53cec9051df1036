#pragma once
// A data home with one complete account (incoming and outgoing server on 127.0.0.1, address
// me@example.org, a default project and project 1001) for tests that run transfers against
// the real servers, and a Dovecot started with a certificate of a throw-away CA.

#include "processing_fixture.h"
#include "store/store_layout.h"
#include "support/dovecot_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

#include <memory>
#include <string>

namespace pelmora {

inline const std::string kMailboxPassword = "pop secret";

class TransferFixture : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        AccountNode = Workspace->AccountTree.First();
        DefaultProject = Workspace->ReadAccountSettings(AccountNode).DefaultProject;
        ASSERT_GT(DefaultProject, 99999);
        ASSERT_TRUE(EnsureProjectDirectories(Store, DefaultProject));
        Workspace->AccountTree.Add(AccountNode, ProjectNodeText(1001, "Work", "#251080"));
        ASSERT_TRUE(EnsureProjectDirectories(Store, 1001));
        SetAccountValue(104, "127.0.0.1");
        SetAccountValue(108, "127.0.0.1");
        SetAccountValue(123, "1");
        SetAccountValue(202, "me@example.org");
        SetAccountValue(203, "Me Myself");
        SetAccountValue(110, "No");
    }

    void SetAccountValue(int code, const std::string& value) {
        SetAccountParameter(*Workspace, AccountNode, code, value);
    }
    void UseMailbox(const std::string& user, int port) {
        SetAccountValue(105, user);
        SetAccountValue(106, kMailboxPassword);
        SetAccountValue(121, std::to_string(port));
    }
    // Starts `server` with one mailbox per user (password kMailboxPassword).
    bool StartDovecot(pelmora::testing::TDovecotServer& server,
                      const std::vector<std::string>& users,
                      const std::string& uidlFormat = "%08Xu%08Xv") {
        if (!Ca) {
            Ca = std::make_unique<pelmora::testing::TTestCa>(CaFiles.Path());
            if (!Ca->Ok())
                return false;
            Certificate = Ca->Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
        }
        Options = {};
        Options.CertPath = Certificate.CertPath;
        Options.KeyPath = Certificate.KeyPath;
        Options.UidlFormat = uidlFormat;
        for (const std::string& user : users)
            Options.Users.emplace_back(user, kMailboxPassword);
        return server.Start(Options);
    }

    TNode* AccountNode = nullptr;
    int DefaultProject = 0;
    pelmora::testing::TTempDir CaFiles{"pelmora-transfer-ca"};
    std::unique_ptr<pelmora::testing::TTestCa> Ca;
    pelmora::testing::TTestCertificate Certificate;
    pelmora::testing::TDovecotOptions Options;
};

} // namespace pelmora
