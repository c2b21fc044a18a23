#!/usr/bin/env bash
# Builds both targets and runs every test: natively, under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows test executables under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

for preset in native asan windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

ctest --preset native -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j2

. scripts/wine-env.sh
wine_env_up
trap wine_env_down EXIT
ctest --preset windows
