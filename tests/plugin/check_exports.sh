#!/usr/bin/env bash
# Checks that the built module exports exactly its seven functions, that nothing of
# dialogkit's testing library made its way in (no window-hook API among the DLL's
# imports, no reference to dk::testing in the shared object), and that the DLL asks
# the window manager to flash its window (FlashWindowEx among its imports).
#   check_exports.sh pe  <objdump> Volubra.qrv   (PE export table; stdcall decoration)
#   check_exports.sh elf <nm>      Volubra.so    (ELF dynamic symbols; undecorated)
set -euo pipefail
kind=$1 tool=$2 module=$3

case $kind in
pe)
    expected="ExtInitPlugin ExtOnAccept ExtOnClose ExtOnConnect ExtOnRecv ExtShowWnd _ExtGetApiVersion@0"
    # The name pointer table lists one "[ordinal] name" line per export.
    headers=$("$tool" -p "$module")
    # The import tables list one "hint name" line per imported function.
    test_code=$(echo "$headers" | grep -E '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+(SetWindowsHookEx|UnhookWindowsHookEx|CallNextHookEx)' || true)
    if ! grep -qE '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+FlashWindowEx$' <<<"$headers"; then
        echo "$module does not import FlashWindowEx" >&2
        exit 1
    fi
    actual=$(echo "$headers" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | LC_ALL=C sort | xargs)
    ;;
elf)
    expected="ExtGetApiVersion ExtInitPlugin ExtOnAccept ExtOnClose ExtOnConnect ExtOnRecv ExtShowWnd"
    actual=$("$tool" -D --defined-only "$module" | awk '{print $NF}' | LC_ALL=C sort | xargs)
    test_code=$("$tool" -D -C --undefined-only "$module" | grep -E 'dk::testing::' || true)
    ;;
*)
    echo "unknown module kind: $kind" >&2
    exit 2
    ;;
esac

if [[ "$actual" != "$expected" ]]; then
    echo "export table of $module is wrong" >&2
    echo "  expected: $expected" >&2
    echo "  actual:   $actual" >&2
    exit 1
fi
if [[ -n "$test_code" ]]; then
    echo "$module carries test code:" >&2
    echo "$test_code" >&2
    exit 1
fi
echo "export table of $module: $actual"
