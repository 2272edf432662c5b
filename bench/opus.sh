#!/usr/bin/env bash
# Encodes a 120 s WAV to Opus at 160 kbit/s with `varnelcd-cli convert --to opus` (WAV
# reader, libopusenc on the writer's worker thread, program start and tags included) and with
# `opusenc --bitrate 160` on the same file, and compares the CPU time (user + system). Ours
# and the peer take turns, five runs each, and the best run of each counts.
#   bench/opus.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin opus "${1:-build}" varnelcd-cli -- sox opusenc python3
sox -q -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 120 pinknoise vol 0.5 synth 120 sine mix 300-3000
mkdir -p "$work/ours" "$work/home/config"
python3 - "$cli" "$work" <<'PY'
import sys
from bench_common import cpu_seconds
cli, work = sys.argv[1], sys.argv[2]
ours_cmd = [cli, "convert", "--to", "opus", "--existing", "overwrite", "--out", work + "/ours", work + "/long.wav"]
peer_cmd = ["opusenc", "--quiet", "--bitrate", "160", work + "/long.wav", work + "/peer.opus"]
ours, peer = [], []
for _ in range(5):
    ours.append(cpu_seconds("opus", ours_cmd, work + "/home"))
    peer.append(cpu_seconds("opus", peer_cmd, work + "/home"))
print("opus: encode WAV to Opus 160 kbit/s / opusenc --bitrate 160 CPU time ratio %.2f (target <= 1.05)"
      % (min(ours) / min(peer)))
PY
