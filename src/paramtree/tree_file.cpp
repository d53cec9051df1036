#include "paramtree/tree_file.h"

#include "shell/atomic_file.h"
#include "shell/ui_services.h"

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace pelmora {

namespace {

// Deeper trees are not written by the program; refusing them keeps every walk shallow.
constexpr int kMaxLevel = 1000;

std::string LevelError(int level, std::string_view text) {
    return "Invalid level (" + std::to_string(level) + ") for item \"" + std::string(text) + "\"";
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

TTreeReadResult ParseTreeText(std::string_view data, TNodeTree& tree) {
    // Built aside and handed over at once: views see one reset instead of a node at a time.
    TNodeTree built;
    TTreeReadResult result;
    std::vector<TNode*> path; // path[level] is the latest node at that level
    size_t pos = 0;
    int lineNumber = 0;
    while (pos < data.size()) {
        size_t end = data.find_first_of("\r\n", pos);
        std::string_view line =
            data.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (end == std::string_view::npos)
            pos = data.size();
        else if (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n')
            pos = end + 2;
        else
            pos = end + 1;
        ++lineNumber;

        // The writer ends every line, so text after the last line break is a cut-off node.
        if (end == std::string_view::npos) {
            result.Ok = false;
            result.Error = "Line " + std::to_string(lineNumber) +
                           " ends without a line break: the file was cut short";
            break;
        }
        if (line.find('\0') != std::string_view::npos) {
            result.Ok = false;
            result.Error = "Invalid character in line " + std::to_string(lineNumber);
            break;
        }
        size_t indent = 0;
        while (indent < line.size() && (line[indent] == '\t' || line[indent] == ' '))
            ++indent;
        std::string_view text = line.substr(indent);
        int level = path.empty() ? 0 : static_cast<int>(indent);
        if (level > static_cast<int>(path.size()) || level > kMaxLevel) {
            result.Ok = false;
            result.Error = LevelError(level, text);
            break;
        }
        TNode* parent = level == 0 ? nullptr : path[static_cast<size_t>(level - 1)];
        TNode* node = built.Add(parent, std::string(text));
        path.resize(static_cast<size_t>(level));
        path.push_back(node);
    }
    tree.TakeNodes(built);
    return result;
}

std::string FormatTreeText(const TNodeTree& tree) {
    std::string out;
    for (TNode* node : tree.DepthFirst()) {
        out.append(static_cast<size_t>(node->Level()), '\t');
        out += node->Text();
        out += "\r\n";
    }
    return out;
}

TTreeReadResult ReadTreeFile(const std::string& path, TNodeTree& tree) {
    std::string error;
    auto data = ReadWholeFile(path, &error);
    if (!data) {
        tree.Clear();
        return {false, error};
    }
    return ParseTreeText(*data, tree);
}

bool WriteTreeFile(const std::string& path, const TNodeTree& tree, unsigned mode,
                   std::string* error) {
    return WriteFileAtomically(path, FormatTreeText(tree), mode, error);
}

namespace {

// A copy that can stand in for the file: read whole and holding at least one node.
std::optional<std::string> GoodCopy(const std::string& path) {
    if (!FileExists(path))
        return std::nullopt;
    auto data = ReadWholeFile(path);
    if (!data)
        return std::nullopt;
    TNodeTree tree;
    if (!ParseTreeText(*data, tree).Ok || tree.Empty())
        return std::nullopt;
    return data;
}

} // namespace

TTreeLoadOutcome LoadTreeFileSafely(const std::string& path, TNodeTree& tree, TUiServices& ui,
                                    const TTreeFileSafety& safety, std::string* why) {
    auto play = [](const std::function<void()>& sound) {
        if (sound)
            sound();
    };
    auto popup = [&](const std::string& text, int ms) {
        TPopupRequest request;
        request.Caption = safety.WarningCaption;
        request.Text = text;
        request.DisplayMs = ms;
        request.TextSize = 13;
        request.Modeless = false;
        ui.ShowPopup(request);
    };
    const std::string lastGood = path + ".lw_backup";
    const std::string older = path + ".backup";

    // Called only with text that was just read whole, so neither copy ever receives a
    // damaged tree; the text written is the text checked, not a second read of the file.
    auto rotateCopies = [&](const std::string& data) {
        std::optional<std::string> previous = GoodCopy(lastGood);
        bool backupOk = true;
        if (previous && *previous != data)
            backupOk = WriteFileAtomically(older, *previous, safety.Mode);
        else if (!GoodCopy(older))
            backupOk = WriteFileAtomically(older, data, safety.Mode);
        if (!backupOk) {
            play(safety.PlayPopped);
            popup(safety.BackupFailedText, safety.BackupFailedMs);
        }
        // A last good copy that holds the text already stays as it is.
        if (!previous || *previous != data)
            WriteFileAtomically(lastGood, data, safety.Mode);
    };
    auto readWhole = [&](std::string& data) -> TTreeReadResult {
        std::string error;
        auto read = ReadWholeFile(path, &error);
        if (!read) {
            tree.Clear();
            return {false, error};
        }
        data = std::move(*read);
        return ParseTreeText(data, tree);
    };

    TTreeReadResult result;
    std::string data;
    if (!FileExists(path)) {
        tree.Clear();
        if (!GoodCopy(lastGood) && !GoodCopy(older))
            return TTreeLoadOutcome::Missing;
        result = {false, "The file is missing"};
    } else {
        result = readWhole(data);
        if (result.Ok && tree.Empty() && (GoodCopy(lastGood) || GoodCopy(older)))
            result = {false, "The file is empty"};
    }
    if (result.Ok) {
        rotateCopies(data);
        return TTreeLoadOutcome::Loaded;
    }
    if (why)
        *why = result.Error;

    play(safety.PlayAttention);
    bool unusedCheck = false;
    int answer = ui.AskDialog(safety.CorruptQuestion, safety.CorruptQuestion,
                              safety.CorruptQuestionSize, unusedCheck, false);
    if (answer != kAskFirst)
        return TTreeLoadOutcome::KeptBroken;

    std::optional<std::string> good = GoodCopy(lastGood);
    if (!good)
        good = GoodCopy(older);
    bool repaired = false;
    if (good) {
        // What the damaged file still holds may be newer than the copy; keep it for the user.
        if (!data.empty())
            WriteFileAtomically(path + ".damaged", data, safety.Mode);
        repaired =
            WriteFileAtomically(path, *good, safety.Mode) && readWhole(data).Ok && !tree.Empty();
    }
    if (repaired) {
        rotateCopies(data);
        return TTreeLoadOutcome::Repaired;
    }
    tree.Clear();
    if (why)
        *why += good ? "; the safety copy could not replace the file"
                     : "; no safety copy could be read whole";
    play(safety.PlayAttention);
    popup(safety.RepairFailedText, safety.RepairFailedMs);
    return TTreeLoadOutcome::Emptied;
}

} // namespace pelmora
