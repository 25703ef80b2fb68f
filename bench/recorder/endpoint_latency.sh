#!/bin/sh
# Delay between another program changing a source's volume and the endpoint list hearing of
# it, against a private PulseAudio server with a sine source.
#
#   bench/recorder/endpoint_latency.sh <build-dir> [rounds]
set -eu
build=${1:?usage: endpoint_latency.sh <build-dir> [rounds]}
rounds=${2:-100}
work=$(mktemp -d)
cat > "$work/test.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/native
load-module module-sine-source source_name=sine
PA
HOME=$work PULSE_RUNTIME_PATH=$work/runtime PULSE_STATE_PATH=$work/state \
    pulseaudio -n --file="$work/test.pa" --exit-idle-time=-1 --daemonize=no \
    --log-target=stderr --log-level=0 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT INT TERM
export PULSE_SERVER="unix:$work/native"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
"$build/bin/endpoint_notify_bench" sine "$rounds"
