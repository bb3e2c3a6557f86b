#!/usr/bin/env bash
# Builds the Debian package of Tessel, build-package/tessel_<version>_<arch>.deb, and checks it with
# lintian. Install it with: sudo apt install ./build-package/tessel_*.deb
set -euo pipefail
cd "$(dirname "$0")"

./tools/ensure-packages.sh build-essential cmake ccache libtomlplusplus-dev libsystemd-dev pkgconf qt6-base-dev qt6-tools-dev qt6-l10n-tools dpkg-dev lintian

# Paths relative to the project, so that the compilations of the other builds are found in the cache.
export CCACHE_BASEDIR="$PWD"
build=build-package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTESSEL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
deb=$(./tools/make-package.sh "$build" "$build")
lintian --fail-on error "$deb"
echo "Built $deb"
