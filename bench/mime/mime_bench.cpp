// mime_bench: throughput of the mail format library on the inputs of mime_corpus_gen.
//
//   mime_bench --data=DIR [Google Benchmark flags]      (or PELMORA_MIME_BENCH_DATA=DIR)
//
// Every benchmark reports bytes_per_second of input per CPU second (Google Benchmark's
// default), so that other work on a shared machine does not distort it. Inputs are read into
// memory before timing starts; a benchmark whose input file is missing is not registered.

#include "bench_inputs.h"

#include "mime/base64.h"
#include "mime/quoted_printable.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::bench {
namespace {

namespace fs = std::filesystem;

// The inputs' directory; each input is read on first use and kept for the whole run, so a
// run filtered to one benchmark holds only that benchmark's input in memory.
fs::path DataDir;

const std::string& Input(const char* name) {
    static std::map<std::string, std::string> inputs;
    auto [it, added] = inputs.try_emplace(name);
    if (added && !ReadWholeFile(DataDir / name, it->second))
        std::cerr << "mime_bench: cannot read " << (DataDir / name) << "\n";
    return it->second;
}

const std::vector<std::string>& Corpus() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> out;
        for (const auto& path : ListFiles(DataDir / "corpus")) {
            std::string text;
            if (ReadWholeFile(path, text))
                out.push_back(std::move(text));
        }
        return out;
    }();
    return texts;
}

std::size_t TotalSize(const std::vector<std::string>& texts) {
    std::size_t total = 0;
    for (const auto& text : texts)
        total += text.size();
    return total;
}

void CorpusParseMapDecode(benchmark::State& state) {
    const auto& corpus = Corpus();
    TWorkTotals totals;
    for (auto _ : state) {
        totals = {};
        for (const auto& text : corpus)
            ParseMapDecode(text, totals);
        benchmark::DoNotOptimize(totals);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalSize(corpus)));
    state.counters["messages"] = static_cast<double>(corpus.size());
    state.counters["parts"] = static_cast<double>(totals.Parts);
    state.counters["attachments"] = static_cast<double>(totals.Attachments);
}

