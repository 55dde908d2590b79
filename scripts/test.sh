#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tests, printing how long each stage took.
#   bash scripts/test.sh          unit, gl (own Xvfb) and e2e (own Xvfb) tests
#   bash scripts/test.sh --full   the same, then the unit, gl and e2e tests again in an
#                                 AddressSanitizer + UndefinedBehaviorSanitizer build, the
#                                 fuzzers for a short while, then the Debian package: built,
#                                 installed, run and purged on this machine (what CI runs)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TZ=UTC

full=false
case ${1:-} in
  --full) full=true ;;
  "") ;;
  *) echo "usage: bash scripts/test.sh [--full]" >&2; exit 2 ;;
esac

timings=()
stage() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name =="
  "$@"
  timings+=("$(printf '%-34s %4d s' "$name" $((SECONDS - start)))")
}
report() {
  echo "== stage times =="
  printf '%s\n' "${timings[@]}"
  printf '%-34s %4d s\n' "total" "$SECONDS"
}
trap report EXIT

stage "dependencies" bash "$root/scripts/deps.sh"
stage "build" env SKYLOOM_BUILD="$root/build" bash "$root/scripts/build.sh"
stage "unit and gl tests" ctest --test-dir "$root/build" --output-on-failure -j2 --timeout 300 -L 'unit|gl'
# End-to-end tests one at a time: each drives a real viewer rendered in software, and two at once
# on two cores make frames (and so the idle checks they wait for) several times slower.
# The quick run soaks through fewer reloads; the full run keeps the long soak.
soak=()
$full || soak=(SKYLOOM_SOAK_RELOADS=45)
stage "e2e tests" env "${soak[@]}" ctest --test-dir "$root/build" --output-on-failure -j1 --timeout 900 -L e2e
$full || exit 0

stage "sanitizer build" env SKYLOOM_BUILD="$root/build-asan" bash "$root/scripts/build.sh" \
  -DSKYLOOM_SANITIZE=ON -DSKYLOOM_BUILD_BENCH=OFF
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
stage "sanitizer unit tests (with leaks)" env ASAN_OPTIONS=detect_leaks=1 \
  LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
  ctest --test-dir "$root/build-asan" --output-on-failure -j2 --timeout 600 -L unit
# Mesa's driver is unloaded before the leak check runs, so its allocations show up as leaks from an
# unknown module that no suppression can name: GL programs are checked for memory errors only.
stage "sanitizer gl tests" env ASAN_OPTIONS=detect_leaks=0 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j2 --timeout 600 -L gl
# The soak test's resident-memory figure means nothing under the sanitizer (its quarantine holds
# freed memory on purpose); a shorter soak is enough to look for memory errors.
stage "sanitizer e2e tests" env ASAN_OPTIONS=detect_leaks=0 SKYLOOM_SOAK_RELOADS=45 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j1 --timeout 900 -L e2e

if [ -f "$root/scripts/fuzz.sh" ]; then
  stage "fuzzing" bash "$root/scripts/fuzz.sh"
fi

# A Release build of the programs alone (build-pkg/), made into the .deb; the test installs it with
# apt-get, runs it and purges it again.
stage "package build" bash "$root/scripts/package.sh"
stage "package test" bash "$root/tests/package/package_test.sh"
