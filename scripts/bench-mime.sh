#!/usr/bin/env bash
# Mail format benchmark: builds the benchmark programs (Release), writes two input sets (the
# second with another seed and shape: base64 in lines of 73 characters, quoted-printable of
# Cyrillic text), runs Pelmora's benchmarks and then, in the same run and on the same files,
# the peers:
#   - GMime 3 (bench/mime/peer_gmime.c) parsing and decoding the corpus and the large message
#     in process (Google Benchmark medians of 5 beside GMime's median of 7, CPU time);
#   - one-shot processes, alternating for 5 rounds (median and spread of wall and CPU time):
#     parsing and decoding each set's large message (mime_parse_once beside peer_gmime), and
#     decoding each set's 200 MiB base64 and quoted-printable inputs (mime_decode_once beside
#     coreutils `base64 -d` on the base64 input, the yardstick for both);
#   - peak memory (/usr/bin/time -v) of parsing and decoding the 50 MiB message and the 20 MB
#     message of 200,000 tiny parts;
#   - the folder listing of a message of 4,000 To lines and of one with a To header of 25,000
#     addresses, each against an ordinary message of the same size (the listing time ratio):
#     the target rows come from mime_listing_ratio, which times both sides in alternating
#     batches of one process (median of 21 rounds, lowest and highest round beside it); the
#     Google Benchmark rows, each run in a process of its own, are shown for comparison.
# Prints each input's size, each throughput, each ratio and whether it meets its target.
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
targets=(mime_bench mime_corpus_gen mime_parse_once mime_decode_once mime_listing_ratio)
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
set2="$data_dir/set2"
if [ "$regenerate" = 1 ] || [ ! -f "$set2/qp.txt" ] || [ ! -f "$set2/large.eml" ]; then
    rm -rf "$set2"
    "$bin/mime_corpus_gen" "$set2" --messages 300 --large-mib 50 --codec-mib 200 --seed 7717 \
        --codec-shape 2
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
echo "== Recipient loop beside the ordinary listing, interleaved in one process"
listing_ratio=$("$bin/mime_listing_ratio" "$data_dir")
echo "$listing_ratio"
# field LABEL KEY: the value of KEY=... on the line of LABEL.
field() { awk -F'\t' -v label="$1" -v key="$2" '$1 == label {
    for (i = 2; i <= NF; i++) { split($i, kv, "="); if (kv[1] == key) print kv[2] } }' <<<"$listing_ratio"; }

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

echo "== One-shot processes, 5 alternating rounds (median and spread, seconds)"
# alternate SET: prints the sides' lines of bench/alternate_runs.py for one input set.
alternate() {
    local dir="$1" peer_large=()
    [ "$have_gmime" = 1 ] &&
        peer_large=("gmime-large" "$dir/large.eml" "$bin/peer_gmime --repeat 1 $dir/large.eml")
    /usr/bin/python3 bench/alternate_runs.py 5 \
        pelmora-base64 "$dir/base64.txt" "$bin/mime_decode_once base64" \
        base64-d "$dir/base64.txt" "base64 -d" \
        pelmora-qp "$dir/qp.txt" "$bin/mime_decode_once qp" \
        pelmora-large "$dir/large.eml" "$bin/mime_parse_once $dir/large.eml" \
        "${peer_large[@]}"
}
runs1=$(alternate "$data_dir"); echo "set 1:"; echo "$runs1"
runs2=$(alternate "$set2"); echo "set 2:"; echo "$runs2"

