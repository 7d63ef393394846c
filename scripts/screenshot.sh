#!/usr/bin/env bash
# screenshot.sh PROGRAM OUTPUT.png [BOOKMARK-FILE]: starts the program in a Wine
# desktop filling the current display, imports the bookmark file through its
# button and dialog when one is given (clicking and typing as a user would), and
# saves a picture of the screen. Runs inside with-wine.sh, under Xvfb.
set -euo pipefail
program=$1 shot=$2 bookmarks=${3:-}
read -r width height < <(xdpyinfo | awk '/dimensions:/ { split($2, size, "x"); print size[1], size[2] }')
wine explorer /desktop=screenshot,"${width}x${height}" "$program" >/dev/null 2>&1 &
sleep 8
if [ -n "$bookmarks" ]; then
  bookmarks=$(realpath "$bookmarks")  # typed after Z:, so it must be absolute
  # The window is centred; its import button's centre lies 340 pixels left of the
  # screen's centre and 265 below it, plus half the caption's height.
  xdotool mousemove $((width / 2 - 340)) $((height / 2 + 274)) click 1
  sleep 4
  xdotool type --delay 20 "Z:${bookmarks//\//\\}"
  xdotool key Return
  sleep 6
fi
import -window root "$shot"
wineserver -k
