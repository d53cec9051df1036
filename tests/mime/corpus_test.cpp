// Real-world messages written by many other mail programs over the years: the msg_*.txt
// sample files that ship with Python's test suite (Debian's libpython3.x-testsuite, or a
// Python built from source). Each one must be read, classified and rewritten without harm:
// rewriting it in the canonical shape and reading the result again keeps both texts and the
// bytes of every attachment. Skipped where no such files are installed.

#include "mime/mail_message.h"
#include "mime/mime_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

struct TCorpusFile {
    std::string Label; // test name: python version and file stem
    fs::path Path;
};

// Directories named like "python3*" below a library directory.
void AddPythonDataDirs(const fs::path& lib, std::vector<fs::path>& dirs) {
    std::error_code error;
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(lib, error)) {
        std::string name = entry.path().filename().string();
        fs::path data = entry.path() / "test" / "test_email" / "data";
        if (name.rfind("python3", 0) == 0 && fs::is_directory(data, error))
            found.push_back(data);
    }
    std::sort(found.begin(), found.end());
    dirs.insert(dirs.end(), found.begin(), found.end());
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every distinct msg_*.txt file; a file shipped by several Python versions counts once.
std::vector<TCorpusFile> FindCorpus() {
    std::vector<fs::path> dirs;
    AddPythonDataDirs("/usr/lib", dirs);
    std::error_code error;
    std::vector<fs::path> versions;
    for (const auto& entry : fs::directory_iterator("/root/.pyenv/versions", error))
        versions.push_back(entry.path() / "lib");
    std::sort(versions.begin(), versions.end());
    for (const auto& lib : versions)
        AddPythonDataDirs(lib, dirs);

    std::vector<TCorpusFile> files;
    std::set<std::string> seen;
    for (const auto& dir : dirs) {
        std::vector<fs::path> paths;
        for (const auto& entry : fs::directory_iterator(dir, error)) {
            std::string name = entry.path().filename().string();
            if (name.rfind("msg_", 0) == 0 && entry.path().extension() == ".txt")
                paths.push_back(entry.path());
        }
        std::sort(paths.begin(), paths.end());
        // ".../lib/python3.11/test/test_email/data" -> "python3_11"
        std::string version = dir.parent_path().parent_path().parent_path().filename().string();
        std::replace(version.begin(), version.end(), '.', '_');
        for (const auto& path : paths) {
            if (!seen.insert(ReadAll(path)).second)
                continue;
            files.push_back({version + "_" + path.stem().string(), path});
        }
    }
    return files;
}

void PrintTo(const TCorpusFile& file, std::ostream* out) {
    *out << file.Path;
}

// Without samples the one row left says so and skips.
std::vector<TCorpusFile> CorpusRows() {
    std::vector<TCorpusFile> files = FindCorpus();
    if (files.empty())
        files.push_back({"NoSamplesInstalled", {}});
    return files;
}

bool InTree(const TMailPart& root, const TMailPart* part) {
    if (&root == part)
        return true;
    for (const auto& child : root.SubParts)
        if (InTree(*child, part))
            return true;
    return false;
}

// What a reader gets out of a message: its texts and its attachments' bytes.
struct TContent {
    std::vector<std::string> Plain;
    std::vector<std::string> Html;
    std::multiset<std::pair<bool, std::string>> Attachments; // embedded, bytes

    bool operator==(const TContent&) const = default;
};

TContent ContentOf(TMailMessage& message) {
    message.MapParts();
    TContent content{message.PlainTextLines.Strings(), message.HtmlTextLines.Strings(), {}};
    for (TMailPart* part : message.Attachments) {
        part->DecodeBody();
        content.Attachments.insert({part->IsEmbedded, part->DecodedData.Copy()});
    }
    return content;
}

std::string Describe(const TContent& content) {
    std::ostringstream out;
    out << content.Plain.size() << " plain lines, " << content.Html.size() << " html lines, "
        << content.Attachments.size() << " attachments:";
    for (const auto& [embedded, bytes] : content.Attachments)
        out << " " << bytes.size() << (embedded ? "e" : "");
    return out.str();
}

