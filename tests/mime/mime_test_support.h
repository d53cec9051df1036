#pragma once
// Helpers shared by the mail format tests.

#include <fstream>
#include <sstream>
#include <string>

namespace pelmora::test {

inline std::string MimeDataPath(const std::string& name) {
    return std::string(PELMORA_TEST_DATA) + "/mime/" + name;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

} // namespace pelmora::test
