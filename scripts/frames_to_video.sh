#!/usr/bin/env bash
# Turns a recorded frame sequence (Frames/Slide00000.tiff, Slide00001.tiff, ...) into an H.264 video
# that ordinary players and video editors take: yuv420p, even width and height.
set -euo pipefail

usage() {
  cat <<'TEXT'
usage: frames_to_video.sh [--frames DIR] [--fps N] [--start N] [--crf N] OUTPUT.mp4

  --frames DIR   directory holding SlideNNNNN.tiff files (default: Frames)
  --fps N        frames per second of the video (default: 30)
  --start N      number of the first frame to use (default: the lowest present)
  --crf N        H.264 quality, 0 (lossless) to 51 (worst); default 18
  OUTPUT.mp4     the video to write (replaced if it exists)

Frames whose width or height is odd are cropped by one pixel, as yuv420p needs even sizes.
TEXT
}

frames=Frames fps=30 start="" crf=18 output=""
while [ $# -gt 0 ]; do
  case "$1" in
    --help|-h) usage; exit 0 ;;
    --frames) frames=${2:?}; shift 2 ;;
    --fps) fps=${2:?}; shift 2 ;;
    --start) start=${2:?}; shift 2 ;;
    --crf) crf=${2:?}; shift 2 ;;
    -*) echo "frames_to_video.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) [ -z "$output" ] || { echo "frames_to_video.sh: more than one output given" >&2; exit 2; }; output=$1; shift ;;
  esac
done
[ -n "$output" ] || { usage >&2; exit 2; }
[[ "$fps" =~ ^[0-9]+([.][0-9]+)?$ ]] || { echo "frames_to_video.sh: bad --fps $fps" >&2; exit 2; }
[[ "$crf" =~ ^[0-9]+$ ]] || { echo "frames_to_video.sh: bad --crf $crf" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "frames_to_video.sh: ffmpeg is not installed (scripts/deps.sh installs it)" >&2; exit 1; }
[ -d "$frames" ] || { echo "frames_to_video.sh: no frame directory $frames" >&2; exit 1; }

if [ -z "$start" ]; then
  first=$(find "$frames" -maxdepth 1 -name 'Slide*.tiff' -printf '%f\n' | sed -n 's/^Slide\([0-9]\{5,\}\)\.tiff$/\1/p' | sort -n | head -n 1)
  [ -n "$first" ] || { echo "frames_to_video.sh: no Slide*.tiff frames in $frames" >&2; exit 1; }
  start=$((10#$first))
fi
[[ "$start" =~ ^[0-9]+$ ]] || { echo "frames_to_video.sh: bad --start $start" >&2; exit 2; }

ffmpeg -hide_banner -loglevel error -y -framerate "$fps" -start_number "$start" -i "$frames/Slide%05d.tiff" \
  -vf "crop=trunc(iw/2)*2:trunc(ih/2)*2" -c:v libx264 -pix_fmt yuv420p -crf "$crf" -movflags +faststart "$output"
echo "Wrote $output"
