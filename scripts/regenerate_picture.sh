#!/bin/bash
# Rewrites the reference picture of the picture test (tests/e2e/data/paused_frame.png) from the
# viewer as it is built now; use it only after a change that is meant to alter the picture, and
# look at the new file before committing it. Usage: scripts/regenerate_picture.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cmake --build "$build" --target picture_e2e_tests skyloom skyloom-sample-forecast
SKYLOOM_PICTURE_OUT="$root/tests/e2e/data/paused_frame.png" \
  ctest --test-dir "$build" -R PausedFrameMatchesTheReferencePicture --output-on-failure || true
echo "reference written: $root/tests/e2e/data/paused_frame.png"
