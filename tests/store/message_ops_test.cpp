#include "shell/atomic_file.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/folder_counts.h"
#include "store/folder_listing.h"
#include "store/message_commands.h"
#include "store/message_files.h"
#include "store/message_state.h"
#include "store/message_transfer.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/custom_folders.h"
#include "store/workspace.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr int kProject = 100000;

// A scripted UI whose pump can stand in for the user pressing Esc.
class TPumpedUi : public TScriptedUi {
public:
    std::function<void()> OnPump;
    void Pump() override {
        TScriptedUi::Pump();
        if (OnPump)
            OnPump();
    }
};

std::string Message(const std::string& subject, const std::string& extra = "",
                    const std::string& from = "Ann <ann@example.org>") {
    return "From: " + from + "\r\nTo: Bob <bob@example.net>, carol@example.com\r\nSubject: " +
           subject + "\r\nDate: Tue, 05 Mar 2024 14:07:09 +0000\r\nMessage-ID: <" + subject +
           "@example.org>\r\n" + extra + "\r\nHello there\r\n";
}

class FolderViewTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        Home = fs::temp_directory_path() / ("pelmora_fv_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(Home);
        fs::create_directories(Home / "Sounds");
        for (const char* sound :
             {"attention", "intro", "click", "popped", "totrash", "goodbye", "newmail"})
            WriteFileAtomically((Home / "Sounds" / (std::string(sound) + ".wav")).string(), "RIFF");
        TShellOptions options;
        options.ProgramDir = Home.string() + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        ASSERT_TRUE(Shell->FormCreate().Ok);
        Workspace = std::make_unique<TWorkspace>(*Shell);
        View = std::make_unique<TFolderView>(*Workspace);
        Store = Shell->Dirs().Store;
        Workspace->FormCreateTrees();
        Shell->StartingUp = false;
        ShowProject(kProject);
    }
    void TearDown() override {
        View.reset();
        Workspace.reset();
        Shell.reset();
        fs::remove_all(Home);
    }

    TNode* FindNumber(TNodeTree& tree, int number) {
        return tree.FindFirst([number](const TNode& n) { return NodeNumber(n.Text()) == number; });
    }
    void ShowProject(int project) {
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, project));
        Workspace->FolderTreeClick();
        Ui.ClearRecords();
    }
    // Lists a folder of the shown project as a click in the project tree does.
    void ShowFolder(int code) {
        TNode* node = Workspace->ProjectTree.FindFirst([code](const TNode& n) {
            return NodeNumber(n.Text()) == code && n.Level() <= 1;
        });
        ASSERT_TRUE(node) << code;
        Workspace->ProjectTree.Select(node);
        View->ProjectTreeClick();
    }
    std::string Dir(int code, int project = kProject) { return FolderPath(Store, project, code); }
    void Put(int code, const std::string& name, const std::string& data) {
        fs::create_directories(Dir(code));
        ASSERT_TRUE(WriteFileAtomically(Dir(code) + name, data));
    }
    std::set<std::string> Files(int code, int project = kProject) {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Dir(code, project), ec)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && name.find(".eml") != std::string::npos)
                names.insert(name);
        }
        return names;
    }
    std::set<std::string> ListedNames() {
        std::set<std::string> names;
        for (const TListRow& row : View->List.AllRows())
            names.insert(fs::path(RowPath(row.Caption())).filename().string());
        return names;
    }
    int RowOf(const std::string& name) {
        for (int i = 0; i < View->List.Count(); ++i) {
            if (fs::path(RowPath(View->List.Row(i).Caption())).filename() == name)
                return i;
        }
        return -1;
    }
    void SelectNames(const std::vector<std::string>& names) {
        View->List.ClearSelection();
        for (const std::string& name : names) {
            const int row = RowOf(name);
            ASSERT_GE(row, 0) << name;
            View->List.Select(row, true);
        }
    }
    TFolderSummary IndexCounts(int code, int project = kProject) {
        TMessageList list;
        const TIndexLoad load = LoadIndex(Dir(code, project) + "tree.lst", list);
        return load.Ok ? TFolderSummary{load.Rows, load.Unread} : TFolderSummary{-1, -1};
    }
    std::vector<std::string> Sounds() const {
        std::vector<std::string> names;
        for (const std::string& path : Ui.SoundsPlayed)
            names.push_back(fs::path(path).stem().string());
        return names;
    }
    bool Played(const std::string& sound) const {
        const auto sounds = Sounds();
        return std::find(sounds.begin(), sounds.end(), sound) != sounds.end();
    }

    fs::path Home;
    TPumpedUi Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Workspace;
    std::unique_ptr<TFolderView> View;
    std::string Store;
};

// --- Listing ---

