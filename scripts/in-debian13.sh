#!/usr/bin/env bash
# Runs a command in a Debian 13 root (Wine 10) at this checkout's own path:
# in-debian13.sh [command...]; the README's test command when none is given.
# The root is made once, from Debian's own packages, in a cache folder outside
# the repository (BOOKMARK_LIST_CACHE, /var/cache/bookmark-list by default) and
# reused by later runs, together with the dependencies built in it. Builds and
# Wine prefixes made in the root go to build/debian13/, apart from the host's.
# Whatever this script mounts it unmounts again, however it ends.
source "$(dirname "$0")/common.sh"
[ "$(id -u)" -eq 0 ] || exec sudo -E "$0" "$@"

CACHE=${BOOKMARK_LIST_CACHE:-/var/cache/bookmark-list}
SYSROOT=$CACHE/debian13
BOOTSTRAPPED=$SYSROOT/etc/bookmark-list-bootstrapped
SHARED=$(cd "$ROOT/.." && pwd)/shared

mkdir -p "$CACHE"
# One run at a time: two runs would unmount each other's /proc and /dev.
exec 9>"$CACHE/debian13.lock"
flock 9

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" ||
      echo "could not unmount ${mounted[i]}" >&2
  done
  mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT TERM HUP

bind() {   # bind <host path> <path in the root> [ro]
  mkdir -p "$SYSROOT$2"
  mount --bind "$1" "$SYSROOT$2"
  mounted+=("$SYSROOT$2")
  [ "${3:-}" != ro ] || mount -o remount,bind,ro "$SYSROOT$2"
}

mounts_inside() { awk -v root="$SYSROOT" '$5 == root || index($5, root "/") == 1' /proc/self/mountinfo; }

