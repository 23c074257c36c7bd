#!/usr/bin/env bash
# `orvanta-cli receive` given what careless and hostile use gives it: numbers written oddly,
# reference and output files that are not what they seem or are the same file, links that are
# in use or are something else, stale bytes in a port, signals, and output that cannot be
# written. Each row: the exit status, quickly, the message, and what is left on disk.
# Usage: receive_hostile.sh ORVANTA_CLI LINEPAIR
set -u
cli=$1 linepair=$2
. "$(dirname "$0")/lib.sh"

head -c 1000 /dev/urandom >"$work/ref.bin"; cp "$work/ref.bin" "$work/ref.orig"
head -c 65536 /dev/urandom >"$work/too-big.bin"
mkdir "$work/folder"
mkfifo "$work/fifo"
echo "keep me" >"$work/existing"; cp "$work/existing" "$work/existing.orig"

# row NAME STATUS TEXT ARGS...: `orvanta-cli receive ARGS` must exit with STATUS within 5 s and
# say TEXT on stderr.
row() {
  local name=$1 want=$2 text=$3; shift 3
  timeout 5 "$cli" receive "$@" >"$work/out" 2>"$work/err"; local status=$?
  local ok=1
  [ $status -eq "$want" ] || { echo "$name: exit $status, want $want"; cat "$work/err"; ok=0; }
  if [ -n "$text" ]; then grep -qF -- "$text" "$work/err" || { echo "$name: no '$text' in:"; cat "$work/err"; ok=0; }; fi
  check "$name" [ $ok -eq 1 ]
}
# No file of the receiver's is left behind: no link, no temporary file.
nothing_left() { [ -z "$(find "$work" -name '*.orvanta-*')" ] && [ ! -L "$work/line" ]; }

# Numbers: finite, decimal, in range; anything else is a usage error at once.
for value in nan inf -1 1e9 0x10 "" 99999999999 1000001 ". " abc 0; do
  row "--timeout '$value'"  2 "--timeout" --virtual "$work/line" --timeout "$value"
done
for value in nan -inf -0.5 2e3 1000001; do
  row "--wait '$value'"     2 "--wait" --virtual "$work/line" --wait "$value"
done
check "no link made for a usage error" nothing_left

# The reference file: a regular file of at most 65,535 bytes, read with a bound, before anything
# is made or waited for.
row "--expect /dev/zero"    1 "/dev/zero is not a file" --virtual "$work/line" --expect /dev/zero
row "--expect a FIFO"       1 "is not a file" --virtual "$work/line" --expect "$work/fifo"
row "--expect a folder"     1 "is not a file" --virtual "$work/line" --expect "$work/folder"
row "--expect too large"    1 "is 65,536 bytes; a frame carries at most 65,535" --virtual "$work/line" --expect "$work/too-big.bin"
row "--expect missing"      1 "cannot read $work/missing" --virtual "$work/line" --expect "$work/missing"
check "nothing made for a bad reference" nothing_left

# The output file: checked before waiting, never the reference, the link or a device.
row "-o is --expect"        1 "itself; not writing" --virtual "$work/line" --expect "$work/ref.bin" -o "$work/ref.bin"
row "-o is --expect by another name" 1 "itself" --virtual "$work/line" --expect "$work/ref.bin" -o "$work/./folder/../ref.bin"
check "the reference is untouched" cmp -s "$work/ref.bin" "$work/ref.orig"
row "-o is the link"        1 "is the virtual line's link" --virtual "$work/line" -o "$work/line"
row "-o is /dev/null"       1 "/dev/null is not a regular file" --virtual "$work/line" -o /dev/null
check "/dev/null is still a device" [ -c /dev/null ]
row "-o a folder"           1 "is not a regular file" --virtual "$work/line" -o "$work/folder"
row "-o in no folder"       1 "the folder $work/nowhere does not exist" --virtual "$work/line" -o "$work/nowhere/got"
row "failed receive keeps -o"   1 "no frame arrived" --virtual "$work/line" --wait 0.2 -o "$work/existing"
check "the old output is untouched" cmp -s "$work/existing" "$work/existing.orig"
row "failed receive makes no -o" 1 "no frame arrived" --virtual "$work/line" --wait 0.2 -o "$work/new"
check "no half file" [ ! -e "$work/new" ]
check "nothing left behind" nothing_left