TEST_F(FolderViewTest, IndexWithTooFewRowsIsRebuiltFromTheFiles) {
    for (int i = 0; i < 10; ++i)
        Put(kFolderInbox, std::to_string(i) + ".eml", Message("m" + std::to_string(i)));
    ShowFolder(kFolderInbox);
    ASSERT_EQ(View->List.Count(), 10);
    EXPECT_EQ(IndexCounts(kFolderInbox).Total, 10);

    Put(kFolderInbox, "_10.eml", Message("m10"));
    ShowFolder(kFolderInbox);
    EXPECT_EQ(View->List.Count(), 11);
    EXPECT_EQ(IndexCounts(kFolderInbox).Total, 11);
    const auto summary = ReadFolderSummary(Dir(kFolderInbox) + "tree.cnt");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->Total, 11);
    EXPECT_EQ(summary->Unread, 1);
    TNode* inbox = FindTopLevel(Workspace->ProjectTree, kFolderInbox);
    EXPECT_NE(inbox->Text().find("</font> (11/1)"), std::string::npos) << inbox->Text();
}

TEST_F(FolderViewTest, EmptyIndexOfEmptyFolderIsTrusted) {
    fs::create_directories(Dir(kFolderSent));
    TMessageList none;
    ASSERT_TRUE(SaveIndex(Dir(kFolderSent) + "tree.lst", none));
    const auto before = fs::last_write_time(Dir(kFolderSent) + "tree.lst");
    ShowFolder(kFolderSent);
    EXPECT_EQ(View->List.Count(), 0);
    EXPECT_EQ(fs::last_write_time(Dir(kFolderSent) + "tree.lst"), before); // not rebuilt
    EXPECT_NE(FindTopLevel(Workspace->ProjectTree, kFolderSent)->Text().find("(0/0)"),
              std::string::npos);
}

TEST_F(FolderViewTest, RowsCarryStateAttachmentAndColumns) {
    Put(kFolderInbox, "_1.eml", Message("unread"));
    Put(kFolderInbox, "2.emlo", Message("orphan"));
    Put(kFolderInbox, "3.eml", Message("urgent", "X-Priority: 1 (Highest)\r\n"));
    Put(kFolderInbox, "4.emlf", Message("urgent flagged", "X-Priority: 1\r\n"));
    Put(kFolderInbox, "5.eml", Message("slow", "X-Priority: 5\r\n"));
    Put(kFolderInbox, "6.emlc", "");  // zero bytes: neither listed nor counted
    Put(kFolderInbox, "7.eml",
        "From: Dan <dan@example.org>\r\nTo: x@y.z\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
        "see\r\n--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
        "Content-Disposition: attachment; filename=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "JVBERi0=\r\n--b--\r\n");
    ShowFolder(kFolderInbox);
    ASSERT_EQ(View->List.Count(), 6);
    EXPECT_EQ(View->ShownTotal(), 6);
    EXPECT_EQ(View->ShownUnread(), 2);
    const std::map<std::string, int> states = {{"_1.eml", 2}, {"2.emlo", 4}, {"3.eml", 6},
                                               {"4.emlf", 1}, {"5.eml", 5},  {"7.eml", -1}};
    for (const auto& [name, state] : states)
        EXPECT_EQ(View->List.Row(RowOf(name)).StateIndex, state) << name;
    const TListRow& files = View->List.Row(RowOf("7.eml"));
    EXPECT_EQ(files.ImageIndex, kImageAttachment);
    EXPECT_EQ(View->List.Row(RowOf("3.eml")).ImageIndex, -1);
    const TListRow& unread = View->List.Row(RowOf("_1.eml"));
    EXPECT_EQ(unread.SubItem(1), "Ann (ann@example.org)");
    EXPECT_EQ(unread.SubItem(2), "unread");
    EXPECT_EQ(unread.SubItem(3), FormatSizeColumn(static_cast<std::int64_t>(Message("unread").size())));
    EXPECT_EQ(unread.SubItem(4), "<unread@example.org>");
    EXPECT_EQ(unread.SubItem(0).size(), 16u); // "dd-mm-yyyy hh:nn"
    EXPECT_EQ(View->List.Headings()[2], Shell->Text(1, 312));
}

TEST_F(FolderViewTest, SentFoldersShowRecipients) {
    Put(kFolderSent, "1.eml", Message("out"));
    ShowFolder(kFolderSent);
    ASSERT_EQ(View->List.Count(), 1);
    EXPECT_EQ(View->List.Row(0).SubItem(1), "Bob (bob@example.net); carol@example.com");
    EXPECT_EQ(View->List.Headings()[2], Shell->Text(1, 311));
    // A node that is no folder empties the list; the heading is the general one again.
    Workspace->ProjectTree.Select(FindTopLevel(Workspace->ProjectTree, kNodeProjectAdmin));
    View->ProjectTreeClick();
    EXPECT_EQ(View->List.Count(), 0);
    EXPECT_EQ(View->List.Headings()[2], Shell->Text(1, 308));
}

TEST_F(FolderViewTest, EscDuringRebuildShowsPartOfTheListAndStaysStale) {
    for (int i = 0; i < 120; ++i)
        Put(kFolderInbox, std::to_string(1000 + i) + ".eml", Message("m" + std::to_string(i)));
    fs::remove(Dir(kFolderInbox) + "tree.lst");
    Ui.OnPump = [this] { Shell->AbortRequested = true; };
    ShowFolder(kFolderInbox);
    Ui.OnPump = nullptr;
    EXPECT_GT(View->List.Count(), 0);
    EXPECT_LT(View->List.Count(), 120);
    EXPECT_FALSE(fs::exists(Dir(kFolderInbox) + "tree.lst"));
    EXPECT_TRUE(View->FolderStale(kProject, kFolderInbox));
    EXPECT_FALSE(Shell->AbortRequested);
    ShowFolder(kFolderInbox);
    EXPECT_EQ(View->List.Count(), 120);
    EXPECT_FALSE(View->FolderStale(kProject, kFolderInbox));
}

TEST_F(FolderViewTest, SecondClickDuringListingAbortsIt) {
    for (int i = 0; i < 60; ++i)
        Put(kFolderInbox, std::to_string(i) + ".eml", Message("m"));
    fs::remove(Dir(kFolderInbox) + "tree.lst");
    bool clicked = false;
    Ui.OnPump = [&] {
        if (!clicked && View->ListBuilding()) {
            clicked = true;
            View->ProjectTreeClick();
        }
    };
    ShowFolder(kFolderInbox);
    Ui.OnPump = nullptr;
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 254)));
    EXPECT_LT(View->List.Count(), 60);
}

