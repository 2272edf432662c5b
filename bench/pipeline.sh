#!/usr/bin/env bash
# Overlapped rip and encode on two cores (`taskset -c 0,1`): `varnelcd-cli rip
# --cd-input-only --format mp3 --jobs 0` of a disc image, against the same disc ripped to
# WAV by us and then encoded by `lame` file after file (target: ratio <= 0.6), and against
# the same WAV rip followed by `xargs -P2 lame` over the files (target: ratio <= 1.1).
# The disc is PIPELINE_MINUTES long (default 74, twelve equal tracks; about a minute and a
# half in all on two cores. A shorter one, e.g. 12, gives the same ratios: there are several
# tracks per worker either way).
#   bench/pipeline.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin pipeline "${1:-build}" varnelcd-cli make-test-disc -- lame sox taskset
minutes="${PIPELINE_MINUTES:-74}"
bench_home
mkdir -p "$work/job" "$work/wav"
tracks=12
bench_music_disc "$minutes" "$tracks"

run2() { taskset -c 0,1 "$@"; }
rm -f -- "$work"/job/* "$work"/wav/*
t0=$(now)
run2 "$cli" rip --cd-input-only --no-accuraterip --disc-image "$work/disc.cue" --format mp3 --jobs 0 --out "$work/job" >/dev/null 2>&1
t1=$(now)
run2 "$cli" rip --cd-input-only --no-accuraterip --disc-image "$work/disc.cue" --format wav --out "$work/wav" >/dev/null 2>&1
t2=$(now)
for w in "$work"/wav/*.wav; do run2 lame --quiet -b 128 -m j "$w" "${w%.wav}.mp3"; done
t3=$(now)
rm -f -- "$work"/wav/*.mp3
find "$work/wav" -name '*.wav' -print0 | run2 xargs -0 -P2 -I{} lame --quiet -b 128 -m j {} {}.mp3
t4=$(now)
made=$(find "$work/job" -name '*.mp3' | wc -l)
if [ "$made" -ne "$tracks" ]; then
  echo "pipeline: the job made $made MP3 files, expected $tracks" >&2
  exit 1
fi
python3 -c '
import sys
job, rip, seq, par = (int(x) for x in sys.argv[1:])
print("pipeline: times ms: job %d, wav rip %d, lame one by one %d, xargs -P2 lame %d" % (job / 1e6, rip / 1e6, seq / 1e6, par / 1e6), file=sys.stderr)
print("pipeline: rip + mp3 --jobs 0 / wav rip then lame file after file wall time ratio %.2f (target <= 0.6)" % (job / (rip + seq)))
print("pipeline: rip + mp3 --jobs 0 / wav rip then xargs -P2 lame wall time ratio %.2f (target <= 1.1)" % (job / (rip + par)))
' "$((t1 - t0))" "$((t2 - t1))" "$((t3 - t2))" "$((t4 - t3))"
