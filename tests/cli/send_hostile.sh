#!/usr/bin/env bash
# `orvanta-cli send` given what careless and hostile use gives it: files and ports that are not
# what they seem, numbers written oddly, names with control characters, output that cannot be
# written, and signals. Each row: the exit status, the message, what reached the line, and that
# the port and the line settings are left as they were.
# Usage: send_hostile.sh ORVANTA_CLI PACED_LINE
set -u
cli=$1 paced_line=$2
. "$(dirname "$0")/lib.sh"

# A line read fast (for the silent-line rows) and one read at 115,200 baud's pace (signals).
start_line() {  # start_line LINK RATE OUT
  "$paced_line" "$1" "$2" "$3" >"$3.log" 2>&1 &
  for _ in $(seq 100); do grep -q ready "$3.log" 2>/dev/null && return 0; sleep 0.05; done
  echo "paced_line did not start"; return 1
}
fast=$work/fast slow=$work/slow
start_line "$fast" 10000000 "$work/fast.got"
start_line "$slow" 11520 "$work/slow.got"
arrived() { stat -c %s "$1"; }

head -c 1000 /dev/urandom >"$work/small.bin"
head -c 65535 /dev/urandom >"$work/big.bin"
head -c 65536 /dev/urandom >"$work/too-big.bin"
mkdir "$work/folder"
mkfifo "$work/fifo"
head -c 100 /dev/urandom >"$work/disk.img"; cp "$work/disk.img" "$work/disk.orig"
unreadable=$work/unreadable.bin; cp "$work/small.bin" "$unreadable"; chmod 000 "$unreadable"

# row NAME STATUS TEXT ARGS...: `orvanta-cli ARGS` must exit with STATUS within 10 s, say TEXT on
# stderr (TEXT empty: say nothing there), send nothing to the fast line, and leave its speed as
# it was (9600, set before each row).
row() {
  local name=$1 want=$2 text=$3; shift 3
  stty -F "$fast" 9600 2>/dev/null
  local before; before=$(arrived "$work/fast.got")
  timeout 10 "$cli" "$@" >"$work/out" 2>"$work/err"; local status=$?
  sleep 0.1
  local ok=1
  [ $status -eq "$want" ] || { echo "$name: exit $status, want $want"; ok=0; }
  if [ -n "$text" ]; then grep -qF -- "$text" "$work/err" || { echo "$name: no '$text' in:"; cat "$work/err"; ok=0; }; fi
  [ "$(arrived "$work/fast.got")" = "$before" ] || { echo "$name: bytes reached the line"; ok=0; }
  stty -F "$fast" | grep -q "speed 9600 baud" || { echo "$name: the line's settings were changed"; ok=0; }
  check "$name" [ $ok -eq 1 ]
}

# Files that are not what they seem: refused before the port is touched.
row "missing file"        1 "cannot open $work/missing.bin: No such file or directory; nothing was sent" send -p "$fast" "$work/missing.bin"
row "file is a folder"    1 "is not a file (a folder, device or pipe)" send -p "$fast" "$work/folder"
row "file is a FIFO"      1 "is not a file" send -p "$fast" "$work/fifo"
row "file is /dev/zero"   1 "is not a file" send -p "$fast" /dev/zero
row "file is the port"    1 "is not a file" send -p "$fast" "$fast"
row "file too large"      1 "is 65,536 bytes; one upload carries at most 65,535" send -p "$fast" "$work/too-big.bin"
if [ "$(id -u)" -eq 0 ]; then
  # root reads anything: the row runs as nobody
  check "unreadable file (as nobody)" [ "$(setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$cli" send -p "$fast" "$unreadable" 2>&1 >/dev/null)" = "cannot open $unreadable: Permission denied; nothing was sent" ]
else
  row "unreadable file"   1 "Permission denied" send -p "$fast" "$unreadable"
fi

# Ports that are not serial lines.
row "port is /dev/ptmx"   1 "/dev/ptmx is not a serial port; nothing was sent" send -p /dev/ptmx "$work/small.bin"
row "port is /dev/null"   1 "is not a serial port" send -p /dev/null "$work/small.bin"
row "port is a file"      1 "is not a serial port" send -p "$work/disk.img" "$work/small.bin"
check "a file given as the port is untouched" cmp -s "$work/disk.img" "$work/disk.orig"
row "port missing"        1 "$work/nope port error: No such file or directory" send -p "$work/nope" "$work/small.bin"
# The user's own terminal (script gives the command one): refused, and left as it was.
if [ -n "${ORVANTA_EMULATOR:-}" ]; then
  echo "SKIPPED: send_hostile.sh, own terminal and another session's: the emulator ($ORVANTA_EMULATOR) does not say which session a terminal belongs to (qemu-user 7.2 passes TIOCGSID on but does not copy the answer back)"
