#!/usr/bin/env bash
# A rip on every core: `varnelcd-cli rip --cd-input-only --jobs 0` of a 12-minute disc image
# (twelve equal tracks of music-like sound) to FLAC and to MP3.
#  - FLAC against the plain shell way of doing the same on two cores: `dd` splitting the
#    image into raw track files, then `xargs -P2 flac -5` over them (wall time; target
#    <= 0.9).
#  - MP3 against what two cores allow at best: the `lame -b 128 -m j` CPU time (user +
#    system) of the same tracks as WAV files, halved, plus our own read of the disc to WAV
#    (target <= 1.03). The wall time follows the machine's load; the CPU time of the rip
#    (with its encoders) against that of our WAV rip plus lame's does not (target <= 1.03).
# Medians of RIPCORES_RUNS (default 3) interleaved runs. RIPCORES_MINUTES: another length.
#   bench/ripcores.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin ripcores "${1:-build}" varnelcd-cli make-test-disc -- lame flac sox dd xargs
minutes="${RIPCORES_MINUTES:-12}"
runs="${RIPCORES_RUNS:-3}"
bench_home
mkdir -p "$work/flac" "$work/mp3" "$work/wav" "$work/dd"
tracks=12
bench_music_disc "$minutes" "$tracks"
# The track files: the image has no pregaps, every track is `sectors` long.
track_bytes=$((sectors * 2352))

rip() { "$cli" rip --cd-input-only --no-accuraterip --no-ctdb --disc-image "$work/disc.cue" "$@" >/dev/null 2>&1; }

cpu_ns() { python3 -c 'import sys; print(int((float(sys.argv[1]) + float(sys.argv[2])) * 1e9))' "$@"; }
flac_job=() flac_peer=() mp3_job=() mp3_limit=() mp3_cpu=() mp3_cpu_peer=()
TIMEFORMAT='%3U %3S'
for _ in $(seq "$runs"); do
  rm -f -- "$work"/flac/* "$work"/mp3/* "$work"/wav/* "$work"/dd/*
  t0=$(now)
  rip --format flac --jobs 0 --out "$work/flac"
  t1=$(now)
  for t in $(seq "$tracks"); do
    dd if="$work/disc.bin" of="$work/dd/$t.raw" bs=2352 skip=$(((t - 1) * sectors)) count="$sectors" status=none
  done
  find "$work/dd" -name '*.raw' -print0 | xargs -0 -P2 -I{} flac -5 --silent --force-raw-format --endian=little \
    --sign=signed --channels=2 --bps=16 --sample-rate=44100 {}
  t2=$(now)
  job_cpu=$( { time rip --format mp3 --jobs 0 --out "$work/mp3"; } 2>&1 )
  t3=$(now)
  wav_cpu=$( { time rip --format wav --out "$work/wav"; } 2>&1 )
  t4=$(now)
  lame_cpu=$( { time for w in "$work"/wav/*.wav; do lame --quiet -b 128 -m j "$w" "${w%.wav}.mp3"; done; } 2>&1 )
  lame_ns=$(cpu_ns $lame_cpu)
  mp3_cpu+=($(cpu_ns $job_cpu))
  mp3_cpu_peer+=($(($(cpu_ns $wav_cpu) + lame_ns)))
  flac_job+=($((t1 - t0)))
  flac_peer+=($((t2 - t1)))
  mp3_job+=($((t3 - t2)))
  mp3_limit+=($((lame_ns / 2 + t4 - t3)))
done
for d in flac mp3; do
  made=$(find "$work/$d" -name "*.$d" | wc -l)
  if [ "$made" -ne "$tracks" ]; then
    echo "ripcores: the $d rip made $made files, expected $tracks" >&2
    exit 1
  fi
done
[ "$(stat -c %s "$work/dd/1.raw")" -eq "$track_bytes" ]
python3 -c '
import statistics, sys
m = [statistics.median(int(x) for x in a.split()) for a in sys.argv[1:]]
print("ripcores: times ms: flac --jobs 0 %d, dd + xargs -P2 flac %d, mp3 --jobs 0 %d, lame cpu / 2 + wav rip %d" % tuple(x / 1e6 for x in m[:4]), file=sys.stderr)
print("ripcores: rip to flac --jobs 0 / dd split + xargs -P2 flac -5 wall time ratio %.2f (target <= 0.9)" % (m[0] / m[1]))
print("ripcores: rip to mp3 --jobs 0 / lame cpu time / 2 + our wav rip ratio %.2f (target <= 1.03)" % (m[2] / m[3]))
print("ripcores: rip to mp3 --jobs 0 cpu time / wav rip + lame cpu time ratio %.2f (target <= 1.03)" % (m[4] / m[5]))
' "${flac_job[*]}" "${flac_peer[*]}" "${mp3_job[*]}" "${mp3_limit[*]}" "${mp3_cpu[*]}" "${mp3_cpu_peer[*]}"
