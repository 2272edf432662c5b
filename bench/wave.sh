#!/usr/bin/env bash
# WAV reading and writing against the physical limit and against sox:
#   - PCM read-through-write (varnelcd-cli wavcopy) of a large file, against cat of the
#     same file to /dev/null plus a plain copy of it;
#   - IMA ADPCM encoding and decoding, against sox doing the same.
# Ratios are our time over the peer's (lower is better); best of three runs each.
#   bench/wave.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin wave "${1:-build}" varnelcd-cli -- sox python3
# Ten minutes of CD audio (about 100 MB).
sox -n -r 44100 -c 2 -b 16 "$work/big.wav" synth 600 sine 440 sine 660 vol 0.6
cat "$work/big.wav" >/dev/null
python3 - "$cli" "$work" <<'PY'
import sys
from bench_common import best_wall as best
cli, work = sys.argv[1], sys.argv[2]
big = work + "/big.wav"

ours = best([cli, "wavcopy", big, work + "/copy.wav"])
# best() sends standard output to /dev/null.
limit = best(["cat", "--", big], ["cp", big, work + "/plain.wav"])
print("wave: PCM read-through-write/(cat + copy) time ratio %.2f (target <= 2.0)" % (ours / limit))

ours = best([cli, "wavcopy", big, work + "/ours_ima.wav", "--adpcm"])
peer = best(["sox", big, "-e", "ima-adpcm", work + "/sox_ima.wav"])
print("wave: IMA ADPCM encode/sox time ratio %.2f (target <= 1.5)" % (ours / peer))

ours = best([cli, "wavcopy", work + "/sox_ima.wav", work + "/ours_dec.wav"])
peer = best(["sox", work + "/sox_ima.wav", "-e", "signed", "-b", "16", work + "/sox_dec.wav"])
print("wave: IMA ADPCM decode/sox time ratio %.2f (target <= 1.5)" % (ours / peer))
PY
