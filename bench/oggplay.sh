#!/usr/bin/env bash
# CPU time of playing one 60 s Ogg Vorbis file with `varnelcd-cli oggplay` (the OGG player's
# controller: decoder, balance filter, sound output) against `ffplay -nodisp -autoexit`,
# both on SDL's disk driver (real-time pace, output to a file), so the ratio compares the
# work of the players, not of a sound server.
#   bench/oggplay.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin oggplay "${1:-build}" varnelcd-cli -- sox oggenc ffplay python3
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 60 sine 440 sine 660 vol 0.5
oggenc -Q -q 4 -o "$work/in.ogg" "$work/in.wav"

python3 - "$cli" "$work" <<'PY'
import os, sys
from bench_common import player_cpu
cli, work = sys.argv[1], sys.argv[2]
player_cpu("oggplay", cli, "oggplay", os.path.join(work, "in.ogg"), work, "a 60 s Ogg")
PY
