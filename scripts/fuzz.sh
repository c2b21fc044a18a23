#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset, clang) and runs each one for a
# bounded time on its corpus in fuzz/corpus/<target>/. New inputs go to a scratch
# folder, never into the tree; a crash leaves its input in build/fuzz/artifacts/ and
# makes the script fail. FUZZ_SECONDS sets the time per target (default 30). A target
# runs on one core: as many run at once as there are cores (FUZZ_JOBS to choose).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

seconds="${FUZZ_SECONDS:-30}"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake --preset fuzz "${launcher[@]}" >/dev/null
cmake --build --preset fuzz

artifacts="$PWD/build/fuzz/artifacts"
scratch=$(mktemp -d /tmp/volubra-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts"

# target and its own options: the hosting chat and the chat events keep state from one
# input to the next on purpose, so libFuzzer's per-input leak check would only see that state.
targets=(
  "fuzz_frame_decoder|frame_decoder|"
  "fuzz_hosting_receive|hosting_receive|-detect_leaks=0"
  "fuzz_session_script|session_script|"
  "fuzz_chat_events|chat_events|-detect_leaks=0 -max_len=512"
)
jobs_max="${FUZZ_JOBS:-$(nproc)}"
for entry in "${targets[@]}"; do
  IFS='|' read -r target corpus extra <<<"$entry"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do wait -n || true; done
  mkdir -p "$scratch/$corpus"
  echo "fuzz: $target for ${seconds}s"
  (
    rc=0
    "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" $extra "$scratch/$corpus" "fuzz/corpus/$corpus" \
      >"$scratch/$target.log" 2>&1 || rc=$?
    echo "$rc" >"$scratch/$target.rc"
  ) &
done
wait

failed=0
for entry in "${targets[@]}"; do
  IFS='|' read -r target corpus extra <<<"$entry"
  if [ "$(cat "$scratch/$target.rc")" != 0 ]; then
    failed=1
    tail -n 60 "$scratch/$target.log"
    echo "fuzz: $target FAILED (inputs in $artifacts)"
  else
    echo "fuzz: $target"
    grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "$scratch/$target.log" || true
  fi
done
exit "$failed"
