// Flushing and removing batches of message files: each file's own result, in order, whatever
// thread handled it; only complete, non-empty regular files count as flushed.

#include "processing/message_store.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TTempDir;
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

} // namespace
} // namespace pelmora
