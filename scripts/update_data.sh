#!/usr/bin/env bash
# Refreshes forecast.nc in the working directory with the latest NAM run. The viewer runs this script
# at start-up when the forecast is missing, for -update, and from the time bar's Update button; it
# notices the new file by its modification time, so the file is only ever replaced whole: everything
# is built in a private temporary directory, validated, written beside the target and renamed. On
# any failure the old forecast.nc stays as it was and the script exits non-zero with a message.
set -euo pipefail

me=update_data.sh
nomads=https://nomads.ncep.noaa.gov/cgi-bin/filter_nam.pl
default_hours=0,3,6,9,12,15,18,21,24,27,30,33,36,39,42,45,48,51,54,57,60,63,66,69,72,75,78,81,84
retries=${SKYLOOM_UPDATE_RETRIES:-3}
max_time=${SKYLOOM_UPDATE_TIMEOUT:-300}

usage() {
  cat <<EOF
usage: $me [--cycle YYYYMMDDHH] [--hours H,H,...] [--source URL_OR_DIR] [--output PATH]
       $me --sample [--output PATH]

Downloads the latest run of the NOAA NCEP NAM model (12 km CONUS, grid 218, forecast hours 0 to 84
every 3 hours) from NOMADS, keeps the eight fields the viewer shows (10 m and 250 mb wind, 2 m
temperature, sea-level pressure, total cloud cover, accumulated precipitation) and converts them
into forecast.nc with cdo and nco. About 50 to 90 MB are downloaded per run.

  --cycle YYYYMMDDHH  model run (HH 00, 06, 12 or 18); default: the newest complete run, falling
                      back to earlier ones while the newest is still being published
  --hours LIST        forecast hours, increasing, at least two (default 0,3,...,84)
  --source URL_OR_DIR a mirror URL or a local directory holding the run's files named as on the
                      server, nam.tHHz.awphysFF.tm00.grib2 (default: the NOMADS grib filter)
  --output PATH       the file to replace (default ./forecast.nc)
  --sample            write the synthetic sample forecast instead (works offline), made by
                      ./skyloom-sample-forecast or \$SKYLOOM_SAMPLE_FORECAST
  --help              this text

Environment: SKYLOOM_UPDATE_RETRIES (retries per download, default 3), SKYLOOM_UPDATE_TIMEOUT
(seconds per download, default 300). Needs curl, cdo, nco, netcdf-bin and libeccodes-tools.
Exit status: 0 when the file was replaced, 1 when the update failed or another update of the same
directory is running, 2 for bad arguments.
EOF
}

die() { echo "$me: $*" >&2; exit 1; }
bad_usage() { echo "$me: $*" >&2; echo "Try '$me --help'." >&2; exit 2; }
say() { echo "$me: $*"; }

