#!/bin/sh
# Regenerates data/NAvector_lambert.dat (coastlines and large lakes) and data/state_vector_lambert.dat
# (national, state and province borders) from GMT's low-resolution GSHHG data, projected into the
# grid-218 (column, row) coordinates the viewer draws in.
#
# Usage: tools/outlines/make_outlines.sh BUILD_DIR   (BUILD_DIR holds skyloom-project-outlines)
# GMT is needed only here; the generated files are committed.
set -eu
build=$(cd "${1:?usage: make_outlines.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../../data"
projector="$build/skyloom-project-outlines"

if ! command -v gmt >/dev/null 2>&1 || [ ! -d /usr/share/gmt-gshhg ]; then
    apt-get install -y gmt gmt-gshhg-low
fi
[ -x "$projector" ] || { echo "missing $projector: build the skyloom-project-outlines target" >&2; exit 1; }

region=-R-140/-50/10/60
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"  # GMT leaves a gmt.history file in its working directory

# Shorelines (level 1), then lakes of at least 5000 km^2 (level 2: the Great Lakes and a few more).
gmt coast $region -Dl -W -M -A0/1/1 > "$tmp/coast.txt"
gmt coast $region -Dl -W -M -A5000/2/2 >> "$tmp/coast.txt"
# National borders and the states and provinces of the Americas.
gmt coast $region -Dl -N1 -N2 -M > "$tmp/borders.txt"

"$projector" < "$tmp/coast.txt" > "$data/NAvector_lambert.dat"
"$projector" < "$tmp/borders.txt" > "$data/state_vector_lambert.dat"