# process_row LABEL RUNS OURS PEER BOUND: ratio of throughputs (bytes / median seconds) of two
# sides of RUNS, by wall time and by CPU time, each judged against BOUND (at least).
process_row() {
    awk -v label="$1" -v ours="$3" -v peer="$4" -v bound="$5" -F'\t' '
    { split($2, w, " "); split($3, c, " "); wall[$1] = w[1]; wmin[$1] = w[2]; wmax[$1] = w[3]
      cpu[$1] = c[1]; cmin[$1] = c[2]; cmax[$1] = c[3]; bytes[$1] = $4 }
    END {
        if (!(ours in wall) || !(peer in wall)) { printf "%-46s n/a\n", label; exit }
        for (k = 0; k < 2; k++) {
            kind = k == 0 ? "wall" : "cpu"
            o = k == 0 ? wall[ours] : cpu[ours]; p = k == 0 ? wall[peer] : cpu[peer]
            olo = k == 0 ? wmin[ours] : cmin[ours]; ohi = k == 0 ? wmax[ours] : cmax[ours]
            plo = k == 0 ? wmin[peer] : cmin[peer]; phi = k == 0 ? wmax[peer] : cmax[peer]
            r = (bytes[ours] / o) / (bytes[peer] / p)
            printf "%-46s %4s %6.3fs (%.3f-%.3f) %6.3fs (%.3f-%.3f) %6.2f  >=%-5s %s\n",
                label, kind, o, olo, ohi, p, plo, phi, r, bound, (r >= bound ? "met" : "MISSED")
        }
    }' <<<"$2"
}

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
summary "base64 decode in process MB/s vs base64 -d" \
    "$p_base64" "$c_base64" "$p_base64" "$c_base64" 2 min
summary "quoted-printable in process MB/s vs base64 -d" \
    "$p_qp" "$c_base64" "$p_qp" "$c_base64" 1 min
summary "peak RSS of 50 MiB message (file load) / size" \
    "${rss_load}K" "${rss_gmime:-?}K" "$(( rss_load * 1024 ))" "$large_bytes" 3 max
summary "peak RSS of 50 MiB message (in memory) / size" \
    "${rss_text}K" "${rss_gmime:-?}K" "$(( rss_text * 1024 ))" "$large_bytes" 3 max
summary "peak RSS of 20 MB, $tiny_parts tiny parts / size" \
    "${rss_tiny}K" "${rss_tiny_gmime:-?}K" "$(( rss_tiny * 1024 ))" "$tiny_bytes" 3 max
# The target is for the recipient loop measured interleaved (times in microseconds). Beside
# it the same from separate processes ("apart") and the whole listing, where inputs of the
# same size make the time ratio the inverse ratio of the throughputs.
for label in "4,000 To lines" "25,000 addresses"; do
    summary "recipient loop, $label / ordinary" \
        "$(field "$label" loop_us)us" "$(field "$label" ordinary_us)us" \
        "$(field "$label" ratio)" 1 2 max
    echo "    rounds ranged $(field "$label" ratio_min)-$(field "$label" ratio_max)"
done
summary "recipient loop, 4,000 To lines, apart" \
    "$p_loop_lines" "$p_lines_plain" "$p_lines_plain" "$p_loop_lines" - info
summary "recipient loop, 25,000 addresses, apart" \
    "$p_loop_list" "$p_list_plain" "$p_list_plain" "$p_loop_list" - info
summary "whole listing, 4,000 To lines / ordinary listing" \
    "$p_lines" "$p_lines_plain" "$p_lines_plain" "$p_lines" - info
summary "whole listing, 25,000 addresses / ordinary listing" \
    "$p_list" "$p_list_plain" "$p_list_plain" "$p_list" - info

echo
echo "== One-shot processes (ratio of throughputs; Pelmora, then the peer; 5 alternating runs)"
printf 'inputs, set 2: large.eml %s bytes, base64.txt %s, qp.txt %s\n' \
    "$(stat -c %s "$set2/large.eml")" "$(stat -c %s "$set2/base64.txt")" \
    "$(stat -c %s "$set2/qp.txt")"
for set in 1 2; do
    runs=$runs1
    [ "$set" = 2 ] && runs=$runs2
    process_row "set $set: base64 decode vs base64 -d" "$runs" pelmora-base64 base64-d 2
    process_row "set $set: quoted-printable decode vs base64 -d" "$runs" pelmora-qp base64-d 1
    process_row "set $set: 50 MiB message, one process, vs GMime" "$runs" pelmora-large \
        gmime-large 1.5
done
