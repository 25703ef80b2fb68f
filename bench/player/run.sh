#!/usr/bin/env bash
# CPU cost of `mireldo-cli play` at real-time speed on the virtual back-end: user + system
# seconds per minute of audio, for a WAV and an MP3 (44.1 kHz stereo).
# usage: bench/player/run.sh [BUILD_DIR] [MINUTES]   (defaults: build, 1)
# The full measurement is 10 minutes per file (MINUTES=10), so 20 minutes in all; the
# default of 1 minute takes 2 minutes. Target: under 1 % of one core for WAV (0.6 s per minute).
set -euo pipefail
build=${1:-build}
minutes=${2:-1}
bin=$(cd "$build/bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=$((minutes * 60))

echo "making ${minutes}-minute inputs in $work ..."
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth "$seconds" pinknoise sine 440 vol 0.3
lame --quiet -b 128 "$work/in.wav" "$work/in.mp3"

# cpu FILE: user and system CPU seconds of one real-time play of FILE.
cpu() {
    env -u MIRELDO_VIRTUAL_OUTPUT MIRELDO_AUDIO_MODE=virtual MIRELDO_VIRTUAL_SPEED=1 \
        /usr/bin/time -f '%U %S %e' -o "$work/time" "$bin/mireldo-cli" play "$1" > /dev/null
    cat "$work/time"
}

printf '\n%-6s %9s %9s %9s %14s %12s\n' file user sys wall "cpu s/min" "% of a core"
for f in in.wav in.mp3; do
    read -r user sys wall < <(cpu "$work/$f")
    per_min=$(echo "($user + $sys) / $minutes" | bc -l)
    share=$(echo "100 * ($user + $sys) / $wall" | bc -l)
    printf '%-6s %9.2f %9.2f %9.2f %14.3f %11.3f%%\n' "${f#in.}" "$user" "$sys" "$wall" \
        "$per_min" "$share"
done
