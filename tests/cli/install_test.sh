#!/usr/bin/env bash
# What `cmake --install` gives: the program, its manual page where man finds it, and its bash
# completion; the page and the completion must know every option the program has.
# Usage: install_test.sh BUILD_DIR [EMULATOR...]   (a cross build's program runs under EMULATOR)
set -u
build=$1; shift
. "$(dirname "$0")/lib.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cli=$prefix/bin/orvanta-cli
page=$prefix/share/man/man1/orvanta-cli.1
completion=$prefix/share/bash-completion/completions/orvanta-cli
check "program installed" [ -x "$cli" ]
if [ $# -gt 0 ]; then  # the installed program under the emulator, also as the completion calls it
  printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$*" "$cli" >"$work/orvanta-cli" && chmod +x "$work/orvanta-cli"
  cli=$work/orvanta-cli
fi
check "man finds the page" [ "$(man -M "$prefix/share/man" -w orvanta-cli 2>/dev/null)" = "$page" ]
check "page renders without a warning" [ -z "$(groff -man -Tutf8 -ww -z "$page" 2>&1)" ]
check "completion installed" [ -f "$completion" ]

# The long options of the program and of each command, as --help lists them.
options() { "$cli" "$@" --help | sed -n '/^Options:/,/^$/p' | grep -oE -- '--[a-z][a-z-]*' | sort -u; }

. "$completion"
complete_words() {  # complete_words WORD...: what the completion offers for the last word
  COMP_WORDS=("$cli" "$@"); COMP_CWORD=$(($# )); COMPREPLY=()
  _orvanta_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}
for command in "" ports send receive; do
  for option in $(options $command); do
    check "page has ${command:-orvanta-cli} $option" grep -qF -- "${option//-/\\-}" "$page"
    check "completion offers ${command:-orvanta-cli} $option" \
      grep -qxF -- "$option" <(complete_words $command -)
  done
done
check "completion offers the commands" \
  [ "$(complete_words "" | grep -vE '^-' | tr '\n' ' ')" = "ports receive send " ]
check "completion offers rates" [ "$(complete_words send --baud 57)" = 57600 ]
# One table of rates: the program's (as --help lists it), the page's and the completion's agree.
help_rates=$("$cli" send --help | sed -n 's/.*--baud RATE .*one of: //p')
page_rates=$(sed -n '/rates: begin/,/rates: end/p' "$page" | grep -v '^\.')
completion_rates=$(complete_words send --baud "" | sort -n | tr '\n' ' ' | sed 's/ $//')
check "the page lists the program's rates" [ "$page_rates" = "$help_rates" ]
check "the completion offers the program's rates" [ "$completion_rates" = "$help_rates" ]
check "the rates are there" [ -n "$help_rates" ]
check "completion offers this machine's ports" \
  [ "$(complete_words send -p "")" = "$("$cli" -q ports | cut -d' ' -f1 | sort -u)" ]

finish
