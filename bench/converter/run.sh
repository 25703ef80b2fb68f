#!/usr/bin/env bash
# Conversion speed of `mireldo-cli convert` against ffmpeg and a `lame --decode | lame` pipe
# doing the same work on the same 10-minute 44,100 Hz stereo MP3, in one run:
#   1. to 22,050 Hz mono 64 kbit/s MP3;  2. to WAV (the source's format).
# usage: bench/converter/run.sh [BUILD_DIR]   (default: build)
# Prints the best of $RUNS runs (default 3) per tool and the ratios (ours / theirs).
set -euo pipefail
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-3}

echo "making the input in $work ..."
sox -n -r 44100 -c 2 -b 16 "$work/10min.wav" synth 600 pinknoise sine 440 vol 0.3
lame --quiet -b 128 "$work/10min.wav" "$work/src.mp3"
rm -f "$work/10min.wav"

# best_of CMD...: the shortest wall time of $runs runs, in seconds (outputs removed first).
best_of() {
    local best=""
    for _ in $(seq "$runs"); do
        rm -f "$work"/out.*
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
lame_pipe_mp3() { lame --quiet --decode "$work/src.mp3" - | lame --quiet -r -s 44.1 --resample 22.05 -m m -b 64 - "$work/out.mp3"; }

m_mp3=$(best_of "$bin/mireldo-cli" convert --type mp3 --rate 22050 --channels 1 --bitrate 64 --overwrite --to "$work/out.mp3" "$work/src.mp3")
f_mp3=$(best_of ffmpeg -v error -y -i "$work/src.mp3" -ar 22050 -ac 1 -b:a 64k "$work/out.mp3")
l_mp3=$(best_of lame_pipe_mp3)
m_wav=$(best_of "$bin/mireldo-cli" convert --type wav --overwrite --to "$work/out.wav" "$work/src.mp3")
f_wav=$(best_of ffmpeg -v error -y -i "$work/src.mp3" "$work/out.wav")
l_wav=$(best_of lame --quiet --decode "$work/src.mp3" "$work/out.wav")

printf '\n%-26s %10s %10s %10s %12s %12s\n' "case" "mireldo" "ffmpeg" "lame" "vs ffmpeg" "vs lame"
printf '%-26s %10s %10s %10s %12s %12s\n' "mp3 -> 22050 mono 64k mp3" "$m_mp3" "$f_mp3" "$l_mp3" \
    "$(ratio "$m_mp3" "$f_mp3")" "$(ratio "$m_mp3" "$l_mp3")"
printf '%-26s %10s %10s %10s %12s %12s\n' "mp3 -> wav" "$m_wav" "$f_wav" "$l_wav" \
    "$(ratio "$m_wav" "$f_wav")" "$(ratio "$m_wav" "$l_wav")"