class CorpusTest : public testing::TestWithParam<TCorpusFile> {};

TEST_P(CorpusTest, ReadsAndRewritesKeepingTextsAndAttachments) {
    const fs::path& path = GetParam().Path;
    if (path.empty())
        GTEST_SKIP() << "no msg_*.txt samples under /usr/lib/python3*/test/test_email/data "
                        "(Debian package libpython3.11-testsuite) or a pyenv tree";
    TMailMessage original;
    ASSERT_TRUE(original.LoadMessageFile(path.string())) << path;
    EXPECT_TRUE(original.PartMapStale);
    TContent before = ContentOf(original);
    EXPECT_FALSE(original.PartMapStale);
    // Every reference the classification hands out points into the message's own tree.
    for (const TMailPart* part :
         {original.PlainTextPart, original.HtmlTextPart, original.MixedContainer,
          original.RelatedContainer, original.AlternativeContainer})
        EXPECT_TRUE(part == nullptr || InTree(original, part));
    for (const TMailPart* part : original.Attachments) {
        EXPECT_TRUE(InTree(original, part));
        EXPECT_TRUE(part->SubParts.empty());
    }

    original.Restructure(RestructureMode::Always);
    EXPECT_FALSE(original.StructureStale);
    original.BuildBody();
    EXPECT_FALSE(original.BodyStale);
    std::string rebuilt = original.FullText();
    ASSERT_FALSE(rebuilt.empty());

    TMailMessage reread;
    reread.ParseText(rebuilt, true);
    TContent after = ContentOf(reread);
    SCOPED_TRACE("before: " + Describe(before) + "\nafter: " + Describe(after) + "\nrebuilt:\n" +
                 rebuilt.substr(0, 3000));
    if (!before.Plain.empty()) {
        EXPECT_EQ(after.Plain, before.Plain);
    }
    if (!before.Html.empty()) {
        EXPECT_EQ(after.Html, before.Html);
    }

    // Every attachment with content is still there, with the same bytes. One exception: the
    // reader takes no text out of containers it does not know (multipart/report, /signed,
    // /digest), so their text parts are attachments; rewritten into a mixed container, such
    // a part is read as the message's text. Its bytes then are that text.
    std::multiset<std::pair<bool, std::string>> missing;
    for (const auto& attachment : before.Attachments)
        if (!attachment.second.empty())
            missing.insert(attachment);
    for (const auto& attachment : after.Attachments) {
        if (attachment.second.empty())
            continue;
        auto found = missing.find(attachment);
        EXPECT_NE(found, missing.end())
            << "attachment of " << attachment.second.size() << " bytes appeared or changed";
        if (found != missing.end())
            missing.erase(found);
    }
    bool plainFromAttachment = false;
    bool htmlFromAttachment = false;
    for (const auto& [embedded, bytes] : missing) {
        std::vector<std::string> lines = SplitTextLines(UpToZero(bytes));
        if (before.Plain.empty() && !plainFromAttachment && lines == after.Plain) {
            plainFromAttachment = true;
        } else if (before.Html.empty() && !htmlFromAttachment && lines == after.Html) {
            htmlFromAttachment = true;
        } else {
            ADD_FAILURE() << "attachment of " << bytes.size() << " bytes lost";
        }
    }
    if (before.Plain.empty()) {
        EXPECT_TRUE(after.Plain.empty() || plainFromAttachment) << "plain text from nowhere";
    }
    if (before.Html.empty()) {
        EXPECT_TRUE(after.Html.empty() || htmlFromAttachment) << "HTML text from nowhere";
    }
}

INSTANTIATE_TEST_SUITE_P(PythonSamples, CorpusTest, testing::ValuesIn(CorpusRows()),
                         [](const testing::TestParamInfo<TCorpusFile>& info) {
                             return info.param.Label;
                         });

} // namespace
} // namespace pelmora
