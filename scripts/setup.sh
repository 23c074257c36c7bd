#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need, only those missing
# (the ARM cross compilers among them, whose programs the tests run under qemu's user mode),
# then makes 32-bit Wine work (scripts/setup-wine32.sh) for the tests of the shipped programs.
# Never adds the i386 architecture to dpkg (its index is broken on the mirror).
set -euo pipefail

packages=(
  cmake make gcc g++ libc6-dev googletest libgtest-dev libcli11-dev procps man-db
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xauth x11-apps x11-utils imagemagick icoutils
  clang libclang-rt-14-dev valgrind time clang-format clang-tidy
  ser2net lintian dpkg-dev qemu-user-static libc6-i386
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
damaged=()
for entry in "${required_files[@]}"; do
  file=${entry%%:*} package=${entry#*:}
  [ -e "$file" ] || [[ " ${missing[*]} " == *" $package "* ]] || damaged+=("$package")
done

install_packages() {
  export DEBIAN_FRONTEND=noninteractive
  # Another install under way (a second build, the system's own updates) is waited for, not failed on.
  local wait_lock=(-o DPkg::Lock::Timeout=600) sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get "${wait_lock[@]}" update -qq >/dev/null
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}" >&2
    "${sudo_cmd[@]}" apt-get "${wait_lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  if [ ${#damaged[@]} -gt 0 ]; then
    echo "setup: reinstalling ${damaged[*]} (files missing)" >&2
    "${sudo_cmd[@]}" apt-get "${wait_lock[@]}" install -y -qq --reinstall --no-install-recommends \
      $(printf '%s\n' "${damaged[@]}" | sort -u) >/dev/null
  fi
}

[ ${#missing[@]} -eq 0 ] && [ ${#damaged[@]} -eq 0 ] || install_packages
exec "$(dirname "$0")/setup-wine32.sh"
