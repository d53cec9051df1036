// Message files are written under a temporary name that is always created afresh: a link
// planted there by another local user is never followed, and the file is the owner's only.

#include "mime/mail_message.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MessageFile, PlantedLinkIsNeverFollowed) {
    const fs::path dir = fs::temp_directory_path() / ("pelmora_msgfile_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path victim = dir / "victim.txt";
    std::ofstream(victim) << "precious";
    const fs::path target = dir / "m.eml";
    fs::create_symlink(victim, dir / "m.eml.saving");

    const mode_t old = ::umask(0);
    TMailMessage message;
    message.ParseText("Subject: hi\r\n\r\nbody\r\n", true);
    const TMimeStatus status = message.SaveMessageFile(target.string());
    ::umask(old);
    ASSERT_TRUE(status) << status.Error;
    EXPECT_EQ(Slurp(victim), "precious");
    EXPECT_EQ(Slurp(target), "Subject: hi\r\n\r\nbody\r\n");
    struct stat info {};
    ASSERT_EQ(::lstat(target.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    fs::remove_all(dir);
}

} // namespace
} // namespace pelmora
