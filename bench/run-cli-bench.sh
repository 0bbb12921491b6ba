#!/usr/bin/env bash
# Whole-process figures of trackfold-cli, with its peers measured in the same
# run, each size on both kinds of timing: quantised (events on a shared grid
# of ticks, about 5 a tick) and humanised (trackfold-genmidi --humanised,
# nearly every event on its own tick, as in a recorded performance):
#   - 16 x 60,000 events (about 4.9 and 5.4 MB): median wall time of
#     `trackfold-cli -q -o OUT IN` (every core) and with -j 1 (one core), of
#     `cat IN > X` and of `midicsv IN | csvmidi > X`, and the peak resident
#     memory;
#   - 16 x 600,000 events (about 49 and 54 MB): median time against `cat`,
#     peak memory;
#   - --byte-order against the default order on the humanised files;
#   - 16 x 2,500,000 events (about 200 MB, quantised, skipped with --quick):
#     time and peak memory, for linearity;
#   - a batch of 2,000 files: files per second with -j 1 and -j 2;
#   - the peak memory of `-q -r` batches of 2,000, 20,000 and (not with
#     --quick) 200,000 files, with what their names take.
#
# Usage: bench/run-cli-bench.sh [--quick] [BUILD_DIR] [BATCH_SOURCE_DIR]
# BUILD_DIR (default build/) must hold cli/trackfold-cli and
# bench/trackfold-genmidi. The batch is BATCH_SOURCE_DIR's *.mid files copied
# until there are 2,000 (default: the example, with generated small files).
set -euo pipefail

quick=0
if [[ ${1:-} == --quick ]]; then
    quick=1
    shift
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${1:-$here/../build}"
batch_source="${2:-}"
cli="$build/cli/trackfold-cli"
genmidi="$build/bench/trackfold-genmidi"
for tool in "$cli" "$genmidi"; do
    if [[ ! -x "$tool" ]]; then
        echo "missing $tool: build the targets trackfold-cli and trackfold-genmidi first" >&2
        exit 2
    fi
