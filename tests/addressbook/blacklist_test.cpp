#include "addressbook/blacklist.h"

#include "shell/message_texts.h"
#include "shell/scripted_ui.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

class BlackListTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        Dir = fs::temp_directory_path() /
              ("pelmora_bl_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        Path = BlackListPath(Dir.string() + "/");
        Texts.LoadDefaults();
    }
    void TearDown() override { fs::remove_all(Dir); }
    void Put(const std::string& text) { std::ofstream(Path, std::ios::binary) << text; }
    std::string Slurp() {
        std::ifstream file(Path, std::ios::binary);
        std::ostringstream out;
        out << file.rdbuf();
        return out.str();
    }

    fs::path Dir;
    std::string Path;
    TMessageTexts Texts;
    TScriptedUi Ui;
};

struct TMatchCase {
    const char* Name;
    const char* Sender;
    bool Blocked;
};

class BlackListMatch : public testing::TestWithParam<TMatchCase> {};

// The list every row is checked against.
const std::vector<std::string> kList = {
    "  SPAM@Example.COM  ", "example.org", "@", "", "nodot@localhost", "last@x.net",
};

TEST_P(BlackListMatch, WholeAddressWithoutCase) {
    EXPECT_EQ(IsBlacklisted(GetParam().Sender, kList), GetParam().Blocked);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BlackListMatch,
    testing::Values(TMatchCase{"UpperEntryBlocksLowerSender", "spam@example.com", true},
                    TMatchCase{"MixedCaseSender", "Spam@EXAMPLE.com", true},
                    TMatchCase{"DomainOnlyEntryIgnored", "someone@example.org", false},
                    TMatchCase{"EntryWithoutDotIgnored", "nodot@localhost", false},
                    TMatchCase{"NoSubstringMatch", "xspam@example.com", false},
                    TMatchCase{"LastEntryReached", "LAST@X.NET", true},
                    TMatchCase{"EmptySender", "", false}),
    [](const testing::TestParamInfo<TMatchCase>& info) { return info.param.Name; });

TEST(BlackListColumn, AddressTakenFromListColumn) {
    EXPECT_EQ(AddressFromListColumn("Jane Roe (jane@example.com)"), "jane@example.com");
    EXPECT_EQ(AddressFromListColumn("  jane@example.com "), "jane@example.com");
    EXPECT_EQ(AddressFromListColumn("Dr. (Ret.) Roe (roe@example.com)"), "roe@example.com");
    EXPECT_EQ(AddressFromListColumn("(x@y.z)"), "x@y.z");
}

struct TTopHeaderCase {
    const char* Name;
    std::vector<std::string> Lines; // header lines as a TOP reply delivers them
    const char* Address;
};

class TopHeaderSender : public testing::TestWithParam<TTopHeaderCase> {};

