#!/usr/bin/env bash
# Installs what is missing, builds Tessel with the sanitizers and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")"

./tools/ensure-packages.sh build-essential cmake ccache libgtest-dev libgmock-dev qt6-base-dev qt6-tools-dev qt6-l10n-tools clang-format

# The code follows .clang-format; a file that does not fails the run before anything is built.
./tools/check-format.sh

build=build-test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=ON -DTESSEL_FAULT_INJECTION=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
