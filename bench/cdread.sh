#!/usr/bin/env bash
# Reads a 20-minute disc-image track through the CD input component with
# `varnelcd-cli cdread` and compares the time:
#   - paranoia off against `cat` copying the same bytes of the .bin file;
#   - full paranoia against `cd-paranoia -d IMAGE.cue` reading the same track in full
#     paranoia mode (the audio of both WAV files must be the same bytes).
#   bench/cdread.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin cdread "${1:-build}" varnelcd-cli make-test-disc -- cd-paranoia
bench_home
export VARNELCD_CD_INPUT_ONLY=1
sectors=90000                               # 20 minutes of audio, 212 MB
"$disc_tool" --out "$work/disc" --track "audio:$sectors" >/dev/null
expected=$((sectors * 2352))

cat "$work/disc.bin" >/dev/null             # every run starts with the image in the page cache

best_off=0; best_cat=0
for _ in 1 2 3; do
  rm -f -- "$work/off.wav"                  # each run writes a new file, as cat does
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
  rm -f -- "$work/full.wav" "$work/peer.wav"
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
