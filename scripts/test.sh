#!/usr/bin/env bash
# Builds every target and runs every test: natively, under AddressSanitizer and
# UndefinedBehaviorSanitizer, the stress suite in an optimised build, each fuzzer for
# a bounded time (FUZZ_SECONDS, 30 by default), the release archives of both
# Windows builds (scripts/release.sh), and the Windows test executables under Wine.
#
# Where the kernel runs 32-bit programs, the Windows tests run as the 32-bit build
# under 32-bit Wine; elsewhere as the 64-bit build under 64-bit Wine
# (VOLUBRA_WINE_ROUTE=64 takes that route anywhere). Both Volubra.qrv are built
# and their export tables checked either way.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
. scripts/wine-env.sh
route=$(wine_route)
run_preset=$(wine_preset "$route")
if [ "$route" = 64 ]; then other_preset=windows; else other_preset=windows64; fi

for preset in native asan "$run_preset"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
cmake --preset release >/dev/null
cmake --build --preset release --target stress_tests
cmake --preset "$other_preset" >/dev/null
cmake --build --preset "$other_preset" --target Volubra

ctest --preset native -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j2
ctest --preset release -L stress
scripts/fuzz.sh
# The other build's export table, read with its toolchain's objdump. Not through CTest:
# that would list the other build's test programs, which needs that route's Wine.
other_objdump=$(sed -n 's/^CMAKE_OBJDUMP:[A-Z]*=//p' "build/$other_preset/CMakeCache.txt")
bash tests/plugin/check_exports.sh pe "$other_objdump" "build/$other_preset/module/Volubra.qrv"
# The release archives of both builds, checked: file lists, exports, version resource.
scripts/release.sh

WINE_ENV_ROUTE=$route wine_env_up
trap wine_env_down EXIT
ctest --preset "$run_preset"

echo
echo "Windows tests: the $run_preset build ($route-bit) ran under $route-bit Wine."
if [ "$route" = 64 ]; then
  why="this machine cannot run 32-bit programs"
  [ -n "${VOLUBRA_WINE_ROUTE:-}" ] && why="VOLUBRA_WINE_ROUTE=64 chose this route"
  echo "The 32-bit Volubra.qrv was built and its export table checked, but not run here:" \
       "$why."
else
  echo "The 64-bit Volubra.qrv was built and its export table checked."
fi
