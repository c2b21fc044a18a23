#!/usr/bin/env bash
# The relay benchmark: builds the release preset (native, optimised) and runs every
# load against devhost hosting a chat with the plug-in and against the raw poll
# relay, back to back, then prints a table of the figures and their ratios. Uses
# 127.0.0.1 only and ends by itself: every load has a time limit, and the whole run
# is bounded below.
#
#   scripts/bench.sh [--wine] [--only latency,sustained,bulk,idle,crowd]
#   scripts/bench.sh --window [--baseline-plugin PATH] [--seconds N]
#   scripts/bench.sh --find
#
# --wine also builds the Windows devhost and plug-in (the route scripts/wine-env.sh
# picks) and runs the latency and sustained loads against it in real windows under
# Wine, beside the headless devhost; without --only it runs those two loads alone.
# It then runs bench/winsock_floor.cpp in the same Wine: the sockets' own share of
# the Windows devhost's latency, as a ratio of the headless latency.
#
# --window runs the window benchmark instead (bench/relay/window_bench.cpp): one guest
# floods the Windows devhost under Wine with long lines while a program in the same
# Wine asks the chat window how quickly it answers; the idle window in the same run is
# the yardstick. --baseline-plugin measures another build of the plug-in beside it.
#
# --find runs the Find benchmark instead (bench/find_bench.cpp): Find Next on a full
# 4 MiB transcript in the real chat window under Wine, against a plain search and the
# edit box's own select and scroll in the same run; the target is 200 ms.
#
# The figures go to out/bench/relay.csv and are drawn in out/bench/relay.png. The
# exit status is non-zero when a target is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The longest the benchmark may run, whatever the relays do.
readonly BENCH_LIMIT_S=1800
readonly OUT_DIR=out/bench

wine=0
window=0
find=0
args=()
only_given=0
for arg in "$@"; do
  case "$arg" in
    --wine) wine=1 ;;
    --window) window=1 ;;
    --find) find=1 ;;
    --only) only_given=1; args+=("$arg") ;;
    *) args+=("$arg") ;;
  esac
done
if [ "$wine" = 1 ] && [ "$only_given" = 0 ]; then
  args+=(--only latency,sustained)
fi

scripts/install-deps.sh

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD"
fi

if [ "$find" = 1 ]; then
  . scripts/wine-env.sh
  WINE_ENV_ROUTE=$(wine_route)
  preset=$(wine_preset "$WINE_ENV_ROUTE")
  cmake --preset "$preset" "${launcher[@]}" >/dev/null
  cmake --build --preset "$preset" --target find_bench
  wine_env_up
  trap wine_env_down EXIT
  timeout "$BENCH_LIMIT_S" wine "build/$preset/bench/find_bench.exe"
  exit
fi

if [ "$window" = 1 ]; then
  cmake --preset release "${launcher[@]}" >/dev/null
  cmake --build --preset release --target window_bench
  . scripts/wine-env.sh
  WINE_ENV_ROUTE=$(wine_route)
  preset=$(wine_preset "$WINE_ENV_ROUTE")
  cmake --preset "$preset" "${launcher[@]}" >/dev/null
  cmake --build --preset "$preset" --target devhost Volubra window_probe
  wine_env_up
  trap wine_env_down EXIT
  status=0
  timeout "$BENCH_LIMIT_S" build/release/bench/relay/window_bench \
    --wine-loader "$(command -v wine)" \
    --wine-devhost "$PWD/build/$preset/devhost/app/devhost.exe" \
    --wine-plugin "$PWD/build/$preset/module/Volubra.qrv" \
    --probe "$PWD/build/$preset/bench/window_probe.exe" "${args[@]}" || status=$?
  exit "$status"
fi
cmake --preset release "${launcher[@]}" >/dev/null
cmake --build --preset release --target relay_bench

if [ "$wine" = 1 ]; then
  . scripts/wine-env.sh
  WINE_ENV_ROUTE=$(wine_route)
  preset=$(wine_preset "$WINE_ENV_ROUTE")
  cmake --preset "$preset" "${launcher[@]}" >/dev/null
  cmake --build --preset "$preset" --target devhost Volubra winsock_floor
  wine_env_up
  trap wine_env_down EXIT
  args+=(--wine-loader "$(command -v wine)"
         --wine-devhost "$PWD/build/$preset/devhost/app/devhost.exe"
         --wine-plugin "$PWD/build/$preset/module/Volubra.qrv")
fi

# Two thousand guests need more descriptors than the usual 1024, in the benchmark and
# in the relays it starts (they inherit the limit).
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
mkdir -p "$OUT_DIR"
rm -f "$OUT_DIR/relay.csv" "$OUT_DIR/relay.png"
status=0
timeout "$BENCH_LIMIT_S" build/release/bench/relay/relay_bench --csv "$OUT_DIR/relay.csv" \
  "${args[@]}" || status=$?

# What Winsock alone costs a relayed line under this Wine, against the headless latency.
if [ "$wine" = 1 ] && grep -q '^latency,p50,' "$OUT_DIR/relay.csv" 2>/dev/null; then
  floor=$(timeout 300 wine "build/$preset/bench/winsock_floor.exe" | tr -d '\r') || floor=""
  headless=$(awk -F, '$1 == "latency" && $2 == "p50" { print $4 }' "$OUT_DIR/relay.csv")
  if [ -n "$floor" ]; then
    read -r _ floor_p50 _ <<<"$floor"
    echo "bench: Winsock alone under Wine (one receive, 100 sends, no window): $floor ms;" \
      "its p50 is $(awk -v f="$floor_p50" -v h="$headless" 'BEGIN { printf "%.1fx", f / h }')" \
      "the headless latency p50"
  else
    echo "bench: the Winsock floor could not be measured under Wine"
  fi
fi

if [ -s "$OUT_DIR/relay.csv" ]; then
  has() { grep -Eq "$1" "$OUT_DIR/relay.csv" && echo 1 || echo 0; }
  gnuplot -e "csv='$OUT_DIR/relay.csv'; out='$OUT_DIR/relay.png'; \
latency=$(has '^latency,'); rates=$(has '^(sustained|bulk),rate,'); wine=$wine" \
    bench/relay/relay_chart.gp
  echo "bench: figures in $OUT_DIR/relay.csv, drawn in $OUT_DIR/relay.png"
fi
exit "$status"
