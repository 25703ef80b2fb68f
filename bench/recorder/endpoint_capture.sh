#!/bin/sh
# CPU cost of recording at real time through the endpoint capture device (a PulseAudio source
# in 48 kHz float stereo) into 44,100 Hz 16-bit stereo with on-the-fly MP3, and the frames
# written against floor(source frames x 44,100 / 48,000).
#
#   bench/recorder/endpoint_capture.sh <build-dir> [seconds]    (default 600)
#
# Starts a private PulseAudio server with a float null sink, plays two tones into it with
# pacat (sox makes them), and records the sink's monitor with endpoint_capture_bench.
set -eu
build=${1:?usage: endpoint_capture.sh <build-dir> [seconds]}
seconds=${2:-600}
bench="$build/bin/endpoint_capture_bench"
work=$(mktemp -d)
server_pid=""
player_pid=""
cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

export HOME="$work" MIRELDO_CONFIG_DIR="$work" PULSE_RUNTIME_PATH="$work/runtime"
export PULSE_STATE_PATH="$work/state" PULSE_SERVER="unix:$work/native"
cat > "$work/bench.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/native
load-module module-null-sink sink_name=bench format=float32le rate=48000 channels=2
PA
pulseaudio -n -F "$work/bench.pa" --exit-idle-time=-1 --daemonize=no --log-level=0 &
server_pid=$!
i=0
until pactl info > /dev/null 2>&1; do
    i=$((i + 1))
    [ "$i" -lt 100 ] || { echo "the sound server did not start" >&2; exit 1; }
    sleep 0.05
done

# The tones run longer than the recording; pacat stops when the script ends.
sox -n -t raw -e floating-point -b 32 -r 48000 -c 2 - synth "$((seconds + 10))" \
    sine 440 sine 660 vol 0.5 2>/dev/null |
    pacat --latency-msec=50 --raw --format=float32le --rate=48000 --channels=2 -d bench &
player_pid=$!

"$bench" bench.monitor "$seconds" bench
