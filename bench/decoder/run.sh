#!/usr/bin/env bash
# Decoding and opening speed of Sondrel against mpg123 and ffmpeg, on the same files in one run.
# usage: bench/decoder/run.sh [BUILD_DIR]   (default: build)
# Prints the best of several runs per tool and the ratios; makes its inputs with sox, lame and
# twolame in a temporary folder.
set -euo pipefail
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-3}

echo "making inputs in $work ..."
sox -n -r 44100 -c 2 -b 16 "$work/10min.wav" synth 600 pinknoise sine 440 vol 0.3
lame --quiet -b 128 "$work/10min.wav" "$work/cbr128.mp3"
lame --quiet -V 2 "$work/10min.wav" "$work/vbr.mp3"
twolame --quiet -b 192 "$work/10min.wav" "$work/l2.mp2"
# 60 minutes of 128 kbps: six copies of the 10-minute file's frames.
for i in 1 2 3 4 5 6; do cat "$work/cbr128.mp3"; done > "$work/60min.mp3"
rm -f "$work/10min.wav"

# best_of CMD...: the shortest wall time of $runs runs, in seconds.
best_of() {
    local best=""
    for _ in $(seq "$runs"); do
        local start end t
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    printf '%.3f' "$best"
}
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

printf '\n%-12s %10s %10s %10s %12s %12s\n' "file" "sondrel" "mpg123" "ffmpeg" "vs mpg123" "vs ffmpeg"
for f in cbr128.mp3 vbr.mp3 l2.mp2; do
    s=$(best_of "$bin/sondrel-decode" "$work/$f" -)
    m=$(best_of mpg123 -q -s "$work/$f")
    g=$(best_of ffmpeg -v quiet -i "$work/$f" -f s16le -)
    printf '%-12s %9ss %9ss %9ss %11sx %11sx\n' "$f" "$s" "$m" "$g" "$(ratio "$s" "$m")" "$(ratio "$s" "$g")"
done

echo
echo "open time of a 60-minute 128 kbps file (length scan and index), warm page cache:"
cat "$work/60min.mp3" > /dev/null
s=$(best_of "$bin/sondrel-info" "$work/60min.mp3")
m=$(best_of mpg123 -q -t "$work/60min.mp3")
g=$(best_of ffprobe -v quiet -count_frames -show_entries stream=nb_read_frames "$work/60min.mp3")
printf '%-12s %9ss  mpg123 -t %ss (%sx)  ffprobe -count_frames %ss (%sx)\n' "sondrel-info" "$s" "$m" "$(ratio "$s" "$m")" "$g" "$(ratio "$s" "$g")"
