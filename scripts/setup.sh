#!/usr/bin/env bash
# Installs what the build needs on Debian 12 and builds PCRE for both
# Windows architectures. Safe to run again: every step is skipped when done.
source "$(dirname "$0")/common.sh"

PACKAGES=(cmake make g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 xvfb xauth
          dpkg-dev googletest imagemagick xdotool x11-utils libc6-i386)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

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

updated=0
if ! enable_source_lists; then updated=1; fi
if [ ${#missing[@]} -gt 0 ] || [ $updated -eq 1 ] || [ ! -d "$DEPS/src" ]; then
  log "apt-get update"
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The 32-bit Wine, beside the 64-bit one, only where the kernel runs 32-bit
# programs (see x86_runs): the wine wrapper then runs both kinds.
if x86_runs && ! installed wine32:i386; then
  log "installing the 32-bit Wine (wine32:i386)"
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386 >/dev/null
fi

# PCRE: Debian's pcre3 sources, built statically with the cross compilers.
mkdir -p "$DEPS/src"
pcre_src=$(find "$DEPS/src" -maxdepth 1 -type d -name 'pcre3-*' | head -n 1)
if [ -z "$pcre_src" ]; then
  log "fetching the pcre3 source package"
  (cd "$DEPS/src" && apt-get source -qq pcre3 >/dev/null 2>&1)
  pcre_src=$(find "$DEPS/src" -maxdepth 1 -type d -name 'pcre3-*' | head -n 1)
  [ -n "$pcre_src" ] || { echo "apt-get source pcre3 failed" >&2; exit 1; }
fi

# The options are recorded beside the library, so that a change of them rebuilds it.
# Without recursion the interpreter keeps its backtracking frames on the heap: a deep
# search then fails for want of memory instead of overflowing the thread's stack.
pcre_options=(-DCMAKE_BUILD_TYPE=Release -DPCRE_SUPPORT_UTF=ON -DPCRE_SUPPORT_JIT=ON
              -DPCRE_NO_RECURSE=ON -DBUILD_SHARED_LIBS=OFF -DPCRE_BUILD_PCRECPP=OFF
              -DPCRE_BUILD_TESTS=OFF -DPCRE_BUILD_PCREGREP=OFF)
for arch in x86_64 i686; do
  prefix="$DEPS/pcre-$arch"
  [ -f "$prefix/lib/libpcre.a" ] && [ "$(cat "$prefix/options" 2>/dev/null)" = "${pcre_options[*]}" ] && continue
  log "building PCRE for $arch"
  rm -rf "$prefix" "$DEPS/build-pcre-$arch"
  cmake -S "$pcre_src" -B "$DEPS/build-pcre-$arch" -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${pcre_options[@]}" >"$DEPS/build-pcre-$arch.log" 2>&1
  cmake --build "$DEPS/build-pcre-$arch" -j"$(nproc)" >>"$DEPS/build-pcre-$arch.log" 2>&1
  cmake --install "$DEPS/build-pcre-$arch" >>"$DEPS/build-pcre-$arch.log" 2>&1
  echo "${pcre_options[*]}" >"$prefix/options"
done
