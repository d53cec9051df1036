#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace pelmora::testing {

TTempDir::TTempDir(const std::string& prefix) {
    std::filesystem::path base = std::filesystem::temp_directory_path();
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) {
        DirPath = std::string(buffer.data()) + "/";
        chmod(buffer.data(), 0755);
    }
}

TTempDir::~TTempDir() {
    if (!DirPath.empty()) {
        std::error_code error;
        std::filesystem::remove_all(DirPath, error);
    }
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace pelmora::testing