# A file replaced by a receive keeps its mode and owner; one with other hard links is refused
# up front, as the new file would take this name only.
receive_into() {  # receive_into FILE: one good frame received into FILE
  "$cli" receive --virtual "$work/line" --wait 10 -o "$1" >"$work/out" 2>&1 & receiver=$!
  for _ in $(seq 100); do [ -L "$work/line" ] && break; sleep 0.05; done
  "$cli" send -q -p "$work/line" "$work/ref.bin"
  wait $receiver
}
echo "private" >"$work/private"; chmod 600 "$work/private"
[ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$work/private"
owner_before=$(stat -c %U:%G "$work/private")
receive_into "$work/private"; status=$?
check "-o over a 0600 file: received" [ $status -eq 0 ]
check "-o over a 0600 file: the payload" cmp -s "$work/private" "$work/ref.bin"
check "-o over a 0600 file: still 0600" [ "$(stat -c %a "$work/private")" = 600 ]
check "-o over a file: its owner kept" [ "$(stat -c %U:%G "$work/private")" = "$owner_before" ]
echo "linked" >"$work/linked"; ln "$work/linked" "$work/other-name"
row "-o a file with another hard link" 1 "$work/linked has 2 hard links; not writing the payload over it" --virtual "$work/line" --wait 0.2 -o "$work/linked"
check "both names still the old file" bash -c "[ \"\$(cat '$work/linked')\" = linked ] && [ '$work/linked' -ef '$work/other-name' ]"
check "nothing left behind" nothing_left

# The link: never made over anything but a dangling link, never taken from a live receiver.
echo "my notes" >"$work/notes"; echo "more notes" >"$work/notes.new"
row "link over a file"      1 "$work/notes exists and is not a link" --virtual "$work/notes" --wait 0.1
check "the file stays" [ "$(cat "$work/notes")" = "my notes" ]
row "link beside notes.new" 1 "no frame arrived" --virtual "$work/notes2" --wait 0.1
check "notes.new stays" [ "$(cat "$work/notes.new")" = "more notes" ]
ln -s "$work/gone-device" "$work/stale"
row "a dangling link is replaced" 1 "no frame arrived" --virtual "$work/stale" --wait 0.2
check "and removed again" [ ! -L "$work/stale" ]
"$cli" receive --virtual "$work/line" --wait 10 -o "$work/live.bin" >"$work/live.out" 2>&1 &
live=$!
for _ in $(seq 100); do [ -L "$work/line" ] && break; sleep 0.05; done
row "a live link is refused" 1 "$work/line is in use: it links to /dev/pts/" --virtual "$work/line" --wait 0.1
"$cli" send -p "$work/line" "$work/ref.bin" >/dev/null 2>&1
wait $live; status=$?
check "the live receiver still works" [ $status -eq 0 ]
check "and got the frame" cmp -s "$work/live.bin" "$work/ref.bin"

# Signals: the link and the temporary file go, the status says which signal.
for signal in INT TERM HUP; do
  "$cli" receive --virtual "$work/line" -o "$work/sig.bin" >/dev/null 2>"$work/err" &
  receiver=$!
  for _ in $(seq 100); do [ -L "$work/line" ] && break; sleep 0.05; done
  kill -$signal $receiver
  wait $receiver; status=$?
  check "SIG$signal: exit $((128 + $(kill -l $signal)))" [ $status -eq $((128 + $(kill -l $signal))) ]
  check "SIG$signal: nothing left behind" nothing_left
  check "SIG$signal: no output file" [ ! -e "$work/sig.bin" ]
done

# A real port (-p): what was waiting in it before the receive began is no frame of it, and
# the receiver's messages never go onto the line, even with stderr closed.
"$linepair" "$work/a" "$work/b" >"$work/pair.log" 2>&1 &
for _ in $(seq 100); do grep -q ready "$work/pair.log" && break; sleep 0.05; done
printf '\000\005stale' >"$work/a"
waiting_in() {  # waiting_in TTY: the bytes that have arrived in TTY and not been read
  python3 -c 'import fcntl, os, struct, sys, termios
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
print(struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"0000"))[0])' "$1"
}
for _ in $(seq 200); do [ "$(waiting_in "$work/b")" -ge 7 ] && break; sleep 0.05; done
"$cli" receive -p "$work/b" --expect "$work/ref.bin" --wait 20 --timeout 0.3 >"$work/out" 2>&1 &
receiver=$!
# The receiver has dropped what was waiting once it waits for the line.
for _ in $(seq 200); do grep -q poll "/proc/$receiver/wchan" 2>/dev/null && break; sleep 0.05; done
"$cli" send -p "$work/a" "$work/ref.bin" >/dev/null 2>&1
wait $receiver; status=$?
check "stale input is dropped" [ $status -eq 0 ]
check "the frame after it matches" contains "$work/out" "matches $work/ref.bin"
( timeout 2 cat "$work/a" >"$work/echo" 2>/dev/null & "$cli" receive -p "$work/b" --wait 0.2 2>&-; echo $? >"$work/closed.status"; wait )
check "stderr closed: the failure still fails" [ "$(cat "$work/closed.status")" = 1 ]
check "stderr closed: no message on the line" [ ! -s "$work/echo" ]

# Output that cannot be written.
"$cli" receive --virtual "$work/line" >/dev/full 2>"$work/err" &
receiver=$!
for _ in $(seq 100); do [ -L "$work/line" ] && break; sleep 0.05; done
"$cli" send -p "$work/line" "$work/ref.bin" >/dev/null 2>&1
wait $receiver; status=$?
check "stdout full: exit 1" [ $status -eq 1 ]
check "stdout full: says so" contains "$work/err" "cannot write the output"

finish
