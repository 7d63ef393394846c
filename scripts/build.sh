#!/usr/bin/env bash
# Builds for one architecture: build.sh [x86_64|i686] [targets...]; all targets,
# the program and its tests, when none are named.
source "$(dirname "$0")/common.sh"
arch=${1:-x86_64}
shift || true
triplet_of "$arch" >/dev/null
dir="$BUILD_ROOT/$arch"
# Configured again when the folder was configured for another PCRE2 (or for the
# classic PCRE, which PCRE2 replaced).
if ! grep -qxF "PCRE2_ROOT:PATH=$DEPS/pcre2-$arch" "$dir/CMakeCache.txt" 2>/dev/null; then
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" \
    -DPCRE2_ROOT="$DEPS/pcre2-$arch" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" ${1:+--target "$@"}