void LargeParseMapDecode(benchmark::State& state) {
    const std::string& text = Input("large.eml");
    TWorkTotals totals;
    for (auto _ : state) {
        totals = {};
        ParseMapDecode(text, totals);
        benchmark::DoNotOptimize(totals);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["parts"] = static_cast<double>(totals.Parts);
    state.counters["decoded"] = static_cast<double>(totals.DecodedBytes);
}

void Base64BodyDecode(benchmark::State& state) {
    const std::string& text = Input("base64.txt");
    for (auto _ : state) {
        std::string out;
        DecodeBase64BodyTo(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void QuotedPrintableDecode(benchmark::State& state) {
    const std::string& text = Input("qp.txt");
    for (auto _ : state) {
        std::string out;
        DecodeQuotedPrintableTo(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The folder listing of one message (bench_inputs.h). The input's recipient count is checked
// before anything is reported: a listing that lost recipients is no result.
void ListingBenchmark(benchmark::State& state, const char* input, std::size_t recipients) {
    const std::string& text = Input(input);
    std::size_t rowBytes = 0;
    std::size_t counted = ListMessage(text, rowBytes);
    if (counted != recipients) {
        state.SkipWithError(("recipients counted: " + std::to_string(counted) + ", expected " +
                             std::to_string(recipients))
                                .c_str());
        return;
    }
    for (auto _ : state) {
        counted = ListMessage(text, rowBytes);
        benchmark::DoNotOptimize(counted);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["recipients"] = static_cast<double>(counted);
    state.counters["row_bytes"] = static_cast<double>(rowBytes);
}

// The recipient loop alone, over a message read and classified before the clock runs: the
// first Count() parses the header, every NameAt/AddressAt reads the parsed lists.
void RecipientLoopBenchmark(benchmark::State& state, const char* input, std::size_t recipients) {
    const std::string& text = Input(input);
    std::string_view row;
    std::size_t counted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            auto message = std::make_unique<TMailMessage>();
            message->ParseText(text, true);
            message->MapParts();
            state.ResumeTiming();
            counted = RecipientLoop(*message, row);
            benchmark::DoNotOptimize(row.data());
            state.PauseTiming();
        }
        state.ResumeTiming();
        if (counted != recipients) {
            state.SkipWithError(("recipients counted: " + std::to_string(counted) +
                                 ", expected " + std::to_string(recipients))
                                    .c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["recipients"] = static_cast<double>(counted);
    state.counters["row_bytes"] = static_cast<double>(row.size());
}

void LoopRecipientLines(benchmark::State& state) {
    RecipientLoopBenchmark(state, "recipients_lines.eml", 4000);
}
void LoopRecipientList(benchmark::State& state) {
    RecipientLoopBenchmark(state, "recipients_list.eml", 25000);
}

void ListRecipientLines(benchmark::State& state) {
    ListingBenchmark(state, "recipients_lines.eml", 4000);
}
void ListRecipientLinesOrdinary(benchmark::State& state) {
    ListingBenchmark(state, "recipients_lines_ordinary.eml", 1);
}
void ListRecipientList(benchmark::State& state) {
    ListingBenchmark(state, "recipients_list.eml", 25000);
}
void ListRecipientListOrdinary(benchmark::State& state) {
    ListingBenchmark(state, "recipients_list_ordinary.eml", 1);
}

// Takes "--data=DIR" out of the arguments left over by benchmark::Initialize.
fs::path DataDirectory(int argc, char** argv) {
    constexpr std::string_view flag = "--data=";
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.substr(0, flag.size()) == flag)
            return fs::path(std::string(arg.substr(flag.size())));
    }
    if (const char* env = std::getenv("PELMORA_MIME_BENCH_DATA"))
        return env;
    return {};
}

int Run(int argc, char** argv) {
    // Freed memory stays with the program, as it does in a program that has been listing
    // folders for a while: without this, whether a large buffer comes from fresh pages (and
    // page faults) depends on what ran before, and the same input measures up to five times
    // slower or faster from one process to the next.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    benchmark::Initialize(&argc, argv);
    DataDir = DataDirectory(argc, argv);
    if (DataDir.empty()) {
        std::cerr << "mime_bench: give the inputs' directory with --data=DIR "
                     "(written by mime_corpus_gen)\n";
        return 2;
    }
    struct TEntry {
        const char* Name;
        const char* Input;
        void (*Function)(benchmark::State&);
    };
    static constexpr TEntry entries[] = {
        {"CorpusParseMapDecode", "corpus", CorpusParseMapDecode},
        {"LargeParseMapDecode", "large.eml", LargeParseMapDecode},
        {"Base64BodyDecode", "base64.txt", Base64BodyDecode},
        {"QuotedPrintableDecode", "qp.txt", QuotedPrintableDecode},
        {"ListRecipientLines", "recipients_lines.eml", ListRecipientLines},
        {"LoopRecipientLines", "recipients_lines.eml", LoopRecipientLines},
        {"LoopRecipientList", "recipients_list.eml", LoopRecipientList},
        {"ListRecipientLinesOrdinary", "recipients_lines_ordinary.eml", ListRecipientLinesOrdinary},
        {"ListRecipientList", "recipients_list.eml", ListRecipientList},
        {"ListRecipientListOrdinary", "recipients_list_ordinary.eml", ListRecipientListOrdinary},
    };
    int registered = 0;
    for (const auto& entry : entries) {
        std::error_code error;
        if (!fs::exists(DataDir / entry.Input, error))
            continue;
        benchmark::RegisterBenchmark(entry.Name, entry.Function)->Unit(benchmark::kMillisecond);
        ++registered;
    }
    if (registered == 0) {
        std::cerr << "mime_bench: no inputs in " << DataDir << "\n";
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace
} // namespace pelmora::bench

int main(int argc, char** argv) {
    return pelmora::bench::Run(argc, argv);
}
