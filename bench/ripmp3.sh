#!/usr/bin/env bash
# Rips and encodes a whole disc image to MP3 with `varnelcd-cli rip` and compares the wall
# time with the same work done step by step: our rip of each track (`varnelcd-cli
# riptrack`) followed by `lame` run directly on its WAV file with the same settings. The
# ratio is the conversion job's own overhead (target within 5 %).
#   bench/ripmp3.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin ripmp3 "${1:-build}" varnelcd-cli make-test-disc -- lame
bench_home
export PATH="$build:$PATH"
mkdir -p "$work/job" "$work/steps"
tracks=4
sectors=2250                                # 30 s a track, 2 minutes in all
args=()
for _ in $(seq "$tracks"); do args+=(--track "audio:$sectors"); done
"$disc_tool" --out "$work/disc" "${args[@]}" >/dev/null
cat "$work/disc.bin" >/dev/null

job_times=()
step_times=()
for _ in 1 2 3 4 5; do
  rm -f -- "$work"/job/*.mp3 "$work"/steps/*
  t0=$(now)
  "$cli" rip --disc-image "$work/disc.cue" --format mp3 --out "$work/job" >/dev/null 2>&1
  t1=$(now)
  for t in $(seq "$tracks"); do
    "$cli" riptrack --disc-image "$work/disc.cue" --track "$t" --out "$work/steps" >/dev/null
    w=$(printf '%s/steps/Track%02d' "$work" "$t")
    lame --quiet -b 128 -m j "$w.wav" "$w.mp3"
    rm -f -- "$w.wav"
  done
  t2=$(now)
  job_times+=($((t1 - t0)))
  step_times+=($((t2 - t1)))
done
made=$(find "$work/job" -name '*.mp3' | wc -l)
if [ "$made" -ne "$tracks" ]; then
  echo "ripmp3: the job made $made MP3 files, expected $tracks" >&2
  exit 1
fi
python3 -c '
import statistics, sys
job = statistics.median(int(x) for x in sys.argv[1].split())
steps = statistics.median(int(x) for x in sys.argv[2].split())
print("ripmp3: rip + encode job / riptrack + lame per track wall time ratio %.2f (target <= 1.05)" % (job / steps))
' "${job_times[*]}" "${step_times[*]}"
