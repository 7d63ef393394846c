#!/usr/bin/env bash
# screenshot.sh PROGRAM OUTPUT.png [BOOKMARK-FILE]: starts the program in the
# current display, imports the bookmark file through its button and dialog when
# one is given (typing as a user would), and saves a picture of the screen.
# Runs inside with-wine.sh.
set -euo pipefail
program=$1 shot=$2 bookmarks=${3:-}
wine "$program" >/dev/null 2>&1 &
sleep 6
if [ -n "$bookmarks" ]; then
  window=$(xdotool search --sync --onlyvisible --name '^$' | head -n 1)
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  # The import button sits at 15,545 in the client area, 40 pixels square.
  xdotool mousemove --window "$window" 35 565 click 1
  xdotool search --sync --onlyvisible --name 'Select exported browser bookmarks file' >/dev/null
  sleep 1
  xdotool type --delay 5 "Z:${bookmarks//\//\\}"
  xdotool key Return
  sleep 5
fi
import -window root "$shot"
wineserver -k
