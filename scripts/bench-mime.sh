#!/usr/bin/env bash
# Mail format benchmark: builds the benchmark programs (Release), writes the inputs, runs
# Pelmora's benchmark and then, in the same run and on the same files, the peers:
#   - GMime 3 (bench/mime/peer_gmime.c) parsing and decoding the corpus and the large message;
#   - coreutils `base64 -d` on the 200 MiB base64 input (also the yardstick for
#     quoted-printable decoding of 200 MiB of everyday text);
#   - peak memory (/usr/bin/time -v) of parsing and decoding the 50 MiB message and the 20 MB
#     message of 200,000 tiny parts;
#   - the folder listing of a message of 4,000 To lines and of one with a To header of 25,000
#     addresses, each against an ordinary message of the same size (the listing time ratio).
# Prints each throughput, each ratio and whether it meets its target. Throughputs are bytes
# per CPU second of the measured process (user + system), so that the other work on a shared
# machine does not distort the ratios; the peak memory is that of a single run.
#
#   scripts/bench-mime.sh [--regenerate]
#
# PELMORA_BENCH_BUILD_DIR (build-bench) and PELMORA_BENCH_DATA (bench/out/mime) override the
# directories. Needs libbenchmark-dev, libgmime-3.0-dev, coreutils and GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${PELMORA_BENCH_BUILD_DIR:-build-bench}"
data_dir="${PELMORA_BENCH_DATA:-bench/out/mime}"
regenerate=0
[ "${1:-}" = "--regenerate" ] && regenerate=1

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=OFF >/dev/null
targets=(mime_bench mime_corpus_gen mime_parse_once)
have_gmime=0
if pkg-config --exists gmime-3.0 2>/dev/null; then
    targets+=(peer_gmime)
    have_gmime=1
else
    echo "bench-mime.sh: GMime 3 missing (apt-get install libgmime-3.0-dev);" \
        "its ratios are skipped" >&2
fi
cmake --build "$build_dir" -j 2 --target "${targets[@]}"
bin="$build_dir/bench/mime"

if [ "$regenerate" = 1 ] || [ ! -f "$data_dir/qp.txt" ] || [ ! -f "$data_dir/large.eml" ] ||
    [ ! -f "$data_dir/tiny_parts.eml" ] || [ ! -f "$data_dir/recipients_list_ordinary.eml" ]; then
    rm -rf "$data_dir"
    "$bin/mime_corpus_gen" "$data_dir" --messages 2000 --large-mib 50 --codec-mib 200
