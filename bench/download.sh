#!/usr/bin/env bash
# Download benchmark (not a test): builds the host build's front end when needed and
# runs bench/download/run_bench.py; see that file for what it measures. Arguments are
# passed on, e.g. bench/download.sh --runs 5
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build/host}
if [ ! -x "$build/bench/download/dl_bench" ]; then
  cmake --preset host -B "$build" >/dev/null
  cmake --build "$build" --target dl_bench
fi
exec python3 "$root/bench/download/run_bench.py" --build "$build" "$@"
