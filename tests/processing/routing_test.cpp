#include "processing/routing.h"

#include "paramtree/tree_file.h"
#include "processing/filter_rules.h"
#include "processing_fixture.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/store_layout.h"

#include <filesystem>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

// An account (number 1) with the user project 1001 beside its default project 100000; a
// second account owns project 2002.
class RoutingTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        TNode* account = Workspace->AccountTree.First();
        Workspace->AccountTree.Add(account, ProjectNodeText(1001, "Work", "#251080"));
        EnsureProjectDirectories(Store, 1001);
        EnsureProjectDirectories(Store, 2002);
        Account = Workspace->ReadAccountSettings(account);
        Shell->AccountTreeChanged = false;
    }
    TRoutingResult Route(const std::string& header) {
        auto message = ParseMail(header);
        return RouteMessage(*Workspace, *message, Account);
    }
    std::string Queue(int project) {
        return SlurpFile(Store + std::to_string(project) + "/subscribers.que");
    }
    AccountSettings Account;
};

struct TRouteCase {
    const char* Name;
    const char* Header;
    int Project;
    int Folder;
    int State; // from the file name
    bool Orphan;
};

class RoutingKinds : public RoutingTest, public testing::WithParamInterface<TRouteCase> {};

TEST_P(RoutingKinds, LandsInProjectFolderAndState) {
    const TRouteCase& c = GetParam();
    TRoutingResult result = Route(c.Header);
    EXPECT_EQ(result.Project, c.Project);
    EXPECT_EQ(result.Folder, c.Folder);
    EXPECT_EQ(result.Orphan, c.Orphan);
    const std::string dir = FolderPath(Store, c.Project, c.Folder);
    ASSERT_EQ(result.Path.rfind(dir, 0), 0u) << result.Path;
    const std::string name = result.Path.substr(dir.size());
    EXPECT_EQ(name.find('/'), std::string::npos) << name;
    EXPECT_EQ(MessageStateFromName(name), c.State) << name;
    EXPECT_FALSE(fs::exists(result.Path));
}

const char* const kFrom = "From: \"Jane Roe\" <jane@example.com>\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, RoutingKinds,
    testing::Values(
        TRouteCase{"ReplyByReferences",
                   "Subject: Re: plan\nReferences: <20240101.AB.CD@PXID1001>\n", 1001, 111,
                   kStateUnread, false},
        TRouteCase{"FirstReferenceOfSeveralCounts",
                   "References: <a.1@PXID1001>\n <b.2@PXID100000>\n", 1001, 111, kStateUnread,
                   false},
        TRouteCase{"DefaultProjectInReferences", "References: <a.1@PXID100000>\n", 100000, 111,
                   kStateUnread, false},
        TRouteCase{"InReplyToOnly", "In-Reply-To: <x.y@PXID100000>\n", 100000, 111, kStateUnread,
                   false},
        TRouteCase{"OtherAccountsProjectIsOrphan", "References: <a.1@PXID2002>\n", 100000, 111,
                   kStateOrphan, true},
        TRouteCase{"TrackingNumberInSubject",
                   "Subject: Re: offer  -> Tracking number: 1001$20240101\n", 1001, 111,
                   kStateUnread, false},
        TRouteCase{"ForeignTrackingNumberLeavesReferences",
                   "Subject: Re: x  -> Tracking number: 2002$1\nReferences: <a@PXID1001>\n", 1001,
                   111, kStateUnread, false},
        TRouteCase{"HighPriorityIsFlagged", "X-Priority: 1 (Highest)\nReferences: <a@PXID1001>\n",
                   1001, 111, kStateFlag, false},
        TRouteCase{"OrphanStaysOrphanAtHighPriority", "X-Priority: 2\n", 100000, 111, kStateOrphan,
                   true},
        TRouteCase{"ReplyToAutomaticAnswerStoredNormally",
                   "Subject: Re. Re. hello\nReferences: <1.2.3@PELMORA_ANS>\n", 100000, 111,
                   kStateOrphan, true},
        TRouteCase{"ReceiptWithReference",
                   "Content-Type: multipart/report; report-type=disposition-notification; "
                   "boundary=\"b1\"\nReferences: <s.1@PXID1001>\n",
                   1001, 112, kStateUnread, false},
        TRouteCase{"ReceiptWithoutReference", "X-PelmoraReference: <abc@elsewhere>\n", 100000, 112,
                   kStateOrphan, true},
        TRouteCase{"ReceiptIsNoSubscription",
                   "Subject: SUBSCRIBE PR 1001\nX-PelmoraReference: <abc@elsewhere>\n", 100000, 112,
                   kStateOrphan, true},
        TRouteCase{"SubscriptionToOtherAccountsProject", "Subject: SUBSCRIBE PR 2002\n", 100000,
                   111, kStateOrphan, true},
        TRouteCase{"SubscriptionAfterReplyPrefixIsOrdinary", "Subject: Re: SUBSCRIBE PR 1001\n",
                   100000, 111, kStateOrphan, true},
        TRouteCase{"PlainMail", "Subject: hello\n", 100000, 111, kStateOrphan, true}),
    [](const testing::TestParamInfo<TRouteCase>& info) { return info.param.Name; });

