#!/usr/bin/env bash
# Sets everything up, builds the program and tests for x86_64 and i686, and runs
# each architecture's whole suite under Wine in a virtual display, in a Wine
# prefix of its own. Fails when either suite fails. Extra arguments go to ctest.
source "$(dirname "$0")/common.sh"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" x86_64
"$ROOT/scripts/build.sh" i686
architectures=(x86_64 i686)
if ! x86_runs; then
  log "this kernel does not run 32-bit x86 programs: the i686 suite is built but only the x86_64 suite runs"
  architectures=(x86_64)
fi
failed=()
for arch in "${architectures[@]}"; do
  log "running the $arch suite"
  # Tests run with Wine's heap checking (see HACKING.md); with-wine.sh sets
  # WINEDEBUG=-all for itself, so the value is handed to ctest alone.
  WINEPREFIX="$BUILD_ROOT/$arch/wineprefix" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$ROOT/scripts/with-wine.sh" env WINEDEBUG=-all,warn+heap \
    ctest --test-dir "$BUILD_ROOT/$arch" --output-on-failure "$@" || failed+=("$arch")
done
if [ ${#failed[@]} -gt 0 ]; then
  log "failed: the suite of ${failed[*]}"
  exit 1
fi
log "passed: the suites of ${architectures[*]}"
