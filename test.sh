#!/usr/bin/env bash
# Installs what is missing, builds Tessel with the sanitizers and runs every test suite; builds the
# release too, runs the suites that need no fault seam against it, and packs and checks the Debian
# package made from it. Arguments go to both ctest runs (for example -R Startup).
set -euo pipefail
cd "$(dirname "$0")"

./tools/ensure-packages.sh build-essential cmake ccache libgtest-dev libgmock-dev libtomlplusplus-dev libsystemd-dev pkgconf qt6-base-dev qt6-tools-dev \
  qt6-l10n-tools clang-format dpkg-dev lintian desktop-file-utils appstream groff-base man-db systemd \
  dbus-daemon python3-dbus python3-gi locales

# The code follows .clang-format; a file that does not fails the run before anything is built.
./tools/check-format.sh

# Paths relative to the project, so that a fresh clone elsewhere still finds its compilations cached.
export CCACHE_BASEDIR="$PWD"

echo "== Debug build with the sanitizers and the fault seam"
build=build-test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=ON -DTESSEL_FAULT_INJECTION=ON \
  -DTESSEL_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@")

echo "== Release build, as packaged"
release=build-release-test
cmake -S . -B "$release" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTESSEL_TESTS=ON >/dev/null
cmake --build "$release" -j"$(nproc)"

echo "== The file systems people sync to: loop images and FUSE mounts (as root; skipped elsewhere)"
if [ "$(id -u)" -eq 0 ]; then
  ./tools/ensure-packages.sh e2fsprogs btrfs-progs xfsprogs exfat-fuse exfatprogs ntfs-3g sshfs openssh-server attr acl
fi
./tests/filesystems.sh "$release"

echo "== The Debian package of the release, unpacked and checked"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessel-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
deb=$(./tools/make-package.sh "$release" "$scratch")
./tools/check-package.sh "$deb"

echo "== The core and tessel-batch alone, without Qt"
core=build-core-test
cmake -S . -B "$core" -DCMAKE_BUILD_TYPE=Release -DTESSEL_GUI=OFF -DTESSEL_TESTS=OFF >/dev/null
cmake --build "$core" -j"$(nproc)" >/dev/null
if grep -q '^Qt6' "$core/CMakeCache.txt" || ldd "$core/tessel-batch" | grep -q Qt; then
  echo "FAILED: the build without the window still uses Qt" >&2
  exit 1
fi
echo "ok: $("$core/tessel-batch" --version) built without Qt"

echo "== The engine's threads under ThreadSanitizer"
tsan=build-tsan-test
cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_TSAN=ON -DTESSEL_GUI=OFF -DTESSEL_TESTS=ON >/dev/null
cmake --build "$tsan" -j"$(nproc)" --target tessel_core_tests tessel-batch
TSAN_OPTIONS="halt_on_error=1" "$tsan/tests/tessel_core_tests" --gtest_brief=1 \
  --gtest_filter='ParallelTest.*:PreviewTest.*:SyncWatchTest.*:DeleteAbsentTest.*:VersionsTest.*:TwoWayTest.*:SafetyTest.*:BatchTest.*:FileSystemTraitsTest.*:ProgressRunTest.*'

echo "== The release's tests; the suites that need the fault seam are left out"
(cd "$release" && ctest --output-on-failure -j"$(nproc)" "$@")
