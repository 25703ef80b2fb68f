#!/usr/bin/env bash
# Decoding and opening speed of Sondrel against its peers, on the same files in one run.
#
# usage: bench/decoder/run.sh [BUILD_DIR]   (default: build-release; a release build is meant)
#
# Rows, one line each on standard output: <row name> TAB <ours seconds> TAB <peer seconds> TAB
# <ratio ours/peer>. Progress goes to standard error.
#   decode-mp3-cbr128  sondrel-decode F - against mpg123 -q -s F, 10 minutes lame -b 128
#   decode-mp3-vbr     the same, 10 minutes lame -V 2
#   decode-mp2-192     the same, 10 minutes twolame -b 192
#   open-mp3-60min     sondrel-info F (length scan and seek index, whole process) against
#                      header_walk F (a bare frame-header walk over the mapped file, whole process)
# Every figure is the median of RUNS (default 5) runs, ours and the peer's interleaved so that
# load from other work on the machine falls on both alike; output goes to /dev/null.
#
# ROWS (default: all) picks rows by a grep pattern, e.g. ROWS=open. CLOCK=cpu measures the CPU
# time of each run (user + system, from perf stat) instead of the wall time: on a machine others
# load, a run's wall time includes waiting for a core.
#
# Inputs are made with sox, lame and twolame in BENCH_INPUTS (default: a temporary folder that is
# removed at the end); an existing BENCH_INPUTS folder with the files in it is reused.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-release}
bin=$(cd "$build/bin" && pwd)
runs=${RUNS:-5}

for tool in sox lame twolame mpg123 cc $([ "${CLOCK:-wall}" = cpu ] && echo perf); do
    command -v "$tool" > /dev/null || { echo "run.sh: $tool is missing" >&2; exit 2; }
done
for exe in sondrel-decode sondrel-info; do
    [ -x "$bin/$exe" ] || { echo "run.sh: $bin/$exe is not built" >&2; exit 2; }
done

if [ -n "${BENCH_INPUTS:-}" ]; then
    work=$BENCH_INPUTS
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/decbench.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi

if [ ! -s "$work/60min.mp3" ] || [ ! -s "$work/l2.mp2" ] || [ ! -s "$work/vbr.mp3" ]; then
    echo "making inputs in $work ..." >&2
    sox -n -r 44100 -c 2 -b 16 "$work/10min.wav" synth 600 pinknoise sine 440 vol 0.3
    lame --quiet -b 128 "$work/10min.wav" "$work/cbr128.mp3"
    lame --quiet -V 2 "$work/10min.wav" "$work/vbr.mp3"
    twolame --quiet -b 192 "$work/10min.wav" "$work/l2.mp2"
    # 60 minutes at 128 kbit/s: six copies of the 10-minute file's frames.
    for _ in 1 2 3 4 5 6; do cat "$work/cbr128.mp3"; done > "$work/60min.tmp"
    mv "$work/60min.tmp" "$work/60min.mp3"
    rm -f "$work/10min.wav"
fi
walker=$work/header_walk
if [ ! -x "$walker" ] || [ "$here/header_walk.c" -nt "$walker" ]; then
    cc -O2 -o "$walker" "$here/header_walk.c"
fi

# seconds CMD...: wall (or CPU) time of one run in seconds; fails when the command fails.
seconds() {
    if [ "${CLOCK:-wall}" = cpu ]; then
        perf stat -x, -o "$work/perf.csv" -e task-clock "$@" > /dev/null 2>&1 ||
            { echo "run.sh: failed: $*" >&2; return 1; }
        echo "$(awk -F, '/task-clock/ { print $1 }' "$work/perf.csv") / 1000" | bc -l
        return 0
    fi
    local start=$EPOCHREALTIME
    "$@" > /dev/null 2>&1 || { echo "run.sh: failed: $*" >&2; return 1; }
    local end=$EPOCHREALTIME
    echo "$end - $start" | bc -l
}
median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.4f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# row NAME -- OURS... -- PEER...: prints the row, medians of $runs interleaved runs.
row() {
    local name=$1
    shift 2
    if [ -n "${ROWS:-}" ] && ! grep -qE -- "$ROWS" <<< "$name"; then
        return 0
    fi
    local ours=() peer=()
    while [ "$1" != "--" ]; do ours+=("$1"); shift; done
    shift
    peer=("$@")
    # One untimed run each fills the page cache and the dynamic loader's caches.
    seconds "${ours[@]}" > /dev/null
    seconds "${peer[@]}" > /dev/null
    local oursTimes="" peerTimes=""
    for _ in $(seq "$runs"); do
        oursTimes+="$(seconds "${ours[@]}")"$'\n'
        peerTimes+="$(seconds "${peer[@]}")"$'\n'
    done
    local o p
    o=$(printf '%s' "$oursTimes" | median)
    p=$(printf '%s' "$peerTimes" | median)
    printf '%s\t%s\t%s\t%.3f\n' "$name" "$o" "$p" "$(echo "$o / $p" | bc -l)"
}

row decode-mp3-cbr128 -- "$bin/sondrel-decode" "$work/cbr128.mp3" - -- mpg123 -q -s "$work/cbr128.mp3"
row decode-mp3-vbr -- "$bin/sondrel-decode" "$work/vbr.mp3" - -- mpg123 -q -s "$work/vbr.mp3"
row decode-mp2-192 -- "$bin/sondrel-decode" "$work/l2.mp2" - -- mpg123 -q -s "$work/l2.mp2"
row open-mp3-60min -- "$bin/sondrel-info" "$work/60min.mp3" -- "$walker" "$work/60min.mp3"
