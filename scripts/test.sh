#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite: the
# thread tests and the Linux backends' tests under ThreadSanitizer, everything
# under AddressSanitizer + UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, and everything in the dev build, last, so the run ends with
# CTest's summary of the full suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc)

run_preset() {
  local preset=$1
  echo "=== ${preset} ==="
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
  ctest --preset "${preset}" -j "${jobs}" --no-tests=error
}

run_preset tsan
echo "=== tsan-linux ==="
cmake --build --preset tsan-linux -j "${jobs}"
ctest --preset tsan-linux -j "${jobs}" --no-tests=error
run_preset asan
echo "=== fuzz ==="
bash scripts/fuzz.sh "${MURMO_FUZZ_SECONDS:-60}"
run_preset dev
