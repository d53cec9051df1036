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

#include <cstdlib>
#include <iostream>
#include <map>
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
