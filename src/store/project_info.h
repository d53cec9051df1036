#pragma once
// "pinfo.txt" in a project directory: line 1 the number of the account that owns the
// project, line 2 the project's name as plain text.

#include <optional>
#include <string>

namespace pelmora {

struct TProjectInfo {
    int Account = 0;
    std::string Name;
};

bool WriteProjectInfo(const std::string& storeDir, int project, const TProjectInfo& info);
// std::nullopt when the file is missing or its first line is not a number.
std::optional<TProjectInfo> ReadProjectInfo(const std::string& storeDir, int project);
bool ProjectInfoExists(const std::string& storeDir, int project);

} // namespace pelmora
