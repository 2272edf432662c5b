#!/usr/bin/env bash
# Wall time of an MP3 encode through the program's MP3 encoder process against running
# lame directly with the same arguments (the default settings: -b 128 -m j) on the same
# 60 s WAV file:
#  - "process object": TMp3EncodeProcess inside one program (mp3encode_bench), against
#    lame started by the same program with its output thrown away;
#  - "command line": varnelcd-cli encode --to mp3 (program start and settings load
#    included), against lame run from the shell.
#   bench/mp3encode.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin mp3encode "${1:-build}" varnelcd-cli bench/mp3encode_bench -- lame sox python3
# Default settings: a fresh settings folder.
bench_home
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 60 pinknoise vol 0.5

MP3ENCODE_WAV="$work/in.wav" "$build/bench/mp3encode_bench" --benchmark_format=json \
  --benchmark_enable_random_interleaving=true >"$work/bench.json"

python3 - "$build/varnelcd-cli" "$work" <<'PY'
import json, os, subprocess, sys, time
cli, work = sys.argv[1], sys.argv[2]
with open(os.path.join(work, "bench.json")) as f:
    data = json.load(f)
runs = {}
for b in data["benchmarks"]:
    if b.get("run_type") == "iteration":
        runs.setdefault(b["run_name"].split("/")[0], []).append(b["real_time"])
med = lambda v: sorted(v)[len(v) // 2]
print("mp3encode: process object/lame wall-time ratio %.2f (target <= 1.03)"
      % (med(runs["BM_ProcessObject"]) / med(runs["BM_LameDirect"])))

wav, out = os.path.join(work, "in.wav"), os.path.join(work, "out.mp3")
cmds = {"cli": [cli, "encode", "--to", "mp3", wav, out], "lame": ["lame", "-b", "128", "-m", "j", wav, out]}
times = {k: [] for k in cmds}
for _ in range(9):                       # interleaved, so load changes hit both alike
    for name, cmd in cmds.items():
        if os.path.exists(out):
            os.remove(out)
        t = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times[name].append(time.perf_counter() - t)
print("mp3encode: command line/lame wall-time ratio %.2f (target <= 1.03; lame %.2f s)"
      % (med(times["cli"]) / med(times["lame"]), med(times["lame"])))
PY
