#include "store/project_info.h"

#include "shell/atomic_file.h"
#include "paramtree/text_util.h"
#include "store/store_layout.h"

#include <charconv>
#include <sys/stat.h>

namespace pelmora {

namespace {

std::string InfoPath(const std::string& storeDir, int project) {
    return ProjectDirectory(storeDir, project) + "pinfo.txt";
}

} // namespace

bool WriteProjectInfo(const std::string& storeDir, int project, const TProjectInfo& info) {
    std::string name = info.Name;
    for (char& c : name) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return WriteFileAtomically(InfoPath(storeDir, project),
                               std::to_string(info.Account) + "\r\n" + name + "\r\n");
}

std::optional<TProjectInfo> ReadProjectInfo(const std::string& storeDir, int project) {
    auto data = ReadWholeFile(InfoPath(storeDir, project), nullptr, 1024 * 1024);
    if (!data)
        return std::nullopt;
    std::string_view text = *data;
    size_t end1 = text.find_first_of("\r\n");
    std::string_view first = TrimView(text.substr(0, end1));
    TProjectInfo info;
    auto [ptr, ec] = std::from_chars(first.data(), first.data() + first.size(), info.Account);
    if (ec != std::errc() || ptr != first.data() + first.size())
        return std::nullopt;
    if (end1 != std::string_view::npos) {
        size_t start2 =
            end1 +
            ((text[end1] == '\r' && end1 + 1 < text.size() && text[end1 + 1] == '\n') ? 2 : 1);
        std::string_view rest = text.substr(std::min(start2, text.size()));
        info.Name = std::string(rest.substr(0, rest.find_first_of("\r\n")));
    }
    return info;
}

bool ProjectInfoExists(const std::string& storeDir, int project) {
    struct stat st {};
    return ::stat(InfoPath(storeDir, project).c_str(), &st) == 0;
}

} // namespace pelmora
