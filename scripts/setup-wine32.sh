#!/usr/bin/env bash
# Makes 32-bit Wine work on this machine, so that the tests can run the shipped i686 programs.
# Called by scripts/setup.sh after the packages are in; quiet when there is nothing to do.
#
# - Where the kernel runs no 32-bit code (IA-32 emulation off), every 32-bit program runs under
#   qemu-i386 through a binfmt_misc entry, and the library built from
#   tests/tools/qemu_i386_fixes.cpp mends three faults of qemu that 32-bit Wine trips over. The
#   64-bit wineserver runs natively either way.
# - The 32-bit half of Wine is unpacked from Debian's i386 packages beside the installed 64-bit
#   one, never through dpkg (the i386 index of the mirror is broken: the i386 architecture must
#   never be added). The downloaded packages stay in a cache folder for the next run.
# - Where the kernel runs 32-bit code, nothing is emulated: plain 32-bit Wine.
#   ORVANTA_I386_EMULATION=1 emulates there too, to try the emulated route on such a machine
#   (best inside `unshare -U -r -m`, whose binfmt_misc mount is its own, on Linux 6.7 and later).
#
# Any failure ends this script with a message and a non-zero status.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${ORVANTA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvanta}/wine32
source "$root/scripts/wine-env.sh"

fail() {
  echo "setup-wine32: $*" >&2
  exit 1
}
say() { echo "setup-wine32: $*" >&2; }

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386-static
# qemu's own pattern for i386 ELF executables and shared objects (e_ident, e_type, e_machine 3).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

runs_natively() {
  [ "${ORVANTA_I386_EMULATION:-0}" != 1 ] && ! i386_emulated && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# P keeps the program's own argv[0] (Wine reads it); F opens qemu now, so that it is found in
# any mount namespace or chroot later.
register_qemu() {
  [ -x "$qemu" ] || fail "$qemu is missing (package qemu-user-static)"
  if [ ! -e "$binfmt/register" ]; then
    "${as_root[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      fail "cannot mount binfmt_misc at $binfmt, which running 32-bit programs under qemu needs"
  fi
  if [ -e "$binfmt/qemu-i386" ]; then
    echo 1 | "${as_root[@]}" tee "$binfmt/qemu-i386" >/dev/null
  else
    printf ':qemu-i386:M::%s:%s:%s:PF' "$magic" "$mask" "$qemu" |
      "${as_root[@]}" tee "$binfmt/register" >/dev/null ||
      fail "cannot register $qemu for 32-bit programs in $binfmt"
  fi
  i386_emulated || fail "32-bit programs still do not run under $qemu after registering it"
}

# The i386 packages of wine32 at the installed wine64's version, with everything they need,
# fetched with an apt state of their own.
fetch_packages() {
  local version stamp
  version=$(dpkg-query -W -f='${Version}' wine64) || fail "wine64 is not installed"
  stamp=$cache/complete-$version
  [ -f "$stamp" ] && return 0
  say "downloading 32-bit Wine $version (about 140 MB, kept in $cache)"
  mkdir -p "$cache/lists/partial" "$cache/archives/partial"
  [ -f "$cache/status" ] || : >"$cache/status"
  local apt=(apt-get -qq -o APT::Architecture=i386 -o APT::Architectures=i386
             -o Dir::State::Lists="$cache/lists" -o Dir::State::Status="$cache/status"
             -o Dir::Cache="$cache" -o Dir::Cache::Archives="$cache/archives"
             -o Debug::NoLocking=1)
  # The i386 security index of the mirror is broken: update reports an error for it, and the
  # download below says whether what is needed was there.
  "${apt[@]}" update >"$cache/update.log" 2>&1 || true
  "${apt[@]}" install -y --download-only --no-install-recommends "wine32=$version" \
    >"$cache/download.log" 2>&1 ||
    fail "could not download the i386 packages of wine32 $version (see $cache/download.log, $cache/update.log)"
  rm -rf "$cache/root"
  : >"$stamp"
}

# Copies the 32-bit Wine loader, Wine's i386 libraries and the i386 libraries they need (but not
# the C library: libc6-i386 provides it) into the system's i386 multiarch folders.
install_wine32() {
  local unpacked=$cache/root
  if [ ! -f "$unpacked/.complete" ]; then
    rm -rf "$unpacked"
    mkdir -p "$unpacked"
    local deb
    for deb in "$cache"/archives/*.deb; do dpkg-deb -x "$deb" "$unpacked"; done
    : >"$unpacked/.complete"
  fi
  [ -x "$unpacked/usr/lib/wine/wine" ] || fail "the i386 packages hold no 32-bit Wine loader"
  "${as_root[@]}" mkdir -p /usr/lib/i386-linux-gnu
  # Wine's own files replace an older Wine's (unlinked first: a running Wine keeps its copy); the
  # other libraries are left as they are when present.
  "${as_root[@]}" cp -a --remove-destination "$unpacked/usr/lib/i386-linux-gnu/wine" /usr/lib/i386-linux-gnu/
  "${as_root[@]}" cp -an "$unpacked/usr/lib/i386-linux-gnu/." /usr/lib/i386-linux-gnu/
  local lib
  for lib in "$unpacked"/lib/i386-linux-gnu/*; do
    case ${lib##*/} in
      ld-linux* | libc.so* | libm.so* | libdl[.-]* | libpthread* | librt[.-]* | libutil* | libanl* | \
      libresolv* | libnss* | libnsl* | libBrokenLocale* | libc_malloc* | libmemusage* | \
      libpcprofile* | libthread_db*) continue ;;
    esac
    "${as_root[@]}" cp -an "$lib" /usr/lib/i386-linux-gnu/
  done
  "${as_root[@]}" cp -a --remove-destination "$unpacked/usr/lib/wine/wine" /usr/lib/wine/wine
  "${as_root[@]}" cp -a "$unpacked/etc/ld.so.conf.d/i386-linux-gnu.conf" /etc/ld.so.conf.d/
  # Debian's wine64 puts the MinGW zlib for 32-bit Wine DLLs in its own folder only.
  local zlib
  for zlib in /usr/lib/x86_64-linux-gnu/wine/i386-windows/zlib1.dll /usr/i686-w64-mingw32/lib/zlib1.dll; do
    if [ -f "$zlib" ]; then
      "${as_root[@]}" cp -a "$zlib" /usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
      break
    fi
  done
  "${as_root[@]}" ldconfig
}

