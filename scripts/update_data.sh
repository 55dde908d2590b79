#!/usr/bin/env bash
# Refreshes forecast.nc in the working directory with the latest model run. The viewer runs this
# script at start-up when the forecast is missing, for -update, and from the time bar's Update button;
# it notices the new file by its modification time, so the file is only ever replaced whole. This
# script only fetches: skyloom-ingest picks the fields, checks the grids, regrids and writes the file
# beside the target before renaming it. On any failure the old forecast.nc stays as it was and the
# script exits non-zero with a message.
set -euo pipefail

me=update_data.sh
bucket=https://noaa-rrfs-ops-pds.s3.amazonaws.com
nomads_prod=https://nomads.ncep.noaa.gov/pub/data/nccf/com/rrfs/prod
nomads_v1=https://nomads.ncep.noaa.gov/pub/data/nccf/com/rrfs/v1.0
rrfs_from=2026101412  # NAM's last run was 2026101406; RRFS replaced it
default_hours=0,3,6,9,12,15,18,21,24,27,30,33,36,39,42,45,48,51,54,57,60,63,66,69,72,75,78,81,84
retries=${SKYLOOM_UPDATE_RETRIES:-3}
max_time=${SKYLOOM_UPDATE_TIMEOUT:-300}

usage() {
  cat <<EOF
usage: $me [--model rrfs|nam] [--cycle YYYYMMDDHH] [--hours H,H,...] [--source URL_OR_DIR] [--output PATH]
       $me --sample [--output PATH]

Fetches a run of NOAA NCEP's RRFS (Rapid Refresh Forecast System, 13 km North America, runs at 00,
06, 12 and 18 UTC out to 84 hours) and converts the eight fields the viewer shows (10 m and 250 mb
wind, 2 m temperature, sea-level pressure, total cloud cover, precipitation since the start of the
run) into forecast.nc on NCEP grid 218, the grid of the NAM model RRFS replaced on 2026-10-14.
Only the eight needed messages of each hour's two files (of about 1000) are downloaded, by HTTP
byte ranges read from the files' .idx inventories, several requests at a time over reused
connections; the script prints how many bytes it fetched. Sources: the NOAA open-data bucket (every
run since 2026-08-12), then NOMADS (about the last two days). A run not published yet (404) falls
back to the run before; a server error is retried with back-off; a server that cannot be reached
(no network, refused, timed out) is not asked again, so offline the update ends in seconds.

  --model MODEL       rrfs (the default; runs from 2026101412 on) or nam (the default for earlier
                      runs and for a --source directory holding only NAM files): NAM awphys files
                      on grid 218, from --source only, since NOAA no longer serves them
  --cycle YYYYMMDDHH  model run (HH 00, 06, 12 or 18); default: the newest complete run, falling
                      back to earlier ones while the newest is still being published
  --hours LIST        forecast hours, increasing, at least two, at most 84 (default 0,3,...,84)
  --source URL_OR_DIR
                      a mirror URL or a local directory laid out as the servers are:
                      rrfs.YYYYMMDD/HH/rrfs.tHHz.{2dfld,prslev}.13km.fFFF.na.grib2 with .idx files
                      (read the same way, through the .idx), or for NAM nam.tHHz.awphysFF.tm00.grib2
  --output PATH       the file to replace (default ./forecast.nc)
  --sample            write the synthetic sample forecast instead (works offline), made by
                      ./skyloom-sample-forecast or \$SKYLOOM_SAMPLE_FORECAST
  --help              this text

