#!/bin/sh
# Refreshes forecast.nc in the working directory. The viewer runs this script at start-up when the
# forecast is missing, for -update, and from the time bar's Update button; it notices the new file by
# its modification time. This version writes the synthetic sample forecast for the current model
# cycle; the file is written beside the target and renamed, so the viewer never reads half a file.
set -eu
tool=${SKYLOOM_SAMPLE_FORECAST:-./skyloom-sample-forecast}
exec "$tool" forecast.nc
