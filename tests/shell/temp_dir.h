#pragma once
// A fresh directory under the system's temporary directory, removed with everything in it
// when the test ends.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace pelmora::testing {

class TTempDir {
public:
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pelmora-shell-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            Root = pattern + "/";
        }
    }
    ~TTempDir() {
        std::error_code error;
        std::filesystem::permissions(Root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(Root, error);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    // The directory, ending in "/".
    const std::string& Path() const { return Root; }

private:
    std::string Root;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace pelmora::testing
