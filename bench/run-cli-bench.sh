#!/usr/bin/env bash
# Whole-process figures of trackfold-cli on the benchmark file (16 tracks x
# 60,000 events, about 4.9 MB): the median wall time of a file-to-file
# conversion (hyperfine) and the peak resident memory (/usr/bin/time -v).
#
# Usage: bench/run-cli-bench.sh [BUILD_DIR] [TRACKS] [EVENTS_PER_TRACK]
# BUILD_DIR defaults to build-bench beside this folder; it must hold
# cli/trackfold-cli and bench/trackfold-genmidi (build them first).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${1:-$here/../build-bench}"
tracks="${2:-16}"
events="${3:-60000}"
cli="$build/cli/trackfold-cli"
genmidi="$build/bench/trackfold-genmidi"

for tool in "$cli" "$genmidi"; do
    if [[ ! -x "$tool" ]]; then
        echo "missing $tool: build the targets trackfold-cli and trackfold-genmidi first" >&2
        exit 2
    fi
done

as_root() {
    if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}
need=()
command -v hyperfine >/dev/null || need+=(hyperfine)
[[ -x /usr/bin/time ]] || need+=(time)
if ((${#need[@]})); then
    as_root apt-get install -y "${need[@]}" >/dev/null || {
        as_root apt-get update >/dev/null && as_root apt-get install -y "${need[@]}" >/dev/null
    }
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
input="$work/bench.mid"
output="$work/bench_.mid"

"$genmidi" "$input" --tracks "$tracks" --events-per-track "$events"
"$cli" "$input" -o "$output" --quiet
echo "output: $(stat -c %s "$output") bytes"

hyperfine --style basic --warmup 5 --min-runs 40 \
    --export-json "$work/hyperfine.json" \
    "'$cli' '$input' -o '$output' --quiet" >"$work/hyperfine.txt"
cat "$work/hyperfine.txt"

# hyperfine's JSON holds every run's time; take the median of them.
median_ms=$(python3 -c '
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%.1f" % (statistics.median(r["times"]) * 1000))
' "$work/hyperfine.json")

# Peak resident memory: the largest of several runs.
peak_kb=0
for _ in 1 2 3 4 5; do
    /usr/bin/time -v "$cli" "$input" -o "$output" --quiet 2>"$work/time.txt"
    kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
    ((kb > peak_kb)) && peak_kb=$kb
done
peak_mib=$(awk -v kb="$peak_kb" 'BEGIN { printf "%.1f", kb / 1024 }')

echo
echo "file:         $tracks tracks x $events events, $(stat -c %s "$input") bytes"
echo "median time:  $median_ms ms   (target < 25 ms)"
echo "peak memory:  $peak_mib MiB ($peak_kb kB)   (target < 32 MB)"
