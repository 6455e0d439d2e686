#!/usr/bin/env bash
# Install benchmark (not a test): updater.exe under Wine laying a 2,000-file, 200 MB ZIP
# package over an old version of a program folder, against unzip -o and cp -r natively;
# see bench/install/run_bench.py for what it measures. Arguments are passed on, e.g.
#   bench/install.sh --runs 5
# UPDATER_BENCH_BUILD picks the Windows build folder (default: the preset's build/windows);
# WINEPREFIX the Wine prefix (default: scripts/lib/wine-env.sh's). The working files live
# in build/bench-install/ and are removed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bin=$(realpath -m "${UPDATER_BENCH_BUILD:-build/windows}")
[ -f "$bin/CMakeCache.txt" ] || cmake --preset windows -B "$bin" >/dev/null
cmake --build "$bin" --parallel 2 --target updater window_driver target_app_gui >/dev/null

[ -z "${WINEPREFIX:-}" ] || WINEPREFIX=$(realpath -m "$WINEPREFIX")
source scripts/lib/wine-env.sh
start_display_and_wine

export E2E_UPDATER=$bin/src/updater.exe
export E2E_DRIVER=$bin/tests/tools/window_driver.exe
export E2E_TARGET=$bin/tests/tools/target_app_gui.exe
python3 "$root/bench/install/run_bench.py" "$@"
