#!/usr/bin/env bash
# Installs what is missing, builds, prepares a working directory (run/, or $SKYLOOM_RUN_DIR) with the
# bundled data files, the refresh script with its converter and the sample forecast, and starts the
# viewer there.
# Without a display the viewer runs under a private Xvfb. Arguments go to the viewer (e.g. -k+1 to
# exit after an hour, -window, -fullscreen).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
run=${SKYLOOM_RUN_DIR:-$root/run}

bash "$root/scripts/deps.sh"
SKYLOOM_BUILD="$root/build" bash "$root/scripts/build.sh"

mkdir -p "$run"
# Bundled textures, logo and map outlines; local edits in the working directory are kept.
for f in "$root"/data/*; do
  [ -f "$f" ] && cp -n "$f" "$run/"
done
cp "$root/build/skyloom" "$root/build/skyloom-sample-forecast" "$root/build/skyloom-ingest" "$run/"
cp "$root/scripts/update_data.sh" "$run/update_data.sh"
chmod +x "$run/update_data.sh"

cd "$run"
if [ ! -f forecast.nc ]; then
  echo "Writing the sample forecast to $run/forecast.nc ..."
  ./update_data.sh --sample
fi

echo "Starting Skyloom in $run"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec ./skyloom "$@"
fi
echo "(no display: running under Xvfb)"
exec xvfb-run -a -s "-screen 0 1920x1080x24" ./skyloom "$@"
