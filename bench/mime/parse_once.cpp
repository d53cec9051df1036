// mime_parse_once: reads one message file, classifies it and decodes every part once, then
// prints what it found. Run under /usr/bin/time -v to see the peak memory of that work.
//
//   mime_parse_once FILE            the store's path (LoadMessageFile)
//   mime_parse_once --text FILE     the retrieval path (whole text in memory, ParseText)

#include "bench_inputs.h"

#include <iostream>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    using namespace pelmora::bench;
    bool fromText = argc == 3 && std::string_view(argv[1]) == "--text";
    if (argc != 2 && !fromText) {
        std::cerr << "usage: mime_parse_once [--text] FILE\n";
        return 2;
    }
    std::filesystem::path path = argv[argc - 1];
    TWorkTotals totals;
    if (fromText) {
        std::string text;
        if (!ReadWholeFile(path, text)) {
            std::cerr << "mime_parse_once: cannot read " << path << "\n";
            return 1;
        }
        ParseMapDecode(text, totals);
    } else if (!LoadMapDecode(path, totals)) {
        std::cerr << "mime_parse_once: cannot load " << path << "\n";
        return 1;
    }
    std::cout << "parts=" << totals.Parts << " attachments=" << totals.Attachments
              << " decoded=" << totals.DecodedBytes << "\n";
    return 0;
}