TEST_F(FolderViewTest, CustomFolderStaleMarkerForcesARebuild) {
    fs::create_directories(Dir(601));
    WriteFolderLabel(Dir(601), "Clients");
    Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, kProject));
    Workspace->FolderTreeClick();
    Put(601, "1.eml", Message("one"));
    ShowFolder(601);
    ASSERT_EQ(View->List.Count(), 1);
    // Same number of files, other contents: only the marker tells.
    fs::remove(Dir(601) + "1.eml");
    Put(601, "2.eml", Message("two"));
    ShowFolder(601);
    EXPECT_EQ(View->List.Row(0).SubItem(2), "one");
    View->RefreshList();
    EXPECT_EQ(View->List.Row(0).SubItem(2), "two");
    EXPECT_FALSE(fs::exists(Dir(601) + "update.txt"));
}

TEST_F(FolderViewTest, VanishedFileIsReportedAndTheFolderRefreshed) {
    Put(kFolderInbox, "1.eml", Message("one"));
    Put(kFolderInbox, "2.eml", Message("two"));
    ShowFolder(kFolderInbox);
    fs::remove(Dir(kFolderInbox) + "1.eml");
    View->List.SelectOnly(RowOf("1.eml"));
    View->MessageListSelectItem();
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(0, 25)));
    EXPECT_EQ(ListedNames(), (std::set<std::string>{"2.eml"}));
    EXPECT_EQ(IndexCounts(kFolderInbox).Total, 1);
}

// --- Counts ---

TEST_F(FolderViewTest, CountsRefreshSumsSummariesWithOutboxMarker) {
    TNode* account = Workspace->AccountTree.Top(0);
    Workspace->AccountTree.SetText(account, AccountNodeText("001", "Me", "me@example.org"));
    Put(kFolderInbox, "_1.eml", Message("a"));
    Put(kFolderInbox, "2.emlo", Message("b"));
    Put(kFolderInbox, "3.eml", Message("c"));
    Put(kFolderOutbox, "4.eml", Message("d"));
    ShowFolder(kFolderOutbox);
    ShowFolder(kFolderInbox);
    View->RefreshCounts();
    TNode* project = FindNumber(Workspace->AccountTree, kProject);
    EXPECT_NE(project->Text().find("</font> (4/2)<img src=\"idx:7\">"), std::string::npos)
        << project->Text();
    EXPECT_NE(account->Text().find(" (4/2)<img src=\"idx:7\">"), std::string::npos) << account->Text();
    EXPECT_NE(project->Text().find("idx:5"), std::string::npos);
    EXPECT_NE(FindTopLevel(Workspace->ProjectTree, kFolderOutbox)->Text().find("idx:16"),
              std::string::npos);

    // The outbox empties: the marker goes, the counts follow.
    fs::remove(Dir(kFolderOutbox) + "4.eml");
    ShowFolder(kFolderOutbox);
    View->RefreshCounts();
    EXPECT_NE(project->Text().find("</font> (3/2)"), std::string::npos);
    EXPECT_EQ(project->Text().find("idx:7\">"), std::string::npos);
}

