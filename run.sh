#!/usr/bin/env bash
# Installs what is missing, builds a release of Tessel and starts it.
set -euo pipefail
cd "$(dirname "$0")"

./tools/ensure-packages.sh build-essential cmake ccache libgtest-dev libgmock-dev libtomlplusplus-dev libsystemd-dev pkgconf qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n

build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
exec "$build/tessel"
