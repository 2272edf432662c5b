#!/usr/bin/env bash
# CPU time of playing one 60 s WAV file with `varnelcd-cli play` against
# `ffplay -nodisp -autoexit`, both on SDL's disk driver (real-time pace, output to a file),
# so the ratio compares the work of the players, not of a sound server.
#   bench/play.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin play "${1:-build}" varnelcd-cli -- sox ffplay python3
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 60 sine 440 vol 0.5

python3 - "$cli" "$work" <<'PY'
import os, sys
from bench_common import player_cpu
cli, work = sys.argv[1], sys.argv[2]
player_cpu("play", cli, "play", os.path.join(work, "in.wav"), work, "a 60 s WAV")
PY
