#!/usr/bin/env bash
# Sets everything up, builds the x86_64 program and tests, and runs the whole
# suite under Wine in a virtual display. Extra arguments go to ctest.
source "$(dirname "$0")/common.sh"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" x86_64
# Tests run with Wine's heap checking (see HACKING.md); with-wine.sh sets
# WINEDEBUG=-all for itself, so the value is handed to ctest alone.
xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$ROOT/scripts/with-wine.sh" env WINEDEBUG=-all,warn+heap \
  ctest --test-dir "$BUILD_ROOT/x86_64" --output-on-failure "$@"
