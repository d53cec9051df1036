#include "shell/ini_file.h"

#include <cstdio>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "shell/temp_dir.h"

namespace pelmora {
namespace {

using testing::ReadFile;
using testing::TTempDir;
using testing::WriteFile;

// Peak resident memory of this process in kB since the mark was last reset.
long PeakKb() {
    long kb = -1;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
                break;
        }
        std::fclose(status);
    }
    return kb;
}

// A settings file of 400 MB (a sparse file: no disk is used) is read no further than its
// cap: a child process reads its first key with its peak memory grown by far less than the
// file.
TEST(IniFileTest, HugeFileIsNeverReadWhole) {
    TTempDir dir;
    const std::string path = dir.Path() + "pelmora.ini";
    WriteFile(path, "[Main]\r\nName=kept\r\n");
    std::filesystem::resize_file(path, 400ull * 1024 * 1024);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (std::FILE* reset = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", reset);
            std::fclose(reset);
        }
        const long before = PeakKb();
        try {
            TIniFile ini(path);
            if (ini.ReadString("Main", "Name", "") != "kept")
                _exit(1);
        } catch (...) {
            _exit(2);
        }
        const long grown = PeakKb() - before;
        _exit(before < 0 ? 3 : grown < 100 * 1024 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(IniFileTest, DamagedLinesAreSkippedKeyByKey) {
    TTempDir dir;
    const std::string path = dir.Path() + "pelmora.ini";
    WriteFile(path, "\xEF\xBB\xBF[System]\r\n"
                    "FolderTreeWidth=300\r\n"
                    "garbage line without equals\r\n"
                    "=no key\r\n"
                    "  ProjectHeight = 410  \r\n"
                    "ProjectHeight=999\r\n"
                    "MainFormWidth=12x\r\n"
                    "NoTunesPlease=1\r\n"
                    "[Fonts\r\n"
                    "ProjectTree=9\r\n"
                    "[fonts]\r\n"
                    "MessageList=8\r\n"
                    "FoldersTree=1");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("System", "FolderTreeWidth", 240), 300);
    EXPECT_EQ(ini.ReadInteger("system", "projectheight", 295), 410) << "first occurrence wins";
    EXPECT_EQ(ini.ReadInteger("System", "MainFormWidth", 790), 790) << "not a number";
    EXPECT_TRUE(ini.ReadBool("System", "NoTunesPlease", false));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"System", "fonts"}));
    EXPECT_EQ(ini.ReadInteger("Fonts", "ProjectTree", 7), 7) << "under a truncated heading";
    EXPECT_EQ(ini.ReadInteger("Fonts", "MessageList", 7), 8);
    EXPECT_EQ(ini.ReadInteger("Fonts", "FoldersTree", 7), 1) << "last line without line end";
}

TEST(IniFileTest, BooleansReadAndWrite) {
    TTempDir dir;
    const std::string path = dir.Path() + "b.ini";
    WriteFile(path, "orphan=1\n[S]\nA=1\nB=0\nC=true\nD=False\nE=yes\nF=2\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.Sections(), std::vector<std::string>{"S"}) << "no key before a section";
    EXPECT_TRUE(ini.ReadBool("S", "A", false));
    EXPECT_FALSE(ini.ReadBool("S", "B", true));
    EXPECT_TRUE(ini.ReadBool("S", "C", false));
    EXPECT_FALSE(ini.ReadBool("S", "D", true));
    EXPECT_TRUE(ini.ReadBool("S", "E", true)) << "unreadable gives the default";
    EXPECT_FALSE(ini.ReadBool("S", "E", false));
    EXPECT_TRUE(ini.ReadBool("S", "F", false));
    ini.WriteBool("S", "A", false);
    ini.WriteBool("T", "New", true);
    ASSERT_TRUE(ini.Save());
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("A=0\n"), std::string::npos);
    EXPECT_NE(text.find("[T]\nNew=1\n"), std::string::npos);
}

TEST(IniFileTest, EraseKeyAndSectionSurviveSave) {
    TTempDir dir;
    const std::string path = dir.Path() + "e.ini";
    WriteFile(path, "[System]\nA=1\nB=2\n[ExclSessionParam]\nX=1\nY=0\n");
    TIniFile ini(path);
    ini.EraseKey("system", "a");
    ini.EraseSection("EXCLSESSIONPARAM");
    EXPECT_FALSE(ini.ValueExists("System", "A"));
    EXPECT_FALSE(ini.SectionExists("ExclSessionParam"));
    ASSERT_TRUE(ini.Save());
    TIniFile again(path);
    EXPECT_FALSE(again.ValueExists("System", "A"));
    EXPECT_EQ(again.ReadInteger("System", "B", 0), 2);
    EXPECT_FALSE(again.SectionExists("ExclSessionParam"));
}

TEST(IniFileTest, SaveKeepsKeysWrittenByAnotherObject) {
    TTempDir dir;
    const std::string path = dir.Path() + "m.ini";
    TIniFile first(path);
    TIniFile second(path);
    first.WriteInteger("System", "A", 1);
    second.WriteInteger("MailForm", "CloseOnReady", 1);
    ASSERT_TRUE(second.Save());
    ASSERT_TRUE(first.Save());
    TIniFile check(path);
    EXPECT_EQ(check.ReadInteger("System", "A", 0), 1);
    EXPECT_EQ(check.ReadInteger("MailForm", "CloseOnReady", 0), 1);
}

TEST(IniFileTest, ValuesStayOnOneLineAndBadNamesAreRefused) {
    TTempDir dir;
    const std::string path = dir.Path() + "v.ini";
    TIniFile ini(path);
    ini.WriteString("S", "Path", "first\r\n[Evil]\nKey=2");
    ini.WriteString("S", "a=b", "x");
    ini.WriteString("S", "[x", "x");
    ini.WriteString("", "k", "x");
    ASSERT_TRUE(ini.Save());
    TIniFile again(path);
    EXPECT_EQ(again.Sections(), std::vector<std::string>{"S"});
    EXPECT_EQ(again.Keys("S"), std::vector<std::string>{"Path"});
    EXPECT_EQ(again.ReadString("S", "Path", ""), "first  [Evil] Key=2");
}

TEST(IniFileTest, FailedSaveLeavesOldFileAndKeepsEdits) {
    TTempDir dir;
    const std::string path = dir.Path() + "sub/f.ini";
    TIniFile ini(path);
    ini.WriteInteger("S", "A", 5);
    EXPECT_FALSE(ini.Save()) << "the directory does not exist";
    EXPECT_TRUE(ini.Modified());
    std::filesystem::create_directories(dir.Path() + "sub");
    EXPECT_TRUE(ini.Save());
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(TIniFile(path).ReadInteger("S", "A", 0), 5);
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(dir.Path() + "sub")) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

} // namespace
} // namespace pelmora