fi
corpus_bytes=$(cat "$data_dir"/corpus/*.eml | wc -c)
large_bytes=$(stat -c %s "$data_dir/large.eml")
base64_bytes=$(stat -c %s "$data_dir/base64.txt")
qp_bytes=$(stat -c %s "$data_dir/qp.txt")

# Each benchmark runs in a process of its own that holds only its input, as the peer does.
echo "== Pelmora (median of 5 repetitions)"
pelmora_mbps() {
    local json="$build_dir/mime_bench_$1.json"
    "$bin/mime_bench" --data="$data_dir" --benchmark_filter="^$1\$" --benchmark_repetitions=5 \
        --benchmark_min_time=1 --benchmark_report_aggregates_only=true \
        --benchmark_out="$json" --benchmark_out_format=json >&2
    /usr/bin/python3 - "$json" "$1" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = [r for r in runs if r.get("aggregate_name") == "median"][0]
print(f"{median['bytes_per_second'] / 1e6:.1f}")
PY
}
p_corpus=$(pelmora_mbps CorpusParseMapDecode)
p_large=$(pelmora_mbps LargeParseMapDecode)
p_base64=$(pelmora_mbps Base64BodyDecode)
p_qp=$(pelmora_mbps QuotedPrintableDecode)
# The listing benchmarks check the recipients they counted and report an error otherwise;
# pelmora_mbps then finds no median and the script stops.
p_loop_lines=$(pelmora_mbps LoopRecipientLines)
p_loop_list=$(pelmora_mbps LoopRecipientList)
p_lines=$(pelmora_mbps ListRecipientLines)
p_lines_plain=$(pelmora_mbps ListRecipientLinesOrdinary)
p_list=$(pelmora_mbps ListRecipientList)
p_list_plain=$(pelmora_mbps ListRecipientListOrdinary)

g_corpus="" g_large=""
if [ "$have_gmime" = 1 ]; then
    echo "== GMime (median of 7 passes)"
    line=$("$bin/peer_gmime" --repeat 7 "$data_dir/corpus"); echo "corpus: $line"
    g_corpus=$(sed 's/.*mbps=//' <<<"$line")
    line=$("$bin/peer_gmime" --repeat 7 "$data_dir/large.eml"); echo "large.eml: $line"
    g_large=$(sed 's/.*mbps=//' <<<"$line")
fi

echo "== coreutils base64 -d (median of 5, CPU seconds)"
median_seconds() {
    /usr/bin/python3 - "$@" <<'PY'
import resource, subprocess, sys
def used():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime
times = []
for _ in range(5):
    with open(sys.argv[1], "rb") as src, open("/dev/null", "wb") as sink:
        start = used()
        subprocess.run(sys.argv[2:], stdin=src, stdout=sink, check=True)
        times.append(used() - start)
print(f"{sorted(times)[2]:.4f}")
PY
}
b_seconds=$(median_seconds "$data_dir/base64.txt" base64 -d)
c_base64=$(awk -v b="$base64_bytes" -v s="$b_seconds" 'BEGIN { printf "%.1f", b / 1e6 / s }')
echo "base64.txt: $b_seconds s, $c_base64 MB/s"

echo "== Peak memory (/usr/bin/time -v, maximum resident set size)"
peak_kib() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': *' '/Maximum resident set size/ { print $2 }'
}
rss_load=$(peak_kib "$bin/mime_parse_once" "$data_dir/large.eml")
rss_text=$(peak_kib "$bin/mime_parse_once" --text "$data_dir/large.eml")
rss_gmime=""
[ "$have_gmime" = 1 ] && rss_gmime=$(peak_kib "$bin/peer_gmime" --repeat 1 "$data_dir/large.eml")
tiny_bytes=$(stat -c %s "$data_dir/tiny_parts.eml")
# The tiny-parts run must have found its parts before its memory counts.
tiny_parts=$("$bin/mime_parse_once" "$data_dir/tiny_parts.eml" | sed 's/^parts=\([0-9]*\).*/\1/')
if [ "$tiny_parts" -lt 200000 ]; then
    echo "bench-mime.sh: tiny_parts.eml read as $tiny_parts parts, expected over 200000" >&2
    exit 1
fi
rss_tiny=$(peak_kib "$bin/mime_parse_once" "$data_dir/tiny_parts.eml")
rss_tiny_gmime=""
[ "$have_gmime" = 1 ] && rss_tiny_gmime=$(peak_kib "$bin/peer_gmime" --repeat 1 "$data_dir/tiny_parts.eml")

# summary LABEL OURS PEER A B BOUND KIND: prints one row; KIND "min" asks for a ratio of
# at least BOUND, "max" for at most BOUND, "info" shows the ratio A / B without a target.
summary() {
    awk -v label="$1" -v ours="$2" -v peer="$3" -v a="$4" -v b="$5" -v bound="$6" -v kind="$7" '
    BEGIN {
        if (b > 0) { r = a / b; shown = sprintf("%.2f", r) } else { shown = "n/a" }
        verdict = "n/a"
        if (kind == "info")
            verdict = "(no target)"
        else if (shown != "n/a")
            verdict = (kind == "min" ? r >= bound : r <= bound) ? "met" : "MISSED"
        printf "%-46s %10s %10s %8s  %s%-5s %s\n", label, ours, peer, shown,
               (kind == "min" ? ">=" : kind == "max" ? "<=" : ""), bound, verdict
    }'
}

echo
echo "== Summary (MB = 10^6 bytes)"
printf 'inputs: corpus %s bytes in %s files, large.eml %s, base64.txt %s, qp.txt %s\n' \
    "$corpus_bytes" "$(ls "$data_dir/corpus" | wc -l)" "$large_bytes" "$base64_bytes" "$qp_bytes"
printf '%-46s %10s %10s %8s  %-7s %s\n' measure Pelmora peer ratio target verdict
if [ "$have_gmime" = 1 ]; then
    summary "corpus parse+map+decode MB/s vs GMime" \
        "$p_corpus" "$g_corpus" "$p_corpus" "$g_corpus" 1.5 min
    summary "50 MiB message parse+map+decode MB/s vs GMime" \
        "$p_large" "$g_large" "$p_large" "$g_large" 1.5 min
fi
summary "base64 decode MB/s vs base64 -d" \
    "$p_base64" "$c_base64" "$p_base64" "$c_base64" 2 min
summary "quoted-printable decode MB/s vs base64 -d" \
    "$p_qp" "$c_base64" "$p_qp" "$c_base64" 1 min
summary "peak RSS of 50 MiB message (file load) / size" \
    "${rss_load}K" "${rss_gmime:-?}K" "$(( rss_load * 1024 ))" "$large_bytes" 3 max
summary "peak RSS of 50 MiB message (in memory) / size" \
    "${rss_text}K" "${rss_gmime:-?}K" "$(( rss_text * 1024 ))" "$large_bytes" 3 max
summary "peak RSS of 20 MB, $tiny_parts tiny parts / size" \
    "${rss_tiny}K" "${rss_tiny_gmime:-?}K" "$(( rss_tiny * 1024 ))" "$tiny_bytes" 3 max
# Same sizes, so the time ratio is the inverse ratio of the throughputs. The target is for
# the recipient loop; the whole listing of the same message is shown beside it.
summary "recipient loop, 4,000 To lines / ordinary listing" \
    "$p_loop_lines" "$p_lines_plain" "$p_lines_plain" "$p_loop_lines" 2 max
summary "recipient loop, 25,000 addresses / ordinary listing" \
    "$p_loop_list" "$p_list_plain" "$p_list_plain" "$p_loop_list" 2 max
summary "whole listing, 4,000 To lines / ordinary listing" \
    "$p_lines" "$p_lines_plain" "$p_lines_plain" "$p_lines" - info
summary "whole listing, 25,000 addresses / ordinary listing" \
    "$p_list" "$p_list_plain" "$p_list_plain" "$p_list" - info
