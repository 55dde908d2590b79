#!/usr/bin/env bash
# Writes small NAM-like GRIB2 files on NCEP grid 218 (Lambert conformal 614 x 428, 12.19058 km,
# tangent at 25N, LoV 265E, first point 12.190N 226.541E, grid-relative winds), named as on the NOAA
# server: OUTDIR/nam.tHHz.awphysFF.tm00.grib2. Built with eccodes' tools from its GRIB2 sample.
#
#   make_nam_grib.sh OUTDIR YYYYMMDDHH FF [FF ...]
#
# Each file holds the eight fields the viewer reads, in NCEP's order (the pattern message first, as
# its values size the others, then pressure near the start and the 250 mb winds after the surface fields), plus other
# level/variable combinations (TMP at 250 mb and at the surface) and, from hour 6, a 3-hour
# precipitation bucket besides the run total. Hour 0 has no
# precipitation, like NAM's analysis. Values (units as in NAM):
#   TMP 2 m      200 + FF + 0.1 row + 0.01 col     (row 0 is the southern edge)
#   UGRD/VGRD    10 m: 1.5 / -2.5, 250 mb: 30 / -10
#   PRMSL        101000 + 10 FF      TCDC 10 + FF      APCP 0-FF h: 0.5 FF  (3-hour bucket: 99)
#   TMP 250 mb   220                 TMP surface 290
# JPEG 2000 packing keeps the smooth pattern and the constant fields to a few hundred bytes each.
set -euo pipefail

if [ $# -lt 3 ] || ! [[ $2 =~ ^[0-9]{8}(00|06|12|18)$ ]]; then
  echo "usage: make_nam_grib.sh OUTDIR YYYYMMDDHH FF [FF ...]" >&2
  exit 2
fi
out=$1 cycle=$2
shift 2
date=${cycle:0:8} hh=${cycle:8:2}
samples=$(codes_info -s 2>/dev/null || echo /usr/share/eccodes/samples)
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

grid="centre=7,gridDefinitionTemplateNumber=30,shapeOfTheEarth=6,Nx=614,Ny=428"
grid+=",latitudeOfFirstGridPoint=12190000,longitudeOfFirstGridPoint=226541000"
grid+=",resolutionAndComponentFlags=8,LaD=25000000,LoV=265000000,Dx=12190580,Dy=12190580"
grid+=",scanningMode=64,Latin1=25000000,Latin2=25000000"
grid+=",latitudeOfSouthernPole=-90000000,longitudeOfSouthernPole=0"
grid+=",dataDate=$date,dataTime=${hh}00,significanceOfReferenceTime=1,typeOfProcessedData=1"
grib_set -s "gridDefinitionTemplateNumber=30" "$samples/GRIB2.tmpl" "$work/base0.grib2"
grib_set -s "$grid" "$work/base0.grib2" "$work/base1.grib2"

# The temperature pattern, row by row from the south (scanning mode 64). Setting the values is
# also what sizes the message to the whole grid.
{ echo 'set packingType = "grid_jpeg";'
  echo 'set decimalScaleFactor = 2;'
  awk 'BEGIN { printf "set values = {";
               for (r = 0; r < 428; r++) for (c = 0; c < 614; c++)
                 printf "%s%.2f", (r || c) ? "," : "", 0.1 * r + 0.01 * c;
               print "};" }'
  echo "write;"; } > "$work/base.rules"
grib_filter -o "$work/base.grib2" "$work/base.rules" "$work/base1.grib2"

for ff in "$@"; do
  [[ $ff =~ ^[0-9]+$ ]] || { echo "make_nam_grib.sh: bad forecast hour $ff" >&2; exit 2; }
  ff=$((10#$ff))
  # One grib_filter pass per hour: the pattern message first, then each constant field is the
  # pattern scaled to zero and offset by its value.
  {
    inst="set productDefinitionTemplateNumber = 0; set indicatorOfUnitOfTimeRange = 1; set forecastTime = $ff;"
    hgt="set typeOfFirstFixedSurface = 103; set scaleFactorOfFirstFixedSurface = 0;"
    iso="set typeOfFirstFixedSurface = 100; set scaleFactorOfFirstFixedSurface = 0; set scaledValueOfFirstFixedSurface = 25000;"
    sfc() { echo "set typeOfFirstFixedSurface = $1; set scaleFactorOfFirstFixedSurface = 0; set scaledValueOfFirstFixedSurface = 0;"; }
    par() { echo "set parameterCategory = $1; set parameterNumber = $2;"; }
    const() { echo "set scaleValuesBy = 0; set offsetValuesBy = $1; write;"; }
    echo "$inst $(par 0 0) $hgt set scaledValueOfFirstFixedSurface = 2; set offsetValuesBy = $((200 + ff)); write;"
    echo "$inst $(par 3 1) $(sfc 101) $(const $((101000 + 10 * ff)))"
    echo "$inst $(par 0 0) $iso $(const 220)"
    echo "$inst $(par 0 0) $(sfc 1) $(const 290)"
    echo "$inst $(par 2 2) $hgt set scaledValueOfFirstFixedSurface = 10; $(const 1.5)"
    echo "$inst $(par 2 3) $hgt set scaledValueOfFirstFixedSurface = 10; $(const -2.5)"
    echo "$inst $(par 6 1) $(sfc 10) $(const $((10 + ff)))"
    echo "$inst $(par 2 2) $iso $(const 30)"
    echo "$inst $(par 2 3) $iso $(const -10)"
    acc="set productDefinitionTemplateNumber = 8; set indicatorOfUnitOfTimeRange = 1; $(par 1 8)"
    acc+=" $(sfc 1) set typeOfStatisticalProcessing = 1;"
    if [ "$ff" -ge 6 ]; then
      echo "$acc set forecastTime = $((ff - 3)); set lengthOfTimeRange = 3; $(const 99)"
    fi
    if [ "$ff" -gt 0 ]; then
      echo "$acc set forecastTime = 0; set lengthOfTimeRange = $ff; $(const "$(awk -v f="$ff" 'BEGIN { print 0.5 * f }')")"
    fi
  } > "$work/hour.rules"
  grib_filter -o "$work/hour.grib2" "$work/hour.rules" "$work/base.grib2"
  mv "$work/hour.grib2" "$out/nam.t${hh}z.awphys$(printf %02d "$ff").tm00.grib2"
done
