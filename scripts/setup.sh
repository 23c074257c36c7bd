#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need, only those missing
# (the ARM cross compilers among them, whose programs the tests run under qemu's user mode),
# then makes 32-bit Wine work (scripts/setup-wine32.sh) for the tests of the shipped programs.
# (The driver bench's kernel and initramfs are made when it runs: scripts/setup-vm.sh.)
# Never adds the i386 architecture to dpkg (its index is broken on the mirror).
set -euo pipefail

packages=(
  cmake make gcc g++ libc6-dev googletest libgtest-dev libcli11-dev procps man-db
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xauth x11-apps x11-utils imagemagick icoutils
  clang libclang-rt-14-dev valgrind time clang-format clang-tidy
  ser2net lintian dpkg-dev qemu-user-static libc6-i386
  qemu-system-x86 busybox-static cpio kmod xz-utils socat
  simh z80asm iproute2
  g++-aarch64-linux-gnu libc6-dev-arm64-cross g++-arm-linux-gnueabihf libc6-dev-armhf-cross
)

# Files the build cannot do without, and their packages: a package that dpkg calls installed
# but whose files have gone is installed again.
required_files=(
  /usr/bin/i686-w64-mingw32-g++-win32:g++-mingw-w64-i686-win32
  /usr/bin/i686-w64-mingw32-gcc-win32:gcc-mingw-w64-i686-win32
  /usr/bin/i686-w64-mingw32-ar:binutils-mingw-w64-i686
  /usr/bin/i686-w64-mingw32-windres:binutils-mingw-w64-i686
  /usr/bin/i686-w64-mingw32-objdump:binutils-mingw-w64-i686
  /usr/bin/x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix
  /usr/bin/x86_64-w64-mingw32-gcc-posix:gcc-mingw-w64-x86-64-posix
  /usr/bin/x86_64-w64-mingw32-ar:binutils-mingw-w64-x86-64
  /usr/bin/x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64
  /usr/lib/wine/wine64:wine64
  /usr/bin/Xvfb:xvfb
  /lib/ld-linux.so.2:libc6-i386
  /usr/bin/qemu-i386-static:qemu-user-static
  /usr/bin/qemu-system-x86_64:qemu-system-x86
  /bin/busybox:busybox-static
  /usr/bin/qemu-aarch64-static:qemu-user-static
  /usr/bin/qemu-arm-static:qemu-user-static
  /usr/bin/aarch64-linux-gnu-g++:g++-aarch64-linux-gnu
  /usr/aarch64-linux-gnu/lib/libc.so.6:libc6-arm64-cross
  /usr/bin/arm-linux-gnueabihf-g++:g++-arm-linux-gnueabihf
  /usr/arm-linux-gnueabihf/lib/libc.so.6:libc6-armhf-cross
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The packages of required files that are not there. Looked at after the missing packages are
# in: many of these files come with them, as dependencies.
damaged_packages() {
  local entry
  for entry in "${required_files[@]}"; do
    [ -e "${entry%%:*}" ] || echo "${entry#*:}"
  done | sort -u
}

export DEBIAN_FRONTEND=noninteractive
# Another install under way (a second build, the system's own updates) is waited for, not failed on.
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
updated=0
apt_get() {
  [ $updated = 1 ] || "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null
  updated=1
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 "$@" >/dev/null
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi
mapfile -t damaged < <(damaged_packages)
if [ ${#damaged[@]} -gt 0 ]; then
  echo "setup: reinstalling ${damaged[*]} (files missing)" >&2
  apt_get install -y -qq --reinstall --no-install-recommends "${damaged[@]}"
fi
exec "$(dirname "$0")/setup-wine32.sh"
