// codec_dump: decodes every "*.b64" and "*.qp" file of a directory twice, as one text and in
// pieces of random sizes through the streaming decoders, and writes NAME.whole and
// NAME.pieces beside it. codec_differential_test.py compares both with Python's decoding.
//
//   codec_dump DIR

#include "mime/base64.h"
#include "mime/quoted_printable.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using namespace pelmora;

bool ReadFile(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in) || in.eof();
}

bool WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Feeds text to a streaming decoder in pieces of 1 to 200 bytes, each decoded into a fresh
// buffer filled with garbage, so that a decoder relying on zeros or on its neighbours shows.
template <typename TDecoder>
std::string DecodeInPieces(std::string_view text, std::mt19937& random) {
    TDecoder decoder;
    std::string out;
    std::size_t pos = 0;
    while (true) {
        const std::size_t size = std::min<std::size_t>(text.size() - pos, 1 + random() % 200);
        const std::size_t room = TDecoder::MaxOutput(size);
        auto buffer = std::make_unique_for_overwrite<char[]>(room);
        std::fill_n(buffer.get(), room, '\xA5');
        if (size == 0) {
            out.append(buffer.get(), decoder.Finish(buffer.get()));
            return out;
        }
        out.append(buffer.get(), decoder.Decode(text.substr(pos, size), buffer.get()));
        pos += size;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: codec_dump DIR\n";
        return 2;
    }
    std::mt19937 random(20261210);
    int done = 0;
    for (const auto& entry : fs::directory_iterator(argv[1])) {
        const fs::path path = entry.path();
        const bool base64 = path.extension() == ".b64";
        if (!base64 && path.extension() != ".qp")
            continue;
        std::string text;
        if (!ReadFile(path, text)) {
            std::cerr << "codec_dump: cannot read " << path << "\n";
            return 1;
        }
        const std::string whole = base64 ? DecodeBase64Body(text) : DecodeQuotedPrintable(text);
        const std::string pieces = base64
                                       ? DecodeInPieces<TBase64Decoder>(text, random)
                                       : DecodeInPieces<TQuotedPrintableDecoder>(text, random);
        fs::path out = path;
        if (!WriteFile(out.replace_extension(".whole"), whole) ||
            !WriteFile(out.replace_extension(".pieces"), pieces)) {
            std::cerr << "codec_dump: cannot write beside " << path << "\n";
            return 1;
        }
        ++done;
    }
    std::cout << done << " files decoded\n";
    return 0;
}
