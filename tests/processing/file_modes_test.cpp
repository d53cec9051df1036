// Whatever the umask, the mail store is the user's alone: directories 0700, message files,
// indexes, counts, settings and the mail log 0600.

#include "processing/index_row.h"
#include "processing_fixture.h"
#include "shell/atomic_file.h"
#include "store/message_files.h"
#include "store/store_layout.h"

#include <sys/stat.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

unsigned ModeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

class FileModesTest : public WorkspaceTest {
protected:
    void SetUp() override {
        OldMask = ::umask(0);
        WorkspaceTest::SetUp();
    }
    void TearDown() override {
        WorkspaceTest::TearDown();
        ::umask(OldMask);
    }
    mode_t OldMask = 0;
};

TEST_F(FileModesTest, StoreIsPrivateUnderAnOpenUmask) {
    fs::remove_all(Home);
    Start();
    ASSERT_TRUE(EnsureProjectDirectories(Store, 1001));
    const std::string inbox = FolderPath(Store, 1001, kFolderInbox);
    for (const std::string& dir : {Home.string(), Store, ProjectDirectory(Store, 1001), inbox,
                                   Shell->Dirs().Temp})
        EXPECT_EQ(ModeOf(dir), 0700u) << dir;

    const std::optional<std::string> name =
        WriteNewMessageFile(inbox, kStateUnread, "Subject: x\r\n\r\nbody\r\n");
    ASSERT_TRUE(name);
    const std::string file = inbox + *name;
    TIndexRow row;
    row.FolderPath = inbox;
    row.FilePath = file;
    row.Subject = "x";
    ASSERT_TRUE(AppendToFolderIndex(row));
    Shell->Settings().SetBool(TSettingKey::CloseOnReady, true);
    ASSERT_TRUE(Shell->Settings().Save());
    ASSERT_TRUE(AppendToFile(Home.string() + "/mail.log", "line\r\n", false));
    for (const std::string& path : {file, inbox + "tree.lst", inbox + "tree.cnt",
                                    Home.string() + "/pelmora.ini", Home.string() + "/mail.log"})
        EXPECT_EQ(ModeOf(path), 0600u) << path;
}

} // namespace
} // namespace pelmora
