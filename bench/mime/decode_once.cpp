// mime_decode_once: decodes a base64 or quoted-printable file the way a stand-alone decoder
// does (read in pieces, decode, write to standard output), so that one process of it can be
// timed beside one of `base64 -d` on the same file.
//
//   mime_decode_once base64|qp [FILE]      (standard input without FILE)

#include "mime/base64.h"
#include "mime/quoted_printable.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::size_t kPiece = 1 << 20;

bool WriteOut(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(1, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

template <typename TDecoder>
int Decode(int fd) {
    TDecoder decoder;
    auto in = std::make_unique_for_overwrite<char[]>(kPiece);
    auto out = std::make_unique_for_overwrite<char[]>(TDecoder::MaxOutput(kPiece));
    for (;;) {
        const ssize_t got = ::read(fd, in.get(), kPiece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            std::cerr << "mime_decode_once: " << std::strerror(errno) << "\n";
            return 1;
        }
        if (got == 0)
            break;
        const std::size_t n =
            decoder.Decode(std::string_view(in.get(), static_cast<std::size_t>(got)), out.get());
        if (!WriteOut(out.get(), n))
            return 1;
    }
    return WriteOut(out.get(), decoder.Finish(out.get())) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view kind = argc == 2 || argc == 3 ? argv[1] : "";
    if (kind != "base64" && kind != "qp") {
        std::cerr << "usage: mime_decode_once base64|qp [FILE]\n";
        return 2;
    }
    const int fd = argc == 3 ? ::open(argv[2], O_RDONLY | O_CLOEXEC) : 0;
    if (fd < 0) {
        std::cerr << "mime_decode_once: cannot open " << argv[2] << "\n";
        return 1;
    }
    const int status = kind == "base64" ? Decode<pelmora::TBase64Decoder>(fd)
                                        : Decode<pelmora::TQuotedPrintableDecoder>(fd);
    if (fd != 0)
        ::close(fd);
    return status;
}