TEST_F(FolderViewTest, AccountWithoutAddressStopsTheRefreshWithWarning) {
    View->RefreshCounts();
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(0, 24)));
    EXPECT_TRUE(Played("attention"));
    TNode* selected = Workspace->AccountTree.Selected();
    ASSERT_TRUE(selected);
    EXPECT_EQ(NodeNumber(selected->Text()), kNodeEmailAddress);
    EXPECT_TRUE(Workspace->ProjectTree.Empty());
}

TEST(FolderCountsTest, CaptionCountsReadAndWritten) {
    const std::string caption = "<XID=111><img src=\"idx:12\"> <font color=\"clNavy\"><b>Inbox</b></font> (12/3)";
    EXPECT_EQ(ParseCaptionCounts(caption).Total, 12);
    EXPECT_EQ(ParseCaptionCounts(caption).Unread, 3);
    EXPECT_EQ(ParseCaptionCounts("<b>Inbox</b></FONT> (x/3)").Total, -1);
    EXPECT_EQ(FolderCaptionWithCounts(caption, 5, 0),
              "<XID=111><img src=\"idx:12\"> <font color=\"clNavy\"><b>Inbox</b></font> (5/0)");
    EXPECT_EQ(CountsIcon(FolderIcons(kFolderTrash), 0, 0), 21);
    EXPECT_EQ(CountsIcon(FolderIcons(kFolderTrash), 2, 0), 22);
    EXPECT_EQ(CountsIcon(FolderIcons(kFolderTrash), 2, 1), 23);
    EXPECT_EQ(CountsIcon(FolderIcons(650), 2, 1), 14);
}

TEST_F(FolderViewTest, CaptionAddModeKeepsUnknownCountsAndFloorsAtZero) {
    Put(kFolderInbox, "_1.eml", Message("a"));
    ShowFolder(kFolderInbox);
    EXPECT_EQ(View->UpdateFolderCaption(kFolderInbox, 2, 1, TCaptionMode::Add).Total, 3);
    EXPECT_EQ(View->UpdateFolderCaption(kFolderInbox, -9, 0, TCaptionMode::Add).Unread, 0);
    TNode* inbox = FindTopLevel(Workspace->ProjectTree, kFolderInbox);
    EXPECT_NE(inbox->Text().find("(0/0)"), std::string::npos);
    EXPECT_NE(inbox->Text().find("idx:12"), std::string::npos);
}

// --- State changes ---

struct TStateCase {
    const char* Name;
    const char* From;
    int Kind; // 0: cycle
    const char* To;
};

void PrintTo(const TStateCase& c, std::ostream* os) { *os << c.Name; }

class StateRenameTest : public FolderViewTest, public testing::WithParamInterface<TStateCase> {};

TEST_P(StateRenameTest, RenamesTheFileAndTheRow) {
    Put(kFolderInbox, GetParam().From, Message("m"));
    ShowFolder(kFolderInbox);
    View->List.SelectOnly(0);
    View->ChangeMessageState(GetParam().Kind, GetParam().Kind == 0);
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{GetParam().To}));
    EXPECT_EQ(ListedNames(), (std::set<std::string>{GetParam().To}));
    TMessageList index;
    ASSERT_TRUE(LoadIndex(Dir(kFolderInbox) + "tree.lst", index).Ok);
    EXPECT_EQ(fs::path(RowPath(index.Row(0).Caption())).filename(), GetParam().To);
    EXPECT_EQ(index.Row(0).StateIndex, View->List.Row(0).StateIndex);
    EXPECT_TRUE(Ui.Popups.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, StateRenameTest,
    testing::Values(TStateCase{"UnreadToRead", "_1.eml", kToggleRead, "1.eml"},
                    TStateCase{"ReadToUnread", "1.eml", kToggleRead, "_1.eml"},
                    TStateCase{"OrphanToRead", "1.emlo", kToggleRead, "1.eml"},
                    TStateCase{"UnreadFlagLosesUnread", "_1.eml", kToggleFlag, "1.emlf"},
                    TStateCase{"FlagOff", "1.emlf", kToggleFlag, "1.eml"},
                    TStateCase{"CheckOn", "1.EML", kToggleCheck, "1.emlc"},
                    TStateCase{"OrphanOn", "_1.eml", kToggleOrphan, "1.emlo"},
                    TStateCase{"CycleReadToCheck", "1.eml", 0, "1.emlc"},
                    TStateCase{"CycleCheckToFlag", "1.emlc", 0, "1.emlf"},
                    TStateCase{"CycleFlagToUnread", "1.emlf", 0, "_1.eml"},
                    TStateCase{"CycleUnreadToRead", "_1.eml", 0, "1.eml"},
                    TStateCase{"CycleOrphanToRead", "1.emlo", 0, "1.eml"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MessageStateTest, NextStateTable) {
    EXPECT_EQ(NextMessageState(kToggleRead, kStateFlag, false), kStateUnread);
    EXPECT_EQ(NextMessageState(kToggleRead, kStateOrphan, false), kStateRead);
    EXPECT_EQ(NextMessageState(0, kStateHighPriority, true), kStateRead);
    EXPECT_EQ(NextMessageState(0, kStateLowPriority, true), kStateRead);
    EXPECT_EQ(NextMessageState(0, kStateFlag, true), kStateUnread);
}

TEST_F(FolderViewTest, HighPriorityReadMessageCyclesWithoutError) {
    Put(kFolderInbox, "1.eml", Message("m", "X-Priority: 1\r\n"));
    ShowFolder(kFolderInbox);
    ASSERT_EQ(View->List.Row(0).StateIndex, kStateHighPriority);
    View->List.SelectOnly(0);
    View->ChangeMessageState(0, true); // 6 goes to read: the name does not change
    EXPECT_TRUE(Ui.Popups.empty());
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"1.eml"}));
}

