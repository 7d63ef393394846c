#!/usr/bin/env bash
# Runs a command with the project's Wine prefix and one persistent Wine server,
# so that the many Windows programs it starts do not each pay for a new server.
# Needs a display: run it under xvfb-run, or on a desktop.
source "$(dirname "$0")/common.sh"
prepare_wine_prefix
wineserver -p
# Start Wine's own background services now, with their output in a file: started
# later by a test, they would inherit the test's output pipe and keep it open.
wine cmd /c exit >"$WINEPREFIX.services.log" 2>&1 </dev/null
rc=0
"$@" || rc=$?
wineserver -k || true
exit $rc
