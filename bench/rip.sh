#!/usr/bin/env bash
# Rips a whole disc-image track to a WAV file with `varnelcd-cli riptrack` and compares the
# time with `cat` copying the same bytes of the .bin file: the ratio is the rip thread's
# overhead over the plain read-and-write of the same data.
#   bench/rip.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin rip "${1:-build}" varnelcd-cli make-test-disc
bench_home
mkdir -p "$work/out"
sectors=30000                               # 6 min 40 s of audio, 70 MB
"$disc_tool" --out "$work/disc" --track "audio:$sectors" >/dev/null

best_rip=0
best_cat=0
cat "$work/disc.bin" >/dev/null             # both runs start with the image in the page cache
for _ in 1 2 3 4 5; do
  t0=$(now)
  "$cli" riptrack --disc-image "$work/disc.cue" --track 1 --out "$work/out" >/dev/null
  t1=$(now)
  cat "$work/disc.bin" >"$work/out/copy.raw"
  t2=$(now)
  r=$((t1 - t0)); c=$((t2 - t1))
  if [ "$best_rip" -eq 0 ] || [ "$r" -lt "$best_rip" ]; then best_rip=$r; fi
  if [ "$best_cat" -eq 0 ] || [ "$c" -lt "$best_cat" ]; then best_cat=$c; fi
  rm -f -- "$work/out/Track01.wav" "$work/out/copy.raw"
done
expected=$((sectors * 2352))
"$cli" riptrack --disc-image "$work/disc.cue" --track 1 --out "$work/out" >/dev/null
actual=$(($(stat -c %s "$work/out/Track01.wav") - 44))
if [ "$actual" -ne "$expected" ]; then
  echo "rip: the WAV file holds $actual bytes of audio, expected $expected" >&2
  exit 1
fi
python3 -c 'import sys; print("rip: track to WAV / cat of the same bytes time ratio %.2f (target < 5)" % (int(sys.argv[1]) / int(sys.argv[2])))' "$best_rip" "$best_cat"
