#!/usr/bin/env bash
# Packs a built Tessel into its Debian package: tools/make-package.sh BUILD_FOLDER OUTPUT_FOLDER.
# The build must be configured with CMAKE_INSTALL_PREFIX=/usr. Prints the package's path.
set -euo pipefail
[ $# -eq 2 ] || { echo "Usage: $0 BUILD_FOLDER OUTPUT_FOLDER" >&2; exit 2; }
build=$1
out=$(mkdir -p "$2" && cd "$2" && pwd)

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
  echo "$build is configured for $prefix; a Debian package needs -DCMAKE_INSTALL_PREFIX=/usr" >&2
  exit 1
fi
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log" >&2; exit 1; }
# The staging tree is not part of the result.
rm -rf "$out/_CPack_Packages"
ls "$out"/tessel_*.deb
