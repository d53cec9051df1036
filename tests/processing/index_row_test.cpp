#include "processing/index_row.h"

#include "store/folder_index.h"
#include "store/message_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelmora {
namespace {

using pelmora::testing::TTempDir;

// Rows appended in one go follow the rows already there, in their order, and "tree.cnt"
// counts them; a "tree.cnt" that no longer describes the index is counted anew.
TEST(AppendRowsToFolderIndexTest, AppendsInOrderAndCountsThem) {
    for (const bool staleSummary : {false, true}) {
        SCOPED_TRACE(staleSummary ? "stale tree.cnt" : "current tree.cnt");
        TTempDir dir("pelmora-index-rows");
        const std::string folder = dir.Path();
        auto row = [&folder](const std::string& name, int state) {
            TIndexRow made;
            made.FolderPath = folder;
            made.FilePath = folder + name;
            made.State = state;
            made.Subject = "subject " + name;
            made.Size = 100;
            return made;
        };
        ASSERT_TRUE(AppendToFolderIndex(row("_1.eml", kStateUnread)));
        if (staleSummary) {
            ASSERT_TRUE(WriteFolderSummary(folder + "tree.cnt", {7, 7}));
        }

        ASSERT_TRUE(AppendRowsToFolderIndex(
            {row("2.eml", kStateRead), row("_3.eml", kStateUnread), row("4.eml", kStateRead)}));

        TMessageList list;
        ASSERT_TRUE(LoadIndex(folder + "tree.lst", list).Ok);
        std::vector<std::string> subjects;
        for (const TListRow& listed : list.AllRows())
            subjects.emplace_back(listed.SubItem(2));
        EXPECT_EQ(subjects, (std::vector<std::string>{"subject _1.eml", "subject 2.eml",
                                                      "subject _3.eml", "subject 4.eml"}));
        const std::optional<TFolderSummary> summary = ReadFolderSummary(folder + "tree.cnt");
        ASSERT_TRUE(summary);
        EXPECT_EQ(summary->Total, 4);
        EXPECT_EQ(summary->Unread, 2);
    }
}

} // namespace
} // namespace pelmora
