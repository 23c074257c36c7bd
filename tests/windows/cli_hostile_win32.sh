#!/usr/bin/env bash
# orvanta-cli.exe under Wine given what Windows users get wrong: device names as the file or the
# port (NUL, CON, COM3 as FILE), a disk file as the port, numbers written oddly, the reference
# file as the output. COM2 is one end of the session's virtual cable, COM3 the other.
# Usage: cli_hostile_win32.sh RUNNER ORVANTA_CLI_EXE
set -u
runner=$1 cli=$2
. "$(dirname "$0")/../cli/lib.sh"

head -c 500 /dev/urandom >"$work/f.bin"
head -c 100 /dev/urandom >"$work/disk.img"; cp "$work/disk.img" "$work/disk.orig"
win() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }  # the host's root is drive Z: under Wine

row() {  # row NAME STATUS TEXT ARGS...
  local name=$1 want=$2 text=$3; shift 3
  timeout 60 "$runner" "$cli" "$@" >"$work/out" 2>"$work/err"; local status=$?
  local ok=1
  [ $status -eq "$want" ] || { echo "$name: exit $status, want $want"; cat "$work/err"; ok=0; }
  grep -qF -- "$text" "$work/err" || { echo "$name: no '$text' in:"; cat "$work/err"; ok=0; }
  check "$name" [ $ok -eq 1 ]
}

row "port NUL"              1 "NUL is not a serial port; nothing was sent" send -p NUL "$(win "$work/f.bin")"
row "port a disk file"      1 "is not a serial port" send -p "$(win "$work/disk.img")" "$(win "$work/f.bin")"
check "the disk file is untouched" cmp -s "$work/disk.img" "$work/disk.orig"
row "file NUL"              1 "NUL is not a file" send -p COM2 NUL
row "file nul.txt"          1 "nul.txt is not a file" send -p COM2 nul.txt
row "file CON"              1 "CON is not a file" send -p COM2 CON
row "file COM3"             1 "COM3 is not a file" send -p COM2 COM3
row "file in a folder, aux" 1 "is not a file" send -p COM2 'C:\windows\aux.bin'
row "--baud 0x1C200"        2 "unsupported baud rate" send -p COM2 --baud 0x1C200 "$(win "$work/f.bin")"
row "--timeout nan"         2 "--timeout" receive -p COM3 --timeout nan
row "-o is --expect"        1 "itself" receive -p COM3 --expect "$(win "$work/f.bin")" -o "$(win "$work/f.bin")"
row "--virtual"             1 "Windows does not have" receive --virtual line
row "port name escaped"     1 'COM\x1B[2J port error' send -p "COM"$'\e'"[2J" "$(win "$work/f.bin")"

finish
