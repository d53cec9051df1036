#include "mime/mime_types.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pelmora {
namespace {

TEST(MimeTypeTable, ReadsTypesAndFirstExtension) {
    TMimeTypeTable table;
    table.LoadText("# comment\n"
                   "image/jpeg\t\tjpeg jpg jpe\n"
                   "text/plain  txt text # trailing comment\n"
                   "application/x-empty\n");
    EXPECT_EQ(table.TypeForExtension(".jpg"), "image/jpeg");
    EXPECT_EQ(table.TypeForExtension(".JPG"), "image/jpeg");
    EXPECT_EQ(table.TypeForExtension(".text"), "text/plain");
    EXPECT_EQ(table.TypeForExtension(".comment"), "");
    EXPECT_EQ(table.ExtensionForType("image/jpeg"), ".jpeg");
    EXPECT_EQ(table.ExtensionForType("IMAGE/JPEG"), ".jpeg");
    EXPECT_EQ(table.ExtensionForType("application/x-empty"), "");
}

TEST(MimeTypes, SystemTableLookupsAndDefault) {
    EXPECT_EQ(MimeTypeForFile("/tmp/picture.gif"), "image/gif");
    EXPECT_EQ(MimeTypeForFile("report.PDF"), "application/pdf");
    EXPECT_EQ(MimeTypeForFile("no_extension"), "application/octet-stream");
    EXPECT_EQ(MimeTypeForFile("dir.d/no_extension"), "application/octet-stream");
    EXPECT_EQ(MimeTypeForFile("odd.qqqzzz"), "application/octet-stream");
    EXPECT_EQ(ExtensionForMimeType("image/gif"), ".gif");
    EXPECT_EQ(ExtensionForMimeType("application/x-nothing-like-this"), "");
}

struct TSanitizeCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TSanitizeCase& row, std::ostream* os) { *os << row.Name; }
    std::string Input;
    std::string Expected;
};

class SanitizeFileNameTest : public testing::TestWithParam<TSanitizeCase> {};

TEST_P(SanitizeFileNameTest, GivesSafeName) {
    EXPECT_EQ(SanitizeFileName(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SanitizeFileNameTest,
    testing::Values(TSanitizeCase{"Ordinary", "report.pdf", "report.pdf"},
                    TSanitizeCase{"Trimmed", "  report.pdf  ", "report.pdf"},
                    TSanitizeCase{"ReservedCharacters", "a:b\\c/d*e?f\"g<h>i|j'k", "a_b_c_d_e_f_g_h_i_j_k"},
                    TSanitizeCase{"ControlCharacters", "a\tb\x01" "c", "a_b_c"},
                    TSanitizeCase{"PathCannotEscape", "../../etc/passwd", ".._.._etc_passwd"},
                    TSanitizeCase{"DotsOnlyNameNoDirectory", "..", "__"},
                    TSanitizeCase{"CutTo254", std::string(300, 'n'), std::string(254, 'n')},
                    TSanitizeCase{"HighBytesKept", "caf\xC3\xA9.txt", "caf\xC3\xA9.txt"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace pelmora
