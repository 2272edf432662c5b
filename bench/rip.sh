#!/usr/bin/env bash
# Rips a whole disc-image track to a WAV file with `varnelcd-cli riptrack` and compares the
# time with `cat` copying the same bytes of the .bin file, and with `dd` copying them in
# blocks of 10 sectors (23520 bytes, what the rip reads at a time): the ratios are the rip
# thread's overhead over the plain read-and-write of the same data. One run of each;
# scripts/bench.sh takes the median of five.
#   bench/rip.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin rip "${1:-build}" varnelcd-cli make-test-disc -- dd python3
bench_home
mkdir -p "$work/out"
sectors=30000                               # 6 min 40 s of audio, 70 MB
"$disc_tool" --out "$work/disc" --track "audio:$sectors" >/dev/null
cat "$work/disc.bin" >/dev/null             # every run starts with the image in the page cache

python3 - "$cli" "$work" "$sectors" <<'PY'
import os
import sys
from bench_common import wall, ratio_line
cli, work, sectors = sys.argv[1], sys.argv[2], int(sys.argv[3])
out = work + "/out"
track, raw, image = out + "/Track01.wav", out + "/copy.raw", work + "/disc.bin"

ours = wall([cli, "riptrack", "--disc-image", work + "/disc.cue", "--track", "1", "--out", out], [track])
actual = os.path.getsize(track) - 44
if actual != sectors * 2352:
    sys.exit("rip: the WAV file holds %d bytes of audio, expected %d" % (actual, sectors * 2352))
cat = wall(["cat", image], [raw], into=raw)
ratio_line("rip", "track to WAV / cat of the same bytes time", ours, cat, "< 5")
ours = wall([cli, "riptrack", "--disc-image", work + "/disc.cue", "--track", "1", "--out", out], [track])
peer = wall(["dd", "if=" + image, "of=" + raw, "bs=23520", "status=none"], [raw])
ratio_line("rip", "track to WAV / dd bs=23520 of the same bytes time", ours, peer, "<= 1.5")
PY
