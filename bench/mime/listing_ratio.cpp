// mime_listing_ratio: the recipient loop of a folder listing against the listing of an
// ordinary message of the same size, measured side by side in one process.
//
//   mime_listing_ratio DIR
//
// For each pair of inputs of mime_corpus_gen (a message of 4,000 To lines, one of a To header
// of 25,000 addresses, and the ordinary message of the same size beside each) it runs 21
// rounds. A round times a batch of recipient loops and then a batch of ordinary listings (the
// other order in every other round), so that both sides of one ratio run within a few
// milliseconds of each other: on a shared machine the speed of the processor changes from
// one second to the next, and ratios of runs made at different times measure that instead.
// Prints, per input, the median time of each side and the median, lowest and highest ratio
// of the rounds. Every loop's recipient count is checked first; a wrong count is an error.

#include "bench_inputs.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace pelmora::bench {
namespace {

using TClock = std::chrono::steady_clock;

double Microseconds(TClock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct TPair {
    const char* Label;
    const char* Loaded;   // the message of many recipients
    const char* Ordinary; // the ordinary message of the same size
    std::size_t Recipients;
};

// The loop over a message read and classified outside the clock, as mime_bench's
// LoopRecipient benchmarks do: only the first Count() and the listing text are timed.
double TimeLoops(const std::string& text, std::size_t recipients, int batch, bool& wrong) {
    TClock::duration total{};
    for (int i = 0; i < batch; ++i) {
        auto message = std::make_unique<TMailMessage>();
        message->ParseText(text, true);
        message->MapParts();
        std::string_view row;
        const TClock::time_point start = TClock::now();
        const std::size_t counted = RecipientLoop(*message, row);
        total += TClock::now() - start;
        wrong = wrong || counted != recipients || row.empty();
    }
    return Microseconds(total) / batch;
}

double TimeListings(const std::string& text, int batch, bool& wrong) {
    std::size_t rowBytes = 0;
    const TClock::time_point start = TClock::now();
    for (int i = 0; i < batch; ++i)
        wrong = ListMessage(text, rowBytes) != 1 || wrong;
    const TClock::duration total = TClock::now() - start;
    wrong = wrong || rowBytes == 0;
    return Microseconds(total) / batch;
}

int Run(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mime_listing_ratio DIR\n");
        return 2;
    }
    // As in mime_bench: freed memory stays with the program, as in one that has been listing
    // folders for a while.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    const std::filesystem::path dir = argv[1];
    const TPair pairs[] = {
        {"4,000 To lines", "recipients_lines.eml", "recipients_lines_ordinary.eml", 4000},
        {"25,000 addresses", "recipients_list.eml", "recipients_list_ordinary.eml", 25000},
    };
    constexpr int Rounds = 21;
    int status = 0;
    for (const TPair& pair : pairs) {
        std::string loaded;
        std::string ordinary;
        if (!ReadWholeFile(dir / pair.Loaded, loaded) || !ReadWholeFile(dir / pair.Ordinary, ordinary)) {
            std::fprintf(stderr, "mime_listing_ratio: cannot read %s or %s in %s\n", pair.Loaded,
                         pair.Ordinary, dir.c_str());
            return 1;
        }
        // Batches of about 20 ms of ordinary listings.
        bool wrong = false;
        const double probe = TimeListings(ordinary, 5, wrong);
        const int batch = std::clamp(static_cast<int>(20000 / std::max(probe, 1.0)), 5, 400);
        std::vector<double> loops;
        std::vector<double> listings;
        std::vector<double> ratios;
        for (int round = 0; round < Rounds && !wrong; ++round) {
            double loop = 0;
            double listing = 0;
            if (round % 2 == 0) {
                loop = TimeLoops(loaded, pair.Recipients, batch, wrong);
                listing = TimeListings(ordinary, batch, wrong);
            } else {
                listing = TimeListings(ordinary, batch, wrong);
                loop = TimeLoops(loaded, pair.Recipients, batch, wrong);
            }
            loops.push_back(loop);
            listings.push_back(listing);
            ratios.push_back(loop / listing);
        }
        if (wrong) {
            std::fprintf(stderr, "mime_listing_ratio: %s: wrong recipient count or empty row\n", pair.Label);
            status = 1;
            continue;
        }
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("%s\tloop_us=%.1f\tordinary_us=%.1f\tratio=%.2f\tratio_min=%.2f\tratio_max=%.2f\t"
                    "rounds=%d\tbatch=%d\n",
                    pair.Label, Median(loops), Median(listings), Median(ratios), *low, *high, Rounds,
                    batch);
    }
    return status;
}

} // namespace
} // namespace pelmora::bench

int main(int argc, char** argv) { return pelmora::bench::Run(argc, argv); }
