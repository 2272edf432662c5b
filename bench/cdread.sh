#!/usr/bin/env bash
# Reads a 20-minute disc-image track through the CD input component with
# `varnelcd-cli cdread` and compares the time:
#   - paranoia off against `cat` copying the same bytes of the .bin file;
#   - full paranoia against `cd-paranoia -d IMAGE.cue` reading the same track in full
#     paranoia mode (the audio of both WAV files must be the same bytes).
#   bench/cdread.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build="${1:-build}"
cli="$build/varnelcd-cli"
disc_tool="$build/make-test-disc"
for f in "$cli" "$disc_tool"; do
  if [ ! -x "$f" ]; then
    echo "cdread: not built: $f" >&2
    exit 1
  fi
done
if ! command -v cd-paranoia >/dev/null; then
  echo "cdread: cd-paranoia is not installed (scripts/deps.sh installs it)" >&2
  exit 1
fi
work="$(mktemp -d)"
trap 'rm -r -- "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" VARNELCD_DISC_IMAGES="" VARNELCD_READ_FAULTS=""
export VARNELCD_CD_INPUT_ONLY=1
mkdir -p "$XDG_CONFIG_HOME"
sectors=90000                               # 20 minutes of audio, 212 MB
"$disc_tool" --out "$work/disc" --track "audio:$sectors" >/dev/null
expected=$((sectors * 2352))

now() { date +%s%N; }
best() { if [ "$1" -eq 0 ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }
cat "$work/disc.bin" >/dev/null             # every run starts with the image in the page cache

best_off=0; best_cat=0
for _ in 1 2 3; do
  t0=$(now)
  "$cli" cdread --disc-image "$work/disc.cue" --track 1 --paranoia off "$work/off.wav" >/dev/null
  t1=$(now)
  cat "$work/disc.bin" >"$work/copy.raw"
  t2=$(now)
  best_off=$(best "$best_off" $((t1 - t0)))
  best_cat=$(best "$best_cat" $((t2 - t1)))
  rm -f -- "$work/copy.raw"
done
if ! cmp -s <(tail -c +45 "$work/off.wav") "$work/disc.bin"; then
  echo "cdread: the audio read with paranoia off differs from the image" >&2
  exit 1
fi

best_full=0; best_peer=0
for _ in 1 2; do
  t0=$(now)
  "$cli" cdread --disc-image "$work/disc.cue" --track 1 --paranoia full "$work/full.wav" >/dev/null
  t1=$(now)
  (cd "$work" && cd-paranoia -q -c -w -d disc.cue 1 peer.wav >/dev/null 2>&1)
  t2=$(now)
  best_full=$(best "$best_full" $((t1 - t0)))
  best_peer=$(best "$best_peer" $((t2 - t1)))
done
for f in full.wav peer.wav; do
  size=$(($(stat -c %s "$work/$f") - 44))
  if [ "$size" -ne "$expected" ]; then
    echo "cdread: $f holds $size bytes of audio, expected $expected" >&2
    exit 1
  fi
done
if ! cmp -s <(tail -c +45 "$work/full.wav") <(tail -c +45 "$work/peer.wav"); then
  echo "cdread: full paranoia and cd-paranoia read different bytes" >&2
  exit 1
fi
ratio() { python3 -c 'import sys; print("%.2f" % (int(sys.argv[1]) / int(sys.argv[2])))' "$1" "$2"; }
echo "cdread: paranoia off / cat of the same bytes time ratio $(ratio "$best_off" "$best_cat") (target <= 1.5)"
echo "cdread: full paranoia / cd-paranoia -d IMAGE.cue time ratio $(ratio "$best_full" "$best_peer") (target <= 1.1)"
