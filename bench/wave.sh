#!/usr/bin/env bash
# WAV reading and writing against the physical limit and against sox:
#   - PCM read-through-write (varnelcd-cli wavcopy) of a large file, against cat of the
#     same file to /dev/null plus a plain copy of it, and against dd copying it in 64 KiB
#     blocks (the reader's and writer's own step);
#   - IMA ADPCM encoding and decoding, against sox doing the same.
# Ratios are our time over the peer's (lower is better), one run of each, ours first;
# scripts/bench.sh takes the median of five. Outputs are deleted before every run.
#   bench/wave.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin wave "${1:-build}" varnelcd-cli -- sox dd python3
bench_home
# Ten minutes of CD audio (about 100 MB).
sox -n -r 44100 -c 2 -b 16 "$work/big.wav" synth 600 sine 440 sine 660 vol 0.6
cat "$work/big.wav" >/dev/null
python3 - "$cli" "$work" <<'PY'
import sys
from bench_common import wall, ratio_line
cli, work = sys.argv[1], sys.argv[2]
big = work + "/big.wav"
out = lambda name: work + "/" + name

ours = wall([cli, "wavcopy", big, out("copy.wav")], [out("copy.wav")])
# wall() sends standard output to /dev/null.
limit = wall(["cat", "--", big]) + wall(["cp", big, out("plain.wav")], [out("plain.wav")])
ratio_line("wave", "PCM read-through-write / (cat + copy) time", ours, limit, "<= 2.0")
ours = wall([cli, "wavcopy", big, out("copy.wav")], [out("copy.wav")])
peer = wall(["dd", "if=" + big, "of=" + out("dd.wav"), "bs=65536", "status=none"], [out("dd.wav")])
ratio_line("wave", "PCM read-through-write / dd bs=65536 time", ours, peer, "<= 1.2")

ours = wall([cli, "wavcopy", big, out("ours_ima.wav"), "--adpcm"], [out("ours_ima.wav")])
peer = wall(["sox", big, "-e", "ima-adpcm", out("sox_ima.wav")], [out("sox_ima.wav")])
ratio_line("wave", "IMA ADPCM encode / sox time", ours, peer, "<= 1.5")

ours = wall([cli, "wavcopy", out("sox_ima.wav"), out("ours_dec.wav")], [out("ours_dec.wav")])
peer = wall(["sox", out("sox_ima.wav"), "-e", "signed", "-b", "16", out("sox_dec.wav")], [out("sox_dec.wav")])
ratio_line("wave", "IMA ADPCM decode / sox time", ours, peer, "<= 1.0")
PY
