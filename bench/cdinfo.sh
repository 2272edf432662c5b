#!/usr/bin/env bash
# The disc cache at scale: a cache of 100 000 discs (about 32 MB) in a temporary folder.
#  - `varnelcd-cli tracks` listing a disc against `cat` of the cache file (time ratio),
#    and the command's peak memory when /usr/bin/time is there;
#  - loading and saving one disc's titles (a window's start and close) against reading
#    the file once (bench/cdinfo_bench).
#   bench/cdinfo.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin cdinfo "${1:-build}" varnelcd-cli make-test-disc bench/cdinfo_bench -- python3
maker="$disc_tool"
bench="$build/bench/cdinfo_bench"
bench_home
cache_dir="$XDG_CONFIG_HOME/Varnel软件/CD音频转换"
mkdir -p "$cache_dir"
cache="$cache_dir/cdinfo.dat"
python3 - "$cache" <<'PY'
import sys
out = []
for n in range(100000):
    disc = 1000000 + n * 7919
    lines = ["[%d]" % disc, "Artist=歌手 %d" % n, "Album=专辑 Album %d" % n, "Year=19%02d" % (n % 100),
             "Genre=%d" % (n % 148), "Comment=", "TrackNumber=12"]
    lines += ["%d=第%d首 Track title %d" % (t, t, t) for t in range(1, 13)]
    out.append("\n".join(lines) + "\n")
with open(sys.argv[1], "w", encoding="utf-8") as f:
    f.write("".join(out))
PY
"$maker" --out "$work/disc" --track audio:750 --track audio:750 --title 1:One >/dev/null

# Best of three runs each, wall clock.
best() {
  python3 - "$@" <<'PY'
import subprocess, sys, time
best = None
for _ in range(3):
    t = time.perf_counter()
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    t = time.perf_counter() - t
    best = t if best is None or t < best else best
print("%.6f" % best)
PY
}
t_cli="$(best "$cli" tracks --disc-image "$work/disc.cue")"
t_cat="$(best cat "$cache")"
size_mb="$(python3 -c "import os,sys; print('%.1f' % (os.path.getsize(sys.argv[1]) / 1048576))" "$cache")"
python3 - "$t_cli" "$t_cat" "$size_mb" <<'PY'
import sys
cli, cat, mb = float(sys.argv[1]), float(sys.argv[2]), sys.argv[3]
print("cdinfo: tracks/cat time ratio %.2f (target: tracks under 0.5 s; %.3f s on a %s MB cache)" % (cli / cat, cli, mb))
PY
if [ -x /usr/bin/time ]; then
  peak_kb="$(/usr/bin/time -v "$cli" tracks --disc-image "$work/disc.cue" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}')"
  echo "cdinfo: tracks peak memory ${peak_kb} kB (target: under 100 MB)"
fi

json="$work/bench.json"
CDINFO_BENCH_DISC=1395950 "$bench" --benchmark_format=json >"$json"
python3 - "$json" <<'PY'
import json, sys
with open(sys.argv[1]) as f:
    data = json.load(f)
t = {b["name"].split("/")[0]: b["real_time"] for b in data["benchmarks"] if b.get("run_type", "iteration") == "iteration"}
ratio = t["BM_LoadAndSave"] / t["BM_ReadFile"]
print("cdinfo: load-and-save/read-file time ratio %.2f (target: under 0.5 s; %.0f ms)" % (ratio, t["BM_LoadAndSave"]))
PY
