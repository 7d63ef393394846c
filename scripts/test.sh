#!/usr/bin/env bash
# Sets everything up, builds the program and tests for x86_64 and i686, and runs
# each architecture's whole suite under Wine in a virtual display, in a Wine
# prefix of its own. Fails when either suite fails. Extra arguments go to ctest.
# Ends with one line per architecture, "debian-12 wine-8.0 x86_64: 17 passed",
# also appended to the file TEST_SUMMARY names, if any.
source "$(dirname "$0")/common.sh"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" x86_64
"$ROOT/scripts/build.sh" i686
platform=$(platform_name)
summary=()
architectures=(x86_64 i686)
i686_name=i686
if x86_runs; then
  :
elif [ -e "$EMULATED_WINE32_LOADER" ]; then
  log "this kernel does not run 32-bit x86 programs: the i686 suite runs in Wine's 32-bit loader under qemu-i386"
  i686_name="i686 through qemu-i386"
else
  log "this kernel does not run 32-bit x86 programs: the i686 suite is built but only the x86_64 suite runs"
  summary+=("$platform i686: not run (this kernel runs no 32-bit x86 code)")
  architectures=(x86_64)
fi
failed=()
for arch in "${architectures[@]}"; do
  log "running the $arch suite"
  name=$arch
  [ "$arch" != i686 ] || name=$i686_name
  results="$BUILD_ROOT/$arch/ctest-results.log"
  rm -f "$results"
  # Tests run with Wine's heap checking (see HACKING.md); with-wine.sh sets
  # WINEDEBUG=-all for itself, so the value is handed to ctest alone.
  WINEPREFIX="$BUILD_ROOT/$arch/wineprefix" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$ROOT/scripts/with-wine.sh" env WINEDEBUG=-all,warn+heap \
    ctest --test-dir "$BUILD_ROOT/$arch" --output-on-failure --output-log "$results" "$@" || failed+=("$arch")
  # ctest's closing count: "94% tests passed, 1 tests failed out of 17".
  count=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/p' "$results" 2>/dev/null | tail -n 1)
  if [ -z "$count" ]; then
    summary+=("$platform $name: not run (ctest ended without its count)")
  else
    read -r failures total <<<"$count"
    line="$platform $name: $((total - failures)) passed"
    [ "$failures" -eq 0 ] || line+=", $failures failed"
    summary+=("$line")
  fi
done
printf '%s\n' "${summary[@]}"
[ -z "${TEST_SUMMARY:-}" ] || printf '%s\n' "${summary[@]}" >>"$TEST_SUMMARY"
if [ ${#failed[@]} -gt 0 ]; then
  log "failed: the suite of ${failed[*]}"
  exit 1
fi
log "passed: the suites of ${architectures[*]}"
