#!/usr/bin/env bash
# orvanta-cli as people use it at a terminal, on a line read at 115,200 baud's pace (11,520
# bytes a second): progress, Ctrl-C part-way through a send, --baud, --quiet and --verbose, and
# the port list of this machine.
# Usage: terminal_test.sh ORVANTA_CLI PACED_LINE
set -u
cli=$1 paced_line=$2
. "$(dirname "$0")/lib.sh"

line=$work/line arrived=$work/arrived
"$paced_line" "$line" 11520 "$arrived" >"$work/paced.log" 2>&1 &
for _ in $(seq 100); do grep -q ready "$work/paced.log" 2>/dev/null && break; sleep 0.05; done
arrived_bytes() { stat -c %s "$arrived"; }
# The pacer reads what the line still holds after a send: wait until nothing more arrives (a
# fixed pause is too short on a busy machine).
settle() {
  local last=-1 now
  for _ in $(seq 40); do
    now=$(arrived_bytes)
    [ "$now" = "$last" ] && return 0
    last=$now
    sleep 0.5
  done
}

head -c 65535 /dev/urandom >"$work/big.bin"
head -c 1000 /dev/urandom >"$work/small.bin"

# At a terminal (script gives the send one) progress rises to 100% on one line, redrawn in
# place, at the pace of the line.
before=$(arrived_bytes)
script -qec "$cli send -p $line $work/big.bin" /dev/null >"$work/tty.out"; status=$?
check "paced send exit 0" [ $status -eq 0 ]
tr -d '\r' <"$work/tty.out" | grep -c ' bytes  ' >"$work/progress-lines"
check "progress is one line" [ "$(cat "$work/progress-lines")" = 1 ]
tr '\r' '\n' <"$work/tty.out" | sed -n 's/.* bytes  \([0-9]*\)%.*/\1/p' >"$work/percents"
check "progress rises" sort -n -c "$work/percents"
check "progress ends at 100%" [ "$(tail -n 1 "$work/percents")" = 100 ]
check "progress in several steps" [ "$(sort -u "$work/percents" | wc -l)" -ge 4 ]
check "final line" grep -qE '65,537 of 65,537 bytes  100%  [0-9.]+ kB/s  in [0-9.]+ s' "$work/tty.out"
check "paced, not instant" grep -qE 'in ([3-9]|[1-9][0-9])\.[0-9] s' "$work/tty.out"
check "then the result" contains "$work/tty.out" "sent 65,535 bytes to $line"
settle
tail -c +$((before + 3)) "$arrived" >"$work/payload"
check "the frame arrived whole" cmp -s "$work/payload" "$work/big.bin"

# Off a terminal: the result and no progress.
"$cli" send -p "$line" "$work/small.bin" >"$work/out" 2>"$work/err"; status=$?
check "send exit 0" [ $status -eq 0 ]
check "no progress off a terminal" [ ! -s "$work/err" ]
check "result on stdout" contains "$work/out" "sent 1,000 bytes to $line"

# With the terminal's output suspended (Ctrl-S) the send goes on: its progress waits for the
# screen, the line does not. A SIGTERM once the frame has left whole makes it no less whole; the
# result shows when output resumes (Ctrl-Q), and the status is the stop's.
settle
before=$(arrived_bytes)
rm -f "$work/sender.pid" "$work/ctrl-s.status"
{
  printf '\023'  # Ctrl-S
  for _ in $(seq 200); do [ -s "$work/sender.pid" ] && break; sleep 0.05; done
  for _ in $(seq 400); do [ "$(arrived_bytes)" -ge $((before + 65537)) ] && break; sleep 0.05; done
  arrived_bytes >"$work/arrived-while-suspended"
  kill -TERM "$(cat "$work/sender.pid")"
  printf '\021'  # Ctrl-Q
  for _ in $(seq 200); do [ -s "$work/ctrl-s.status" ] && break; sleep 0.05; done
} | script -qfec "$cli send -p $line $work/big.bin & echo \$! >$work/sender.pid; wait \$!; echo \$? >$work/ctrl-s.status" /dev/null >"$work/tty.out"
check "output suspended: the frame went out meanwhile" \
  [ "$(cat "$work/arrived-while-suspended")" -ge $((before + 65537)) ]
