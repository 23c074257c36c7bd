#!/usr/bin/env bash
# send to several ports at once, on virtual lines: all good, one missing, one busy, one whose
# reader goes away mid-frame, one that stalls, the same port twice. Each row: the exit status,
# the summary, and the exact bytes on each line.
# Usage: several_ports_test.sh ORVANTA_CLI PACED_LINE
set -u
cli=$1 paced_line=$2
. "$(dirname "$0")/lib.sh"

start_lines() {  # start_lines N LINK RATE OUT: lines LINK1.. read into OUT1..; sets lines_pid
  rm -f "$4.log"
  "$paced_line" -n "$1" "$2" "$3" "$4" >"$4.log" 2>&1 &
  lines_pid=$!
  for _ in $(seq 100); do grep -q ready "$4.log" 2>/dev/null && return 0; sleep 0.05; done
  echo "paced_line did not start"; return 1
}
size() { stat -c %s "$1" 2>/dev/null || echo 0; }
held() {  # held LINK: until the lock taken on LINK's device shows in /proc/locks
  local inode; inode=$(stat -c %i "$(readlink -f "$1")")
  for _ in $(seq 200); do grep -q ":$inode " /proc/locks && return 0; sleep 0.05; done
}
settle() {  # settle OUT...: until the readers have taken what their lines still held
  local last=-1 now
  for _ in $(seq 40); do now=$(stat -c %s "$@" | tr '\n' ' '); [ "$now" = "$last" ] && return 0; last=$now; sleep 0.5; done
}

# Three lines read fast, and two read at 115,200 baud's pace.
start_lines 3 "$work/l" 10000000 "$work/got"; fast_pid=$lines_pid
start_lines 2 "$work/s" 11520 "$work/slow"; slow_pid=$lines_pid
l1=$work/l1 l2=$work/l2 l3=$work/l3 s1=$work/s1 s2=$work/s2
head -c 6000 /dev/urandom >"$work/data.bin"
{ printf '\027\160'; cat "$work/data.bin"; } >"$work/frame"   # 6,000 = 0x1770
: >"$work/nothing"

