#!/usr/bin/env bash
# The packages people install (scripts/package.sh makes them): the Debian packages of orvanta-cli
# for this machine and for ARM (their files, lintian's verdict, an install and a removal with
# apt-get) and the Windows zip (the shipped programs themselves, the README and the LICENSE).
# Usage: package_test.sh PACKAGE_DIR SHIPPED_BUILD_DIR   (build/packages build/windows-x86)
set -u
packages=$(cd "$1" && pwd) shipped=$(cd "$2" && pwd) || exit 1
arguments="$*"
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
. "$here/../cli/lib.sh"

same() {  # same ACTUAL EXPECTED: equal texts, or the difference shown
  [ "$1" = "$2" ] || { diff <(echo "$2") <(echo "$1") | sed 's/^/    /'; return 1; }
}
one() {  # one PATTERN: the single package file that matches
  local found=("$packages"/$1)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || { echo "no single $1 in $packages" >&2; return 1; }
  echo "${found[0]}"
}
# The Debian packages: this machine's architecture and the ARM ones, whose programs run here
# under QEMU's user mode (with the cross C library; in the throw-away root, with Debian's own).
host_arch=$(dpkg --print-architecture)
emulator_of() {  # emulator_of ARCH: the command that runs the architecture's programs here
  case $1 in
    "$host_arch") ;;
    arm64) echo qemu-aarch64-static ;;
    armhf) echo qemu-arm-static ;;
  esac
}
machine_of() {  # machine_of ARCH: the ELF header's machine for the architecture
  case $1 in
    amd64) echo "Advanced Micro Devices X86-64" ;;
    arm64) echo AArch64 ;;
    armhf) echo ARM ;;
  esac
}
cross_libs_of() { case $1 in arm64) echo /usr/aarch64-linux-gnu ;; armhf) echo /usr/arm-linux-gnueabihf ;; esac; }
highest_glibc() {  # highest_glibc PROGRAM: the highest C library symbol version it asks for
  readelf --version-info "$1" | grep -oE 'GLIBC_[0-9]+\.[0-9]+(\.[0-9]+)?' | sed 's/GLIBC_//' | sort -uV | tail -n 1
}

# A throw-away root: this system as a copy-on-write overlay, in a mount namespace of its own;
# whatever apt-get and dpkg change there goes when the namespace ends.
scratch_root() {  # scratch_root NAME COMMAND...: runs COMMAND as root in a throw-away copy of this system
  local root=$work/root-$1; shift
  mkdir -p "$root/upper" "$root/work" "$root/merged" "$work/stage"
  unshare --mount --propagation private bash -ec '
    root=$1; shift
    mount -t overlay overlay -o "lowerdir=/,upperdir=$root/upper,workdir=$root/work" "$root/merged"
    mount -t proc proc "$root/merged/proc"
    mount --rbind /dev "$root/merged/dev"
    exec chroot "$root/merged" "$@"' scratch "$root" "$@"
}
# The test and the packages go in as copies, as the worktree need not be on the root filesystem.
mkdir -p "$work/stage/package" "$work/stage/cli"
cp "$here/install_remove.sh" "$work/stage/package/" && cp "$here/../cli/lib.sh" "$work/stage/cli/"

check_deb() {  # check_deb ARCH: the package of that architecture
  local arch=$1 deb
  deb=$(one "orvanta-cli_*_$arch.deb") || { failures=$((failures + 1)); echo "FAILED: no $arch package"; return; }
  local emulator; emulator=$(emulator_of "$arch")
  local run=()  # runs the package's program here: under the emulator, with the cross C library
  [ -z "$emulator" ] || run=("$emulator" -L "$(cross_libs_of "$arch")")

  echo "-- $deb ($(stat -c %s "$deb") bytes)"
  local version; version=$(dpkg-deb -f "$deb" Version)
  check "$arch: package name" same "$(dpkg-deb -f "$deb" Package)" orvanta-cli
  check "$arch: architecture" same "$(dpkg-deb -f "$deb" Architecture)" "$arch"
  check "$arch: the files, root's, with these modes" same \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort -k3)" \
    "-rwxr-xr-x root/root ./usr/bin/orvanta-cli
