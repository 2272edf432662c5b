#!/usr/bin/env bash
# Runs the stream core benchmark and prints how the framework's throughput compares with
# a plain memcpy of the same bytes in the same block size.
#   bench/streamcore.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin streamcore "${1:-build}" bench/streamcore_bench -- python3
bin="$build/bench/streamcore_bench"
json="$work/bench.json"
"$bin" --benchmark_format=json >"$json"
python3 - "$json" <<'PY'
import json, sys
with open(sys.argv[1]) as f:
    data = json.load(f)
rates = {}
for b in data["benchmarks"]:
    if b.get("run_type", "iteration") != "iteration":
        continue
    rates[b["name"].split("/")[0]] = b["bytes_per_second"]
ratio = rates["BM_StreamChain"] / rates["BM_Memcpy"]
print("streamcore: framework/memcpy throughput ratio %.2f" % ratio)
PY
