#!/bin/sh
# Makes a 60-minute MP3 (a 10-second lame encode repeated, no Xing frame) behind a 100 KB ID3v2.3
# tag without padding, and times rewriting its title with tag_rewrite_bench.
# Usage: bench/tags/run.sh [build dir, default build-tags-rel] [runs]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-tags-rel}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/tagbench.XXXXXX")
trap 'rm -rf "$work"' EXIT

sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 10 sine 440 sine 660
lame --quiet -t -b 128 "$work/tone.wav" "$work/tone.mp3"
python3 - "$work" <<'PY'
import struct, sys
work = sys.argv[1]
def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
def frame(fid, content):
    return fid.encode() + struct.pack(">I", len(content)) + b"\0\0" + content
# A title, an artist and a 100 KB private frame: the tag is 100 KB with no padding.
frames = frame("TIT2", b"\0Original title") + frame("TPE1", b"\0Artist")
frames += frame("PRIV", b"bench\0" + bytes(i % 251 for i in range(100 * 1024 - len(frames) - 16)))
tag = b"ID3\x03\x00\x00" + synchsafe(len(frames)) + frames
audio = open(work + "/tone.mp3", "rb").read()
with open(work + "/hour.mp3", "wb") as out:
    out.write(tag)
    for _ in range(360):
        out.write(audio)
PY
"$build/bin/tag_rewrite_bench" "$work/hour.mp3" "$runs"
