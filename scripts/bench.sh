#!/usr/bin/env bash
# The relay benchmark: builds the release preset (native, optimised) and runs every
# load against devhost hosting a chat with the plug-in and against the raw poll
# relay, back to back, then prints a table of the figures and their ratios. Uses
# 127.0.0.1 only and ends by itself: every load has a time limit, and the whole run
# is bounded below.
#
#   scripts/bench.sh [--only latency,sustained,bulk,idle,crowd]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The longest the benchmark may run, whatever the relays do.
readonly BENCH_LIMIT_S=1800

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD"
fi
cmake --preset release "${launcher[@]}" >/dev/null
cmake --build --preset release --target relay_bench

# Two thousand guests need more descriptors than the usual 1024, in the benchmark and
# in the relays it starts (they inherit the limit).
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
exec timeout "$BENCH_LIMIT_S" build/release/bench/relay/relay_bench "$@"