TEST_F(FolderViewTest, NameClashShowsTextAndStopsAtThatRow) {
    Put(kFolderInbox, "_1.eml", Message("a"));
    Put(kFolderInbox, "_2.eml", Message("b"));
    Put(kFolderInbox, "2.eml", Message("b, read copy"));
    Put(kFolderInbox, "_3.eml", Message("c"));
    ShowFolder(kFolderInbox);
    View->List.SetSort(0, true); // by caption: _1, _2, _3 in this order
    SelectNames({"_1.eml", "_2.eml", "_3.eml"});
    View->ChangeMessageState(kToggleRead, false);
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text,
              Shell->Text(0, 16) + "\r\nFile: " + Dir(kFolderInbox) + "_2.eml");
    EXPECT_EQ(Ui.Popups[0].Request.TextSize, 13);
    EXPECT_FALSE(Ui.Popups[0].Request.Modeless);
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"1.eml", "_2.eml", "2.eml", "_3.eml"}));
    EXPECT_EQ(View->List.Row(RowOf("_2.eml")).StateIndex, kStateUnread);
    EXPECT_EQ(IndexCounts(kFolderInbox).Total, 4);
}

// --- Copy, move, delete ---

TEST_F(FolderViewTest, DeleteMovesIntoTrashReadingUnreadAndOrphans) {
    Put(kFolderInbox, "_1.eml", Message("unread"));
    Put(kFolderInbox, "2.emlo", Message("orphan"));
    Put(kFolderInbox, "3.emlf", Message("flag"));
    Put(kFolderInbox, "4.emlc", Message("check"));
    Put(kFolderInbox, "5.eml", Message("stays"));
    ShowFolder(kFolderInbox);
    SelectNames({"_1.eml", "2.emlo", "3.emlf", "4.emlc"});
    View->MenuDeleteClick();
    EXPECT_EQ(Files(kFolderTrash), (std::set<std::string>{"1.eml", "2.eml", "3.emlf", "4.emlc"}));
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"5.eml"}));
    EXPECT_EQ(ListedNames(), (std::set<std::string>{"5.eml"}));
    EXPECT_EQ(IndexCounts(kFolderInbox).Total, 1);
    EXPECT_EQ(IndexCounts(kFolderTrash).Total, 4);
    EXPECT_EQ(IndexCounts(kFolderTrash).Unread, 0);
    EXPECT_TRUE(Played("totrash"));
    EXPECT_EQ(View->List.SelectedCount(), 1); // the row at the remembered place
}

TEST_F(FolderViewTest, DeleteKeepsAnUnreadMessageWhoseReadNameIsTaken) {
    Put(kFolderInbox, "_1.eml", Message("unread copy"));
    Put(kFolderInbox, "1.eml", Message("read copy"));
    ShowFolder(kFolderInbox);
    SelectNames({"_1.eml"});
    View->MenuDeleteClick();
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"_1.eml", "1.eml"}));
    EXPECT_EQ(ReadWholeFile(Dir(kFolderInbox) + "_1.eml").value_or(""), Message("unread copy"));
    EXPECT_TRUE(Files(kFolderTrash).empty());
    EXPECT_TRUE(Played("popped"));
}

TEST_F(FolderViewTest, DeleteInsideTrashAsksAndRemovesForGoodOnYes) {
    Put(kFolderTrash, "1.eml", Message("a"));
    Put(kFolderTrash, "2.eml", Message("b"));
    ShowFolder(kFolderTrash);
    View->List.SelectAll();
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    View->MenuDeleteClick();
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 240));
    EXPECT_EQ(Files(kFolderTrash).size(), 2u);

    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    View->MenuDeleteClick();
    EXPECT_TRUE(Files(kFolderTrash).empty());
    EXPECT_EQ(View->List.Count(), 0);
    EXPECT_EQ(IndexCounts(kFolderTrash).Total, 0);
}

TEST_F(FolderViewTest, EmptyTrashListsSelectsAndAsks) {
    Put(kFolderTrash, "1.eml", Message("a"));
    ShowFolder(kFolderTrash);
    Put(kFolderTrash, "2.eml", Message("b"));
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    View->EmptyTrashClick();
    EXPECT_TRUE(Files(kFolderTrash).empty());
}

