#!/bin/sh
# Splits lose nothing and memory stays flat: mireldo-cli records the virtual input's tone,
# running on by the clock as a sound card does (MIRELDO_VIRTUAL_INPUT_FREE_RUNNING=1), at
# SPEED times real time for the given wall-clock seconds, with a record size limit small
# enough that a record is split and saved every few seconds of wall time. Samples the
# process's resident memory every 10 s, then checks that the saved records, end to end, are
# one unbroken stretch of the tone (gapless_check).
#
#   bench/recorder/gapless_run.sh <build-dir> [seconds=600] [speed=60] [limit-bytes=4000000]
#
# GAPLESS_CHECK names the checker when the build has none (another build's mireldo-cli).
#
# 8000 Hz 16-bit mono (format row 12) saved as WAV: 10 minutes at 60 times real time are
# 10 hours of audio, about 576 MB of records in a temporary folder (removed at the end).
set -eu
build=${1:?usage: gapless_run.sh <build-dir> [seconds] [speed] [limit-bytes]}
seconds=${2:-600}
speed=${3:-60}
limit=${4:-4000000}
tone=440.123
cli="$build/bin/mireldo-cli"
check=${GAPLESS_CHECK:-$build/bin/gapless_check}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/cfg" "$work/out"
mkdir -m 700 "$work/rec"

export HOME="$work/cfg" MIRELDO_CONFIG_DIR="$work/cfg" MIRELDO_TEMP_DIR="$work/rec"
export MIRELDO_AUDIO_MODE=virtual MIRELDO_VIRTUAL_INPUT=tone:$tone MIRELDO_VIRTUAL_SPEED=$speed
export MIRELDO_VIRTUAL_INPUT_FREE_RUNNING=1 MIRELDO_RECORD_SIZE_LIMIT=$limit

"$cli" record --format 12 --encode wav --action 0 --duration "$seconds" \
    --folder "$work/out" > "$work/saved" 2> "$work/err" &
pid=$!
: > "$work/rss"
while sleep 10 && kill -0 "$pid" 2> /dev/null; do
    awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" >> "$work/rss" 2> /dev/null || true
done
status=0
wait "$pid" || status=$?
echo "mireldo-cli exit status $status"
sed 's/^/  stderr: /' "$work/err" | head -5
awk -v s="$seconds" -v v="$speed" 'NF { n++; if (n == 1) first = $1; last = $1;
        if (min == "" || $1 < min) min = $1; if ($1 > max) max = $1 }
    END { printf "%d s at %d x real time; RSS (KiB) over %d samples: first %d, min %d, max %d, last %d\n",
          s, v, n, first, min, max, last }' "$work/rss"
# The saved paths, one a line, in the order the records were made (names hold spaces).
tr '\n' '\0' < "$work/saved" | xargs -0 "$check" 8000 "$tone" | tail -20