done
as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }
need=()
command -v hyperfine >/dev/null || need+=(hyperfine)
command -v midicsv >/dev/null || need+=(midicsv)
[[ -x /usr/bin/time ]] || need+=(time)
if ((${#need[@]})); then
    as_root apt-get install -y -qq "${need[@]}" >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# median_ms NAME COMMAND: hyperfine's median of the command, in ms.
median_ms() {
    hyperfine --style none --warmup 3 --min-runs "${runs:-30}" --export-json "$work/h.json" \
        --shell=bash ${prepare:+--prepare "$prepare"} "$1" >/dev/null 2>&1
    python3 -c '
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%.1f" % (statistics.median(r["times"]) * 1000))' "$work/h.json"
}
# peak_mb COMMAND...: the largest resident set of three runs, in MB.
peak_mb() {
    local best=0 kb
    for _ in 1 2 3; do
        /usr/bin/time -f '%M' -o "$work/t.txt" "$@" >/dev/null
        kb=$(tail -n 1 "$work/t.txt")
        ((kb > best)) && best=$kb
    done
    awk -v kb="$best" 'BEGIN { printf "%.1f", kb * 1024 / 1e6 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
size_mb() { awk -v s="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", s / 1e6 }'; }

# one_size LABEL EVENTS [--humanised]
one_size() {
    local label=$1 events=$2 timing=${3:-}
    local in="$work/in_$events.mid" out="$work/out_$events.mid"
    "$genmidi" "$in" --tracks 16 --events-per-track "$events" $timing >/dev/null
    local t_cli t_one t_cat t_csv="" t_bytes mem
    t_cli=$(median_ms "'$cli' -q -o '$out' '$in'")
    t_one=$(median_ms "'$cli' -q -j 1 -o '$out' '$in'")
    t_cat=$(median_ms "cat '$in' > '$work/copy.mid'")
    mem=$(peak_mb "$cli" -q -o "$out" "$in")
    local kind=quantised
    [[ -n $timing ]] && kind=humanised
    echo "$label, $kind: 16 x $events events, $(size_mb "$in") MB"
    echo "  trackfold-cli   median $t_cli ms, peak RSS $mem MB ($(ratio "$mem" "$(size_mb "$in")")x the input)"
    echo "  cat IN > X      median $t_cat ms   -> trackfold is $(ratio "$t_cli" "$t_cat")x cat"
    echo "  -j 1 (one core) median $t_one ms   -> $(ratio "$t_one" "$t_cat")x cat"
    if [[ -n $timing ]]; then
        t_bytes=$(median_ms "'$cli' -q --byte-order -o '$out' '$in'")
        echo "  --byte-order    median $t_bytes ms   -> $(ratio "$t_bytes" "$t_cli")x the default order"
    fi
    if [[ $events -le 60000 ]]; then
        runs=5 t_csv=$(median_ms "midicsv '$in' | csvmidi > '$work/csv.mid'")
        echo "  midicsv|csvmidi median $t_csv ms   -> trackfold is $(ratio "$t_cli" "$t_csv")x the text round trip"
    fi
    rm -f "$in" "$out" "$work/copy.mid" "$work/csv.mid"
}

echo "load before: $(uptime)"
one_size "small" 60000
one_size "small" 60000 --humanised
one_size "large" 600000
one_size "large" 600000 --humanised
if ((!quick)); then
    runs=3 one_size "huge" 2500000
fi

# Batch: about 2,000 files in 20 folders, -j 1 against -j 2. On /dev/shm when
# there is one: on a disk, creating and renaming files costs the kernel more
# than converting them, and that cost does not spread over the cores.
batch_root=$work
[[ -d /dev/shm && -w /dev/shm ]] && batch_root=$(mktemp -d /dev/shm/trackfold-batch.XXXXXX)
trap 'rm -rf "$work" "$batch_root"' EXIT
if [[ -n $batch_source ]]; then
    mapfile -t sources < <(find "$batch_source" -name '*.mid' ! -name '*_.mid' | sort)
else
    sources=("$here/../examples/Midi_F1.mid")
fi
per_folder=$(((2000 + 19) / 20))
for k in $(seq 1 20); do
    mkdir -p "$batch_root/batch/copy$k"
    n=0
    while ((n < per_folder)); do
        for s in "${sources[@]}"; do
            ((n < per_folder)) || break
            cp "$s" "$batch_root/batch/copy$k/f$n.mid"
            n=$((n + 1))
        done
    done
done
files=$(find "$batch_root/batch" -name '*.mid' | wc -l)
runs=10
prepare="find '$batch_root/batch' -name '*_.mid' -delete"
t1=$(median_ms "'$cli' -q -r -j 1 '$batch_root/batch'")
t2=$(median_ms "'$cli' -q -r -j 2 '$batch_root/batch'")
echo "batch: $files files in 20 folders of $batch_root, from ${#sources[@]} sources"
echo "  -j 1  median $t1 ms ($(awk -v t="$t1" -v f="$files" 'BEGIN { printf "%.0f", f * 1000 / t }') files/s)"
echo "  -j 2  median $t2 ms ($(awk -v t="$t2" -v f="$files" 'BEGIN { printf "%.0f", f * 1000 / t }') files/s)   -> $(ratio "$t1" "$t2")x the files per second"

# Batch memory: the first folder of 100 files copied into folders until there
# are N files; the peak of one `-q -r -j 2` run, and the bytes of the names
# (each path and its end).
batch_memory() {
    local n=$1 root="$batch_root/mem"
    rm -rf "$root"
    mkdir -p "$root"
    for k in $(seq 1 $((n / per_folder))); do
        cp -r "$batch_root/batch/copy1" "$root/copy$k"
    done
    local names
    names=$(find "$root" -name '*.mid' | awk '{ n += length($0) + 1 } END { printf "%.1f", n / 1e6 }')
    /usr/bin/time -f '%M' -o "$work/t.txt" "$cli" -q -r -j 2 "$root" >/dev/null
    echo "  $n files: peak RSS $(awk -v kb="$(tail -n 1 "$work/t.txt")" 'BEGIN { printf "%.1f", kb * 1024 / 1e6 }') MB, names $names MB"
    rm -rf "$root"
}
echo "batch memory, -q -r -j 2:"
batch_memory 2000
batch_memory 20000
if ((!quick)); then
    batch_memory 200000
fi
echo "load after: $(uptime)"
