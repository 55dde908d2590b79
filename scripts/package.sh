#!/usr/bin/env bash
# Builds the Debian package build-pkg/skyloom_VERSION_ARCH.deb (or in $SKYLOOM_PKG_BUILD): installs
# the packaging tools, makes a Release build of the programs only (no tests, no benchmarks) with
# Debian's hardening flags, the manual pages and the package. Prints the package's path last.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SKYLOOM_PKG_BUILD:-$root/build-pkg}

bash "$root/scripts/deps.sh" --package

# dpkg-buildflags maps the current directory out of the debug paths: run it from the source tree.
cd "$root"
flags() { dpkg-buildflags --get "$1"; }
# The changelog's and the manual pages' date: the last commit's, so that the same sources give the
# same files.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DSKYLOOM_BUILD_TESTS=OFF -DSKYLOOM_BUILD_BENCH=OFF -DSKYLOOM_PACKAGE=ON \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/skyloom_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/skyloom_*.deb