-rw-r--r-- root/root ./usr/share/bash-completion/completions/orvanta-cli
-rw-r--r-- root/root ./usr/share/doc/orvanta-cli/README.md.gz
-rw-r--r-- root/root ./usr/share/doc/orvanta-cli/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/orvanta-cli/copyright
-rw-r--r-- root/root ./usr/share/man/man1/orvanta-cli.1.gz"
  check "$arch: folders root's and 0755" same \
    "$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ {print $1, $2}' | sort -u)" "drwxr-xr-x root/root"

  local tree=$work/deb-$arch
  dpkg-deb -x "$deb" "$tree"
  local doc=$tree/usr/share/doc/orvanta-cli
  check "$arch: program built for $(machine_of "$arch")" same \
    "$(readelf -h "$tree/usr/bin/orvanta-cli" | sed -n 's/^ *Machine: *//p')" "$(machine_of "$arch")"
  # The host's package has it from dpkg-shlibdeps, the ARM ones by the same rule (see
  # debian-files.cmake): the release of the highest symbol version the program asks for.
  check "$arch: depends on the C library release it needs" same "$(dpkg-deb -f "$deb" Depends)" \
    "libc6 (>= $(highest_glibc "$tree/usr/bin/orvanta-cli"))"
  check "$arch: program stripped of symbols, debug information and notes" \
    same "$(readelf -SW "$tree/usr/bin/orvanta-cli" | grep -oE ' \.(symtab|debug_[a-z]+|comment)' || true)" ""
  check "$arch: program runs${emulator:+ (under $emulator)}" \
    same "$("${run[@]}" "$tree/usr/bin/orvanta-cli" --version)" "orvanta-cli $version"
  check "$arch: manual page gzipped (-n)" \
    gzip_n "$tree/usr/share/man/man1/orvanta-cli.1.gz" "$source_dir/cli/orvanta-cli.1"
  check "$arch: README gzipped (-n)" gzip_n "$doc/README.md.gz" "$source_dir/README.md"
  check "$arch: completion as in the source" \
    cmp "$tree/usr/share/bash-completion/completions/orvanta-cli" "$source_dir/cli/orvanta-cli.bash"
  check "$arch: changelog gzipped (-n), latest entry is this version" \
    grep -q "^orvanta-cli ($version) " <(zcat "$doc/changelog.gz" | head -1)
  check "$arch: changelog.gz has neither name nor time" \
    same "$(od -An -tx1 -N8 "$doc/changelog.gz" | tr -d ' ')" 1f8b080000000000
  check "$arch: copyright names the holder" grep -qx 'Copyright: 2026 Kestiva' "$doc/copyright"
  check "$arch: copyright holds the LICENSE's terms" same \
    "$(sed -n '/^License: Expat$/,$p' "$doc/copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')" \
    "$(sed -n '/^Permission/,$p' "$source_dir/LICENSE")"

  echo "-- lintian ($arch)"
  lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1
  local lintian_status=$?
  grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/    /'
  check "$arch: lintian finds no error" [ $lintian_status -eq 0 ]
  check "$arch: the program is hardened as a distribution's are (fortified calls, read-only relocations)" \
    [ -z "$(grep -E 'hardening-no-|no-fortify-functions' "$work/lintian.log")" ]

  echo "-- apt-get install and remove ($arch)"
  cp "$deb" "$work/stage/"
  if [ "$(id -u)" -ne 0 ]; then
    echo "NOTE: SKIPPED: installing and removing the package with apt-get needs root, which this user"
    echo "      is not (CI runs as root). To run it: sudo $0 $arguments"
  elif scratch_root "$arch" true 2>"$work/scratch.log"; then
    echo "    (in a throw-away root: this system under an overlay, discarded afterwards)"
    check "$arch: install and removal" \
      scratch_root "$arch" bash "$work/stage/package/install_remove.sh" "$work/stage/${deb##*/}" $emulator
  elif [ -n "$emulator" ]; then
    echo "NOTE: SKIPPED: no throw-away root here ($(head -1 "$work/scratch.log")): a package for $arch"
    echo "      is installed in one only, as it adds that architecture to dpkg and its C library."
  elif dpkg-query -W -f='${Status}' orvanta-cli 2>/dev/null | grep -q 'ok installed'; then
    echo "NOTE: SKIPPED: no throw-away root here ($(head -1 "$work/scratch.log")), and orvanta-cli is"
    echo "      installed on this system: the test does not replace or remove it."
  else
    echo "    (on this system: no throw-away root here: $(head -1 "$work/scratch.log"))"
    check "$arch: install and removal" bash "$here/install_remove.sh" "$deb"
  fi
}
gzip_n() {  # gzip_n FILE.gz SOURCE: FILE.gz is SOURCE, gzipped with neither name nor time
  same "$(od -An -tx1 -N8 "$1" | tr -d ' ')" 1f8b080000000000 && zcat "$1" | cmp - "$2"
}
for arch in "$host_arch" arm64 armhf; do
  start=$SECONDS
  check_deb "$arch"
  echo "   ($arch: $((SECONDS - start)) s)"
done
zip=$(one 'Orvanta-*-win32.zip') || { echo "FAILED: no Windows zip"; exit 1; }

echo "-- $zip ($(stat -c %s "$zip") bytes)"
top=$(basename "$zip" .zip)
check "the zip holds one folder with the programs, README and LICENSE" same \
  "$(cmake -E tar tf "$zip" | sort)" \
  "$(printf "$top/%s\n" LICENSE Orvanta.exe README.md orvanta-cli.exe)"
mkdir -p "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$zip")
for program in app/Orvanta.exe cli/orvanta-cli.exe; do
  check "${program#*/} is the shipped (tested) file" cmp "$work/zip/$top/${program#*/}" "$shipped/$program"
done
for text in README.md LICENSE; do
  check "$text with Windows line ends" same "$(grep -cv $'\r$' "$work/zip/$top/$text")" 0
  check "$text as in the source" cmp <(tr -d '\r' <"$work/zip/$top/$text") "$source_dir/$text"
done

finish