struct TSubscribeCase {
    const char* Name;
    const char* Header;
    const char* QueueLine;
};

class SubscriptionRequests : public RoutingTest,
                             public testing::WithParamInterface<TSubscribeCase> {};

TEST_P(SubscriptionRequests, QueueLineAndCheckedInboxFile) {
    TRoutingResult result = Route(GetParam().Header);
    EXPECT_TRUE(result.Subscription);
    EXPECT_EQ(result.Project, 1001);
    EXPECT_EQ(result.Folder, kFolderInbox);
    EXPECT_FALSE(result.Orphan);
    EXPECT_EQ(result.Path.rfind(Store + "1001/inbox/", 0), 0u);
    EXPECT_EQ(MessageStateFromName(fs::path(result.Path).filename().string()), kStateCheck);
    EXPECT_EQ(Queue(1001), std::string(GetParam().QueueLine) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SubscriptionRequests,
    testing::Values(
        TSubscribeCase{"LowerCaseWithoutName",
                       "From: jane@example.com\nSubject: subscribe pr 1001\n",
                       "+ jane@example.com"},
        TSubscribeCase{"UnsubscribeWithoutName",
                       "From: jane@example.com\nSubject: UNSUBSCRIBE PR 1001\n",
                       "- jane@example.com"},
        TSubscribeCase{"KeywordAndP",
                       "From: \"Jane Roe\" <jane@example.com>\nSubject: Subscribe P1001\n",
                       "+ Jane Roe (jane@example.com)"},
        TSubscribeCase{"KeywordAndNumber",
                       "From: \"  \" <jane@example.com>\nSubject:   unsubscribe 1001  \n",
                       "- jane@example.com"},
        TSubscribeCase{"NameWithLineBreakStaysOneLine",
                       "From: =?utf-8?Q?Eve=0D=0A-_victim@example.com?= <eve@example.com>\n"
                       "Subject: SUBSCRIBE PR 1001\n",
                       "+ Eve  - victim@example.com (eve@example.com)"}),
    [](const testing::TestParamInfo<TSubscribeCase>& info) { return info.param.Name; });

TEST_F(RoutingTest, FilterRulesPlaceMessagesInTheirFolder) {
    const std::string list = FilterListPath(Books, 1);
    ASSERT_TRUE(WriteFilterList(list, {"trash", "custom", "gone", "sent", "foreign"}));
    ASSERT_TRUE(WriteFilterRule(Books + "1_sent.flt", {1001, 113, kFilterSubject, "copy", true}));
    ASSERT_TRUE(WriteFilterRule(Books + "1_trash.flt", {1001, 116, kFilterSubject, "spam", true}));
    ASSERT_TRUE(WriteFilterRule(Books + "1_custom.flt", {1001, 601, kFilterSubject, "news", true}));
    ASSERT_TRUE(WriteFilterRule(Books + "1_gone.flt", {1001, 602, kFilterSubject, "old", true}));
    ASSERT_TRUE(
        WriteFilterRule(Books + "1_foreign.flt", {2002, 111, kFilterSubject, "other", true}));
    fs::create_directories(Store + "1001/inbox/601");

    struct TRow {
        const char* Subject;
        std::string Dir;
        int Folder;
    };
    const TRow rows[] = {
        {"Subject: cheap spam\nReferences: <a@PXID100000>\n", Store + "1001/trash/", 116},
        {"Subject: weekly news\n", Store + "1001/inbox/601/", 601},
        // A removed custom folder: the inbox, and the result says so.
        {"Subject: old stuff\n", Store + "1001/inbox/", 111},
        // Folders retrieved mail is never filed in: the inbox as well.
        {"Subject: copy of it\n", Store + "1001/inbox/", 111},
    };
    for (const TRow& row : rows) {
        TRoutingResult result = Route(row.Subject);
        EXPECT_TRUE(result.ByFilter) << row.Subject;
        EXPECT_FALSE(result.Orphan);
        EXPECT_EQ(result.Project, 1001);
        EXPECT_EQ(result.Folder, row.Folder) << row.Subject;
        ASSERT_EQ(result.Path.rfind(row.Dir + "_", 0), 0u) << result.Path;
        EXPECT_EQ(result.Path.find('/', row.Dir.size()), std::string::npos);
        EXPECT_EQ(MessageStateFromName(fs::path(result.Path).filename().string()), kStateUnread);
    }

    // A rule for another account's project is void: the references decide.
    TRoutingResult foreign = Route("Subject: other\nReferences: <a@PXID1001>\n");
    EXPECT_FALSE(foreign.ByFilter);
    EXPECT_EQ(foreign.Project, 1001);
    EXPECT_EQ(foreign.Folder, kFolderInbox);

    // Receipts never pass the filters.
    TRoutingResult receipt = Route("Subject: Read: spam\nX-PelmoraReference: <a@PXID1001>\n");
    EXPECT_FALSE(receipt.ByFilter);
    EXPECT_EQ(receipt.Folder, kFolderInReceipts);
}

TEST_F(RoutingTest, OrphanCreatesMissingDefaultProject) {
    TNode* account = Workspace->AccountTree.First();
    TNode* defaultNode = FindChild(account, 100000);
    ASSERT_TRUE(defaultNode);
    Workspace->AccountTree.Delete(defaultNode);
    Account = Workspace->ReadAccountSettings(account);
    ASSERT_EQ(AccountDefaultProject(Account), -1);

    // 100000 still has its directory, so the next free number is taken.
    TRoutingResult result = Route("Subject: hello\n");
    EXPECT_TRUE(result.Orphan);
    EXPECT_TRUE(result.ProjectCreated);
    EXPECT_EQ(result.Project, 100001);
    EXPECT_EQ(result.Path.rfind(Store + "100001/inbox/", 0), 0u);
    EXPECT_TRUE(fs::is_directory(Store + "100001/outreceipts"));
    EXPECT_EQ(SlurpFile(Store + "100001/pinfo.txt"), "1\r\nDefault Project\r\n");
    TNode* created = FindChild(account, 100001);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->Text(), "<XID=100001><IMG src=\"idx:3\"> <font color=\"#808080\"><B>"
                               "Default Project</b></font> (0/0)");
    EXPECT_EQ(created, account->Child(account->ChildCount() - 1));
    EXPECT_TRUE(Shell->AccountTreeChanged);
    EXPECT_EQ(AccountDefaultProject(Account), 100001);

    // The next orphan uses it.
    TRoutingResult second = Route("Subject: again\n");
    EXPECT_FALSE(second.ProjectCreated);
    EXPECT_EQ(second.Project, 100001);
}