else
  script -qec "stty -g >$work/tty.before; $cli send -p /dev/tty $work/small.bin 2>$work/tty.err; echo \$? >$work/tty.status; stty -g >$work/tty.after" /dev/null >/dev/null
  check "own terminal refused" [ "$(cat "$work/tty.status")" = 1 ]
  check "own terminal says so" contains "$work/tty.err" "/dev/tty is not a serial port"
  check "own terminal left as it was" cmp -s "$work/tty.before" "$work/tty.after"
  # The same terminal by its own name, from a session of its own (setsid): still the screen of
  # the session whose terminal it is.
  script -qec "stty -g >$work/tty.before; setsid -w $cli send -p \$(tty) $work/small.bin 2>$work/tty.err; echo \$? >$work/tty.status; stty -g >$work/tty.after" /dev/null >"$work/tty.screen"
  check "another session's terminal refused" [ "$(cat "$work/tty.status")" = 1 ]
  check "another session's terminal says so" contains "$work/tty.err" "is not a serial port; nothing was sent"
  check "another session's terminal: nothing on the screen" [ "$(stat -c %s "$work/tty.screen")" -lt 100 ]
  check "another session's terminal left as it was" cmp -s "$work/tty.before" "$work/tty.after"
fi
python3 -c "import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])" "$work/socket"
row "port is a Unix socket" 1 "$work/socket is not a serial port; nothing was sent" send -p "$work/socket" "$work/small.bin"
row "port is a Unix socket, --wait-port" 1 "$work/socket is not a serial port" send --wait-port=5 -p "$work/socket" "$work/small.bin"

# Numbers as people write them: decimal only, and nothing out of range.
for baud in 12345 0x1C200 -9600 +9600 9600.5 "" " 9600" 1e5 99999999999999999999; do
  row "--baud '$baud'"    2 "unsupported baud rate" send -p "$fast" --baud "$baud" "$work/small.bin"
done
"$cli" send -q -p "$fast" --baud 0115200 "$work/small.bin"; status=$?
check "--baud 0115200 is 115200" [ $status -eq 0 ]
check "--baud 0115200 applied as 115200" bash -c "stty -F '$fast' | grep -q 'speed 115200 baud'"

# --wait-port takes its seconds after "=" in decimal; the same port twice, and an empty name in
# ORVANTA_PORT, are usage errors.
for seconds in "" x -1 +1 1e3 0x10 nan inf " 1" 1000001 1.5.5; do
  row "--wait-port='$seconds'" 2 "--wait-port: takes seconds from 0 to 1000000" send --wait-port="$seconds" -p "$fast" "$work/small.bin"
done
row "a port named twice"  2 "names a port already given" send -p "$fast" -p "$fast" "$work/small.bin"
ORVANTA_PORT=" " row "ORVANTA_PORT a blank name, shown" 1 '\x20 port error: No such file or directory' send "$work/small.bin"
ORVANTA_PORT="$fast," row "ORVANTA_PORT, trailing comma" 2 "ORVANTA_PORT has an empty name" send "$work/small.bin"
row "--watch, file a FIFO" 1 "is not a file" send --watch -p "$fast" "$work/fifo"
row "--watch, file missing" 1 "No such file or directory; nothing was sent" send --watch -p "$fast" "$work/missing.bin"
row "several ports, file too large" 1 "is 65,536 bytes" send -p "$fast" -p "$slow" "$work/too-big.bin"

# Names with control characters are shown escaped: nothing reaches the terminal raw.
row "port name escaped"   1 'no\x1B[31mport port error' send -p "$work/no"$'\e[31m'"port" "$work/small.bin"
check "no raw escape" [ -z "$(grep -l $'\e' "$work/err")" ]
row "file name escaped"   1 'missing\nline.bin' send -p "$fast" "$work/missing"$'\n'"line.bin"

