# Shared settings of the set-up, build, run and test scripts. Sourced, not run.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DEPS=${DEPS_DIR:-$ROOT/.deps}            # fetched and built dependencies, outside git
BUILD_ROOT=${BUILD_DIR:-$ROOT/build}     # one sub-folder per architecture
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

log() { printf '== %s\n' "$*" >&2; }

triplet_of() {
  case "$1" in
    x86_64) echo x86_64-w64-mingw32 ;;
    i686) echo i686-w64-mingw32 ;;
    *) echo "unknown architecture: $1" >&2; return 1 ;;
  esac
}

# Whether this kernel runs 32-bit x86 programs (libc6-i386's loader answers). Where
# it cannot, no 32-bit Wine may be installed: the wine wrapper would then pick the
# 32-bit loader and 64-bit programs would fail too.
x86_runs() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# Where the kernel runs no 32-bit x86 code, in-debian13.sh moves its root's
# 32-bit Wine loader here and puts a script in its place that runs it in the
# user-mode emulator qemu-i386.
EMULATED_WINE32_LOADER=/usr/lib/wine/wine.i386-real

# The system and the Wine that a test result was had on: "debian-12 wine-8.0".
platform_name() {
  local ID VERSION_ID
  ID=$(. /etc/os-release && echo "$ID")
  VERSION_ID=$(. /etc/os-release && echo "${VERSION_ID:-unknown}")
  echo "$ID-$VERSION_ID $(wine --version 2>/dev/null | cut -d' ' -f1)"
}

# The Wine prefix (the x86_64 build's unless WINEPREFIX names another); created on
# first use, with crash dialogs off so that a crashing test fails instead of
# waiting for a click.
prepare_wine_prefix() {
  export WINEPREFIX=${WINEPREFIX:-$BUILD_ROOT/x86_64/wineprefix}
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot --init >"$WINEPREFIX.log" 2>&1 || true
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$WINEPREFIX.log" 2>&1
    wineserver -w
  fi
}
