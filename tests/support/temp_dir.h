#pragma once
// TTempDir: a fresh directory under the system's temporary directory, removed with everything
// in it when the object goes. Mode 0755 so that server processes running as other users can
// reach files the test puts there.

#include <string>

namespace pelmora::testing {

class TTempDir {
public:
    explicit TTempDir(const std::string& prefix = "pelmora-test");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    // The directory path, ending in "/".
    const std::string& Path() const { return DirPath; }

private:
    std::string DirPath;
};

// Writes a whole file; false when it cannot be written.
bool WriteTextFile(const std::string& path, const std::string& text);
// Reads a whole file; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

} // namespace pelmora::testing
