#!/bin/sh
# CPU cost of recording at real time with on-the-fly MP3 at 48 kHz stereo, through
# mireldo-cli record on the virtual audio back-end (a 440 Hz tone as the input).
#
#   bench/recorder/run.sh <build-dir> [seconds]
#
# Prints the process's user + system CPU time over the run as a share of one core. The run
# includes opening the plug-ins and the final save (a copy of the on-the-fly file, as the
# quality does not change during the run).
set -eu
build=${1:?usage: run.sh <build-dir> [seconds]}
seconds=${2:-30}
cli="$build/bin/mireldo-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/cfg" "$work/out"

export HOME="$work/cfg" MIRELDO_CONFIG_DIR="$work/cfg"
export MIRELDO_AUDIO_MODE=virtual MIRELDO_VIRTUAL_INPUT=tone:440 MIRELDO_VIRTUAL_SPEED=1

/usr/bin/time -f '%U %S %e' -o "$work/time" \
    "$cli" record --format 1 --encode mp3 --quality 10 --duration "$seconds" \
    --folder "$work/out" > "$work/saved"
read -r user sys elapsed < "$work/time"
saved=$(cat "$work/saved")
size=$(stat -c %s "$saved")
awk -v u="$user" -v s="$sys" -v e="$elapsed" -v n="$seconds" -v b="$size" 'BEGIN {
    printf "recorded %s s (48000 Hz stereo, MP3 128 kbps on the fly), %d bytes saved\n", n, b
    printf "wall %.2f s, user %.2f s, system %.2f s\n", e, u, s
    printf "CPU: %.2f %% of one core (target below 5 %%)\n", (u + s) / e * 100
}'