TEST_F(RoutingTest, StoredFileComesBeforeItsIndexRow) {
    const std::string header = std::string(kFrom) +
                               "Subject: Re: plan\nDate: Tue, 05 Mar 2024 14:07:09 +0000\n"
                               "Message-ID: <m1@example.com>\nReferences: <a@PXID1001>\n";
    auto message = ParseMail(header, "Body text.\r\n");
    const std::string serverText = header + "\nBody text.\r\n";
    const std::string added = "Received: by test\r\n";
    TRoutingResult route = RouteMessage(*Workspace, *message, Account);
    std::vector<TIndexRow> rows;
    TAppendIndexRow append = [&](const TIndexRow& row) {
        EXPECT_TRUE(fs::exists(row.FilePath)) << "row added before the file exists";
        rows.push_back(row);
        return true;
    };
    TStoredMessage stored = StoreRoutedMessage(*message, {added, serverText}, route, 321, append);
    ASSERT_TRUE(stored.Saved) << stored.Error;
    EXPECT_TRUE(stored.IndexRowAdded);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].FolderPath, Store + "1001/inbox/");
    EXPECT_EQ(rows[0].State, kStateUnread);
    EXPECT_EQ(rows[0].AddressColumn, "Jane Roe (jane@example.com)");
    EXPECT_EQ(rows[0].Subject, "Re: plan");
    EXPECT_EQ(rows[0].Size, 321);
    EXPECT_EQ(rows[0].MessageId, "<m1@example.com>");
    EXPECT_EQ(rows[0].DateText.size(), 16u);
    EXPECT_EQ(SlurpFile(route.Path), added + serverText);

    // A file that cannot be written gets no row.
    rows.clear();
    fs::remove_all(Store + "100000/inbox");
    TRoutingResult orphan = RouteMessage(*Workspace, *ParseMail("Subject: lost\n"), Account);
    TStoredMessage failed = StoreRoutedMessage(*message, {added, serverText}, orphan, 10, append);
    EXPECT_FALSE(failed.Saved);
    EXPECT_FALSE(failed.Error.empty());
    EXPECT_FALSE(failed.IndexRowAdded);
    EXPECT_TRUE(rows.empty());
    EXPECT_FALSE(fs::exists(orphan.Path));
}

