#!/usr/bin/env bash
# Encodes a 300 s WAV to FLAC at level 5 with `varnelcd-cli convert --to flac` (WAV reader,
# FLAC writer on its worker thread, program start included) and with `flac -5` on the same
# file, and compares the CPU time (user + system) and the file sizes. Ours and the peer take
# turns, five runs each, and the best run of each counts.
#   bench/flac.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin flac "${1:-build}" varnelcd-cli -- sox flac python3
sox -q -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 300 pinknoise vol 0.5 synth 300 sine mix 300-3000
mkdir -p "$work/ours" "$work/home/config"
python3 - "$cli" "$work" <<'PY'
import os, subprocess, sys
cli, work = sys.argv[1], sys.argv[2]
env = dict(os.environ, HOME=work + "/home", XDG_CONFIG_HOME=work + "/home/config")

def cpu(cmd):
    before = os.times()
    subprocess.run(cmd, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = os.times()
    return (after.children_user - before.children_user) + (after.children_system - before.children_system)

ours_cmd = [cli, "convert", "--to", "flac", "--out", work + "/ours", work + "/long.wav"]
peer_cmd = ["flac", "-5", "-s", "-f", "-o", work + "/peer.flac", work + "/long.wav"]
ours, peer = [], []
for _ in range(5):
    ours.append(cpu(ours_cmd))
    peer.append(cpu(peer_cmd))
size = os.path.getsize(work + "/ours/long.flac") / os.path.getsize(work + "/peer.flac")
print("flac: encode WAV to FLAC level 5 / flac -5 CPU time ratio %.2f (target <= 1.05)" % (min(ours) / min(peer)))
print("flac: encode WAV to FLAC level 5 / flac -5 size ratio %.3f (target 0.99 .. 1.01)" % size)
PY
