#!/usr/bin/env bash
# Makes a release: both Windows builds in Release, and in dist/ one archive per build,
#   Volubra-<version>-win32.zip   the 32-bit Volubra.qrv, for the host as it ships
#   Volubra-<version>-win64.zip   the 64-bit one, for a 64-bit host
# each holding Volubra.qrv, Volubra.html, INSTALL.txt and LICENSE, and SHA256SUMS
# beside them. The version is the CMake project's. The archives are checked
# (scripts/check-release.sh) before the script reports success.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
version=$(scripts/check-release.sh --version)

rm -rf dist
mkdir -p dist
# Every file in the archives carries the time of the last commit, so that the same
# tree gives the same archives.
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)

for build in win32:windows win64:windows64; do
  arch=${build%%:*} preset=${build#*:}
  cmake --preset "$preset" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build --preset "$preset" --target Volubra
  stage=dist/Volubra-$version-$arch
  mkdir -p "$stage"
  cp "build/$preset/module/Volubra.qrv" module/ui/Volubra.html "$stage/"
  # The two text files with Windows line ends, for every editor a user may open them in.
  for text in docs/INSTALL.txt LICENSE; do
    sed 's/\r*$/\r/' "$text" >"$stage/$(basename "$text")"
  done
  touch -d "@$stamp" "$stage"/*
  (cd "$stage" && zip -X -q "../Volubra-$version-$arch.zip" Volubra.qrv Volubra.html INSTALL.txt LICENSE)
  rm -rf "$stage"
done
(cd dist && sha256sum "Volubra-$version-win32.zip" "Volubra-$version-win64.zip" >SHA256SUMS)

scripts/check-release.sh dist
echo "release $version:"
ls -l dist