cycle="" hours=$default_hours source="" output=./forecast.nc sample=false
while [ $# -gt 0 ]; do
  case $1 in
    --help|-h) usage; exit 0 ;;
    --sample) sample=true; shift; continue ;;
    --cycle|--hours|--source|--output)
      [ $# -ge 2 ] || bad_usage "$1 needs a value"
      case $1 in
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

if [ -n "$cycle" ]; then
  [[ $cycle =~ ^[0-9]{8}(00|06|12|18)$ ]] || bad_usage "--cycle must be YYYYMMDDHH with HH 00, 06, 12 or 18"
  date -u -d "${cycle:0:8}" +%s >/dev/null 2>&1 || bad_usage "--cycle $cycle is not a valid date"
fi
[[ $hours =~ ^[0-9]+(,[0-9]+)*$ ]] || bad_usage "--hours must be a comma-separated list of hours"
IFS=, read -r -a hour_list <<< "$hours"
prev=-1
for i in "${!hour_list[@]}"; do
  h=$((10#${hour_list[$i]}))
  [ "$h" -le 84 ] || bad_usage "--hours: NAM runs reach hour 84, not $h"
  [ "$h" -gt "$prev" ] || bad_usage "--hours must increase"
  hour_list[$i]=$h
  prev=$h
done
[ ${#hour_list[@]} -ge 2 ] || bad_usage "--hours needs at least two forecast hours"
last_hour=${hour_list[${#hour_list[@]}-1]}
[[ $retries =~ ^[0-9]+$ ]] || bad_usage "SKYLOOM_UPDATE_RETRIES must be a number"
[[ $max_time =~ ^[0-9]+$ ]] && [ "$max_time" -gt 0 ] || bad_usage "SKYLOOM_UPDATE_TIMEOUT must be a positive number"

if [ -z "$source" ]; then
  kind=nomads
elif [[ $source =~ ^(https?|ftp|file):// ]]; then
  kind=url
  source=${source%/}
elif [ -d "$source" ]; then
  kind=dir
else
  die "source $source is neither a URL nor a directory"
fi

missing=()
for t in curl cdo ncks ncwa ncap2 ncrcat ncrename ncatted ncdump grib_get grib_copy timeout; do
  command -v "$t" >/dev/null || missing+=("$t")
done
[ ${#missing[@]} -eq 0 ] ||
  die "missing tools: ${missing[*]} (install curl cdo nco netcdf-bin libeccodes-tools, or run scripts/deps.sh)"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/skyloom-update.XXXXXX")

# ---- download --------------------------------------------------------------------------------

file_name() { printf 'nam.t%sz.awphys%02d.tm00.grib2' "${1:8:2}" "$2"; }

# fetch CYCLE HOUR DEST: one forecast hour of one run into DEST; on failure prints why on stderr.
fetch() {
  local name url
  name=$(file_name "$1" "$2")
  case $kind in
    dir)
      [ -f "$source/$name" ] || { echo "$source/$name does not exist" >&2; return 1; }
      cp -- "$source/$name" "$3" || return 1 ;;
    url|nomads)
      if [ "$kind" = url ]; then
        url="$source/$name"
      else
        # Only the eight fields' variables and levels; the filter adds their other combinations.
        url="$nomads?file=$name&lev_10_m_above_ground=on&lev_250_mb=on&lev_2_m_above_ground=on"
        url+="&lev_mean_sea_level=on&lev_surface=on"
        url+="&lev_entire_atmosphere_%5C%28considered_as_a_single_layer%5C%29=on"
        url+="&var_UGRD=on&var_VGRD=on&var_TMP=on&var_PRMSL=on&var_TCDC=on&var_APCP=on"
        url+="&dir=%2Fnam.${1:0:8}"
      fi
      curl --fail --silent --show-error --location --proto '=https,http,ftp,file' \
        --connect-timeout 30 --max-time "$max_time" \
        --retry "$retries" --retry-delay 10 --retry-connrefused \
        --output "$3" -- "$url" || { echo "download of $url failed" >&2; return 1; } ;;
  esac
  # An error page (a run still being published, a broken mirror) is not data.
  [ "$(head -c 4 -- "$3")" = GRIB ] || { echo "$name from $source is not a GRIB2 file" >&2; return 1; }
}

# run_time FILE: the reference time YYYYMMDDHH of the file's first message, empty if unreadable.
run_time() {
  grib_get -p dataDate:i,dataTime:i -w count=1 -- "$1" 2>/dev/null |
    awk 'NR == 1 && NF == 2 { printf "%08d%02d\n", $1, int($2 / 100) }'
}

# Runs to try, newest first.
candidates=()
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
  # A run starts appearing about 1.5 hours after its cycle time; try the four most recent.
  now=$(date -u +%s)
  newest=$(( (now - 5400) / 21600 * 21600 ))
  for k in 0 1 2 3; do
    candidates+=("$(date -u -d "@$((newest - k * 21600))" +%Y%m%d%H)")
  done
fi

# The last hour is published last: when it is there the run is complete.
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
if [ -z "$chosen" ]; then
  [ -n "$cycle" ] && die "run $cycle is not available: $(head -n 1 "$tmp/probe.err"); $output left unchanged"
  die "no complete NAM run found at ${source:-$nomads} (tried ${candidates[*]}); $output left unchanged"
fi
cycle=$chosen
say "NAM run $cycle, ${#hour_list[@]} forecast hours, from ${source:-NOMADS}"

# ---- selection and conversion ------------------------------------------------------------------

# select_fields FILE HOUR OUT: exactly the eight fields into OUT (seven at a run's hour 0, which has
# no precipitation); fails when one is missing or belongs to another run or hour.
select_fields() {
  local listing picked
  listing=$(grib_get -p count:i,discipline:i,parameterCategory:i,parameterNumber:i,typeOfFirstFixedSurface:i,level:i,startStep:i,endStep:i,dataDate:i,dataTime:i -- "$1" 2>&1) ||
    { echo "$(basename -- "$1") is not a readable GRIB2 file: $(echo "$listing" | grep -v '^[0-9]' | head -n 1 | tr -s ' \t"' ' ')" >&2; return 1; }
  picked=$(awk -v hour="$2" -v run="$cycle" -v file="$(basename -- "$1")" '
    function want(name) {
      # Duplicates: the later message wins, as it would when converting message by message.
      at[name] = $1
    }
    NF == 10 {
      ref = sprintf("%08d%02d", $9, int($10 / 100))
      if ($2 != 0) next
      key = $3 "/" $4 "/" $5
      field = ""
      if (key == "2/2/103" && $6 == 10) field = "10u"
      else if (key == "2/3/103" && $6 == 10) field = "10v"
      else if (key == "2/2/100" && $6 == 250) field = "u250"
      else if (key == "2/3/100" && $6 == 250) field = "v250"
      else if (key == "0/0/103" && $6 == 2) field = "2t"
      else if (key == "3/1/101") field = "prmsl"
      else if (key == "6/1/10" || key == "6/1/200") field = "tcc"
      else if (key == "1/8/1") field = "tp"
      if (field == "") next
      if (ref != run || $8 != hour) {
        printf "%s holds %s for run %s hour %d, expected run %s hour %d\n", file, field, ref, $8, run, hour > "/dev/stderr"
        bad = 1
        next
      }
      # Of several precipitation accumulations keep the one from the start of the run.
      if (field == "tp") {
        if (("tp" in at) && $7 > tpstart) next
        tpstart = $7
      }
      want(field)
    }
    END {
      if (bad) exit 1
      n = split("10u 10v u250 v250 2t prmsl tcc tp", need, " ")
      for (i = 1; i <= n; i++) {
        if (need[i] in at) { list = list (list == "" ? "" : "/") at[need[i]]; continue }
        if (need[i] == "tp" && hour == 0) continue
        printf "%s lacks %s\n", file, need[i] > "/dev/stderr"
        bad = 1
      }
      if (bad) exit 1
      print list
    }' <<< "$listing") || return 1
  grib_copy -w "count=$picked" -- "$1" "$3"
}

hour_files=()
for h in "${hour_list[@]}"; do
  name=$(file_name "$cycle" "$h")
  g="$tmp/$name"
  if [ "$h" = "$last_hour" ]; then
    mv -- "$tmp/probe.grib2" "$g"
  else
    fetch "$cycle" "$h" "$g" 2> "$tmp/fetch.err" ||
      die "hour $h of run $cycle: $(head -n 1 "$tmp/fetch.err"); $output left unchanged"
  fi
  select_fields "$g" "$h" "$tmp/sel.grib2" 2> "$tmp/select.err" ||
    die "hour $h of run $cycle: $(head -n 1 "$tmp/select.err"); $output left unchanged"
  rm -f -- "$g"
  nc="$tmp/$(printf 'hour%02d.nc' "$h")"
  # cdo names the fields by eccodes' short names; curvilinear makes it write latitude/longitude.
  cdo -s -f nc1 -b F32 -setmissval,9.999e20 -settunits,seconds -setreftime,1970-01-01,00:00:00 \
    -setgridtype,curvilinear "$tmp/sel.grib2" "$nc" > "$tmp/cdo.err" 2>&1 ||
    die "hour $h of run $cycle: cdo could not convert it: $(grep -m 1 -i error "$tmp/cdo.err" || head -n 1 "$tmp/cdo.err"); $output left unchanged"
  # (Header read first: with pipefail, grep -q closing the pipe early would read as "absent".)
  header=$(ncdump -h "$nc")
  if ! grep -q '^[[:space:]]float tp(time, y, x)' <<< "$header"; then
    # Hour 0 has no precipitation; every step must hold the same variables or they cannot be
    # joined, so it gets an all-missing field.
    ncap2 -O -h -s 'tp[$time,$y,$x]=9.999e20f; tp@long_name="Total Precipitation"; tp@units="kg m**-2";' \
      "$nc" "$nc" || die "hour $h: could not add the missing precipitation; $output left unchanged"
  fi
  hour_files+=("$nc")
done

say "converting"
ncrcat -O -h -- "${hour_files[@]}" "$tmp/all.nc" || die "could not join the forecast hours; $output left unchanged"
rm -f -- "${hour_files[@]}"
# cdo gives each level type its own size-1 dimension; the viewer wants plain (time, y, x).
levels=$(ncdump -h "$tmp/all.nc" | awk '/^dimensions:/ { d = 1; next } /^variables:/ { d = 0 }
  d && $3 == "1" && $1 != "time" { printf "%s%s", s, $1; s = "," }')
if [ -n "$levels" ]; then
  ncwa -O -h --no_cll_mth -a "$levels" "$tmp/all.nc" "$tmp/flat.nc" || die "could not remove the level dimensions; $output left unchanged"
  mv -- "$tmp/flat.nc" "$tmp/all.nc"
fi
ncrename -O -h -v 10u,UGRD_10maboveground -v 10v,VGRD_10maboveground -v u,UGRD_250mb -v v,VGRD_250mb \
  -v 2t,TMP_2maboveground -v prmsl,PRMSL_meansealevel \
  -v tcc,TCDC_entireatmosphere_consideredasasinglelayer_ -v tp,APCP_surface "$tmp/all.nc" > /dev/null ||
  die "the converted run lacks a field; $output left unchanged"
ncap2 -O -h -s 'latitude=double(lat); longitude=double(lon);' "$tmp/all.nc" "$tmp/ll.nc" ||
  die "could not convert latitude/longitude; $output left unchanged"
fields="UGRD_10maboveground VGRD_10maboveground UGRD_250mb VGRD_250mb TMP_2maboveground PRMSL_meansealevel TCDC_entireatmosphere_consideredasasinglelayer_ APCP_surface"
part=$(mktemp -- "$outdir/.forecast.XXXXXX.nc")
ncks -O -h -3 -C --no_tmp_fl -v "time,latitude,longitude,${fields// /,}" "$tmp/ll.nc" "$part" ||
  die "could not write the forecast; $output left unchanged"
atts=(-a 'units,latitude,o,c,degrees_north' -a 'long_name,latitude,o,c,latitude' -a 'bounds,latitude,d,,'
      -a 'units,longitude,o,c,degrees_east' -a 'long_name,longitude,o,c,longitude' -a 'bounds,longitude,d,,'
      -a '_CoordinateAxisType,latitude,d,,' -a '_CoordinateAxisType,longitude,d,,'
      -a 'reference_time,time,o,c,'"${cycle:0:4}-${cycle:4:2}-${cycle:6:2} ${cycle:8:2}:00 UTC"
      -a 'cell_methods,,d,,' -a 'history,global,d,,'
      -a "source,global,o,c,NOAA NCEP North American Mesoscale (NAM) 12 km run $cycle, grid 218")
for f in $fields; do
  # Missing points (precipitation at hour 0) carry the value wgrib2 uses.
  atts+=(-a "grid_mapping,$f,d,," -a "coordinates,$f,o,c,latitude longitude"
         -a "_FillValue,$f,o,f,9.999e20" -a "missing_value,$f,o,f,9.999e20")
done
ncatted -O -h "${atts[@]}" "$part" || die "could not label the forecast; $output left unchanged"

# ---- validation and replacement ----------------------------------------------------------------

# validate FILE: the shape the viewer's loader requires, and the times of exactly this run's hours.
validate() {
  local header times expected
  [ "$(ncdump -k "$1")" = classic ] || { echo "not a netCDF classic file"; return 1; }
  header=$(ncdump -h "$1")
  for f in $fields; do
    grep -q "^[[:space:]]float $f(time, y, x) ;" <<< "$header" || { echo "$f is not a float (time, y, x) field"; return 1; }
  done
  for v in latitude longitude; do
    grep -q "^[[:space:]]double $v(y, x) ;" <<< "$header" || { echo "$v is not a double (y, x) grid"; return 1; }
  done
  grep -q '^[[:space:]]double time(time) ;' <<< "$header" || { echo "time is not a double (time) axis"; return 1; }
  grep -Eq '^[[:space:]]y = 428 ;' <<< "$header" && grep -Eq '^[[:space:]]x = 614 ;' <<< "$header" ||
    { echo "the grid is not 614 x 428 points"; return 1; }
  times=$(ncks -H -C --trd -v time "$1" | sed -n 's/^time\[[0-9]*\]=\([-0-9.e+]*\).*/\1/p' | tr '\n' ' ')
  expected=$(start=$(date -u -d "${cycle:0:8} ${cycle:8:2}:00" +%s)
    for h in "${hour_list[@]}"; do printf '%d ' $((start + h * 3600)); done)
  [ "$(awk '{ for (i = 1; i <= NF; i++) printf "%d ", $i }' <<< "$times")" = "$expected" ] ||
    { echo "times are [${times% }], expected [${expected% }]"; return 1; }
}
problem=$(validate "$part") || die "the converted forecast is unusable: $problem; $output left unchanged"

chmod 644 -- "$part"
mv -f -- "$part" "$output"
part=""
say "wrote $output: NAM run $cycle, ${#hour_list[@]} steps"
