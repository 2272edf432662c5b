#!/usr/bin/env bash
# Runs the benchmarks and prints one table of their figures: ratios against peer tools
# doing the same work in the same run (lower time ratio / higher throughput ratio is
# better for us), each the median of BENCH_RUNS (default 5) runs of its script, with its
# target and whether the median meets it.
#   scripts/bench.sh            every bench/*.sh
#   scripts/bench.sh NAME...    only bench/NAME.sh (e.g. wav2wav, wave, rip)
# Each run's own lines go to standard error as they come.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${BENCH_RUNS:-5}
scripts=()
if [ $# -eq 0 ]; then
  for b in bench/*.sh; do
    [ "$b" != bench/common.sh ] || continue   # the preamble the others source
    scripts+=("$b")
  done
else
  for name in "$@"; do
    if [ "$name" = common ] || [ ! -f "bench/$name.sh" ]; then
      echo "bench.sh: no benchmark $name (bench/*.sh)" >&2
      exit 2
    fi
    scripts+=("bench/$name.sh")
  done
fi
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
results="$(mktemp -d)"
trap 'rm -rf -- "${results:?}"' EXIT
failed=0
for b in "${scripts[@]}"; do
  for ((i = 1; i <= runs; i++)); do
    echo "== $b (run $i of $runs)" >&2
    if ! bash "$b" build | tee "$results/$(basename "$b" .sh).$i" >&2; then
      echo "bench.sh: $b failed" >&2
      failed=1
      break
    fi
  done
done
echo
echo "Median of $runs runs (ours / peer; see bench/README.md for what each compares)"
shopt -s nullglob
files=("$results"/*)
[ ${#files[@]} -eq 0 ] || python3 bench/bench_table.py "${files[@]}" || true
exit "$failed"
