#!/usr/bin/env bash
# Installs what the build needs on Debian 12 or 13 and builds PCRE2 for both
# Windows architectures. Safe to run again: every step is skipped when done. A
# step that fails ends the set-up with one line saying which, after the end of
# its output.
source "$(dirname "$0")/common.sh"

# fonts-wine brings the Marlett font, in which Wine draws the title bar's buttons.
PACKAGES=(cmake make g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 fonts-wine xvfb xauth
          dpkg-dev googletest imagemagick xdotool x11-utils libc6-i386)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
mkdir -p "$DEPS/src"
step_log="$DEPS/setup-step.log"

# step DESCRIPTION COMMAND...: runs the command with its output in step_log.
step() {
  local what=$1
  shift
  log "$what"
  "$@" >"$step_log" 2>&1 || {
    local status=$?
    tail -n 20 "$step_log" >&2
    echo "setup failed: $what (exit status $status; its output is in $step_log)" >&2
    exit 1
  }
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${PACKAGES[@]}"; do
  installed "$p" || missing+=("$p")
done

enable_source_lists() {
  local changed=0
  if [ -f /etc/apt/sources.list.d/debian.sources ] &&
     grep -q '^Types: deb$' /etc/apt/sources.list.d/debian.sources; then
    $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
    changed=1
  fi
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list &&
     ! grep -q '^deb-src ' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a /etc/apt/sources.list >/dev/null
    changed=1
  fi
  return $changed
}

pcre2_src=$(find "$DEPS/src" -maxdepth 1 -type d -name 'pcre2-*' | head -n 1)
updated=0
if ! enable_source_lists; then updated=1; fi
if [ ${#missing[@]} -gt 0 ] || [ $updated -eq 1 ] || [ -z "$pcre2_src" ]; then
  step "apt-get update" $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}" $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

# The 32-bit Wine, beside the 64-bit one, only where the kernel runs 32-bit
# programs (see x86_runs): the wine wrapper then runs both kinds.
if x86_runs && ! installed wine32:i386; then
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  step "apt-get update for i386" $SUDO apt-get update -qq
  step "installing the 32-bit Wine (wine32:i386)" \
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386
fi

# PCRE2: Debian's pcre2 sources. The newest version apt offers comes first; when
# its files cannot all be had (Debian 12's security update of pcre2 once answered
# 404 for its .dsc while its tarball came), every other version apt knows of is
# tried in turn.
fetch_pcre2() (
  cd "$DEPS/src"
  apt-get source -qq pcre2 && exit 0
  for version in $(apt-cache showsrc pcre2 | sed -n 's/^Version: //p' | sort -ruV); do
    echo "trying pcre2=$version"
    apt-get source -qq "pcre2=$version" && exit 0
  done
  exit 1
)
if [ -z "$pcre2_src" ]; then
  step "fetching the pcre2 source package" fetch_pcre2
  pcre2_src=$(find "$DEPS/src" -maxdepth 1 -type d -name 'pcre2-*' | head -n 1)
  [ -n "$pcre2_src" ] || { echo "setup failed: apt-get source pcre2 unpacked no pcre2-* folder in $DEPS/src" >&2; exit 1; }
fi

# Static, the 8-bit library alone, with its JIT; no programs, no tests. The
# options are recorded beside the library, so that a change of them rebuilds it.
pcre2_options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON
               -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF
               -DPCRE2_SUPPORT_UNICODE=ON -DPCRE2_SUPPORT_JIT=ON
               -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF)
for arch in x86_64 i686; do
  prefix="$DEPS/pcre2-$arch"
  build="$DEPS/build-pcre2-$arch"
  [ -f "$prefix/lib/libpcre2-8.a" ] && [ "$(cat "$prefix/options" 2>/dev/null)" = "${pcre2_options[*]}" ] && continue
  rm -rf "$prefix" "$build"
  step "configuring PCRE2 for $arch" cmake -S "$pcre2_src" -B "$build" -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${pcre2_options[@]}"
  step "building PCRE2 for $arch" cmake --build "$build" -j"$(nproc)"
  step "installing PCRE2 for $arch" cmake --install "$build"
  echo "${pcre2_options[*]}" >"$prefix/options"
done