TEST_F(RoutingTest, StoredMessageJoinsTheFolderIndex) {
    auto message = ParseMail(std::string(kFrom) + "Subject: hello\nMessage-ID: <m2@example.com>\n");
    const std::string serverText =
        std::string(kFrom) + "Subject: hello\nMessage-ID: <m2@example.com>\n\nBody\n";
    TRoutingResult route = RouteMessage(*Workspace, *message, Account);
    ASSERT_TRUE(route.Orphan);
    TStoredMessage stored = StoreRoutedMessage(*message, {"", serverText}, route, 1234, AppendToFolderIndex);
    ASSERT_TRUE(stored.Saved);
    EXPECT_TRUE(stored.IndexRowAdded);
    TMessageList list;
    ASSERT_TRUE(LoadIndex(Store + "100000/inbox/tree.lst", list).Ok);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(RowPath(list.Row(0).Caption()), route.Path);
    EXPECT_EQ(list.Row(0).StateIndex, kStateOrphan);
    EXPECT_EQ(list.Row(0).SubItem(1), "Jane Roe (jane@example.com)");
    EXPECT_EQ(list.Row(0).SubItem(3), "001234");
    EXPECT_EQ(list.Row(0).SubItem(4), "<m2@example.com>");
    std::optional<TFolderSummary> summary = ReadFolderSummary(Store + "100000/inbox/tree.cnt");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->Total, 1);
    EXPECT_EQ(summary->Unread, 1);
}

TEST(RoutingReferences, ProjectNumbersFromHeaders) {
    EXPECT_EQ(ReferencedProject(" <20240101.A.B@PXID1001> "), 1001);
    EXPECT_EQ(ReferencedProject("[x@pxid 4711]"), 4711);
    EXPECT_EQ(ReferencedProject("<a@PXID12345678> <b@PXID1001>"), 12345678);
    EXPECT_EQ(ReferencedProject("<a@PXID>"), std::nullopt);
    EXPECT_EQ(ReferencedProject("<a@example.com>"), std::nullopt);
    EXPECT_EQ(ReferencedProject("<a@PXID99999999999999>"), std::nullopt);
    EXPECT_EQ(TrackedProject("Re: x  -> Tracking number: 12345$77"), 12345);
    EXPECT_EQ(TrackedProject("costs 5$ -> nothing"), std::nullopt);
    EXPECT_EQ(TrackedProject("Re: x -> Tracking number: $1"), std::nullopt);
}

class SubscriptionQueueTest : public RoutingTest {
protected:
    void SetUp() override {
        RoutingTest::SetUp();
        Shell->CurrentProject = 1001;
        Book = Workspace->ProjectTree.Add(
            nullptr, "<XID=110><IMG src=\"idx:5\"> <b>Project Addressbook</b>");
        for (const char* entry :
             {"<XID=0><img src=\"idx:0\"> <font color=\"clNavy\"><b>Ann </b></font>"
              "<font color=\"clGreen\"><i>(ann@example.com)</i></font>",
              "<XID=0><img src=\"idx:0\"> <font color=\"clNavy\"><b>Joann </b></font>"
              "<font color=\"clGreen\"><i>(joann@example.com)</i></font>"})
            Workspace->ProjectTree.Add(Book, entry);
        QueuePath = Store + "1001/subscribers.que";
    }
    std::vector<std::string> Entries() {
        std::vector<std::string> texts;
        for (int i = 0; i < Book->ChildCount(); ++i)
            texts.push_back(Book->Child(i)->Text());
        return texts;
    }
    TNode* Book = nullptr;
    std::string QueuePath;
};

