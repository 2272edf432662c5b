#!/usr/bin/env bash
# Encodes a long WAV's PCM through TVorbisOut at quality 0.5 and decodes an Ogg Vorbis file
# through TVorbisIn, and compares the times with `oggenc -q 5` and `oggdec` doing the same
# work on the same files (best of five runs each; ratio = ours / peer).
#   bench/vorbis.sh [BUILD_DIR]      (default: build)
set -euo pipefail
bin="${1:-build}/bench/vorbis_bench"
if [ ! -x "$bin" ]; then
  echo "vorbis: benchmark binary not found: $bin" >&2
  exit 1
fi
work="$(mktemp -d)"
trap 'rm -r -- "$work"' EXIT
sox -q -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 120 pinknoise vol 0.5 synth 120 sine mix 300-3000
sox -q "$work/long.wav" -t raw "$work/long.raw"
oggenc -Q -q 5 -o "$work/peer.ogg" "$work/long.wav"
VARNELCD_BENCH_PCM="$work/long.raw" VARNELCD_BENCH_OGG="$work/peer.ogg" VARNELCD_BENCH_OUT="$work" \
  "$bin" --benchmark_format=json >"$work/ours.json"
python3 - "$work" <<'PY'
import json, subprocess, sys, time
work = sys.argv[1]

def best(cmd):
    times = []
    for _ in range(5):
        t = time.perf_counter()
        subprocess.run(cmd, check=True)
        times.append(time.perf_counter() - t)
    return min(times)

with open(work + "/ours.json") as f:
    data = json.load(f)
ours = {}
for b in data["benchmarks"]:
    if b.get("run_type", "iteration") != "iteration":
        continue
    name = b["name"].split("/")[0]
    t = b["real_time"] / 1000.0          # reported in milliseconds
    ours[name] = min(ours.get(name, t), t)
enc = best(["oggenc", "-Q", "-q", "5", "-o", work + "/peer2.ogg", work + "/long.wav"])
dec = best(["oggdec", "-Q", "-R", "-o", work + "/peer.raw", work + "/peer.ogg"])
print("times: ours enc %.3f dec %.3f, peer enc %.3f dec %.3f" % (ours["BM_VorbisEncode"], ours["BM_VorbisDecode"], enc, dec), file=sys.stderr)
print("vorbis: encode TVorbisOut/oggenc -q 5 time ratio %.2f (target <= 1.05)" % (ours["BM_VorbisEncode"] / enc))
print("vorbis: decode TVorbisIn/oggdec time ratio %.2f (target <= 1.05)" % (ours["BM_VorbisDecode"] / dec))
PY
