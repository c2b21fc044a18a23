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

# Each stage's time is printed at the end, also when a stage fails.
stage_times=()
stage_start=0
stage_name=""
begin_stage() {
  end_stage
  stage_name=$1
  stage_start=$SECONDS
  echo "== $stage_name"
}
end_stage() {
  [ -n "$stage_name" ] || return 0
  stage_times+=("$(printf '%5ds  %s' $((SECONDS - stage_start)) "$stage_name")")
  stage_name=""
}
print_stage_times() {
  end_stage
  echo
  echo "Time per stage:"
  printf '  %s\n' "${stage_times[@]}"
  printf '%7ds  in all\n' "$SECONDS"
}
wine_up=0
finish() {
  local rc=$?
  [ "$wine_up" = 1 ] && wine_env_down
  print_stage_times
  exit "$rc"
}
trap finish EXIT

begin_stage "install what is missing"
scripts/install-deps.sh
. scripts/wine-env.sh
route=$(wine_route)
# Every build goes through the compiler cache: a run after the first one, in this
# clone or another, compiles only what changed. Paths are taken relative to the
# clone, so that clones in other folders share the cached objects.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
run_preset=$(wine_preset "$route")
if [ "$route" = 64 ]; then other_preset=windows; else other_preset=windows64; fi

for preset in native asan "$run_preset"; do
  begin_stage "build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
begin_stage "build release (stress suite), $other_preset (Volubra)"
cmake --preset release >/dev/null
cmake --build --preset release --target stress_tests
cmake --preset "$other_preset" >/dev/null
cmake --build --preset "$other_preset" --target Volubra

begin_stage "test native"
ctest --preset native -j2
begin_stage "test asan"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j2
begin_stage "test stress (release)"
ctest --preset release -L stress
begin_stage "fuzz"
scripts/fuzz.sh
begin_stage "release archives"
# The other build's export table, read with its toolchain's objdump. Not through CTest:
# that would list the other build's test programs, which needs that route's Wine.
other_objdump=$(sed -n 's/^CMAKE_OBJDUMP:[A-Z]*=//p' "build/$other_preset/CMakeCache.txt")
bash tests/plugin/check_exports.sh pe "$other_objdump" "build/$other_preset/module/Volubra.qrv"
# The release archives of both builds, checked: file lists, exports, version resource.
scripts/release.sh

begin_stage "test $run_preset under Wine"
WINE_ENV_ROUTE=$route wine_env_up
wine_up=1
# Each test executable once, as one test ("executable" label), rather than each case
# in a Wine process of its own; and every test that is not a GoogleTest case.
ctest --test-dir "build/$run_preset" --output-on-failure -LE '^case$'
wine_env_down
wine_up=0
end_stage

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