Environment: SKYLOOM_UPDATE_RETRIES (retries per download, default 3), SKYLOOM_UPDATE_TIMEOUT
(seconds per download, default 300), SKYLOOM_INGEST (the converter; default ./skyloom-ingest, then
the one beside this script, then PATH). For testing: SKYLOOM_UPDATE_NOW, the time (as \`date -d\`
reads it, e.g. @1796803200) taken as now when choosing the newest run. Needs curl and flock.
Exit status: 0 when the file was replaced, 1 when the update failed or another update of the same
directory is running, 2 for bad arguments.
EOF
}

die() { echo "$me: $*" >&2; exit 1; }
bad_usage() { echo "$me: $*" >&2; echo "Try '$me --help'." >&2; exit 2; }
say() { echo "$me: $*"; }

model="" cycle="" hours=$default_hours source="" output=./forecast.nc sample=false
while [ $# -gt 0 ]; do
  case $1 in
    --help|-h) usage; exit 0 ;;
    --sample) sample=true; shift; continue ;;
    --model|--cycle|--hours|--source|--output)
      [ $# -ge 2 ] || bad_usage "$1 needs a value"
      case $1 in
        --model) model=$2 ;;
        --cycle) cycle=$2 ;;
        --hours) hours=$2 ;;
        --source) source=$2 ;;
        --output) output=$2 ;;
      esac
      shift 2 ;;
    *) bad_usage "unknown argument '$1'" ;;
  esac
done

[ -n "$output" ] || bad_usage "--output needs a path"
outdir=$(dirname -- "$output")
[ -d "$outdir" ] && [ -w "$outdir" ] || die "cannot write to directory $outdir"

tmp=""
part=""
cleanup() {
  [ -z "$part" ] || rm -f -- "$part"
  [ -z "$tmp" ] || rm -rf -- "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
# The viewer reads our standard error through a pipe; if it has gone away, a message must not end
# the script before it has cleaned up.
trap '' PIPE

# One update per directory at a time: a cron job and the viewer's Update button may overlap, and two
# runs would download everything twice. The lock is on the directory itself, so nothing is left
# behind; it is released when this script and everything it started have ended.
exec 9< "$outdir"
flock -n 9 || die "another update of $output is already running; left to it"

if $sample; then
  tool=${SKYLOOM_SAMPLE_FORECAST:-./skyloom-sample-forecast}
  [ -x "$tool" ] || die "sample forecast tool $tool not found"
  # The tool writes beside its target and renames; aim it at our own name so that a failure can
  # never leave the real forecast half-written or removed.
  part=$(mktemp -- "$outdir/.forecast.XXXXXX.nc")
  timeout 600 "$tool" "$part" || die "sample forecast tool $tool failed; $output left unchanged"
  chmod 644 -- "$part"
  mv -f -- "$part" "$output"
  part=""
  say "wrote the sample forecast to $output"
  exit 0
fi

# ---- arguments -------------------------------------------------------------------------------

case $model in ""|rrfs|nam) ;; *) bad_usage "--model must be rrfs or nam" ;; esac
if [ -n "$cycle" ]; then
  [[ $cycle =~ ^[0-9]{8}(00|06|12|18)$ ]] || bad_usage "--cycle must be YYYYMMDDHH with HH 00, 06, 12 or 18"
  date -u -d "${cycle:0:8}" +%s >/dev/null 2>&1 || bad_usage "--cycle $cycle is not a valid date"
fi
[[ $hours =~ ^[0-9]+(,[0-9]+)*$ ]] || bad_usage "--hours must be a comma-separated list of hours"
IFS=, read -r -a hour_list <<< "$hours"
prev=-1
for i in "${!hour_list[@]}"; do
  h=$((10#${hour_list[$i]}))
  [ "$h" -le 84 ] || bad_usage "--hours: runs reach hour 84, not $h"
  [ "$h" -gt "$prev" ] || bad_usage "--hours must increase"
  hour_list[$i]=$h
  prev=$h
done
[ ${#hour_list[@]} -ge 2 ] || bad_usage "--hours needs at least two forecast hours"
last_hour=${hour_list[${#hour_list[@]}-1]}
[[ $retries =~ ^[0-9]+$ ]] || bad_usage "SKYLOOM_UPDATE_RETRIES must be a number"
[[ $max_time =~ ^[0-9]+$ ]] && [ "$max_time" -gt 0 ] || bad_usage "SKYLOOM_UPDATE_TIMEOUT must be a positive number"
date -u -d "${SKYLOOM_UPDATE_NOW:-now}" +%s >/dev/null 2>&1 || bad_usage "SKYLOOM_UPDATE_NOW is not a time date can read"

if [ -z "$source" ]; then
  kind=servers
elif [[ $source =~ ^(https?|ftp|file):// ]]; then
  kind=url
  source=${source%/}
elif [ -d "$source" ]; then
  kind=dir
else
  die "source $source is neither a URL nor a directory"
fi

# Which model: named, implied by the run, or by what a local directory holds.
if [ -z "$model" ]; then
  if [ -n "$cycle" ]; then
    [ "$cycle" -ge "$rrfs_from" ] && model=rrfs || model=nam
  elif [ "$kind" = dir ] && ! compgen -G "$source/rrfs.*" >/dev/null && compgen -G "$source/nam.t*z.awphys*" >/dev/null; then
    model=nam
  else
    model=rrfs
  fi
fi
MODEL=${model^^}
[ "$model" = rrfs ] || [ "$kind" != servers ] ||
  die "NOAA stopped NAM on 2026-10-14; for NAM runs give --source with a mirror or a directory of its files"

ingest=${SKYLOOM_INGEST:-}
if [ -z "$ingest" ]; then
  for t in ./skyloom-ingest "$(dirname -- "${BASH_SOURCE[0]}")/skyloom-ingest" "$(command -v skyloom-ingest || true)"; do
    [ -n "$t" ] && [ -x "$t" ] && { ingest=$t; break; }
  done
fi
[ -n "$ingest" ] && [ -x "$ingest" ] || die "the converter skyloom-ingest was not found (build it, or set SKYLOOM_INGEST)"
for t in curl timeout; do
  command -v "$t" >/dev/null || die "missing tool: $t (run scripts/deps.sh)"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/skyloom-update.XXXXXX")
fetched=0 requests=0 fetched_line=""

# curl_get DEST URL [RANGE]: one download (a byte range when given); on failure prints why on stderr.
curl_get() {
  local range=()
  [ -z "${3:-}" ] || range=(--range "$3")
  curl --fail --silent --show-error --location --proto '=https,http,ftp,file' \
    --connect-timeout 30 --max-time "$max_time" --retry "$retries" --retry-delay 10 --retry-connrefused \
    "${range[@]}" --output "$1" -- "$2" 2> "$tmp/curl.err" || { echo "download of $2 failed: $(head -n 1 "$tmp/curl.err")" >&2; return 1; }
  fetched=$((fetched + $(stat -c %s -- "$1")))
  requests=$((requests + 1))
}

# Newest runs first when the servers are asked: a run starts appearing about 1.5 hours after its
# cycle time; the four most recent are tried.
clock_candidates() {
  local now newest k
  now=$(date -u -d "${SKYLOOM_UPDATE_NOW:-now}" +%s)
  newest=$(( (now - 5400) / 21600 * 21600 ))
  for k in 0 1 2 3; do date -u -d "@$((newest - k * 21600))" +%Y%m%d%H; done
}

# Ends the update when no candidate run was complete: the run asked for by name, or the runs tried.
no_complete_run() {  # model, where it was looked for
  [ -n "$cycle" ] && die "run $cycle is not available: $(head -n 1 "$tmp/probe.err"); $output left unchanged"
  die "no complete $1 run found at $2 (tried ${candidates[*]}); $output left unchanged"
}

run_rrfs() {
  local sources=() candidates=() c hour_files=() run=""
  case $kind in
    # The open-data bucket keeps every run and has no rate limit; NOMADS keeps about two days and
    # limits heavy users, so it is the fallback (under either of the paths it is quoted with).
    servers) sources=("$bucket" "$nomads_prod" "$nomads_v1") ;;
    url) sources=("$source") ;;
    dir) sources=("file://$(cd -- "$source" && pwd | sed 's/%/%25/g; s/ /%20/g')") ;;
  esac
  if [ -n "$cycle" ]; then
    candidates=("$cycle")
  elif [ "$kind" = dir ]; then
    mapfile -t candidates < <(cd -- "$source" && for d in rrfs.[0-9]*/[0-9][0-9]; do
      [[ $d =~ ^rrfs\.([0-9]{8})/(00|06|12|18)$ ]] && echo "${BASH_REMATCH[1]}${BASH_REMATCH[2]}"; done | sort -ru)
    [ ${#candidates[@]} -gt 0 ] || die "no rrfs.YYYYMMDD/HH run directory in $source"
  else
    mapfile -t candidates < <(clock_candidates)
  fi

  # The converter's own table picks the messages to download, several requests at a time; it says
  # which run it took, or why none could be had.
  local args=(--fetch-rrfs --runs "$(IFS=,; echo "${candidates[*]}")" --hours "$(IFS=,; echo "${hour_list[*]}")"
              --dir "$tmp" --retries "$retries" --timeout "$max_time")
  for c in "${sources[@]}"; do args+=(--source "$c"); done
  "$ingest" "${args[@]}" > "$tmp/fetch.out" 2> "$tmp/fetch.err" || {
    sed -n '/^run [0-9]* is not available yet/s/^/'"$me"': /p' "$tmp/fetch.out"
    local why
    why=$(grep -m 1 '^skyloom-ingest: ' "$tmp/fetch.err" | sed 's/^skyloom-ingest: //' || true)
    [ -n "$why" ] || why="the download failed: $(head -n 1 "$tmp/fetch.err")"
    die "$why; $output left unchanged"
  }
  while IFS= read -r line; do
    case $line in
      "run "[0-9]*" is not available yet"*|"RRFS run "*) say "$line" ;;
      "fetched "*) fetched_line=$line ;;
      "run "*) run=${line#run } ;;
    esac
  done < "$tmp/fetch.out"
  [ -n "$run" ] || die "the download named no run; $output left unchanged"
  cycle=$run
  for c in "${hour_list[@]}"; do hour_files+=("$tmp/$(printf 'rrfs.f%03d.grib2' "$c")"); done
  convert "${hour_files[@]}"
}

run_nam() {
  local c r name g hour_files=() candidates=()
  file_name() { printf 'nam.t%sz.awphys%02d.tm00.grib2' "${1:8:2}" "$2"; }
  run_time() { "$ingest" --run-of "$1" 2>/dev/null || true; }
  # fetch CYCLE HOUR DEST: one whole forecast hour; on failure prints why on stderr.
  fetch() {
    name=$(file_name "$1" "$2")
    if [ "$kind" = dir ]; then
      [ -f "$source/$name" ] || { echo "$source/$name does not exist" >&2; return 1; }
      cp -- "$source/$name" "$3" || return 1
      fetched=$((fetched + $(stat -c %s -- "$3")))
    else
      curl_get "$3" "$source/$name" || return 1
    fi
    # An error page (a run still being published, a broken mirror) is not data.
    [ "$(head -c 4 -- "$3")" = GRIB ] || { echo "$name from $source is not a GRIB2 file" >&2; return 1; }
  }

  if [ -n "$cycle" ]; then
    candidates=("$cycle")
  elif [ "$kind" = dir ]; then
    # File names carry only the cycle hour, so the run is read from the files themselves.
    for hh in 00 06 12 18; do
      f="$source/$(file_name "20000101$hh" "$last_hour")"
      [ -f "$f" ] || continue
      r=$(run_time "$f")
      [ -n "$r" ] && candidates+=("$r")
    done
    [ ${#candidates[@]} -gt 0 ] || die "no readable NAM file for hour $last_hour in $source"
    mapfile -t candidates < <(printf '%s\n' "${candidates[@]}" | sort -ru)
  else
    mapfile -t candidates < <(clock_candidates)
  fi

  chosen=""
  for c in "${candidates[@]}"; do
    if fetch "$c" "$last_hour" "$tmp/probe.grib2" 2> "$tmp/probe.err"; then
      r=$(run_time "$tmp/probe.grib2")
      if [ "$r" = "$c" ]; then
        chosen=$c
        break
      fi
      echo "$(file_name "$c" "$last_hour") holds run ${r:-(unreadable)}, not $c" > "$tmp/probe.err"
    fi
    [ -n "$cycle" ] || say "run $c is not available yet: $(head -n 1 "$tmp/probe.err")"
  done
  [ -n "$chosen" ] || no_complete_run NAM "$source"
  cycle=$chosen
  say "NAM run $cycle, ${#hour_list[@]} forecast hours, from $source"

  for h in "${hour_list[@]}"; do
    g="$tmp/$(file_name "$cycle" "$h")"
    if [ "$h" = "$last_hour" ]; then
      mv -- "$tmp/probe.grib2" "$g"
    else
      fetch "$cycle" "$h" "$g" 2> "$tmp/fetch.err" ||
        die "hour $h of run $cycle: $(head -n 1 "$tmp/fetch.err"); $output left unchanged"
    fi
    hour_files+=("$g")
  done
  convert "${hour_files[@]}"
}

# convert FILE...: one file per forecast hour into $output, replaced only when complete.
convert() {
  say "${fetched_line:-fetched $fetched bytes in $requests requests}; converting"
  "$ingest" --model "$model" --cycle "$cycle" --hours "$(IFS=,; echo "${hour_list[*]}")" --output "$output" \
    -- "$@" > "$tmp/ingest.out" 2> "$tmp/ingest.err" ||
    die "$(grep -m 1 '^skyloom-ingest: ' "$tmp/ingest.err" | sed 's/^skyloom-ingest: //' ||
           echo "the converter failed: $(head -n 1 "$tmp/ingest.err")"); $output left unchanged"
  say "wrote $output: $MODEL run $cycle, ${#hour_list[@]} steps"
}

if [ "$model" = rrfs ]; then run_rrfs; else run_nam; fi
