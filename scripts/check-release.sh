#!/usr/bin/env bash
# Checks the archives that scripts/release.sh made:
#   scripts/check-release.sh [DIR]     (DIR defaults to dist)
# each archive holds exactly Volubra.qrv, Volubra.html, INSTALL.txt and LICENSE; its
# DLL is of its architecture, exports exactly the seven names, carries a version
# resource with the project's version, has no debug sections (the 32-bit one is at
# most 500 KiB) and links to its debug file beside the archives, whose checksum it
# holds; the help page and INSTALL.txt show the version; SHA256SUMS names both archives
# and both debug files, and matches.
#   scripts/check-release.sh --version  prints the project's version and stops.
set -euo pipefail
cd "$(dirname "$0")/.."

# The one place the version is written: project(Volubra VERSION x.y.z ...).
version=$(sed -n 's/^project(Volubra VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
  echo "check-release: no VERSION in the project() of CMakeLists.txt" >&2
  exit 1
fi
if [ "${1:-}" = --version ]; then
  echo "$version"
  exit 0
fi
dist=${1:-dist}

failures=0
fail() { echo "check-release: $*" >&2; failures=$((failures + 1)); }

# The seven exports; the version query keeps its stdcall decoration in both builds.
expected_exports="ExtInitPlugin ExtOnAccept ExtOnClose ExtOnConnect ExtOnRecv ExtShowWnd _ExtGetApiVersion@0"
expected_files="INSTALL.txt LICENSE Volubra.html Volubra.qrv"
# The 32-bit DLL a user downloads: stripped, it has room to grow; with its debug
# sections it would be twice this.
max_win32_dll_bytes=$((500 * 1024))
IFS=. read -r major minor patch <<<"$version"

work=$(mktemp -d /tmp/volubra-check-release.XXXXXX)
trap 'rm -rf "$work"' EXIT

check_archive() { # arch, tool prefix, PE format name
  local arch=$1 tools=$2 format=$3
  local zip="$dist/Volubra-$version-$arch.zip"
  [ -f "$zip" ] || { fail "$zip is missing"; return; }
  local files
  files=$(unzip -Z1 "$zip" | LC_ALL=C sort | xargs)
  [ "$files" = "$expected_files" ] || fail "$zip holds '$files', not '$expected_files'"
  mkdir -p "$work/$arch"
  unzip -q -o "$zip" -d "$work/$arch"
  local dll="$work/$arch/Volubra.qrv"
  [ -f "$dll" ] || return

  local headers exports resources
  headers=$("$tools-objdump" -p "$dll")
  grep -q "file format $format" <<<"$headers" || fail "$zip: Volubra.qrv is not $format"
  exports=$(echo "$headers" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | LC_ALL=C sort | xargs)
  [ "$exports" = "$expected_exports" ] || fail "$zip: Volubra.qrv exports '$exports'"

  resources=$("$tools-windres" -i "$dll" -O rc)
  local want
  for want in " FILEVERSION $major, $minor, $patch, 0" " PRODUCTVERSION $major, $minor, $patch, 0" \
              "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
              "VALUE \"ProductName\", \"Volubra\""; do
    grep -qF -- "$want" <<<"$resources" || fail "$zip: the version resource lacks '$want'"
  done
  local text
  for text in Volubra.html INSTALL.txt; do
    grep -qF "Version $version" "$work/$arch/$text" || fail "$zip: $text does not say 'Version $version'"
  done
  check_lean_dll "$zip" "$dll" "$arch" "$tools"
  echo "check-release: $zip: $files; exports $exports; version $version"
}

# The shipped DLL carries no debug sections; its debug link names the debug file beside
# the archive, and the checksum it holds is that file's (CRC-32, as gzip's trailer).
check_lean_dll() { # zip, dll, arch, tool prefix
  local zip=$1 dll=$2 arch=$3 tools=$4 failures_before=$failures
  local debug_sections
  debug_sections=$("$tools-objdump" -h "$dll" | awk '$2 ~ /^\.debug/ {print $2}' | xargs)
  [ -z "$debug_sections" ] || fail "$zip: Volubra.qrv carries debug sections: $debug_sections"
  local size
  size=$(stat -c %s "$dll")
  if [ "$arch" = win32 ] && [ "$size" -gt "$max_win32_dll_bytes" ]; then
    fail "$zip: Volubra.qrv is $size bytes, more than $max_win32_dll_bytes"
  fi
  local debug=Volubra-$version-$arch.debug
  "$tools-objcopy" --dump-section .gnu_debuglink="$work/$arch.link" "$dll" "$work/$arch.copy" \
    2>/dev/null || true
  [ -f "$work/$arch.link" ] || : >"$work/$arch.link" # a DLL without the link
  local linked
  linked=$(tr '\0' '\n' <"$work/$arch.link" 2>/dev/null | head -n 1)
  [ "$linked" = "$debug" ] || { fail "$zip: Volubra.qrv links to '$linked', not '$debug'"; return; }
  [ -f "$dist/$debug" ] || { fail "$dist/$debug is missing"; return; }
  "$tools-objdump" -h "$dist/$debug" | grep -q ' \.debug_info ' ||
    fail "$dist/$debug holds no debug information"
  local want_crc have_crc
  want_crc=$(gzip -c "$dist/$debug" | tail -c 8 | head -c 4 | od -An -tx4 | xargs)
  have_crc=$(tail -c 4 "$work/$arch.link" | od -An -tx4 | xargs)
  [ "$want_crc" = "$have_crc" ] || fail "$zip: the debug link's checksum is not that of $debug"
  [ "$failures" = "$failures_before" ] || return 0
  echo "check-release: $zip: Volubra.qrv $size bytes, no debug sections, debug link $debug"
}

check_archive win32 i686-w64-mingw32 pei-i386
check_archive win64 x86_64-w64-mingw32 pei-x86-64

if [ -f "$dist/SHA256SUMS" ]; then
  listed=$(awk '{print $2}' "$dist/SHA256SUMS" | LC_ALL=C sort | xargs)
  [ "$listed" = "Volubra-$version-win32.debug Volubra-$version-win32.zip Volubra-$version-win64.debug Volubra-$version-win64.zip" ] ||
    fail "SHA256SUMS lists '$listed'"
  (cd "$dist" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match"
else
  fail "$dist/SHA256SUMS is missing"
fi

if [ "$failures" -gt 0 ]; then
  echo "check-release: $failures check(s) failed" >&2
  exit 1
fi
echo "check-release: both archives of $version are complete"
