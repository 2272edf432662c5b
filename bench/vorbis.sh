#!/usr/bin/env bash
# Encodes a long WAV's PCM through TVorbisOut at quality 0.5 and decodes an Ogg Vorbis file
# through TVorbisIn, and compares the CPU time (user + system) with `oggenc -q 5` and
# `oggdec` doing the same work on the same files. Ours and the peer take turns, five runs
# each, and the best run of each counts, so a busy machine weighs on both alike.
#   bench/vorbis.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin vorbis "${1:-build}" bench/vorbis_bench -- sox oggenc oggdec python3
bin="$build/bench/vorbis_bench"
sox -q -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 120 pinknoise vol 0.5 synth 120 sine mix 300-3000
sox -q "$work/long.wav" -t raw "$work/long.raw"
oggenc -Q -q 5 -o "$work/peer.ogg" "$work/long.wav"
python3 - "$bin" "$work" <<'PY'
import os, subprocess, sys
bin, work = sys.argv[1], sys.argv[2]

def cpu(cmd):
    before = os.times()
    subprocess.run(cmd, check=True)
    after = os.times()
    return (after.children_user - before.children_user) + (after.children_system - before.children_system)

jobs = {
    "encode": ([bin, "encode", work + "/long.raw", work + "/ours.ogg"],
               ["oggenc", "-Q", "-q", "5", "-o", work + "/peer2.ogg", work + "/long.wav"]),
    "decode": ([bin, "decode", work + "/peer.ogg", work + "/ours.raw"],
               ["oggdec", "-Q", "-R", "-o", work + "/peer.raw", work + "/peer.ogg"]),
}
for name, (ours_cmd, peer_cmd) in jobs.items():
    ours, peer = [], []
    for _ in range(5):
        ours.append(cpu(ours_cmd))
        peer.append(cpu(peer_cmd))
    tool = "TVorbisOut/oggenc -q 5" if name == "encode" else "TVorbisIn/oggdec"
    print("vorbis: %s %s CPU time ratio %.2f (target <= 1.05)" % (name, tool, min(ours) / min(peer)))
PY