wine32_installed() {
  [ -x /usr/lib/wine/wine ] && [ -f /etc/ld.so.conf.d/i386-linux-gnu.conf ] &&
    [ -f /usr/lib/i386-linux-gnu/wine/i386-windows/ntdll.dll ] &&
    [ -f /usr/lib/i386-linux-gnu/libfreetype.so.6 ] && [ -f /usr/lib/i386-linux-gnu/libz.so.1 ] &&
    [ -f /usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll ] &&
    [ "$(dpkg-query -W -f='${Version}' wine64)" = "$(cat /usr/lib/i386-linux-gnu/wine/.orvanta-version 2>/dev/null)" ]
}

# The preload library, 32-bit, built with the machine's own compiler and linker without any
# 32-bit C library headers; and an empty 64-bit one for the native wineserver.
build_qemu_fixes() {
  local source=$root/tests/tools/qemu_i386_fixes.cpp
  local lib32=$qemu_fixes_dir/lib32/$qemu_fixes_name
  [ -f "$lib32" ] && [ "$lib32" -nt "$source" ] && [ "$lib32" -nt "$0" ] && return 0
  mkdir -p "$qemu_fixes_dir/lib32" "$qemu_fixes_dir/lib/i386-linux-gnu" "$qemu_fixes_dir/lib/x86_64-linux-gnu"
  g++ -m32 -std=c++17 -O2 -fPIC -ffreestanding -fno-builtin -nostdinc -nostdinc++ -fno-exceptions \
    -fno-rtti -fno-asynchronous-unwind-tables -fno-stack-protector -fno-threadsafe-statics \
    -Wall -Wextra -Werror -c "$source" -o "$qemu_fixes_dir/qemu_i386_fixes.o" ||
    fail "could not compile $source"
  ld -m elf_i386 -shared -o "$lib32.new" "$qemu_fixes_dir/qemu_i386_fixes.o" ||
    fail "could not link $lib32"
  # $LIB is lib32 for Debian's libc6-i386 loader, lib/i386-linux-gnu for an i386 one.
  ln -sfn ../../lib32/$qemu_fixes_name "$qemu_fixes_dir/lib/i386-linux-gnu/$qemu_fixes_name"
  echo >"$qemu_fixes_dir/empty.c"
  gcc -shared -fPIC -o "$qemu_fixes_dir/lib/x86_64-linux-gnu/$qemu_fixes_name" "$qemu_fixes_dir/empty.c" ||
    fail "could not build the empty 64-bit preload library"
  mv "$lib32.new" "$lib32"
}

[ -x /lib/ld-linux.so.2 ] || fail "/lib/ld-linux.so.2 is missing (package libc6-i386)"
runs_natively || i386_emulated || register_qemu
if ! wine32_installed; then
  fetch_packages
  install_wine32
  dpkg-query -W -f='${Version}' wine64 | "${as_root[@]}" tee /usr/lib/i386-linux-gnu/wine/.orvanta-version >/dev/null
fi
i386_emulated && build_qemu_fixes
source "$root/scripts/wine-env.sh" 32
"$wine_loader" --version >/dev/null 2>&1 ||
  fail "32-bit Wine does not start: $wine_loader --version failed$(i386_emulated && echo ' under qemu-i386')"
