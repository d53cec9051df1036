// Flushing and removing batches of message files: each file's own result, in order, whatever
// thread handled it; only complete, non-empty regular files count as flushed.

#include "processing/message_store.h"

#include "mime/mail_message.h"
#include "support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TTempDir;
using pelmora::testing::ReadTextFile;
using pelmora::testing::WriteTextFile;

enum class TKind { Message, Empty, Missing, Folder };

// Enough files for several flushing threads, the odd ones among them at every position.
std::vector<TKind> MixedBatch() {
    std::vector<TKind> kinds(61, TKind::Message);
    for (std::size_t i = 0; i < kinds.size(); i += 7)
        kinds[i] = TKind::Empty;
    for (std::size_t i = 3; i < kinds.size(); i += 11)
        kinds[i] = TKind::Missing;
    kinds[kinds.size() - 1] = TKind::Folder;
    return kinds;
}

TEST(MessageStoreTest, FlushTellsEachFileApart) {
    TTempDir dir("pelmora-flush");
    std::vector<std::string> paths;
    const std::vector<TKind> kinds = MixedBatch();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        // Two folders, so that each gets its directory flushed.
        const std::string folder = dir.Path() + (i % 2 ? "sent/" : "outreceipts/");
        fs::create_directories(folder);
        const std::string path = folder + std::to_string(i) + ".eml";
        if (kinds[i] == TKind::Message) {
            ASSERT_TRUE(WriteTextFile(path, "Subject: " + std::to_string(i) + "\r\n\r\nx\r\n"));
        } else if (kinds[i] == TKind::Empty) {
            ASSERT_TRUE(WriteTextFile(path, ""));
        } else if (kinds[i] == TKind::Folder) {
            fs::create_directories(path);
        }
        paths.push_back(path);
    }
    // Both ways: the file system at once, or file by file.
    for (const auto& flush : {FlushWrittenFiles, FlushEachFile}) {
        const std::vector<bool> flushed = flush(paths);
        ASSERT_EQ(flushed.size(), paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(flushed[i], kinds[i] == TKind::Message) << paths[i];
        EXPECT_TRUE(flush({}).empty());
    }
}

TEST(MessageStoreTest, RemoveCountsOnlyWhatStays) {
    TTempDir dir("pelmora-remove");
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        paths.push_back(dir.Path() + std::to_string(i) + ".eml");
        ASSERT_TRUE(WriteTextFile(paths.back(), "x"));
    }
    paths.push_back(dir.Path() + "gone-already.eml");
    // A folder is never removed as a file.
    paths.push_back(dir.Path() + "folder");
    fs::create_directories(paths.back());

    EXPECT_EQ(RemoveFiles(paths), 1);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"folder"});
}

struct TSpareCase {
    const char* Name;
    const char* Body;  // the message's body as it stands in memory
    std::size_t Spare; // bytes the spare file held before
};

class SaveOverSpare : public ::testing::TestWithParam<TSpareCase> {};

// A spare file rewritten with a message holds exactly what saving the message as a new file
// writes, whatever the spare held before and however the body's lines end.
TEST_P(SaveOverSpare, WritesWhatANewFileGets) {
    const TSpareCase& row = GetParam();
    TTempDir dir("pelmora-spare");
    TMailMessage message;
    message.SetHeaderValue("From", "Ann <ann@example.net>");
    message.SetHeaderValue("Subject", "a subject long enough to be folded: " + std::string(90, 'x'));
    message.SetHeaderValue("Bcc", "hidden@example.org");
    message.RawBody = std::string(row.Body);
    ASSERT_TRUE(message.SaveMessageFile(dir.Path() + "new.eml"));
    const std::string spare = dir.Path() + "spare.eml";
    ASSERT_TRUE(WriteTextFile(spare, std::string(row.Spare, 's')));
    ::chmod(spare.c_str(), 0644);

    ASSERT_TRUE(SaveMessageOverSpare(message, spare, dir.Path() + "copy.eml"));
    EXPECT_FALSE(fs::exists(spare));
    EXPECT_EQ(ReadTextFile(dir.Path() + "copy.eml"), ReadTextFile(dir.Path() + "new.eml"));
    struct stat info {};
    ASSERT_EQ(::stat((dir.Path() + "copy.eml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, SaveOverSpare,
    ::testing::Values(TSpareCase{"CrLfSpareLonger", "one\r\ntwo\r\n", 5000},
                      TSpareCase{"CrLfSpareShorter", "one\r\ntwo\r\n", 3},
                      TSpareCase{"BareLineFeeds", "one\ntwo\n\nthree\n", 100},
                      TSpareCase{"BareCarriageReturns", "one\rtwo\r\r\nthree\r", 100},
                      TSpareCase{"NoFinalLineBreak", "one\r\nlast", 100},
                      TSpareCase{"EmptyBody", "", 100},
                      TSpareCase{"EmptySpare", "body\r\n", 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// What is never written over: a file with a second name, a link, a missing file; and a name
// that is taken meanwhile keeps its file.
TEST(MessageStoreTest, SpareThatIsNotOursAloneIsLeftAlone) {
    TTempDir dir("pelmora-spare-refused");
    TMailMessage message;
    message.SetHeaderValue("Subject", "copy");
    message.RawBody = std::string("body\r\n");
    const std::string other = dir.Path() + "other.txt";
    ASSERT_TRUE(WriteTextFile(other, "someone's file"));

    const std::string linked = dir.Path() + "linked.eml";
    fs::create_hard_link(other, linked);
    EXPECT_FALSE(SaveMessageOverSpare(message, linked, dir.Path() + "a.eml"));
    const std::string symlink = dir.Path() + "symlink.eml";
    fs::create_symlink(other, symlink);
    EXPECT_FALSE(SaveMessageOverSpare(message, symlink, dir.Path() + "b.eml"));
    EXPECT_FALSE(SaveMessageOverSpare(message, dir.Path() + "missing.eml", dir.Path() + "c.eml"));
    EXPECT_EQ(ReadTextFile(other), "someone's file");
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        EXPECT_FALSE(fs::exists(dir.Path() + name)) << name;

    const std::string spare = dir.Path() + "spare.eml";
    ASSERT_TRUE(WriteTextFile(spare, "old"));
    ASSERT_TRUE(WriteTextFile(dir.Path() + "taken.eml", "already here"));
    EXPECT_FALSE(SaveMessageOverSpare(message, spare, dir.Path() + "taken.eml"));
    EXPECT_EQ(ReadTextFile(dir.Path() + "taken.eml"), "already here");
}

} // namespace
} // namespace pelmora
