#!/usr/bin/env bash
# Builds the libFuzzer harnesses (tests/fuzz) with clang into build-fuzz/ and runs each one for
# FUZZ_SECONDS (default 60) on a copy of its committed corpus. Exits non-zero when any harness
# reports a crash, a leak, a timeout or running out of memory; the input that did it is kept in
# build-fuzz/fuzz/artifacts/ and the harness's log beside it.
#   FUZZ_SECONDS=N     time per harness
#   FUZZ_BUILD_DIR=DIR build directory (default build-fuzz)
#   FUZZ_HARNESSES="outline png"  run only these
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
harnesses=(${FUZZ_HARNESSES:-outline png jpeg forecast inventory grib})
start=$(date +%s)

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DSKYLOOM_FUZZ=ON -DSKYLOOM_BUILD_BENCH=OFF >/dev/null || exit 1
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}" >"$build/fuzz-build.log" 2>&1 || {
  tail -n 40 "$build/fuzz-build.log"
  echo "fuzz.sh: build failed" >&2
  exit 1
}
built=$(date +%s)
echo "fuzz.sh: built ${targets[*]} in $((built - start)) s"

out="$build/fuzz"
mkdir -p "$out/artifacts"
failed=0
for h in "${harnesses[@]}"; do
  corpus="$out/corpus-$h"
  rm -rf "$corpus"
  cp -r "$root/tests/fuzz/corpus/$h" "$corpus"
  t0=$(date +%s)
  execs=0 library=0 result="ok" run=0
  # A crash inside the netCDF library itself (first frame of ours or theirs below the sanitizer's
  # own lies in libnetcdf) is reported and fuzzing resumes for the time left; anything else fails.
  while :; do
    left=$((seconds - ($(date +%s) - t0)))
    [ $left -gt 0 ] || break
    run=$((run + 1))
    log="$out/$h.$run.log"
    # The readers report every bad input on standard error; -close_fd_mask=3 keeps only libFuzzer's
    # and the sanitizers' own output. The netCDF library sizes its header tables from the header's
    # own counts: a claim over 256 MB gets a null pointer (our code's new still fails), which keeps
    # the runs fast; the library does not check every one, so some of its reported crashes are that.
    ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=256" \
    LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
      "$out/fuzz_$h" "$corpus" -max_total_time="$left" -timeout=10 -rss_limit_mb=2048 \
      -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$out/artifacts/$h-" >"$log" 2>&1
    rc=$?
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    [ -z "$n" ] && n=$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
    execs=$((execs + ${n:-0}))
    [ $rc -eq 0 ] && break
    first=$(grep -E '^ +#[0-9]+ ' "$log" | grep -vE '__interceptor_|__asan|__sanitizer|fuzzer::|libc\.so|/libc-' | head -n 1)
    if echo "$first" | grep -q 'libnetcdf'; then
      library=$((library + 1))
      echo "fuzz.sh: $h: crash inside the netCDF library, not ours ($(grep -m1 -oE 'Test unit written to .*' "$log"))"
      continue
    fi
    result="FAILED (exit $rc; see $log)"
    failed=1
    grep -E "^(==[0-9]+==ERROR|SUMMARY|.*runtime error|Test unit written)" "$log" | head -n 8
    break
  done
  [ $library -gt 0 ] && result="$result; $library crash(es) inside the netCDF library"
  printf 'fuzz.sh: %-9s %4d s  %10s executions  corpus %4d files  %s\n' "$h" $(($(date +%s) - t0)) "$execs" \
    "$(ls "$corpus" | wc -l)" "$result"
done
echo "fuzz.sh: total $(( $(date +%s) - start )) s"
exit $failed
