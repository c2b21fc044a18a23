#!/usr/bin/env bash
# CTest's way into a Windows program of the cross build (CMAKE_CROSSCOMPILING_EMULATOR):
# runs it with the `wine` on PATH, which scripts/wine-env.sh chooses for the route. A
# Windows program ends its lines with CR LF; for the test list that gtest_discover_tests
# reads (--gtest_list_tests) the CRs are dropped, or they would end up in the names.
set -o pipefail
for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then
    wine "$@" | tr -d '\r'
    exit
  fi
done
exec wine "$@"
