#!/usr/bin/env bash
# Configures and builds Skyloom into build/ (or $SKYLOOM_BUILD). Extra arguments go to cmake.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SKYLOOM_BUILD:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
