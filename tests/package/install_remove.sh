#!/usr/bin/env bash
# Installs the Debian package with apt-get as a user would, checks that the program, its manual
# page and its completion work from where the package put them, removes it again with apt-get,
# and checks that nothing of it stays behind. It changes the system it runs on: package_test.sh
# runs it in a throw-away root, or as root where the package is not installed (a fresh CI machine).
# Usage: install_remove.sh FILE.deb
set -u
deb=$1
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
check "apt-get install ./${deb##*/}" apt_get install "$work/${deb##*/}"
check "dpkg has it installed" [ "$(status)" = "install ok installed" ]
for file in $files; do check "$file installed" [ -f "$file" ]; done
check "the program runs from the PATH" [ "$(orvanta-cli --version)" = "orvanta-cli $version" ]
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
