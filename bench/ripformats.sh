#!/usr/bin/env bash
# Several formats from one read: `varnelcd-cli rip --cd-input-only --format flac,mp3 --jobs 0`
# of a disc image (twelve equal tracks of music-like sound, RIPFORMATS_MINUTES long, default
# 12) against the same disc ripped to FLAC and then to MP3, one rip after the other, each
# with --jobs 0 (wall time; target <= 0.6). Medians of RIPFORMATS_RUNS (default 3)
# interleaved runs.
#   bench/ripformats.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin ripformats "${1:-build}" varnelcd-cli make-test-disc -- sox
minutes="${RIPFORMATS_MINUTES:-12}"
runs="${RIPFORMATS_RUNS:-3}"
bench_home
mkdir -p "$work/both" "$work/flac" "$work/mp3"
tracks=12
bench_music_disc "$minutes" "$tracks"

rip() { "$cli" rip --cd-input-only --no-accuraterip --no-ctdb --jobs 0 --disc-image "$work/disc.cue" "$@" >/dev/null 2>&1; }
one=() two=()
for _ in $(seq "$runs"); do
  rm -f -- "$work"/both/* "$work"/flac/* "$work"/mp3/*
  t0=$(now)
  rip --format flac,mp3 --out "$work/both"
  t1=$(now)
  rip --format flac --out "$work/flac"
  rip --format mp3 --out "$work/mp3"
  t2=$(now)
  one+=($((t1 - t0)))
  two+=($((t2 - t1)))
done
for ext in flac mp3; do
  made=$(find "$work/both" -name "*.$ext" | wc -l)
  if [ "$made" -ne "$tracks" ]; then
    echo "ripformats: the two-format rip made $made .$ext files, expected $tracks" >&2
    exit 1
  fi
done
python3 -c '
import statistics, sys
a, b = (statistics.median(int(x) for x in v.split()) for v in sys.argv[1:])
print("ripformats: times ms: flac,mp3 in one rip %d, flac rip then mp3 rip %d" % (a / 1e6, b / 1e6), file=sys.stderr)
print("ripformats: rip to flac,mp3 / a flac rip then an mp3 rip wall time ratio %.2f (target <= 0.6)" % (a / b))
' "${one[*]}" "${two[*]}"
