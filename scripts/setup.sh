#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need, only those missing.
# Never adds the i386 architecture to dpkg (its index is broken on the mirror).
set -euo pipefail

packages=(
  cmake make gcc g++ libc6-dev googletest libcli11-dev python3 socat
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xauth x11-apps imagemagick icoutils
  clang libclang-rt-14-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq >/dev/null
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
