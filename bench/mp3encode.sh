#!/usr/bin/env bash
# Wall time of an MP3 encode through the program's encoder process (varnelcd-cli encode,
# which runs lame as a child and reads its progress) against running lame directly with
# the same arguments (the default settings: -b 128 -m j) on the same file.
#   bench/mp3encode.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build="${1:-build}"
cli="$build/varnelcd-cli"
if [ ! -x "$cli" ]; then
  echo "mp3encode: varnelcd-cli not found: $cli" >&2
  exit 1
fi
for tool in lame sox python3; do
  command -v "$tool" >/dev/null || { echo "mp3encode: $tool not found" >&2; exit 1; }
done
cli="$(cd "$(dirname "$cli")" && pwd)/varnelcd-cli"
work="$(mktemp -d)"
trap 'rm -rf -- "${work:?}"' EXIT
# Default settings: a fresh settings folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$XDG_CONFIG_HOME"
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 60 pinknoise vol 0.5

python3 - "$cli" "$work" <<'PY'
import os, resource, subprocess, sys, time
cli, work = sys.argv[1], sys.argv[2]
wav, out = os.path.join(work, "in.wav"), os.path.join(work, "out.mp3")
runs = {
    "process": [cli, "encode", "--to", "mp3", wav, out],
    "lame": ["lame", "-b", "128", "-m", "j", wav, out],
}
times = {k: [] for k in runs}
cpu = {k: [] for k in runs}
def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime
for _ in range(9):                       # interleaved, so load changes hit both alike
    for name, cmd in runs.items():
        if os.path.exists(out):
            os.remove(out)
        c = children_cpu()
        t = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times[name].append(time.perf_counter() - t)
        cpu[name].append(children_cpu() - c)
med = lambda v: sorted(v)[len(v) // 2]
wall = {k: med(v) for k, v in times.items()}
busy = {k: med(v) for k, v in cpu.items()}
print("mp3encode: process/lame wall-time ratio %.2f (target <= 1.03; lame %.2f s)" % (wall["process"] / wall["lame"], wall["lame"]))
print("mp3encode: process/lame cpu-time ratio %.2f (target <= 1.03)" % (busy["process"] / busy["lame"]))
PY