TEST_F(FolderViewTest, MovedOrphanArrivesUnreadAndCopiedOrphanLeavesUnreadBehind) {
    Put(kFolderInbox, "1.emlo", Message("orphan one"));
    Put(kFolderInbox, "2.emlo", Message("orphan two"));
    ShowFolder(kFolderInbox);
    View->Hooks.ChooseDestination = [](TNodeTree&) {
        return PickerFolderText(kProject, kFolderSent, "Sent");
    };
    SelectNames({"1.emlo"});
    View->MenuMoveClick();
    SelectNames({"2.emlo"});
    View->MenuCopyClick();
    EXPECT_EQ(Files(kFolderSent), (std::set<std::string>{"_1.eml", "_2.eml"}));
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"_2.eml"}));
    EXPECT_EQ(ListedNames(), (std::set<std::string>{"_2.eml"}));
    EXPECT_EQ(IndexCounts(kFolderSent).Unread, 2);
    EXPECT_EQ(IndexCounts(kFolderInbox).Unread, 1);
}

TEST_F(FolderViewTest, OrphanMovedOrDroppedIntoTrashArrivesUnread) {
    Put(kFolderInbox, "1.emlo", Message("picked"));
    Put(kFolderInbox, "2.emlo", Message("dropped"));
    ShowFolder(kFolderInbox);
    View->Hooks.ChooseDestination = [](TNodeTree&) {
        return PickerFolderText(kProject, kFolderTrash, "Trash");
    };
    SelectNames({"1.emlo"});
    View->MenuMoveClick();
    SelectNames({"2.emlo"});
    View->DropOnProjectTree(FindTopLevel(Workspace->ProjectTree, kFolderTrash));
    EXPECT_EQ(Files(kFolderTrash), (std::set<std::string>{"_1.eml", "_2.eml"}));
}

TEST_F(FolderViewTest, ReceiptsGoOnlyToTheirOwnKindOfFolder) {
    Put(kFolderOutReceipts, "1.eml", Message("receipt"));
    ShowFolder(kFolderOutReceipts);
    View->List.SelectOnly(0);
    View->Hooks.ChooseDestination = [](TNodeTree&) {
        return PickerFolderText(kProject, kFolderInReceipts, "In");
    };
    View->MenuCopyClick();
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(0, 26)));
    EXPECT_TRUE(Files(kFolderInReceipts).empty());

    // Another project's sent receipts take it.
    ASSERT_TRUE(EnsureProjectDirectories(Store, 1000));
    View->Hooks.ChooseDestination = [](TNodeTree&) {
        return PickerFolderText(1000, kFolderOutReceipts, "Out");
    };
    View->List.SelectOnly(0);
    View->MenuCopyClick();
    EXPECT_EQ(Files(kFolderOutReceipts, 1000), (std::set<std::string>{"1.eml"}));
    EXPECT_EQ(Files(kFolderOutReceipts), (std::set<std::string>{"1.eml"}));
}

struct TOutboxCase {
    const char* Name;
    int From;
    int To;
    int Slot; // text 1/slot asked
    bool Yes;
};

void PrintTo(const TOutboxCase& c, std::ostream* os) { *os << c.Name; }

class OutboxQuestionTest : public FolderViewTest, public testing::WithParamInterface<TOutboxCase> {};

TEST_P(OutboxQuestionTest, AsksAndObeys) {
    const TOutboxCase& c = GetParam();
    Put(c.From, "1.eml", Message("m"));
    ShowFolder(c.From);
    View->List.SelectOnly(0);
    View->Hooks.ChooseDestination = [&c](TNodeTree&) { return PickerFolderText(kProject, c.To, "x"); };
    Ui.AskAnswers.push_back({c.Yes ? kAskFirst : kAskSecond, std::nullopt});
    View->MenuCopyClick();
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, c.Slot));
    EXPECT_EQ(Ui.Questions[0].Caption, Shell->Text(1, 176));
    EXPECT_EQ(Files(c.To).size(), c.Yes ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Outbox, OutboxQuestionTest,
    testing::Values(TOutboxCase{"IntoOutboxNo", kFolderInbox, kFolderOutbox, 348, false},
                    TOutboxCase{"IntoOutboxYes", kFolderDrafts, kFolderOutbox, 348, true},
                    TOutboxCase{"OutOfOutboxNo", kFolderOutbox, kFolderSent, 349, false},
                    TOutboxCase{"OutOfOutboxYes", kFolderOutbox, kFolderDrafts, 349, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FolderViewTest, CopyOntoItsOwnFolderNeverLosesTheMessage) {
    Put(kFolderInbox, "_1.eml", Message("precious"));
    Put(kFolderInbox, "2.eml", Message("also precious"));
    ShowFolder(kFolderInbox);
    View->List.SelectAll();
    View->Hooks.ChooseDestination = [](TNodeTree&) {
        return PickerFolderText(kProject, kFolderInbox, "Inbox");
    };
    View->MenuCopyClick();
    View->List.SelectAll();
    View->MenuMoveClick();
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"_1.eml", "2.eml"}));
    EXPECT_EQ(fs::file_size(Dir(kFolderInbox) + "_1.eml"), Message("precious").size());
    EXPECT_EQ(View->List.Count(), 2);
    EXPECT_TRUE(Played("popped"));
    // The file routine refuses a copy onto itself as well.
    EXPECT_FALSE(View->CopyMessageFile(Dir(kFolderInbox) + "2.eml", Dir(kFolderInbox) + "2.eml"));
    EXPECT_EQ(fs::file_size(Dir(kFolderInbox) + "2.eml"), Message("also precious").size());
}

