#!/usr/bin/env bash
# CPU time of a 60 s recording with `varnelcd-cli record` on SDL's disk driver (the input
# is a raw file read at real-time pace) against `ffmpeg -re` turning the same raw input
# into a WAV file at the same pace, so the ratio compares the work of the recorders.
#   bench/record.sh [BUILD_DIR] [SECONDS]      (default: build, 60)
set -euo pipefail
seconds="${2:-60}"
. "$(dirname "$0")/common.sh"
bench_begin record "${1:-build}" varnelcd-cli -- sox ffmpeg python3
# A little more input than the recording takes (it stops on a whole second).
sox -n -r 44100 -c 2 -b 16 -e signed -t raw "$work/in.raw" synth "$((seconds + 2))" sine 440 vol 0.5

python3 - "$cli" "$work" "$seconds" <<'PY'
import os, sys
from bench_common import cpu_seconds as run_cpu
cli, work, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
raw = os.path.join(work, "in.raw")

def cpu_seconds(args):
    return run_cpu("record", args, work, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILEIN=raw,
                   SDL_DISKAUDIOFILE=os.path.join(work, "card.raw"))

ours = cpu_seconds([cli, "record", os.path.join(work, "ours.wav"), "--seconds", str(seconds),
                    "--rate", "44100", "--bits", "16", "--channels", "2"])
peer = cpu_seconds(["ffmpeg", "-nostdin", "-loglevel", "quiet", "-re", "-f", "s16le", "-ar", "44100",
                    "-ac", "2", "-t", str(seconds), "-i", raw, os.path.join(work, "peer.wav")])
print("record: CPU seconds for %d s varnelcd-cli %.2f, ffmpeg -re %.2f" % (seconds, ours, peer))
print("record: CPU seconds varnelcd-cli/ffmpeg ratio %.2f (target <= 1.00)" % (ours / max(peer, 1e-3)))
PY
