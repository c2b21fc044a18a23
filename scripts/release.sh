#!/usr/bin/env bash
# Makes a release: both Windows builds in Release, and in dist/ one archive per build,
#   Volubra-<version>-win32.zip   the 32-bit Volubra.qrv, for the host as it ships
#   Volubra-<version>-win64.zip   the 64-bit one, for a 64-bit host
# each holding Volubra.qrv, Volubra.html, INSTALL.txt and LICENSE, and SHA256SUMS
# beside them. The DLLs in the archives are stripped; the debug information of each
# lies beside the archives, in Volubra-<version>-<arch>.debug, which the DLL names in
# its debug link. The version is the CMake project's; the help page and INSTALL.txt
# show it. The archives are checked (scripts/check-release.sh) before the script
# reports success.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
version=$(scripts/check-release.sh --version)

rm -rf dist
mkdir -p dist
# Every file in the archives carries the time of the last commit, so that the same
# tree gives the same archives.
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)

for build in win32:windows:i686-w64-mingw32 win64:windows64:x86_64-w64-mingw32; do
  IFS=: read -r arch preset tools <<<"$build"
  cmake --preset "$preset" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build --preset "$preset" --target Volubra
  stage=dist/Volubra-$version-$arch
  debug=Volubra-$version-$arch.debug
  mkdir -p "$stage"
  cp "build/$preset/module/Volubra.qrv" "build/$preset/module/Volubra.html" "$stage/"
  # The debug sections go to their own file; the shipped DLL keeps a link to it (its
  # name and checksum), so a debugger that has both finds it.
  "$tools-objcopy" --only-keep-debug "$stage/Volubra.qrv" "dist/$debug"
  "$tools-objcopy" --strip-all "$stage/Volubra.qrv"
  (cd dist && "$tools-objcopy" --add-gnu-debuglink="$debug" "Volubra-$version-$arch/Volubra.qrv")
  # The two text files with Windows line ends, for every editor a user may open them in.
  for text in docs/INSTALL.txt LICENSE; do
    sed "s/@PROJECT_VERSION@/$version/g; s/\r*\$/\r/" "$text" >"$stage/$(basename "$text")"
  done
  touch -d "@$stamp" "$stage"/* "dist/$debug"
  (cd "$stage" && zip -X -q "../Volubra-$version-$arch.zip" Volubra.qrv Volubra.html INSTALL.txt LICENSE)
  rm -rf "$stage"
done
(cd dist && sha256sum "Volubra-$version-win32.zip" "Volubra-$version-win64.zip" \
   "Volubra-$version-win32.debug" "Volubra-$version-win64.debug" >SHA256SUMS)

scripts/check-release.sh dist
echo "release $version:"
ls -l dist
