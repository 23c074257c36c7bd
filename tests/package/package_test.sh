#!/usr/bin/env bash
# The packages people install (scripts/package.sh makes them): the Debian package of orvanta-cli
# (its files, lintian's verdict, an install and a removal with apt-get) and the Windows zip (the
# shipped programs themselves, the README and the LICENSE).
# Usage: package_test.sh PACKAGE_DIR SHIPPED_BUILD_DIR   (build/packages build/windows-x86)
set -u
packages=$(cd "$1" && pwd) shipped=$(cd "$2" && pwd) || exit 1
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
deb=$(one 'orvanta-cli_*.deb') && zip=$(one 'Orvanta-*-win32.zip') || { echo "FAILED: no packages"; exit 1; }

echo "-- $deb ($(stat -c %s "$deb") bytes)"
version=$(dpkg-deb -f "$deb" Version)
check "package name" same "$(dpkg-deb -f "$deb" Package)" orvanta-cli
check "depends on the C library" grep -qE '^libc6 \(>= [0-9.]+\)$' <<<"$(dpkg-deb -f "$deb" Depends)"
check "the files, root's, with these modes" same \
  "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort -k3)" \
  "-rwxr-xr-x root/root ./usr/bin/orvanta-cli
-rw-r--r-- root/root ./usr/share/bash-completion/completions/orvanta-cli
-rw-r--r-- root/root ./usr/share/doc/orvanta-cli/README.md.gz
-rw-r--r-- root/root ./usr/share/doc/orvanta-cli/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/orvanta-cli/copyright
-rw-r--r-- root/root ./usr/share/man/man1/orvanta-cli.1.gz"
check "folders root's and 0755" same "$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ {print $1, $2}' | sort -u)" \
  "drwxr-xr-x root/root"

tree=$work/deb
dpkg-deb -x "$deb" "$tree"
doc=$tree/usr/share/doc/orvanta-cli
check "program stripped of symbols, debug information and notes" \
  same "$(readelf -SW "$tree/usr/bin/orvanta-cli" | grep -oE ' \.(symtab|debug_[a-z]+|comment)' || true)" ""
check "program runs" same "$("$tree/usr/bin/orvanta-cli" --version)" "orvanta-cli $version"
gzip_n() {  # gzip_n FILE.gz SOURCE: FILE.gz is SOURCE, gzipped with neither name nor time
  same "$(od -An -tx1 -N8 "$1" | tr -d ' ')" 1f8b080000000000 && zcat "$1" | cmp - "$2"
}
check "manual page gzipped (-n)" gzip_n "$tree/usr/share/man/man1/orvanta-cli.1.gz" "$source_dir/cli/orvanta-cli.1"
check "README gzipped (-n)" gzip_n "$doc/README.md.gz" "$source_dir/README.md"
check "completion as in the source" cmp "$tree/usr/share/bash-completion/completions/orvanta-cli" \
  "$source_dir/cli/orvanta-cli.bash"
check "changelog gzipped (-n), latest entry is this version" \
  grep -q "^orvanta-cli ($version) " <(zcat "$doc/changelog.gz" | head -1)
check "changelog.gz has neither name nor time" same "$(od -An -tx1 -N8 "$doc/changelog.gz" | tr -d ' ')" \
  1f8b080000000000
check "copyright names the holder" grep -qx 'Copyright: 2026 Kestiva' "$doc/copyright"
check "copyright holds the LICENSE's terms" same \
  "$(sed -n '/^License: Expat$/,$p' "$doc/copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')" \
  "$(sed -n '/^Permission/,$p' "$source_dir/LICENSE")"

echo "-- lintian"
lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1
lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/    /'
check "lintian finds no error" [ $lintian_status -eq 0 ]
check "the program is hardened as a distribution's are (fortified calls, read-only relocations)" \
  [ -z "$(grep -E 'hardening-no-|no-fortify-functions' "$work/lintian.log")" ]

echo "-- apt-get install and remove"
# A throw-away root: this system as a copy-on-write overlay, in a mount namespace of its own;
# whatever apt-get and dpkg change there goes when the namespace ends.
scratch_root() {  # scratch_root COMMAND...: runs COMMAND as root in a throw-away copy of this system
  mkdir -p "$work/root/upper" "$work/root/work" "$work/root/merged" "$work/stage"
  unshare --mount --propagation private bash -ec '
    root=$1; shift
    mount -t overlay overlay -o "lowerdir=/,upperdir=$root/upper,workdir=$root/work" "$root/merged"
    mount -t proc proc "$root/merged/proc"
    mount --rbind /dev "$root/merged/dev"
    exec chroot "$root/merged" "$@"' scratch "$work/root" "$@"
}
# The test and the package go in as copies, as the worktree need not be on the root filesystem.
mkdir -p "$work/stage/package" "$work/stage/cli"
cp "$here/install_remove.sh" "$work/stage/package/" && cp "$here/../cli/lib.sh" "$work/stage/cli/"
cp "$deb" "$work/stage/"
if [ "$(id -u)" -ne 0 ]; then
  echo "NOTE: SKIPPED: installing and removing the package with apt-get needs root, which this user"
  echo "      is not (CI runs as root). To run it: sudo $0 $*"
elif scratch_root true 2>"$work/scratch.log"; then
  echo "    (in a throw-away root: this system under an overlay, discarded afterwards)"
  check "install and removal" scratch_root bash "$work/stage/package/install_remove.sh" "$work/stage/${deb##*/}"
elif dpkg-query -W -f='${Status}' orvanta-cli 2>/dev/null | grep -q 'ok installed'; then
  echo "NOTE: SKIPPED: no throw-away root here ($(head -1 "$work/scratch.log")), and orvanta-cli is"
  echo "      installed on this system: the test does not replace or remove it."
else
  echo "    (on this system: no throw-away root here: $(head -1 "$work/scratch.log"))"
  check "install and removal" bash "$here/install_remove.sh" "$deb"
fi

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
