#!/usr/bin/env bash
# Rips that prove themselves, and the offset search:
#   - a rip to WAV asking AccurateRip and the CUETools database (loopback servers that
#     answer) against the same rip asking neither, medians of 3 interleaved runs;
#   - `offset find` on a 74-minute image (BENCH_OFFSET_MINUTES) against one burst read of
#     the same disc (a rip to WAV with paranoia off and no database), best of 2 each.
#   bench/proof.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin proof "${1:-build}" varnelcd-cli make-test-disc -- python3
bench_home
minutes=${BENCH_OFFSET_MINUTES:-74}
mkdir -p "$work/www/accuraterip" "$work/a" "$work/b"

# A static loopback server for both databases (the CTDB lookup's query is ignored).
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/www" "$port" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true; rm -rf -- "${work:?}"' EXIT
url="http://127.0.0.1:$port"

# Answers for a disc: a dBAR file with one pressing, a CTDB reply with one entry.
answer() {
  local cue=$1 arid arurl
  arurl=$("$cli" accuraterip --id-only --disc-image "$cue" --accuraterip-url "$url/accuraterip" | sed -n 's/^url\t//p')
  arid=$("$cli" accuraterip --id-only --disc-image "$cue" | sed -n 's/^arid\t//p')
  mkdir -p "$work/www/accuraterip/$(dirname "${arurl#"$url/accuraterip/"}")"
  python3 - "$arid" "$work/www/accuraterip/${arurl#"$url/accuraterip/"}" "$work/www/lookup2.php" <<'PY'
import base64, struct, sys
arid, dbar, ctdb = sys.argv[1:]
tracks, id1, id2, id3 = arid.split("-")
n = int(tracks)
with open(dbar, "wb") as f:
    f.write(struct.pack("<BIII", n, int(id1, 16), int(id2, 16), int(id3, 16)))
    for t in range(n):
        f.write(struct.pack("<BII", 3, 0x1000 + t, 0))
syndrome = base64.b64encode(bytes(16)).decode()
crcs = " ".join("%08x" % (0x2000 + t) for t in range(n))
with open(ctdb, "w") as f:
    f.write('<?xml version="1.0" encoding="utf-8"?>\n<ctdb xmlns="http://db.cuetools.net/ns/mmd-1.0#">'
            '<entry id="1" crc32="12345678" confidence="3" npar="8" stride="5880" syndrome="%s" trackcrcs="%s" toc=""/></ctdb>'
            % (syndrome, crcs))
PY
}

args=()
for _ in 1 2 3 4; do args+=(--track "audio:2250"); done    # four 30 s tracks
"$disc_tool" --out "$work/disc" "${args[@]}" >/dev/null
answer "$work/disc.cue"
checked=() plain=()
for _ in 1 2 3; do
  rm -f -- "$work"/a/* "$work"/b/*
  t0=$(now)
  "$cli" rip --disc-image "$work/disc.cue" --format wav --out "$work/a" --accuraterip-url "$url/accuraterip" \
    --ctdb-url "$url" >/dev/null 2>&1
  t1=$(now)
  "$cli" rip --disc-image "$work/disc.cue" --format wav --out "$work/b" --no-accuraterip --no-ctdb >/dev/null 2>&1
  t2=$(now)
  checked+=($((t1 - t0)))
  plain+=($((t2 - t1)))
done
grep -q "^CTDB: " "$work/a/Unknown Artist - Unknown Album.log"
python3 -c '
import statistics, sys
a = statistics.median(int(x) for x in sys.argv[1].split())
b = statistics.median(int(x) for x in sys.argv[2].split())
print("proof: rip with AccurateRip and CTDB lookups / rip with neither time ratio %.2f (target <= 1.03)" % (a / b))
' "${checked[*]}" "${plain[*]}"

# A long disc: 20 tracks sharing the minutes.
rm -rf -- "$work/a" "$work/b" "$work/disc".*
args=()
per=$((minutes * 60 * 75 / 20))
for _ in $(seq 20); do args+=(--track "audio:$per"); done
"$disc_tool" --out "$work/long" "${args[@]}" >/dev/null
answer "$work/long.cue"
cat "$work/long.bin" >/dev/null
best_find=0 best_read=0
for _ in 1 2; do
  mkdir -p "$work/r"
  t0=$(now)
  "$cli" offset find --no-save --disc-image "$work/long.cue" --accuraterip-url "$url/accuraterip" >/dev/null 2>&1 || true
  t1=$(now)
  "$cli" rip --strategy burst --disc-image "$work/long.cue" --format wav --out "$work/r" --no-accuraterip --no-ctdb >/dev/null 2>&1
  t2=$(now)
  rm -rf -- "$work/r"
  best_find=$(best "$best_find" $((t1 - t0)))
  best_read=$(best "$best_read" $((t2 - t1)))
done
python3 -c 'import sys; print("proof: offset find / one burst read of a %s-minute disc time ratio %.2f (target <= 1.2)" % (sys.argv[3], int(sys.argv[1]) / int(sys.argv[2])))' \
  "$best_find" "$best_read" "$minutes"
