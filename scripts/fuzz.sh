#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer; build-fuzz) and runs each for FUZZ_SECONDS
# (default 15) from its corpus kept in the tree, tests/fuzz/corpus/<name>/ (minimised, so
# every run starts where the last merge ended), and its hand-made seeds and past findings,
# tests/fuzz/seeds/<name>/. Both are only read: what a run finds goes into a scratch corpus
# in build-fuzz/corpus/<name>/.
#   FUZZ_SECONDS=600 scripts/fuzz.sh            every target ten minutes
#   FUZZ_TARGETS="cddb musicbrainz" scripts/fuzz.sh   only those
#   FUZZ_MERGE=1 scripts/fuzz.sh                then merges the new inputs into the tree
#                                               corpus, minimised (libFuzzer's -merge=1)
# A fixed seed keeps CI repeatable; FUZZ_SEED=0 (random) explores more. A crash leaves its
# input as build-fuzz/<name>-crash-*; once it is fixed, add it to tests/fuzz/seeds/<name>/
# under a name that says what it was.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${FUZZ_SECONDS:-15}
seed=${FUZZ_SEED:-1}

scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVARNELCD_BUILD_FUZZ=ON -DVARNELCD_BUILD_TESTS=ON -DVARNELCD_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined" -- fuzz-all

export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
failed=0
for f in build-fuzz/fuzz/*_fuzz; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  short=${name%_fuzz}
  if [ -n "${FUZZ_TARGETS:-}" ] && [[ " $FUZZ_TARGETS " != *" $short "* ]]; then continue; fi
  tree=tests/fuzz/corpus/$short
  seeds=tests/fuzz/seeds/$short
  scratch=build-fuzz/corpus/$name
  mkdir -p "$scratch"
  inputs=()
  for d in "$tree" "$seeds"; do [ -d "$d" ] && inputs+=("$d"); done
  if "$f" -seed="$seed" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="build-fuzz/$name-" "$scratch" "${inputs[@]}" > "build-fuzz/$name.log" 2>&1; then
    echo "fuzz $name: ok"
  else
    echo "fuzz $name: FAILED"; tail -40 "build-fuzz/$name.log"; failed=1
    continue
  fi
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    # The tree corpus again, minimised over what it had and what this run found: the
    # inputs that reach new edges (hit counts left out, which keeps it to a few dozen
    # small files).
    merged=build-fuzz/merged/$name
    rm -rf -- "${merged:?}"
    mkdir -p "$merged" "$tree"
    "$f" -merge=1 -use_counters=0 -rss_limit_mb=2048 "$merged" "${inputs[@]}" "$scratch" > "build-fuzz/$name-merge.log" 2>&1
    find "$tree" -maxdepth 1 -type f -delete
    cp -- "$merged"/* "$tree"/ 2>/dev/null || true
    echo "fuzz $name: tree corpus $(find "$tree" -type f | wc -l) files, $(cat "$tree"/* | wc -c) bytes"
  fi
done
[ $failed -eq 0 ] || { echo "a fuzz target found a crash"; exit 1; }
