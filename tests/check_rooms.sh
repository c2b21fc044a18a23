#!/usr/bin/env bash
# The include rules of docs/ARCHITECTURE.md, checked on the source tree: qrvapi/ includes
# nothing of ours, devhost/ nothing of module/, module/ nothing of devhost/ or testkit/,
# module/chat nothing of module/ui, testkit/ nothing of tests/, bench/ or fuzz/, and
# none of tests/, bench/ and fuzz/ anything of another. Prints every include that
# breaks a rule and fails if there is one.
set -u
cd "${1:-$(dirname "$0")/..}"
broken=0
# rule FOLDER FORBIDDEN-PREFIX...
rule() {
  local folder=$1
  shift
  local prefix hits
  for prefix in "$@"; do
    hits=$(grep -rn --include='*.h' --include='*.cpp' "^#include \"$prefix" "$folder" || true)
    if [ -n "$hits" ]; then
      echo "$folder must not include $prefix:"
      echo "$hits"
      broken=1
    fi
  done
}
rule qrvapi module/ devhost/ dialogkit/ testkit/ tests/ bench/ fuzz/
rule devhost module/ testkit/ tests/ bench/ fuzz/
rule module devhost/ testkit/ tests/ bench/ fuzz/
rule module/chat module/ui/
rule module/net module/chat/ module/ui/
rule module/plugin module/net/ module/chat/ module/ui/
rule dialogkit module/ devhost/ testkit/ tests/ bench/ fuzz/
rule testkit tests/ bench/ fuzz/
rule tests bench/ fuzz/
rule bench tests/ fuzz/
rule fuzz tests/ bench/
exit $broken