TEST_F(FolderViewTest, CopyReplacesTheSameMessageInAnotherState) {
    Put(kFolderSent, "_1.eml", Message("old unread"));
    Put(kFolderSent, "1.emlf", Message("old flagged"));
    Put(kFolderInbox, "1.eml", Message("new"));
    ASSERT_TRUE(View->CopyMessageFile(Dir(kFolderInbox) + "1.eml", Dir(kFolderSent) + "1.eml"));
    EXPECT_EQ(Files(kFolderSent), (std::set<std::string>{"1.eml"}));
    EXPECT_FALSE(View->CopyMessageFile(Dir(kFolderInbox) + "none.eml", Dir(kFolderSent) + "x.eml"));
}

TEST_F(FolderViewTest, CancelledPickerChangesNothing) {
    Put(kFolderInbox, "1.eml", Message("m"));
    ShowFolder(kFolderInbox);
    View->List.SelectOnly(0);
    View->Hooks.ChooseDestination = [](TNodeTree&) { return std::string(); };
    View->MenuMoveClick();
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"1.eml"}));
    EXPECT_TRUE(Ui.Popups.empty() || !Ui.PopupShown(Shell->Text(1, 9), true));
}

TEST_F(FolderViewTest, EscDuringMoveStopsWithoutRewritingIndexes) {
    for (int i = 0; i < 120; ++i)
        Put(kFolderInbox, std::to_string(100 + i) + ".eml", Message("m"));
    ShowFolder(kFolderInbox);
    View->List.SelectAll();
    View->Hooks.ChooseDestination = [](TNodeTree&) {
        return PickerFolderText(kProject, kFolderDrafts, "Drafts");
    };
    int pumps = 0;
    Ui.OnPump = [&] {
        if (++pumps == 4)
            Shell->AbortRequested = true;
    };
    View->MenuMoveClick();
    Ui.OnPump = nullptr;
    const size_t moved = Files(kFolderDrafts).size();
    EXPECT_GT(moved, 0u);
    EXPECT_LT(moved, 120u);
    EXPECT_EQ(Files(kFolderInbox).size() + moved, 120u); // nothing lost, nothing doubled
    EXPECT_EQ(IndexCounts(kFolderInbox).Total, 120);    // old index: rebuilt at next listing
    ShowFolder(kFolderInbox);
    EXPECT_EQ(static_cast<size_t>(View->List.Count()), 120u - moved);
}

TEST_F(FolderViewTest, PickerOffersEveryFolderAndPreselectsTheProject) {
    fs::create_directories(Dir(600));
    WriteFolderLabel(Dir(600), "First");
    fs::create_directories(Dir(602)); // behind a gap
    WriteFolderLabel(Dir(602), "Behind gap");
    TNodeTree tree;
    ASSERT_TRUE(View->BuildDestinationTree(tree, kProject));
    ASSERT_EQ(tree.TopCount(), 1);
    TNode* project = tree.Selected();
    ASSERT_TRUE(project);
    EXPECT_EQ(project->Level(), 1);
    EXPECT_TRUE(project->Expanded());
    std::vector<int> codes;
    for (int i = 0; i < project->ChildCount(); ++i)
        codes.push_back(ParsePickedFolder(project->Child(i)->Text()).Folder);
    EXPECT_EQ(codes, (std::vector<int>{111, 112, 113, 114, 115, 116, 117}));
    TNode* inbox = project->Child(0);
    ASSERT_EQ(inbox->ChildCount(), 2);
    EXPECT_EQ(ParsePickedFolder(inbox->Child(1)->Text()).Folder, 602);
    EXPECT_EQ(ParsePickedFolder(inbox->Child(1)->Text()).Project, kProject);
    EXPECT_EQ(ParsePickedFolder("<XID=5><XPID=abc>").Folder, -1);
}

