#!/usr/bin/env bash
# Builds the program for both architectures in Release and writes the release
# into dist/: bookmark-list-<version>-win64.zip and -win32.zip (the program, a
# README for users, the license and PCRE2's, zipped by CPack) and their SHA256SUMS. Two
# packagings of one commit give the same bytes: CPack stamps every entry with
# SOURCE_DATE_EPOCH, the time of the commit, instead of the files' own times.
source "$(dirname "$0")/common.sh"
"$ROOT/scripts/setup.sh"
SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct) ||
  { echo "package failed: $ROOT is not a git checkout, so the zips have no commit time to carry" >&2; exit 1; }
export SOURCE_DATE_EPOCH
dist="$ROOT/dist"
rm -rf "$dist"
mkdir -p "$dist"
# Build folders of their own, so that the everyday builds stay as they are.
for arch in x86_64 i686; do
  BUILD_DIR="$BUILD_ROOT/release" "$ROOT/scripts/build.sh" "$arch" bookmarks
  dir="$BUILD_ROOT/release/$arch"
  rm -rf "$dir/package-output"
  cpack --config "$dir/CPackConfig.cmake" -B "$dir/package-output" >/dev/null
  mv "$dir"/package-output/*.zip "$dist/"
done
(cd "$dist" && sha256sum -- *.zip >SHA256SUMS)
log "release written to $dist:"
ls -l "$dist" >&2
