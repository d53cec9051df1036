// mime_bench: throughput of the mail format library on the inputs of mime_corpus_gen.
//
//   mime_bench --data=DIR [Google Benchmark flags]      (or PELMORA_MIME_BENCH_DATA=DIR)
//
// Every benchmark reports bytes_per_second of input. Inputs are read into memory before
// timing starts; a benchmark whose input file is missing is not registered.

#include "bench_inputs.h"

#include "mime/base64.h"
#include "mime/quoted_printable.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::bench {
namespace {

namespace fs = std::filesystem;

// Kept alive for the whole run: the benchmarks read them by reference.
std::vector<std::string> CorpusTexts;
std::string LargeText;
std::string Base64Text;
std::string QpText;

std::size_t TotalSize(const std::vector<std::string>& texts)
{
    std::size_t total = 0;
    for (const auto& text : texts)
        total += text.size();
    return total;
}

void CorpusParseMapDecode(benchmark::State& state)
{
    TWorkTotals totals;
    for (auto _ : state) {
        totals = {};
        for (const auto& text : CorpusTexts)
            ParseMapDecode(text, totals);
        benchmark::DoNotOptimize(totals);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalSize(CorpusTexts)));
    state.counters["messages"] = static_cast<double>(CorpusTexts.size());
    state.counters["parts"] = static_cast<double>(totals.Parts);
    state.counters["attachments"] = static_cast<double>(totals.Attachments);
}

void LargeParseMapDecode(benchmark::State& state)
{
    TWorkTotals totals;
    for (auto _ : state) {
        totals = {};
        ParseMapDecode(LargeText, totals);
        benchmark::DoNotOptimize(totals);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * LargeText.size()));
    state.counters["parts"] = static_cast<double>(totals.Parts);
    state.counters["decoded"] = static_cast<double>(totals.DecodedBytes);
}

void Base64BodyDecode(benchmark::State& state)
{
    for (auto _ : state) {
        std::string out;
        DecodeBase64BodyTo(Base64Text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Base64Text.size()));
}

void QuotedPrintableDecode(benchmark::State& state)
{
    for (auto _ : state) {
        std::string out;
        DecodeQuotedPrintableTo(QpText, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * QpText.size()));
}

// Takes "--data=DIR" out of the arguments left over by benchmark::Initialize.
fs::path DataDirectory(int argc, char** argv)
{
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

int Run(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    fs::path data = DataDirectory(argc, argv);
    if (data.empty()) {
        std::cerr << "mime_bench: give the inputs' directory with --data=DIR "
                     "(written by mime_corpus_gen)\n";
        return 2;
    }
    for (const auto& path : ListFiles(data / "corpus")) {
        std::string text;
        if (ReadWholeFile(path, text))
            CorpusTexts.push_back(std::move(text));
    }
    if (!CorpusTexts.empty())
        benchmark::RegisterBenchmark("CorpusParseMapDecode", CorpusParseMapDecode)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    if (ReadWholeFile(data / "large.eml", LargeText))
        benchmark::RegisterBenchmark("LargeParseMapDecode", LargeParseMapDecode)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    if (ReadWholeFile(data / "base64.txt", Base64Text))
        benchmark::RegisterBenchmark("Base64BodyDecode", Base64BodyDecode)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    if (ReadWholeFile(data / "qp.txt", QpText))
        benchmark::RegisterBenchmark("QuotedPrintableDecode", QuotedPrintableDecode)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    if (CorpusTexts.empty() && LargeText.empty() && Base64Text.empty() && QpText.empty()) {
        std::cerr << "mime_bench: no inputs in " << data << "\n";
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace
} // namespace pelmora::bench

int main(int argc, char** argv)
{
    return pelmora::bench::Run(argc, argv);
}
