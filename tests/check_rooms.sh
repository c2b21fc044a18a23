#!/usr/bin/env bash
# The include rules of docs/ARCHITECTURE.md, checked on the source tree: qrvapi/ includes
# nothing of ours, devhost/ nothing of module/, module/ nothing of devhost/ or testkit/,
# module/chat nothing of module/ui, module/ and dialogkit's framework nothing of
# dialogkit/testing/, testkit/ nothing of tests/, bench/ or fuzz/, none of tests/,
# bench/ and fuzz/ anything of another, and each folder of tests/ nothing of another
# (what they share is in testkit/). Prints every include that breaks a rule and fails
# if there is one.
set -u
cd "${1:-$(dirname "$0")/..}"
broken=0
# rule FOLDER FORBIDDEN-PREFIX... (a subfolder named in $skip is not looked at)
skip=""
rule() {
  local folder=$1
  shift
  local prefix hits
  for prefix in "$@"; do
    hits=$(grep -rn --include='*.h' --include='*.cpp' ${skip:+--exclude-dir="$skip"} \
             "^#include \"$prefix" "$folder" || true)
    if [ -n "$hits" ]; then
      echo "$folder must not include $prefix:"
      echo "$hits"
      broken=1
    fi
  done
}
rule qrvapi module/ devhost/ dialogkit/ testkit/ tests/ bench/ fuzz/
rule devhost module/ testkit/ tests/ bench/ fuzz/
rule module devhost/ testkit/ tests/ bench/ fuzz/ dialogkit/testing/
rule module/chat module/ui/
rule module/net module/chat/ module/ui/
rule module/plugin module/net/ module/chat/ module/ui/
rule dialogkit module/ devhost/ testkit/ tests/ bench/ fuzz/
skip=testing rule dialogkit dialogkit/testing/
rule testkit tests/ bench/ fuzz/
rule tests bench/ fuzz/
for room in tests/*/; do
  room=${room%/}
  for other in tests/*/; do
    [ "${other%/}" = "$room" ] || rule "$room" "$other"
  done
done
rule bench tests/ fuzz/
rule fuzz tests/ bench/
exit $broken
