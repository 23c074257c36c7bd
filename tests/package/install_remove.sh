#!/usr/bin/env bash
# Installs the Debian package with apt-get as a user would, checks that the program, its manual
# page and its completion work from where the package put them, removes it again with apt-get,
# and checks that nothing of it stays behind. It changes the system it runs on: package_test.sh
# runs it in a throw-away root, or as root where the package is not installed (a fresh CI machine).
# A package of another architecture (given with the EMULATOR that runs its programs here, in a
# throw-away root only) brings that architecture to dpkg, and apt-get brings Debian's C library
# for it: its program runs under the emulator against the library it will have on the board.
# Usage: install_remove.sh FILE.deb [EMULATOR]
set -u
deb=$1 emulator=${2:-}
. "$(dirname "$0")/../cli/lib.sh"
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -q)
name=$(dpkg-deb -f "$deb" Package) version=$(dpkg-deb -f "$deb" Version)
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./\(.*[^/]\)$|/\1|p')
# apt's download sandbox reads the file as its own user: give it a copy that user can read.
chmod 755 "$work" && cp "$deb" "$work/" && chmod 644 "$work/${deb##*/}"

status() { dpkg-query -W -f='${Status}' "$name" 2>/dev/null; }
apt_get() {  # apt-get's output is shown when it fails
  "${apt[@]}" "$@" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; return 1; }
}
arch=$(dpkg-deb -f "$deb" Architecture) run=()
if [ -n "$emulator" ]; then
  run=("$emulator")
  take_architecture() { dpkg --add-architecture "$arch" && apt_get update; }
  check "dpkg takes $arch, apt-get reads its package lists" take_architecture
fi
check "apt-get install ./${deb##*/}" apt_get install "$work/${deb##*/}"
check "dpkg has it installed" [ "$(status)" = "install ok installed" ]
for file in $files; do check "$file installed" [ -f "$file" ]; done
check "the program runs from the PATH${emulator:+ (under $emulator)}" \
  [ "$("${run[@]}" "$(command -v orvanta-cli)" --version)" = "orvanta-cli $version" ]
# The installed program as sender and as receiver, on a virtual line: the exact frame arrives.
sends_a_frame() {
  local cli; cli=$(command -v orvanta-cli) || return 1
  head -c 3000 /dev/urandom >"$work/data.bin"
  "${run[@]}" "$cli" receive --virtual "$work/line" --expect "$work/data.bin" >"$work/recv.out" 2>&1 &
  local receiver=$!
  for _ in $(seq 200); do [ -L "$work/line" ] && break; sleep 0.05; done
  "${run[@]}" "$cli" send -q -p "$work/line" "$work/data.bin" && wait $receiver &&
    grep -qF "received 3,000 bytes" "$work/recv.out" || { cat "$work/recv.out"; return 1; }
}
check "the installed program sends a frame that its receiver takes whole" sends_a_frame
check "man finds the page" [ "$(man -w orvanta-cli)" = /usr/share/man/man1/orvanta-cli.1.gz ]
check "the page renders without a warning" \
  [ -z "$(MANWIDTH=80 man --warnings orvanta-cli 2>&1 >/dev/null)" ]
check "the completion completes the commands" bash -c \
  '. /usr/share/bash-completion/completions/orvanta-cli
   COMP_WORDS=(orvanta-cli se); COMP_CWORD=1; COMPREPLY=(); _orvanta_cli; [ "${COMPREPLY[*]}" = send ]'

check "apt-get remove $name" apt_get remove "$name"
# The package has no configuration files, so a removal leaves nothing for a purge either.
check "dpkg keeps nothing of it" [ -z "$(status | grep -v 'not-installed$')" ]
for file in $files; do check "$file removed" [ ! -e "$file" ]; done
check "its documentation folder removed" [ ! -e "/usr/share/doc/$name" ]

finish