check "output suspended: then the result" contains "$work/tty.out" "sent 65,535 bytes to $line"
check "output suspended: not called incomplete" [ -z "$(grep -l "incomplete frame" "$work/tty.out")" ]
check "output suspended, SIGTERM: exit 143" [ "$(cat "$work/ctrl-s.status")" = 143 ]

# Ctrl-C part-way: exit 130, how much went out, the rest never sent, the port free at once.
settle
before=$(arrived_bytes)
"$cli" send -p "$line" "$work/big.bin" >"$work/out" 2>"$work/err" &
sender=$!
for _ in $(seq 100); do [ "$(arrived_bytes)" -gt "$before" ] && break; sleep 0.05; done
sleep 0.5
kill -INT $sender
wait $sender; status=$?
check "Ctrl-C exit 130" [ $status -eq 130 ]
check "Ctrl-C says how far" grep -qE "^stopped: [1-9][0-9,]* of 65,537 bytes went out to $line; the target has an incomplete frame$" "$work/err"
"$cli" send -p "$line" "$work/small.bin" >/dev/null 2>&1; status=$?
check "the port is free at once" [ $status -eq 0 ]
settle
check "the rest never went out" [ $(($(arrived_bytes) - before)) -lt 65537 ]

# --baud: the line runs at the rate asked for; an unsupported rate sends nothing.
for rate in 9600 57600 230400; do
  "$cli" send -p "$line" --baud $rate "$work/small.bin" >/dev/null 2>&1
  stty -F "$line" >"$work/stty"
  check "--baud $rate" contains "$work/stty" "speed $rate baud"
done
"$cli" send -p "$line" "$work/small.bin" >/dev/null 2>&1
stty -F "$line" >"$work/stty"
check "115200 by default" contains "$work/stty" "speed 115200 baud"
settle
before=$(arrived_bytes)
"$cli" send -p "$line" --baud 12345 "$work/small.bin" >/dev/null 2>"$work/err"; status=$?
check "unsupported rate exit 2" [ $status -eq 2 ]
check "unsupported rate says" contains "$work/err" "unsupported baud rate 12345"
sleep 0.3
check "unsupported rate sends nothing" [ "$(arrived_bytes)" = "$before" ]

# --quiet says nothing but errors, even at a terminal; --verbose adds the port and the line.
script -qec "$cli send -q -p $line $work/small.bin" /dev/null >"$work/tty.out"; status=$?
check "quiet exit 0" [ $status -eq 0 ]
check "quiet says nothing" [ ! -s "$work/tty.out" ]
"$cli" --quiet send -p "$work/no-such-port" "$work/small.bin" 2>"$work/err"; status=$?
check "quiet still reports errors" contains "$work/err" "$work/no-such-port port error"
"$cli" send -v --baud 57600 -p "$line" "$work/small.bin" >"$work/out" 2>"$work/err"
check "verbose names the port" contains "$work/err" "port: $line  no device information"
check "verbose gives the line" contains "$work/err" "line: 57,600 baud, 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS off"
check "verbose still sends" contains "$work/out" "sent 1,000 bytes"
"$cli" -q -v send -p "$line" "$work/small.bin" >/dev/null 2>&1; status=$?
check "quiet and verbose: usage error" [ $status -eq 2 ]

# The ports of this machine: exit 0 whatever it has, one port a line.
"$cli" ports >"$work/out" 2>"$work/err"; status=$?
check "ports exit 0" [ $status -eq 0 ]
check "one port a line" [ -z "$(grep -vE '^/dev/tty(USB|ACM|S|AMA)[0-9]+( \(busy\))?(  .*)?$' "$work/out")" ]
[ -s "$work/out" ] || check "says none" contains "$work/err" "no serial ports found"
# A machine with none: hide the serial devices of sysfs in a mount namespace, where we may.
if unshare -m true 2>/dev/null; then
  unshare -m sh -c 'mount -t tmpfs none /sys/class/tty && exec "$0" ports' "$cli" \
    >"$work/out" 2>"$work/err"; status=$?
  check "no ports exit 0" [ $status -eq 0 ]
  check "no ports: stdout empty" [ ! -s "$work/out" ]
  check "no ports: says so" contains "$work/err" "no serial ports found"
else
  echo "note: no mount namespace here; a machine without ports is not imitated"
fi

finish
