#!/usr/bin/env bash
# Sets everything up, builds the program and starts it under Wine. On a machine
# without a display it runs the program in a virtual one, writes a screenshot
# instead and says where.
source "$(dirname "$0")/common.sh"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" x86_64 bookmarks
program="$BUILD_ROOT/x86_64/app/bookmarks.exe"
if [ -n "${DISPLAY:-}" ]; then
  "$ROOT/scripts/with-wine.sh" wine "$program"
else
  shot="$BUILD_ROOT/screenshot.png"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$ROOT/scripts/with-wine.sh" \
    "$ROOT/scripts/screenshot.sh" "$program" "$shot"
  echo "No display: the program ran in a virtual one; its screenshot is $shot"
fi