# row NAME STATUS SUMMARY EXPECT... -- ARGS...: `orvanta-cli send ARGS data.bin` exits with
# STATUS and prints SUMMARY; then each line named in EXPECT (LINE=frame or LINE=nothing) got
# exactly that since the row began.
row() {
  local name=$1 want=$2 summary=$3; shift 3
  local expect=() before=()
  while [ "$1" != -- ]; do expect+=("$1"); shift; done; shift
  for e in "${expect[@]}"; do before+=("$(size "$work/got${e:1:1}")"); done
  timeout 20 "$cli" send "$@" "$work/data.bin" >"$work/out" 2>"$work/err"; local status=$?
  local i=0
  for e in "${expect[@]}"; do  # the readers may still be writing what their lines carried
    local need=$((before[i] + $(size "$work/${e#*=}")))
    for _ in $(seq 200); do [ "$(size "$work/got${e:1:1}")" -ge $need ] && break; sleep 0.05; done
    i=$((i + 1))
  done
  sleep 0.3  # room for stray bytes, which would be a fault
  local ok=1
  [ $status -eq "$want" ] || { echo "$name: exit $status, want $want"; cat "$work/err"; ok=0; }
  grep -qF -- "$summary" "$work/out" "$work/err" || { echo "$name: no '$summary' in:"; cat "$work/out" "$work/err"; ok=0; }
  local i=0
  for e in "${expect[@]}"; do
    local n=${e:1:1} what=${e#*=}
    tail -c +$((before[i] + 1)) "$work/got$n" | cmp -s - "$work/$what" ||
      { echo "$name: line $n did not get $what"; ok=0; }
    i=$((i + 1))
  done
  check "$name" [ $ok -eq 1 ]
}

row "all good"        0 "sent to 3 of 3 ports" l1=frame l2=frame l3=frame -- -p "$l1" -p "$l2" -p "$l3"
check "all good: one line per port, in order" \
  [ "$(grep -c '^sent 6,000 bytes to ' "$work/out")" = 3 -a "$(sed -n 2p "$work/out")" = "sent 6,000 bytes to $l2" ]
row "one missing"     1 "sent to 2 of 3 ports; $work/nope port error: No such file or directory" \
    l1=frame l3=frame -- -p "$l1" -p "$work/nope" -p "$l3"
(exec 9<"$(readlink -f "$l2")"; flock -x 9; exec sleep 30) & holder=$!  # another sender's hold
held "$l2"
row "one busy"        1 "sent to 2 of 3 ports; $l2 port error: the port is in use by another program" \
    l1=frame l2=nothing l3=frame -- -p "$l1" -p "$l2" -p "$l3"
kill $holder 2>/dev/null; wait $holder 2>/dev/null
ORVANTA_PORT="$l1,$l2,$l3" row "ORVANTA_PORT between commas" 0 "sent to 3 of 3 ports" l1=frame l2=frame l3=frame --
ln -s "$l1" "$work/alias"
for twice in "-p $l1 -p $l1" "-p $l1 -p $work/alias" "-p $l2 -p $l1 -p $l2"; do
  # shellcheck disable=SC2086
  row "the same port twice ($twice)" 2 "names a port already given" l1=nothing l2=nothing -- $twice
done
ORVANTA_PORT="$l1,,$l2" row "ORVANTA_PORT with an empty name" 2 "ORVANTA_PORT has an empty name" l1=nothing l2=nothing --

# A reader that goes away mid-frame fails that port only; the others get the whole frame at once.
head -c 65535 /dev/urandom >"$work/big.bin"
rm -f "$work/r.got"
"$paced_line" "$work/r" 11520 "$work/r.got" >"$work/r.log" 2>&1 & reader=$!
for _ in $(seq 100); do grep -q ready "$work/r.log" 2>/dev/null && break; sleep 0.05; done
before1=$(size "$work/got1"); before2=$(size "$work/got2")
"$cli" send -p "$l1" -p "$work/r" -p "$l2" "$work/big.bin" >"$work/out" 2>"$work/err" & sender=$!
for _ in $(seq 200); do [ "$(size "$work/r.got")" -gt 0 ] && break; sleep 0.05; done
# The others are read fast: they have the whole frame while the paced line is still mid-frame.
for _ in $(seq 200); do
  [ "$(size "$work/got1")" -ge $((before1 + 65537)) ] && [ "$(size "$work/got2")" -ge $((before2 + 65537)) ] && break
  sleep 0.05
done
check "reader gone mid-frame: no waiting for the others" [ "$(size "$work/r.got")" -lt 65537 ]
kill $reader; wait $reader 2>/dev/null
wait $sender; status=$?
{ printf '\377\377'; cat "$work/big.bin"; } >"$work/bigframe"
check "reader gone mid-frame: exit 1" [ $status -eq 1 ]
check "reader gone mid-frame: says how far" \
  grep -qE "^sending $work/big.bin to $work/r failed after [1-9][0-9,]* of 65,537 bytes: Input/output error$" "$work/err"
check "reader gone mid-frame: summary" contains "$work/err" "sent to 2 of 3 ports; sending"
check "reader gone mid-frame: the others got it whole" \
  bash -c "tail -c +$((before1 + 1)) '$work/got1' | cmp -s - '$work/bigframe' && tail -c +$((before2 + 1)) '$work/got2' | cmp -s - '$work/bigframe'"

# A stalled reader holds its send until the user stops it; the others are done meanwhile, and
# Ctrl-C ends the stalled one with 130, its port free at once.
before=$(size "$work/got3")
kill -STOP $slow_pid
"$cli" send -p "$s1" -p "$l3" "$work/big.bin" >"$work/out" 2>"$work/err" & sender=$!
for _ in $(seq 200); do [ "$(size "$work/got3")" -ge $((before + 65537)) ] && break; sleep 0.05; done
check "stalled: the other line got the frame meanwhile" \
  bash -c "tail -c +$((before + 1)) '$work/got3' | cmp -s - '$work/bigframe'"
kill -INT $sender; wait $sender; status=$?
kill -CONT $slow_pid
check "stalled, Ctrl-C: the other port sent" contains "$work/out" "sent 65,535 bytes to $l3"
check "stalled, Ctrl-C: exit 130" [ $status -eq 130 ]
check "stalled, Ctrl-C: says how far" grep -qE "^stopped: [0-9,]+ of 65,537 bytes went out to $s1" "$work/err"
check "stalled, Ctrl-C: summary" contains "$work/err" "sent to 1 of 2 ports; stopped"
"$cli" send -q -p "$s1" "$work/data.bin"; status=$?
check "stalled, Ctrl-C: the port is free at once" [ $status -eq 0 ]

# A watch to several ports judges "already sent" per port, from what each got whole: a port
# whose send failed gets the next version, even one that another port has already.
wlog=$work/w.log
lines_in() { grep -cE "^[0-9:]+ .*$1" "$wlog"; }
wait_lines() {  # wait_lines TEXT N: until the watch has printed N lines holding TEXT
  for _ in $(seq 400); do [ "$(lines_in "$1")" -ge "$2" ] && return 0; sleep 0.05; done; return 1
}
head -c 2000 /dev/urandom >"$work/v1"; head -c 2500 /dev/urandom >"$work/v2"
cp "$work/v1" "$work/w.bin"
"$cli" send --watch -p "$l1" -p "$l2" "$work/w.bin" >"$wlog" 2>&1 & watcher=$!
wait_lines "sent to 2 of 2 ports" 1
(exec 9<"$(readlink -f "$l2")"; flock -x 9; exec sleep 30) & holder=$!
held "$l2"
cp "$work/v2" "$work/w.new"; mv "$work/w.new" "$work/w.bin"
wait_lines "sent to 1 of 2 ports" 1
kill $holder; wait $holder 2>/dev/null
cp "$work/v1" "$work/w.new"; mv "$work/w.new" "$work/w.bin"
check "watch, back to a version: both ports get it" wait_lines "sent to 2 of 2 ports" 2
check "watch, back to a version: not called the same" [ "$(lines_in "not sent again")" = 0 ]
(exec 9<"$(readlink -f "$l2")"; flock -x 9; exec sleep 30) & holder=$!
held "$l2"
cp "$work/v2" "$work/w.new"; mv "$work/w.new" "$work/w.bin"
wait_lines "sent to 1 of 2 ports" 2
kill $holder; wait $holder 2>/dev/null
settle "$work/got1" "$work/got2"
before1=$(size "$work/got1"); before2=$(size "$work/got2")
cat "$work/v2" >"$work/w.bin"  # the same bytes again: only the port that failed needs them
check "watch, the same bytes: sent to the port that failed" wait_lines "sent 2,500 bytes to $l2" 1
check "watch, the same bytes: not to the one that has them" \
  contains "$wlog" "$l1 has these 2,500 bytes already; not sent again"
for _ in $(seq 200); do [ "$(size "$work/got2")" -ge $((before2 + 2502)) ] && break; sleep 0.05; done
sleep 0.3  # room for stray bytes, which would be a fault
check "watch, the same bytes: nothing more on the line that has them" [ "$(size "$work/got1")" = "$before1" ]
check "watch, the same bytes: the frame on the other" [ "$(size "$work/got2")" = $((before2 + 2502)) ]
kill -INT $watcher; wait $watcher

# A watch never waits for ever on one port: a port that takes nothing is given up as stalled
# once the frame's line time and the grace have passed, and the next version goes out to the
# others at once.
kill -STOP $slow_pid
cp "$work/big.bin" "$work/w.bin"
before=$(size "$work/got3")
"$cli" send --watch -p "$s1" -p "$l3" "$work/w.bin" >"$wlog" 2>&1 & watcher=$!
wait_lines "stalled" 1 || wait_lines "stalled" 1 || wait_lines "stalled" 1  # 60 s at most
check "watch, a stalled port: given up as stalled" grep -qE \
  "^[0-9:]+ sending $work/w.bin to $s1 failed after [0-9,]+ of 65,537 bytes: nothing left the port for 10.6 s; it has stalled$" "$wlog"
check "watch, a stalled port: the other got the frame" \
  bash -c "tail -c +$((before + 1)) '$work/got3' | cmp -s - '$work/bigframe'"
cp "$work/data.bin" "$work/w.new"; mv "$work/w.new" "$work/w.bin"
for _ in $(seq 200); do [ "$(size "$work/got3")" -ge $((before + 65537 + 6002)) ] && break; sleep 0.05; done
check "watch, a stalled port: the next version reaches the other at once" \
  bash -c "tail -c +$((before + 65537 + 1)) '$work/got3' | cmp -s - '$work/frame'"
kill -INT $watcher; wait $watcher; status=$?
kill -CONT $slow_pid
check "watch, a stalled port: Ctrl-C still ends it with 130" [ $status -eq 130 ]

# SIGTERM during a send to two paced lines stops both: 143, each says how far.
settle "$work/slow1" "$work/slow2"
before1=$(size "$work/slow1"); before2=$(size "$work/slow2")
"$cli" send -p "$s1" -p "$s2" "$work/big.bin" >"$work/out" 2>"$work/err" & sender=$!
for _ in $(seq 200); do  # signalled once the frame flows on both lines
  [ "$(size "$work/slow1")" -gt "$before1" ] && [ "$(size "$work/slow2")" -gt "$before2" ] && break
  sleep 0.05
done
kill -TERM $sender; wait $sender; status=$?
check "SIGTERM, two ports: exit 143" [ $status -eq 143 ]
check "SIGTERM, two ports: both stopped" [ "$(grep -c '^stopped: .* of 65,537 bytes went out' "$work/err")" = 2 ]

# At a terminal: one progress line per port, redrawn in place, then the results.
sleep 1
script -qec "$cli send -p $s1 -p $s2 -p $work/nope $work/big.bin" /dev/null >"$work/tty.out"
check "terminal: redrawn in place" grep -qF $'\e[3A' "$work/tty.out"
check "terminal: a line per port" \
  bash -c "tr '\r' '\n' <'$work/tty.out' | grep -qE '^$s2  +65,537 of 65,537 bytes  100%'"
check "terminal: then the summary" contains "$work/tty.out" "sent to 2 of 3 ports"

# Output that cannot be written fails the command, though every port got the frame.
"$cli" send -p "$l1" -p "$l2" "$work/data.bin" >/dev/full 2>"$work/err"; status=$?
check "stdout full: exit 1" [ $status -eq 1 ]
check "stdout full: says so" contains "$work/err" "cannot write the output"

kill $fast_pid $slow_pid
finish
