#!/usr/bin/env bash
# Re-formatting a WAV file (44100 Hz stereo 16-bit to 22050 Hz mono 8-bit) with
# varnelcd-cli wav2wav against sox doing the same conversion. The ratio is our time over
# sox's (lower is better), one run of each; scripts/bench.sh takes the median of five.
#   bench/wav2wav.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin wav2wav "${1:-build}" varnelcd-cli -- sox python3
bench_home
# Five minutes of CD audio.
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 300 sine 440 sine 2000 vol 0.6
cat "$work/in.wav" >/dev/null
python3 - "$cli" "$work" <<'PY'
import sys
from bench_common import wall, ratio_line
cli, work = sys.argv[1], sys.argv[2]
src = work + "/in.wav"
ours_out, sox_out = work + "/ours.wav", work + "/sox.wav"

ours = wall([cli, "wav2wav", src, ours_out, "--rate", "22050", "--channels", "1", "--bits", "8"], [ours_out])
peer = wall(["sox", src, "-r", "22050", "-c", "1", "-b", "8", sox_out], [sox_out])
ratio_line("wav2wav", "44100/2/16 to 22050/1/8 / sox time", ours, peer, "<= 0.5")
PY