TEST_F(FolderViewTest, DropTargets) {
    ShowFolder(kFolderInbox);
    auto over = [this](int code) {
        return View->ProjectTreeDragOver(FindTopLevel(Workspace->ProjectTree, code));
    };
    EXPECT_FALSE(over(kFolderInbox)); // the listed folder itself
    EXPECT_FALSE(over(kFolderInReceipts));
    EXPECT_FALSE(over(kFolderOutReceipts));
    EXPECT_FALSE(over(kNodeProjectAdmin));
    for (int code : {kFolderSent, kFolderOutbox, kFolderTrash, kFolderDrafts})
        EXPECT_TRUE(over(code)) << code;
}

// --- Other commands ---

TEST_F(FolderViewTest, RemoveAttachmentsRemembersDontAskEvenOnNo) {
    const std::string withFile =
        "From: Dan <dan@example.org>\r\nTo: x@y.z\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
        "see\r\n--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
        "Content-Disposition: attachment; filename=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "JVBERi0=\r\n--b--\r\n";
    Put(kFolderInbox, "1.eml", withFile);
    ShowFolder(kFolderInbox);
    View->List.SelectOnly(0);
    Ui.AskAnswers.push_back({kAskSecond, true});
    View->RemoveAllAttachmentsClick();
    EXPECT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(ReadWholeFile(Dir(kFolderInbox) + "1.eml").value_or(""), withFile);
    EXPECT_TRUE(Shell->Settings().GetBool(TSettingKey::RemoveAttachments));

    View->RemoveAllAttachmentsClick(); // no question now
    EXPECT_EQ(Ui.Questions.size(), 1u);
    const std::string after = ReadWholeFile(Dir(kFolderInbox) + "1.eml").value_or("");
    EXPECT_EQ(after.find("a.pdf"), std::string::npos);
    EXPECT_NE(after.find("see"), std::string::npos);
    EXPECT_EQ(View->List.Row(0).ImageIndex, -1);
    TMessageList index;
    ASSERT_TRUE(LoadIndex(Dir(kFolderInbox) + "tree.lst", index).Ok);
    EXPECT_EQ(index.Row(0).ImageIndex, -1);
}

TEST_F(FolderViewTest, QuickViewShowsHtmlAsTextAndMarksRead) {
    Put(kFolderInbox, "_1.eml",
        "From: Ann <ann@example.org>\r\nTo: b@c.d\r\nSubject: html\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/html\r\n\r\n<html><body><p>Hello &amp; <b>welcome</b></p>"
        "<script>alert(1)</script><p>Bye</p></body></html>\r\n");
    Put(kFolderInbox, "_2.eml", "From: Ann <ann@example.org>\r\nSubject: empty\r\n\r\n");
    ShowFolder(kFolderInbox);
    View->List.SelectOnly(RowOf("_1.eml"));
    View->QuickViewClick();
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Caption, "ann@example.org");
    EXPECT_NE(Ui.Popups[0].Request.Text.find("Hello & welcome\r\nBye"), std::string::npos)
        << Ui.Popups[0].Request.Text;
    EXPECT_EQ(Ui.Popups[0].Request.Text.find("alert"), std::string::npos);
    EXPECT_EQ(Files(kFolderInbox), (std::set<std::string>{"1.eml", "_2.eml"}));

    View->List.SelectOnly(RowOf("_2.eml"));
    View->QuickViewClick();
    EXPECT_EQ(Ui.Popups.size(), 1u);
    EXPECT_TRUE(Files(kFolderInbox).count("_2.eml"));
}

TEST_F(FolderViewTest, OpenMakesExactlyTheSelectedUnreadRowsRead) {
    for (const char* name : {"_1.eml", "_2.eml", "_3.eml", "_4.eml", "5.emlf"})
        Put(kFolderInbox, name, Message(name));
    ShowFolder(kFolderInbox);
    std::vector<std::string> opened;
    View->Hooks.OpenMessageWindow = [&](const std::string& path, int, bool) { opened.push_back(path); };
    SelectNames({"_1.eml", "_3.eml", "_4.eml", "5.emlf"});
    View->OpenClick();
    EXPECT_EQ(opened.size(), 4u);
    EXPECT_EQ(Files(kFolderInbox),
              (std::set<std::string>{"1.eml", "_2.eml", "3.eml", "4.eml", "5.emlf"}));
}

TEST_F(FolderViewTest, SaveToFileRefusesToOverwriteTheMessageItself) {
    Put(kFolderInbox, "1.eml", Message("keep"));
    ShowFolder(kFolderInbox);
    View->List.SelectOnly(0);
    Ui.SaveFileAnswers.push_back(Dir(kFolderInbox) + "1.eml");
    View->SaveToFileClick();
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(0, 17)));
    EXPECT_EQ(ReadWholeFile(Dir(kFolderInbox) + "1.eml").value_or(""), Message("keep"));
    Ui.SaveFileAnswers.push_back((Home / "copy.txt").string());
    View->SaveToFileClick();
    EXPECT_EQ(ReadWholeFile((Home / "copy.txt").string()).value_or(""), Message("keep"));
}

} // namespace
} // namespace pelmora
