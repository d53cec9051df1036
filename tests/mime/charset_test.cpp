// UTF-8 validation decides whether header and body bytes are shown as they are or read as
// windows-1252. Its verdict is compared with Python's strict UTF-8 decoder for sequences
// (valid, overlong, surrogate, out of range, cut short, stray continuation) placed at every
// offset around the eight-byte steps the validator takes through ASCII runs, and in texts of
// up to thirty-two bytes, which it checks in one step.

#include "mime/charset.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelmora {
namespace {

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(Utf8Validation, AgreesWithPythonAtEveryOffset) {
    const std::vector<std::string> sequences = {
        "\xC3\xA9",         "\xE2\x82\xAC",     "\xF0\x9F\x98\x80", // valid: two, three, four bytes
        "\xE9",             "\xC3",             "\x80",             // Latin-1, cut short, stray
        "\xC0\xAF",         "\xE0\x80\xAF",     "\xED\xA0\x80",     // overlong, overlong, surrogate
        "\xF4\x90\x80\x80", "\xF8\x88\x80\x80", "\xFF",             // above U+10FFFF, old forms
        "\xE2\x82",         "\xC3\xA9\xC3\xA9\xE9",             // cut short, Latin-1 after UTF-8
        "\xC1\xBF",         "\xDF\xBF\xC2\x80", "\xC3\xA9\x80",     // overlong, edges, extra continuation
        "\xC3\xC3\xA9"};                                            // lead without continuation
    std::vector<std::string> cases;
    for (const std::string& sequence : sequences) {
        for (std::size_t before = 0; before <= 33; ++before) {
            for (std::size_t after : {0, 1, 7, 8, 9}) {
                cases.push_back(std::string(before, 'a') + sequence + std::string(after, 'b'));
            }
        }
    }
    const std::filesystem::path input =
        std::filesystem::temp_directory_path() / ("pelmora-utf8-" + std::to_string(::getpid()));
    {
        std::ofstream out(input);
        for (const std::string& text : cases)
            out << Hex(text) << "\n";
    }
    const std::string command =
        "/usr/bin/python3 -c \"import sys\n"
        "for line in open(sys.argv[1]):\n"
        "    data = bytes.fromhex(line.strip())\n"
        "    try:\n"
        "        data.decode('utf-8'); print(1)\n"
        "    except UnicodeDecodeError:\n"
        "        print(0)\" " +
        input.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string verdicts;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        if (c == '0' || c == '1')
            verdicts += static_cast<char>(c);
    }
    ASSERT_EQ(::pclose(pipe), 0);
    std::filesystem::remove(input);
    ASSERT_EQ(verdicts.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(IsValidUtf8(cases[i]), verdicts[i] == '1') << Hex(cases[i]);
}

} // namespace
} // namespace pelmora