// Shapes of From fields seen in real mail: long display names push the address onto a
// continuation line (folded with a space or a tab), older mailers write "FROM:" or omit the
// blank after the colon, and the body may quote a From line of its own.
TEST_P(TopHeaderSender, AddressFoundAndBlocked) {
    const TMailAddress sender = SenderOfHeaderLines(GetParam().Lines);
    EXPECT_EQ(sender.Address, GetParam().Address);
    if (*GetParam().Address) {
        EXPECT_TRUE(IsBlacklisted(sender.Address, {GetParam().Address}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TopHeaderSender,
    testing::Values(
        TTopHeaderCase{"AddressOnContinuationLine",
                       {"Received: from mx.example.com by pop.example.nl;",
                        "\tThu, 10 Dec 2026 10:00:00 +0000",
                        "From: \"Customer Service Department of a Very Large Shop\"",
                        " <offers@shop.example.com>", "Subject: Deals", ""},
                       "offers@shop.example.com"},
        TTopHeaderCase{"TabFoldedAfterEncodedName",
                       {"FROM: =?utf-8?q?J=C3=BCrgen_M=C3=BCller?=", "\t<juergen@example.de>",
                        "To: me@example.nl"},
                       "juergen@example.de"},
        TTopHeaderCase{"FoldedInsideAngleAddress",
                       {"From: Spam King <spam@", " example.com>"}, "spam@example.com"},
        TTopHeaderCase{"NoBlankAfterColon", {"from:plain@example.org"}, "plain@example.org"},
        TTopHeaderCase{"ResentFromIsNotTheSender",
                       {"Resent-From: relay@example.net", "From: real@example.net"},
                       "real@example.net"},
        TTopHeaderCase{"BodyFromLineIgnored",
                       {"Subject: no sender", "", "From: quoted@example.com"}, ""},
        TTopHeaderCase{"NoHeaderAtAll", {}, ""}),
    [](const testing::TestParamInfo<TTopHeaderCase>& info) { return info.param.Name; });

TEST_F(BlackListTest, MissingFileIsEmptyAndSaveWritesCrLf) {
    EXPECT_TRUE(LoadBlackList(Path).empty());
    ASSERT_TRUE(SaveBlackList(Path, {"a@b.c", "d@e.f"}));
    EXPECT_EQ(Slurp(), "a@b.c\r\nd@e.f\r\n");
    EXPECT_EQ(LoadBlackList(Path), (std::vector<std::string>{"a@b.c", "d@e.f"}));
    // No temporary file is left beside it.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Dir))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(BlackListTest, AddSendersAppendsNewAddressesOnly) {
    Put("Known@Example.com\r\n");
    int added =
        AddSendersToBlackList(Path, {"Jane Roe (jane@example.com)", "known@example.COM", "",
                                     "not an address", "jane@example.com", "bob@example.net"});
    EXPECT_EQ(added, 2);
    EXPECT_EQ(Slurp(), "Known@Example.com\r\njane@example.com\r\nbob@example.net\r\n");
    // Nothing new: the file is not touched.
    fs::last_write_time(Path, fs::file_time_type::clock::now() - std::chrono::hours(1));
    auto before = fs::last_write_time(Path);
    EXPECT_EQ(AddSendersToBlackList(Path, {"JANE@example.com"}), 0);
    EXPECT_EQ(fs::last_write_time(Path), before);
}

TEST_F(BlackListTest, WindowSortsAddsDeletesAndSaves) {
    Put("zed@example.com\r\nAlpha@example.com\r\n\r\nbeta@example.com\r\n");
    TBlackListForm form = OpenBlackListForm(Path);
    EXPECT_EQ(form.Entries, (std::vector<std::string>{"Alpha@example.com", "beta@example.com",
                                                      "zed@example.com"}));
    EXPECT_EQ(form.Selected, (std::vector<bool>{true, false, false}));

    // A domain alone is refused with a beep and the message; a duplicate is accepted.
    Ui.QueryAnswers = {"example.net", "  ZED@example.com "};
    EXPECT_FALSE(BlackListAddClick(form, Ui, Texts));
    EXPECT_EQ(Ui.Beeps, 1);
    EXPECT_TRUE(Ui.PopupShown("example.net" + Texts.Text(4, 44)));
    EXPECT_TRUE(BlackListAddClick(form, Ui, Texts));
    EXPECT_EQ(form.Entries.size(), 4u);
    EXPECT_EQ(form.Entries[2], "zed@example.com");
    EXPECT_EQ(form.Entries[3], "ZED@example.com");

    // A cancelled question adds nothing and says nothing.
    Ui.QueryAnswers = {std::nullopt};
    EXPECT_FALSE(BlackListAddClick(form, Ui, Texts));
    EXPECT_EQ(form.Entries.size(), 4u);
    EXPECT_EQ(Ui.Beeps, 1);
    EXPECT_EQ(Ui.Popups.size(), 1u);

    form.Selected = {true, false, true, false};
    BlackListDeleteClick(form);
    EXPECT_EQ(form.Entries, (std::vector<std::string>{"beta@example.com", "ZED@example.com"}));
    EXPECT_EQ(form.Selected, (std::vector<bool>{true, false}));
    ASSERT_TRUE(BlackListCloseClick(form));
    EXPECT_EQ(Slurp(), "beta@example.com\r\nZED@example.com\r\n");
}

TEST_F(BlackListTest, UnreadableFileIsNeverOverwritten) {
    // A directory where the file should be: it exists and cannot be read as a list.
    fs::create_directories(Path + "/entries");
    EXPECT_EQ(ReadBlackList(Path), std::nullopt);
    EXPECT_TRUE(LoadBlackList(Path).empty());
    EXPECT_EQ(AddSendersToBlackList(Path, {"jane@example.com"}), 0);
    TBlackListForm form = OpenBlackListForm(Path);
    EXPECT_TRUE(form.ReadFailed);
    EXPECT_FALSE(BlackListCloseClick(form));
    EXPECT_TRUE(fs::is_directory(Path + "/entries"));
}

TEST_F(BlackListTest, EntryWithLineBreakStaysOneLine) {
    ASSERT_TRUE(SaveBlackList(Path, {"a@b.c\r\nevil@x.y"}));
    EXPECT_EQ(LoadBlackList(Path).size(), 1u);
}

} // namespace
} // namespace pelmora
