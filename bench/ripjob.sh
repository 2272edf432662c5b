#!/usr/bin/env bash
# The rip job through the CD input component (`varnelcd-cli rip --cd-input-only`):
#   - a whole disc image to WAV against `cat` of the .bin file (best of 3 each);
#   - the same disc to MP3 against the same job on the first CD library's path (`rip`
#     without --cd-input-only), medians of 3 interleaved runs.
#   bench/ripjob.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin ripjob "${1:-build}" varnelcd-cli make-test-disc -- lame
bench_home
export PATH="$build:$PATH"
mkdir -p "$work/wav" "$work/a" "$work/b"
args=()
for _ in 1 2 3 4; do args+=(--track "audio:2250"); done    # four 30 s tracks
"$disc_tool" --out "$work/disc" "${args[@]}" >/dev/null
cat "$work/disc.bin" >/dev/null

best_rip=0 best_cat=0
for _ in 1 2 3; do
  rm -f -- "$work"/wav/* "$work/copy.bin"
  t0=$(now)
  "$cli" rip --cd-input-only --disc-image "$work/disc.cue" --format wav --out "$work/wav" >/dev/null 2>&1
  t1=$(now)
  cat "$work/disc.bin" >"$work/copy.bin"
  t2=$(now)
  r=$((t1 - t0)) c=$((t2 - t1))
  if [ "$best_rip" -eq 0 ] || [ "$r" -lt "$best_rip" ]; then best_rip=$r; fi
  if [ "$best_cat" -eq 0 ] || [ "$c" -lt "$best_cat" ]; then best_cat=$c; fi
done
python3 -c 'import sys; print("ripjob: rip --cd-input-only to WAV / cat of the .bin time ratio %.2f (target <= 1.5)" % (int(sys.argv[1]) / int(sys.argv[2])))' "$best_rip" "$best_cat"

cdin_times=() first_times=()
for _ in 1 2 3; do
  rm -f -- "$work"/a/* "$work"/b/*
  t0=$(now)
  "$cli" rip --cd-input-only --disc-image "$work/disc.cue" --format mp3 --out "$work/a" >/dev/null 2>&1
  t1=$(now)
  "$cli" rip --disc-image "$work/disc.cue" --format mp3 --out "$work/b" >/dev/null 2>&1
  t2=$(now)
  cdin_times+=($((t1 - t0)))
  first_times+=($((t2 - t1)))
done
python3 -c '
import statistics, sys
a = statistics.median(int(x) for x in sys.argv[1].split())
b = statistics.median(int(x) for x in sys.argv[2].split())
print("ripjob: rip --cd-input-only to MP3 / rip through the first CD library time ratio %.2f (target <= 1.05)" % (a / b))
' "${cdin_times[*]}" "${first_times[*]}"