# Output that cannot be written fails the command; a closed stream takes no message onto a line.
"$cli" send -p "$fast" "$work/small.bin" >/dev/full 2>"$work/err"; status=$?
check "stdout full: exit 1" [ $status -eq 1 ]
check "stdout full: says so" contains "$work/err" "cannot write the output: No space left on device"
"$cli" send -p "$fast" "$work/small.bin" >&- 2>"$work/err"; status=$?
check "stdout closed: exit 1" [ $status -eq 1 ]
# A pipe whose reader is gone before the send starts (`| true` could still be reading).
mkfifo "$work/gone"
exec {reader}<>"$work/gone" {writer}>"$work/gone"
exec {reader}<&-
"$cli" send -p "$fast" "$work/small.bin" >&$writer 2>"$work/err"; status=$?
exec {writer}>&-
check "stdout a closed pipe: exit 1, not killed by SIGPIPE" [ $status -eq 1 ]
check "stdout a closed pipe: says so" contains "$work/err" "cannot write the output: Broken pipe"
# A stop while the result waits on a full pipe is a stop: 130, not a failure to write.
mkfifo "$work/full"
exec {full}<>"$work/full"
head -c 65536 /dev/zero >&$full  # as much as the pipe holds: the next write waits
for watch in "" --watch; do
  before=$(arrived "$work/fast.got")
  "$cli" send $watch -p "$fast" "$work/small.bin" >&$full 2>"$work/err" & sender=$!
  for _ in $(seq 200); do grep -q pipe_write "/proc/$sender/wchan" 2>/dev/null && break; sleep 0.05; done
  check "stdout a full pipe ${watch:-send}: the frame went out" [ "$(arrived "$work/fast.got")" -ge $((before + 1002)) ]
  kill -INT $sender
  for _ in $(seq 200); do kill -0 $sender 2>/dev/null || break; sleep 0.05; done
  kill -KILL $sender 2>/dev/null  # still waiting on the pipe: the stop was not seen
  wait $sender; status=$?
  check "stdout a full pipe ${watch:-send}, SIGINT: exit 130" [ $status -eq 130 ]
done
exec {full}>&-
before=$(arrived "$work/fast.got")
"$cli" send -p "$fast" --baud 12345 "$work/small.bin" 2>&-; status=$?
check "stderr closed: usage error still exits 2" [ $status -eq 2 ]

# Signals stop a send as Ctrl-C does: how far it got, 128 + the signal, the port free at once,
# also for a user without root's right to ignore the port's exclusive flag.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  chmod o+rw "$(readlink -f "$slow")" "$work/big.bin" "$work/small.bin"
  chmod o+rx "$work"
fi
# A port another program holds (its lock, no exclusive flag) is refused, and the refusal leaves
# the port as it was: an unprivileged program can open it afterwards.
(exec 9<"$(readlink -f "$slow")"; flock -x 9; exec sleep 30) & holder=$!
inode=$(stat -c %i "$(readlink -f "$slow")")
for _ in $(seq 200); do grep -q ":$inode " /proc/locks && break; sleep 0.05; done
"${as_user[@]}" "$cli" send -p "$slow" "$work/small.bin" >/dev/null 2>"$work/err"; status=$?
check "held by another's lock: refused" [ $status -eq 1 ]
check "held by another's lock: says so" contains "$work/err" "$slow port error: the port is in use by another program"
check "held by another's lock: others can still open it" "${as_user[@]}" sh -c "exec 3<>'$slow'"
kill $holder; wait $holder 2>/dev/null

settle() {  # until the paced reader has taken what the line still held (no growth for 0.5 s)
  local last=-1 now
  for _ in $(seq 40); do now=$(arrived "$1"); [ "$now" = "$last" ] && return 0; last=$now; sleep 0.5; done
}
for signal in INT TERM HUP; do
  settle "$work/slow.got"
  before=$(arrived "$work/slow.got")
  "${as_user[@]}" "$cli" send -p "$slow" "$work/big.bin" >"$work/out" 2>"$work/err" &
  sender=$!
  for _ in $(seq 200); do [ "$(arrived "$work/slow.got")" -gt "$before" ] && break; sleep 0.05; done
  kill -$signal $sender
  wait $sender; status=$?
  want=$((128 + $(kill -l $signal)))
  check "SIG$signal: exit $want" [ $status -eq $want ]
  check "SIG$signal: says how far" grep -qE "^stopped: [1-9][0-9,]* of 65,537 bytes went out to $slow; the target has an incomplete frame$" "$work/err"
  "${as_user[@]}" "$cli" send -p "$slow" "$work/small.bin" >/dev/null 2>"$work/err"; status=$?
  check "SIG$signal: the port is free at once" [ $status -eq 0 ]
done

# Signals end a watch that waits for a change as Ctrl-C does: 128 + the signal, the port free.
for signal in INT TERM HUP; do
  before=$(arrived "$work/fast.got")
  "$cli" send -q --watch -p "$fast" "$work/small.bin" >/dev/null 2>"$work/err" &
  watcher=$!
  # its first send is done: it waits for a change, its signals caught
  for _ in $(seq 200); do [ "$(arrived "$work/fast.got")" -ge $((before + 1002)) ] && break; sleep 0.05; done
  kill -$signal $watcher
  wait $watcher; status=$?
  check "watch, SIG$signal: exit $((128 + $(kill -l $signal)))" [ $status -eq $((128 + $(kill -l $signal))) ]
  "$cli" send -q -p "$fast" "$work/small.bin"; status=$?
  check "watch, SIG$signal: the port is free" [ $status -eq 0 ]
done

finish
