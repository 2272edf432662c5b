#!/usr/bin/env bash
# Encodes a 120 s WAV to AAC-LC at 256 kbit/s in MP4 with `varnelcd-cli convert --to aac`
# (WAV reader, FFmpeg's native AAC encoder and MP4 muxer in-process, program start and tags
# included) and with `ffmpeg -c:a aac -b:a 256k` on the same file, and compares the CPU time
# (user + system). Ours and the peer take turns, five runs each, and the best run of each
# counts.
#   bench/aac.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin aac "${1:-build}" varnelcd-cli -- sox ffmpeg python3
sox -q -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 120 pinknoise vol 0.5 synth 120 sine mix 300-3000
mkdir -p "$work/ours" "$work/home/config"
python3 - "$cli" "$work" <<'PY'
import sys
from bench_common import cpu_seconds
cli, work = sys.argv[1], sys.argv[2]
ours_cmd = [cli, "convert", "--to", "aac", "--existing", "overwrite", "--out", work + "/ours", work + "/long.wav"]
peer_cmd = ["ffmpeg", "-v", "error", "-y", "-i", work + "/long.wav", "-c:a", "aac", "-b:a", "256k",
            "-movflags", "+faststart", work + "/peer.m4a"]
ours, peer = [], []
for _ in range(5):
    ours.append(cpu_seconds("aac", ours_cmd, work + "/home"))
    peer.append(cpu_seconds("aac", peer_cmd, work + "/home"))
print("aac: encode WAV to AAC 256 kbit/s / ffmpeg -c:a aac -b:a 256k CPU time ratio %.2f (target <= 1.05)"
      % (min(ours) / min(peer)))
PY
