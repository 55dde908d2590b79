#!/usr/bin/env bash
# Measures an RRFS update: the bytes update_data.sh fetches for one 29-hour run (the .idx inventories
# plus the byte ranges of the wanted messages) and the time skyloom-ingest takes to convert the 29
# hours from local files. Prints figures; asserts nothing.
#
#   bench/measure_ingest.sh                      # offline, on a generated run shaped like NOAA's
#   bench/measure_ingest.sh --source URL_OR_DIR --cycle YYYYMMDDHH   # a real run (network or mirror)
#
# Build first (cmake --build build). SKYLOOM_BUILD: the build directory (default ./build).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SKYLOOM_BUILD:-$root/build}
source="" cycle=2026120900
while [ $# -gt 0 ]; do
  case $1 in
    --source) source=$2; shift 2 ;;
    --cycle) cycle=$2; shift 2 ;;
    *) echo "usage: measure_ingest.sh [--source URL_OR_DIR --cycle YYYYMMDDHH]" >&2; exit 2 ;;
  esac
done
hours=$(seq -s, 0 3 84)
work=$(mktemp -d "${TMPDIR:-/tmp}/skyloom-measure.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ -z "$source" ]; then
  source=$work/rrfs
  echo "Writing a 29-hour RRFS run (real grid size, other messages imitated by constant fields) ..."
  "$build/bench/bench_rrfs_fixture" "$source" "$cycle" "$hours"
fi

echo "update_data.sh --source $source --cycle $cycle (29 hours):"
start=$(date +%s.%N)
SKYLOOM_INGEST=$build/skyloom-ingest bash "$root/scripts/update_data.sh" --source "$source" --cycle "$cycle" \
  --output "$work/forecast.nc" | sed 's/^/  /'
echo "  total $(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s," \
  "forecast.nc $(stat -c %s "$work/forecast.nc") bytes"

# Conversion alone, from local files: each hour's two whole files joined into one (the converter
# picks the messages it needs by their keys).
if [ -d "$source" ]; then
  for h in ${hours//,/ }; do
    d=$source/rrfs.${cycle:0:8}/${cycle:8:2}
    cat "$d/rrfs.t${cycle:8:2}z.2dfld.13km.f$(printf %03d "$h").na.grib2" \
        "$d/rrfs.t${cycle:8:2}z.prslev.13km.f$(printf %03d "$h").na.grib2" > "$work/h$h.grib2"
  done
  files=()
  for h in ${hours//,/ }; do files+=("$work/h$h.grib2"); done
  echo "skyloom-ingest on 29 local hour files (whole 2dfld + prslev files):"
  /usr/bin/time -f "  %e s wall, %U s user, %M KB peak memory" \
    "$build/skyloom-ingest" --model rrfs --cycle "$cycle" --hours "$hours" --output "$work/forecast2.nc" "${files[@]}" |
    sed 's/^/  /'
fi
