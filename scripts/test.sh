#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit, gl (own Xvfb) and e2e (own Xvfb),
# then the unit and gl tests again in an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TZ=UTC

bash "$root/scripts/deps.sh"

SKYLOOM_BUILD="$root/build" bash "$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j2 --timeout 300

echo "== sanitizer build (unit and gl tests) =="
SKYLOOM_BUILD="$root/build-asan" bash "$root/scripts/build.sh" -DSKYLOOM_SANITIZE=ON -DSKYLOOM_BUILD_BENCH=OFF
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
  ctest --test-dir "$root/build-asan" --output-on-failure -j2 --timeout 600 -L unit
# Mesa's driver is unloaded before the leak check runs, so its allocations show up as leaks from an
# unknown module that no suppression can name: GL programs are checked for memory errors only.
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir "$root/build-asan" --output-on-failure -j2 --timeout 600 -L gl
