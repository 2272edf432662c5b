#!/usr/bin/env bash
# WAV reading and writing against the physical limit and against sox:
#   - PCM read-through-write (varnelcd-cli wavcopy) of a large file, against cat of the
#     same file to /dev/null plus a plain copy of it;
#   - IMA ADPCM encoding and decoding, against sox doing the same.
# Ratios are our time over the peer's (lower is better); best of three runs each.
#   bench/wave.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cli="${1:-build}/varnelcd-cli"
if [ ! -x "$cli" ]; then
  echo "wave: varnelcd-cli not found: $cli" >&2
  exit 1
fi
command -v sox >/dev/null || { echo "wave: sox is needed" >&2; exit 1; }
work="$(mktemp -d)"
cleanup() { rm -f "$work"/*.wav; rmdir "$work"; }
trap cleanup EXIT
# Ten minutes of CD audio (about 100 MB).
sox -n -r 44100 -c 2 -b 16 "$work/big.wav" synth 600 sine 440 sine 660 vol 0.6
cat "$work/big.wav" >/dev/null
python3 - "$cli" "$work" <<'PY'
import subprocess, sys, time
cli, work = sys.argv[1], sys.argv[2]
big = work + "/big.wav"

def best(*cmds):
    """Best of three of the summed wall time of the commands (argument lists)."""
    times = []
    for _ in range(3):
        t = 0.0
        for cmd in cmds:
            start = time.perf_counter()
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
            t += time.perf_counter() - start
        times.append(t)
    return min(times)

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