TEST_F(SubscriptionQueueTest, AcceptedRequestsChangeTheBookAndTheQueueGoes) {
    PutFile(QueuePath, "+ New <b>Person</b> (new@example.com)\r\n+ (  )\r\n"
                       "+ refused@example.com\r\n- ann@example.com\r\n"
                       "+ Doe (Work) (doe@example.com)");
    Ui.AskAnswers = {
        {kAskFirst, false}, {kAskFirst, false}, {kAskSecond, false}, {kAskFirst, false}};
    ProcessSubscriptionQueue(*Workspace, 1001);

    ASSERT_EQ(Ui.Questions.size(), 4u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 69));
    EXPECT_EQ(Ui.Questions[1].Text, Shell->Text(1, 70) + "\r\nNew <b>Person</b> (new@example.com)");
    EXPECT_EQ(Ui.Questions[2].Text, Shell->Text(1, 70) + "\r\n\r\nrefused@example.com");
    // Only the exact address leaves: "joann@..." contains "ann@..." but stays. The name is
    // stored escaped, so it cannot add mark-up of its own.
    EXPECT_EQ(
        Entries(),
        (std::vector<std::string>{
            "<XID=0><img src=\"idx:0\"> <font color=\"clNavy\"><b>Joann </b></font>"
            "<font color=\"clGreen\"><i>(joann@example.com)</i></font>",
            "<XID=0><img src=\"idx:0\"> <font color=\"clNavy\"><b>New &lt;b&gt;Person&lt;/b&gt; "
            "</b></font><font color=\"clGreen\"><i>(new@example.com)</i></font>",
            "<XID=0><img src=\"idx:0\"> <font color=\"clNavy\"><b>Doe (Work) </b></font>"
            "<font color=\"clGreen\"><i>(doe@example.com)</i></font>"}));
    EXPECT_FALSE(fs::exists(QueuePath));
    EXPECT_TRUE(fs::exists(Workspace->ProjectTreePath(1001)));
    EXPECT_FALSE(Shell->ProjectTreeChanged);
    EXPECT_FALSE(Shell->Settings().GetBool(TSettingKey::AllowSubscribe));
}

TEST_F(SubscriptionQueueTest, RememberedAnswersAreUsedWithoutAsking) {
    Shell->Settings().SetBool(TSettingKey::AllowSubscribe, true);
    Shell->Settings().SetInt(TSettingKey::AllowSubscribeRES, kAskFirst);
    Shell->Settings().SetBool(TSettingKey::AllowUserSubscribe, true);
    Shell->Settings().SetInt(TSettingKey::AllowUserSubscribeRES, kAskFirst);
    PutFile(QueuePath, "+ zed@example.com\r\n");
    ProcessSubscriptionQueue(*Workspace, 1001);
    EXPECT_TRUE(Ui.Questions.empty());
    EXPECT_EQ(Book->ChildCount(), 3);
    EXPECT_FALSE(fs::exists(QueuePath));
}

TEST_F(SubscriptionQueueTest, NoToTheFirstQuestionDropsTheQueueAndIsRemembered) {
    PutFile(QueuePath, "- ann@example.com\r\n");
    Ui.AskAnswers = {{kAskSecond, true}};
    ProcessSubscriptionQueue(*Workspace, 1001);
    EXPECT_EQ(Book->ChildCount(), 2);
    EXPECT_FALSE(fs::exists(QueuePath));
    EXPECT_TRUE(Shell->Settings().GetBool(TSettingKey::AllowSubscribe));
    EXPECT_EQ(Shell->Settings().GetInt(TSettingKey::AllowSubscribeRES), kAskSecond);
}

TEST_F(SubscriptionQueueTest, QueueOfAProjectNotShownWaits) {
    PutFile(Store + "100000/subscribers.que", "+ zed@example.com\r\n");
    ProcessSubscriptionQueue(*Workspace, 100000);
    EXPECT_TRUE(Ui.Questions.empty());
    EXPECT_TRUE(fs::exists(Store + "100000/subscribers.que"));
}

TEST_F(SubscriptionQueueTest, MissingAddressBookStopsButDeletesQueue) {
    Workspace->ProjectTree.Delete(Book);
    PutFile(QueuePath, "- ann@example.com\r\n");
    Ui.AskAnswers = {{kAskFirst, false}};
    ProcessSubscriptionQueue(*Workspace, 1001);
    EXPECT_FALSE(fs::exists(QueuePath));
    EXPECT_EQ(Sounds().back(), "popped");
}

} // namespace
} // namespace pelmora
