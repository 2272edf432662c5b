# The preamble every bench/*.sh shares; sourced, not run:
#   . "$(dirname "$0")/common.sh"
#   bench_begin NAME BUILD_DIR [PROGRAM...] [-- TOOL...]
# checks that each PROGRAM (a path below BUILD_DIR) is built and each TOOL is installed,
# then sets
#   build      BUILD_DIR as an absolute path
#   cli        $build/varnelcd-cli
#   disc_tool  $build/make-test-disc
#   work       a new temporary folder, removed when the script exits
# bench_home gives the programs a settings folder of their own in $work and no disc images
# or read faults from the caller's environment. now (nanoseconds) and best (the smaller
# non-zero of two times) time the runs. Python parts import bench_common (common.py).
set -euo pipefail

bench_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export PYTHONPATH="$bench_dir${PYTHONPATH:+:$PYTHONPATH}"

bench_begin() {
  bench_name=$1
  if ! build="$(cd "$2" 2>/dev/null && pwd)"; then
    echo "$bench_name: no build folder: $2" >&2
    exit 1
  fi
  shift 2
  cli="$build/varnelcd-cli"
  disc_tool="$build/make-test-disc"
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    if [ ! -x "$build/$1" ]; then
      echo "$bench_name: not built: $build/$1" >&2
      exit 1
    fi
    shift
  done
  [ $# -eq 0 ] || shift
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "$bench_name: $tool is needed (scripts/deps.sh installs it)" >&2
      exit 1
    fi
  done
  work="$(mktemp -d)"
  trap 'rm -rf -- "${work:?}"' EXIT
}

bench_home() {
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" VARNELCD_DISC_IMAGES="" VARNELCD_READ_FAULTS=""
  mkdir -p "$XDG_CONFIG_HOME"
}

now() { date +%s%N; }
best() { if [ "$1" -eq 0 ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }

# bench_music_disc MINUTES TRACKS: $work/disc.cue and .bin, TRACKS equal audio tracks of
# MINUTES in all (each $sectors long), holding music-like sound (a chord over pink noise)
# instead of the generator's pattern, which is trivial for encoders; read once into the cache.
bench_music_disc() {
  local minutes=$1 tracks=$2 size
  sectors=$((minutes * 60 * 75 / tracks))
  local args=()
  for _ in $(seq "$tracks"); do args+=(--track "audio:$sectors"); done
  "$disc_tool" --out "$work/disc" "${args[@]}" >/dev/null
  size=$(stat -c %s "$work/disc.bin")
  sox -n -r 44100 -c 2 -b 16 -e signed-integer -t raw "$work/audio.raw" \
    synth "$((minutes * 60 + 1))" pinknoise synth sine mix 220 synth sine mix 330 vol 0.5
  head -c "$size" "$work/audio.raw" >"$work/disc.bin"
  rm -f -- "$work/audio.raw"
  cat "$work/disc.bin" >/dev/null
}