# The lock stays with this script: Wine's background services, which can outlive a
# killed run, would otherwise hold it and stop every later run at its flock.
in_root() { chroot "$SYSROOT" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@" 9>&-; }

if [ ! -f "$BOOTSTRAPPED" ]; then
  if [ -n "$(mounts_inside)" ]; then
    echo "$SYSROOT has mounts left by an earlier run; unmount them first:" >&2
    mounts_inside >&2
    exit 1
  fi
  command -v debootstrap >/dev/null || {
    log "installing debootstrap"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
  }
  log "making a Debian 13 root in $SYSROOT"
  rm -rf "$SYSROOT"
  debootstrap --variant=minbase trixie "$SYSROOT" http://deb.debian.org/debian >"$CACHE/debootstrap.log" 2>&1 ||
    { tail -n 20 "$CACHE/debootstrap.log" >&2; exit 1; }
  # Source entries too: the set-up builds PCRE2 from Debian's sources.
  echo "deb-src http://deb.debian.org/debian trixie main" >>"$SYSROOT/etc/apt/sources.list"
  touch "$BOOTSTRAPPED"
fi

bind /proc /proc
bind /sys /sys
bind /dev /dev
bind /dev/pts /dev/pts
cp /etc/resolv.conf "$SYSROOT/etc/resolv.conf"
bind "$ROOT" "$ROOT"
[ ! -d "$SHARED" ] || bind "$SHARED" "$SHARED" ro

# Wine 10 with its 32-bit side, and the X libraries its display driver loads
# (Debian's recommends, which bring far more, are left out). The list is
# recorded in the root, so that a change of it installs again.
x_libraries=(libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 libxcomposite1 libxxf86vm1)
root_packages=(wine wine64 wine32:i386 "${x_libraries[@]}" "${x_libraries[@]/%/:i386}")
if [ "$(cat "$SYSROOT/etc/bookmark-list-packages" 2>/dev/null)" != "${root_packages[*]}" ]; then
  log "installing Wine 10 in the root"
  in_root dpkg --add-architecture i386
  in_root apt-get update -qq
  in_root apt-get install -y -qq --no-install-recommends "${root_packages[@]}" >"$CACHE/debian13-packages.log" 2>&1 ||
    { tail -n 20 "$CACHE/debian13-packages.log" >&2; exit 1; }
  echo "${root_packages[*]}" >"$SYSROOT/etc/bookmark-list-packages"
fi

# Where the kernel runs no 32-bit x86 code, the root's 32-bit Wine loader runs in
# qemu-i386, the static user-mode emulator of Debian's qemu-user (only that one
# binary is taken from the package). The loader moves aside and a script takes
# its name; Wine starts a 32-bit child through the loader of that name, so
# children come through the emulator too. Debian's wine script prefers the
# 32-bit loader, so it is replaced by one that starts the 64-bit loader, which
# hands 32-bit programs on to the 32-bit one itself.
diverted() { in_root dpkg-divert --list "$1" | grep -q .; }
if in_root /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  for file in /usr/lib/wine/wine /usr/bin/wine-stable; do
    if diverted "$file"; then
      rm -f "$SYSROOT$file"
      in_root dpkg-divert --quiet --local --rename --remove "$file"
    fi
  done
else
  if [ ! -x "$SYSROOT/usr/local/bin/qemu-i386" ]; then
    log "taking qemu-i386 from Debian's qemu-user"
    in_root bash -c 'cd /tmp && apt-get download qemu-user >/dev/null &&
      dpkg-deb --fsys-tarfile qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 >/usr/local/bin/qemu-i386.part &&
      chmod 755 /usr/local/bin/qemu-i386.part && mv /usr/local/bin/qemu-i386.part /usr/local/bin/qemu-i386 &&
      rm -f qemu-user_*.deb'
  fi
  diverted /usr/lib/wine/wine ||
    in_root dpkg-divert --quiet --local --rename --divert "$EMULATED_WINE32_LOADER" --add /usr/lib/wine/wine
  # -0 gives the loader its public name: it starts children by that name.
  # Without WINELOADERNOEXEC it would re-execute itself natively and fail.
  cat >"$SYSROOT/usr/lib/wine/wine" <<SCRIPT
#!/bin/sh
WINELOADERNOEXEC=1 exec /usr/local/bin/qemu-i386 -0 /usr/lib/wine/wine $EMULATED_WINE32_LOADER "\$@"
SCRIPT
  diverted /usr/bin/wine-stable ||
    in_root dpkg-divert --quiet --local --rename --divert /usr/bin/wine-stable.debian --add /usr/bin/wine-stable
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$SYSROOT/usr/bin/wine-stable"
  chmod 755 "$SYSROOT/usr/lib/wine/wine" "$SYSROOT/usr/bin/wine-stable"
fi

# PCRE2's sources for the set-up, which takes the pcre2-* folder it finds. Here
# Debian 13's one pcre2 source version has answered 404 for its .dsc and
# .diff.gz while its upstream tarball came, which apt-get leaves behind: then
# that tarball is unpacked alone.
ROOT_DEPS=/opt/bookmark-list/deps
if ! compgen -G "$SYSROOT$ROOT_DEPS/src/pcre2-*/" >/dev/null; then
  log "fetching PCRE2's sources in the root"
  mkdir -p "$SYSROOT$ROOT_DEPS/src"
  in_root bash -c 'cd "$1" && { apt-get source -qq pcre2 || tar -xf pcre2_*.orig.tar.*; }' \
    bash "$ROOT_DEPS/src" >"$CACHE/debian13-pcre2.log" 2>&1 ||
    { tail -n 20 "$CACHE/debian13-pcre2.log" >&2; exit 1; }
fi

[ $# -gt 0 ] || set -- ./scripts/test.sh
rc=0
# TEST_SUMMARY passes through: a file in the checkout has the same path inside.
in_root BUILD_DIR="$ROOT/build/debian13" DEPS_DIR="$ROOT_DEPS" TEST_SUMMARY="${TEST_SUMMARY:-}" \
  bash -c 'cd "$1" && shift && "$@"' bash "$ROOT" "$@" || rc=$?
exit $rc
