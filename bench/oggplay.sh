#!/usr/bin/env bash
# CPU time of playing one 60 s Ogg Vorbis file with `varnelcd-cli oggplay` (the OGG player's
# controller: decoder, balance filter, sound output) against `ffplay -nodisp -autoexit`,
# both on SDL's disk driver (real-time pace, output to a file), so the ratio compares the
# work of the players, not of a sound server.
#   bench/oggplay.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cli="${1:-build}/varnelcd-cli"
if [ ! -x "$cli" ]; then
  echo "oggplay: varnelcd-cli not found: $cli" >&2
  exit 1
fi
for tool in sox oggenc ffplay python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "oggplay: $tool is needed" >&2
    exit 1
  fi
done
work="$(mktemp -d)"
trap 'rm -rf -- "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 60 sine 440 sine 660 vol 0.5
oggenc -Q -q 4 -o "$work/in.ogg" "$work/in.wav"

python3 - "$cli" "$work" <<'PY'
import os, subprocess, sys
cli, work = sys.argv[1], sys.argv[2]
ogg = os.path.join(work, "in.ogg")

def cpu_seconds(args, card):
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.path.join(work, card),
               HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
    p = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("oggplay: %s failed" % args[0])
    return usage.ru_utime + usage.ru_stime

ours = cpu_seconds([cli, "oggplay", ogg], "ours.raw")
peer = cpu_seconds(["ffplay", "-nodisp", "-autoexit", "-loglevel", "quiet", ogg], "peer.raw")
print("oggplay: CPU seconds for a 60 s Ogg varnelcd-cli %.2f, ffplay %.2f" % (ours, peer))
print("oggplay: CPU seconds varnelcd-cli/ffplay ratio %.2f (target <= 1.00)" % (ours / max(peer, 1e-3)))
PY
