#!/usr/bin/env bash
# Makes what the driver tests' virtual machine boots: a kernel from Debian's kernel package and a
# small initramfs with busybox, the serial modules, and orvanta-cli built statically for it.
# Prints `kernel=PATH`, `initrd=PATH` and `payloads=FOLDER` (the files the guest has in /etc) for
# tests/vm/vm_test.sh.
#
# - The kernel package that linux-image-amd64 depends on is fetched with `apt-get download` and
#   unpacked with `dpkg -x` into a scratch folder; it is never installed on this machine. What
#   the guest needs is kept: the kernel, uncompressed (it boots in about half the time under
#   TCG, through its PVH entry), and the USB and FTDI modules. The rest is deleted.
# - The initramfs is rebuilt when what goes in it changed (the program, the guest's scripts).
# Both are kept in ~/.cache/orvanta/vm (or $ORVANTA_CACHE/vm), so a second run takes seconds.
#
#   scripts/setup-vm.sh GUEST_PROGRAM
#
# Any failure ends this script with a message and a non-zero status.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${ORVANTA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvanta}/vm
program=${1:?usage: setup-vm.sh GUEST_PROGRAM}

fail() {
  echo "setup-vm: $*" >&2
  exit 1
}
say() { echo "setup-vm: $*" >&2; }

for tool in apt-cache apt-get dpkg depmod cpio xz busybox; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
[ -x "$program" ] || fail "$program is not a program"

# The modules the guest loads, in the kernel tree's layout. The 8250 driver is built in.
modules=(
  kernel/drivers/usb/common/usb-common.ko
  kernel/drivers/usb/core/usbcore.ko
  kernel/drivers/usb/host/xhci-hcd.ko
  kernel/drivers/usb/host/xhci-pci.ko
  kernel/drivers/usb/serial/usbserial.ko
  kernel/drivers/usb/serial/ftdi_sio.ko
)

# The kernel package that linux-image-amd64 stands for now, its version, and its cache folder.
resolve_kernel() {
  package=$(apt-cache depends linux-image-amd64 2>/dev/null |
            awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }')
  [ -n "$package" ] || fail "apt-cache does not know which kernel linux-image-amd64 stands for"
  version=${package#linux-image-}
  kernel_dir=$cache/kernel-$version
}
resolve_kernel

# The uncompressed kernel inside a bzImage: the xz stream after the setup code (how the kernel
# sources' extract-vmlinux finds it).
extract_vmlinux() {
  local image=$1 out=$2 offset
  offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$image" | head -1 | cut -d: -f1)
  [ -n "$offset" ] || fail "no xz stream in $image"
  # xz complains of the bytes after the stream; the ELF check below says whether it worked.
  tail -c +$((offset + 1)) "$image" | xz -dc >"$out" 2>/dev/null || true
  [ "$(head -c 4 "$out" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] ||
    fail "the kernel in $image did not unpack to an ELF file"
}

fetch_kernel() {
  [ -f "$kernel_dir/.complete" ] && return 0
  say "downloading $package (about 70 MB; about 40 MB of it kept in $cache)"
  rm -rf "$kernel_dir"
  mkdir -p "$kernel_dir/download"
  # Package lists older than the mirror name a kernel it no longer has: read them again, once.
  if ! (cd "$kernel_dir/download" && apt-get download -qq "$package" >download.log 2>&1); then
    local as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    rm -rf "$kernel_dir"
    "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null 2>&1 || true
    resolve_kernel
    [ -f "$kernel_dir/.complete" ] && return 0
    rm -rf "$kernel_dir"
    mkdir -p "$kernel_dir/download"
    (cd "$kernel_dir/download" && apt-get download -qq "$package" >download.log 2>&1) ||
      fail "apt-get download $package failed (see $kernel_dir/download/download.log)"
  fi
  local unpacked=$kernel_dir/unpacked
  dpkg -x "$kernel_dir"/download/*.deb "$unpacked"
  extract_vmlinux "$unpacked/boot/vmlinuz-$version" "$kernel_dir/vmlinux"
  local m
  for m in "${modules[@]}"; do
    [ -f "$unpacked/lib/modules/$version/$m" ] || fail "$package has no $m"
    install -D -m 644 "$unpacked/lib/modules/$version/$m" "$kernel_dir/modules/$m"
  done
  # What depmod needs to know of the modules built into the kernel.
  for m in modules.order modules.builtin modules.builtin.modinfo; do
    install -D -m 644 "$unpacked/lib/modules/$version/$m" "$kernel_dir/modules/$m"
  done
  rm -rf "$unpacked" "$kernel_dir/download"
  : >"$kernel_dir/.complete"
}

# The payloads the tests send, one set for this cache: every byte value first (0x00, 0xFF, XON,
# XOFF, Ctrl-C, CR and LF among them), so a line that is not raw shows; then random bytes.
make_payloads() {
  local dir=$cache/payloads
  [ -f "$dir/.complete" ] && return 0
  rm -rf "$dir" && mkdir -p "$dir"
  local all=''
  for i in $(seq 0 255); do all+=$(printf '\\%03o' "$i"); done
  { printf "$all"; head -c 744 /dev/urandom; } >"$dir/p1k"
  { printf "$all"; head -c 65279 /dev/urandom; } >"$dir/p64k"
  [ "$(stat -c %s "$dir/p1k")" = 1000 ] && [ "$(stat -c %s "$dir/p64k")" = 65535 ] ||
    fail "the payloads came out at the wrong size"
  : >"$dir/.complete"
}

# The initramfs: busybox, the modules with their modules.dep (depmod), the guest's scripts, the
# program. Named after a digest of its contents, so a change makes a new one.
build_initrd() {
  local guest=$root/tests/vm/guest digest stage out
  digest=$( { echo "$version"; cat "$program" "$guest"/* "$(command -v busybox)" "$cache"/payloads/p*; } | sha256sum | cut -c1-16)
  out=$cache/initrd-$digest.cpio
  if [ ! -f "$out" ]; then
    stage=$(mktemp -d "$cache/stage.XXXXXX")
    mkdir -p "$stage"/{bin,dev,proc,sys,tmp,etc,lib/modules}
    cp "$(command -v busybox)" "$stage/bin/busybox"
    cp "$program" "$stage/bin/orvanta-cli"
    cp "$guest/init" "$stage/init"
    cp "$guest"/*.sh "$stage/bin/"
    cp "$cache"/payloads/p* "$stage/etc/"
    chmod 755 "$stage/init" "$stage"/bin/*
    cp -r "$kernel_dir/modules" "$stage/lib/modules/$version"
    depmod -b "$stage" "$version" || fail "depmod failed for the guest's modules"
    (cd "$stage" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) >"$out.new"
    mv "$out.new" "$out"
    rm -rf "$stage"
    # Older initramfs files of this cache are of no further use.
    find "$cache" -maxdepth 1 -name 'initrd-*.cpio' ! -name "initrd-$digest.cpio" -delete
  fi
  echo "kernel=$kernel_dir/vmlinux"
  echo "initrd=$out"
  echo "payloads=$cache/payloads"
}

mkdir -p "$cache"
fetch_kernel
make_payloads
build_initrd
