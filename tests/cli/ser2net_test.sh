#!/usr/bin/env bash
# orvanta-cli against the real ser2net, in front of a line read at 115,200 baud's pace: the exact
# frame through socket:// and rfc2217://, the speed set through RFC 2217, a server that refuses
# the option or goes away mid-send, a refused connection, a name that does not resolve, Ctrl-C,
# and receive through a server. The server listens on free ports of 127.0.0.1 only.
# Usage: ser2net_test.sh ORVANTA_CLI PACED_LINE LINEPAIR SILENT_LISTENER
set -u
cli=$1 paced_line=$2 linepair=$3 silent_listener=$4
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/ser2net_lib.sh"
command -v ser2net >/dev/null || { echo "ser2net is not installed (scripts/setup.sh installs it)"; exit 1; }
echo "$(ser2net -v 2>&1 | head -n 1)"

line=$work/line arrived=$work/arrived
"$paced_line" "$line" 11520 "$arrived" >"$work/paced.log" 2>&1 &
for _ in $(seq 100); do grep -q ready "$work/paced.log" 2>/dev/null && break; sleep 0.05; done
device=$(readlink "$line")
arrived_bytes() { stat -c %s "$arrived"; }
settle() {  # waits until the paced reader has taken what the line still holds
  local last=-1
  while [ "$(arrived_bytes)" != "$last" ]; do last=$(arrived_bytes); sleep 0.4; done
}

start_server "$device" "tcp,127.0.0.1,PORT" "telnet(rfc2217),tcp,127.0.0.1,PORT" || exit 1
raw=socket://127.0.0.1:${ports[0]} rfc=rfc2217://127.0.0.1:${ports[1]}

# The files: empty, 0xFF alone, a run of 0xFF, 0xFF doubled already, mixed, and the largest,
# half of it 0xFF.
printf '' >"$work/empty.bin"
printf '\377' >"$work/ff1.bin"
head -c 3000 /dev/zero | tr '\0' '\377' >"$work/ff3000.bin"
printf '\377\377\377\372\054\001\377\360\r\n\r\000' >"$work/telnet-like.bin"
head -c 20000 /dev/urandom >"$work/random.bin"
{ head -c 32768 /dev/urandom; head -c 32767 /dev/zero | tr '\0' '\377'; } >"$work/big.bin"

grouped() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }
frame_of() {  # the frame of a file: its size as two bytes, high first, then the bytes
  local n; n=$(stat -c %s "$1")
  printf "\\$(printf '%03o' $((n >> 8)))\\$(printf '%03o' $((n & 255)))"
  cat "$1"
}

for url in "$raw" "$rfc"; do
  for f in empty ff1 ff3000 telnet-like random big; do
    settle
    before=$(arrived_bytes)
    "$cli" send -p "$url" "$work/$f.bin" >"$work/out" 2>"$work/err"; status=$?
    check "$url $f: exit 0" [ $status -eq 0 ]
    check "$url $f: says sent" contains "$work/out" "sent $(grouped "$(stat -c %s "$work/$f.bin")") bytes to $url"
    settle
    tail -c +$((before + 1)) "$arrived" >"$work/got"
    frame_of "$work/$f.bin" >"$work/want"
    check "$url $f: exactly the frame arrived" cmp "$work/got" "$work/want"
  done
done

# A send through RFC 2217 lasts as long as the line takes the frame: the answer behind the
# last byte, then the frame's time on the line.
settle
start=$(date +%s%N)
"$cli" send -q -p "$rfc" "$work/big.bin"; status=$?
took=$((($(date +%s%N) - start) / 1000000))
check "64 KiB through RFC 2217: exit 0" [ $status -eq 0 ]
check "64 KiB through RFC 2217 takes the line's time (5.69 s), took $took ms" \
  [ $took -ge 5600 ] && [ $took -lt 9000 ]

# The speed set through RFC 2217 is the line's while the frame goes out (ser2net may put the
# line back as it was once the connection ends).
for rate in 57600 9600 115200; do
  before=$(arrived_bytes)
  "$cli" send -p "$rfc" --baud $rate "$work/ff3000.bin" >/dev/null 2>&1 &
  sender=$!
  speed_seen_during $sender "$line" $rate >"$work/stty"; seen=$?
  wait $sender; status=$?
  check "--baud $rate: exit 0" [ $status -eq 0 ]
  check "--baud $rate reaches the line" [ $seen -eq 0 ]
  [ $seen -eq 0 ] || cat "$work/stty"
  settle
done

# Progress at a terminal counts what the server has taken, and ends at 100%.
script -qec "$cli send -p $rfc $work/random.bin" /dev/null >"$work/tty.out"; status=$?
check "progress: exit 0" [ $status -eq 0 ]
check "progress: final line" grep -qE '20,002 of 20,002 bytes  100%' "$work/tty.out"
settle

# Ctrl-C part-way: exit 130 and how far it got; the next send goes through.
for url in "$rfc" "$raw"; do
  "$cli" send -p "$url" "$work/big.bin" >"$work/out" 2>"$work/err" &
  sender=$!
  sleep 1
  kill -INT $sender
  wait $sender; status=$?
  check "$url Ctrl-C: exit 130" [ $status -eq 130 ]
  check "$url Ctrl-C: says how far" grep -qE "^stopped: ([1-9][0-9,]* of 65,537 bytes went out to $url; the target has an incomplete frame|before anything went out)" "$work/err"
  settle
  "$cli" send -q -p "$url" "$work/ff1.bin"; status=$?
  check "$url after Ctrl-C: the next send goes" [ $status -eq 0 ]
  settle
done

# A connection refused, and a name that does not resolve: exit 1 with the reason, at once.
closed_port=$(free_port)
for url in "socket://127.0.0.1:$closed_port" "rfc2217://127.0.0.1:$closed_port" "rfc2217://[::1]:$closed_port"; do
  timeout 10 "$cli" send -p "$url" "$work/ff1.bin" 2>"$work/err"; status=$?
  check "$url refused: exit 1" [ $status -eq 1 ]
  check "$url refused: says so" grep -qE "^$(sed 's/[][]/\\&/g' <<<"$url") port error: cannot connect to .* port $closed_port: (Connection refused|Cannot assign requested address|Network is unreachable)" "$work/err"
done
timeout 10 "$cli" send -p "rfc2217://no-such-host.invalid:2217" "$work/ff1.bin" 2>"$work/err"; status=$?
check "unresolvable: exit 1" [ $status -eq 1 ]
check "unresolvable: says so" contains "$work/err" "port error: cannot find no-such-host.invalid: "

# A host that does not answer: the connection times out after 3 s, or --connect-timeout; a
# server that takes the connection and never answers the option, likewise.
"$silent_listener" >"$work/silent.port" &
for _ in $(seq 50); do [ -s "$work/silent.port" ] && break; sleep 0.05; done
silent=$(cat "$work/silent.port")
for timing in "3:" "0.5:--connect-timeout 0.5"; do
  seconds=${timing%%:*} option=${timing#*:}
  start=$(date +%s%N)
  timeout 20 "$cli" send -p "socket://127.0.0.1:$silent" $option "$work/ff1.bin" 2>"$work/err"; status=$?
  took=$((($(date +%s%N) - start) / 1000000))
  check "no answer ($seconds s): exit 1" [ $status -eq 1 ]
  check "no answer ($seconds s): says so" contains "$work/err" "port $silent: Connection timed out (after $seconds s)"
  check "no answer ($seconds s): gives up in time, took $took ms" \
    awk -v t=$took -v s=$seconds 'BEGIN { exit !(t >= s * 1000 - 50 && t < s * 1000 + 1500) }'
done
"$silent_listener" accept >"$work/hung.port" &
for _ in $(seq 50); do [ -s "$work/hung.port" ] && break; sleep 0.05; done
timeout 20 "$cli" send -p "rfc2217://127.0.0.1:$(cat "$work/hung.port")" --connect-timeout 0.5 \
  "$work/ff1.bin" 2>"$work/err"; status=$?
check "hung server: exit 1" [ $status -eq 1 ]
check "hung server: says so" contains "$work/err" "the server did not agree to the COM-PORT option (RFC 2217) within 0.5 s"

# A server that does not run the COM-PORT option (plain Telnet): refused, nothing sent.
start_server "$device" "telnet,tcp,127.0.0.1,PORT" || exit 1
settle
before=$(arrived_bytes)
"$cli" send -p "rfc2217://127.0.0.1:${ports[0]}" "$work/random.bin" 2>"$work/err"; status=$?
check "no COM-PORT option: exit 1" [ $status -eq 1 ]
check "no COM-PORT option: says so" contains "$work/err" "refuses the COM-PORT option"
sleep 0.5
check "no COM-PORT option: nothing sent" [ "$(arrived_bytes)" = "$before" ]
stop_servers

# The server goes away mid-send: exit 1 with how far it got.
for kind in "tcp,127.0.0.1,PORT" "telnet(rfc2217),tcp,127.0.0.1,PORT"; do
  start_server "$device" "$kind" || exit 1
  case $kind in telnet*) url=rfc2217://127.0.0.1:${ports[0]} ;; *) url=socket://127.0.0.1:${ports[0]} ;; esac
  settle
  "$cli" send -p "$url" "$work/big.bin" >"$work/out" 2>"$work/err" &
  sender=$!
  sleep 1
  stop_servers
  timeout 20 tail --pid=$sender -f /dev/null; wait $sender; status=$?
  check "$url server gone: exit 1" [ $status -eq 1 ]
  check "$url server gone: says so" grep -qE "^sending .* to $url failed after [0-9,]+ of 65,537 bytes: " "$work/err"
  # A second at 11,520 bytes a second: the line cannot have carried the whole frame.
  check "$url server gone: not all of it counted" grep -qvE "failed after 65,537 of" "$work/err"
  settle
done

# receive through a server: a sender on one end of a cable, ser2net on the other.
"$linepair" "$work/a" "$work/b" >"$work/linepair.log" 2>&1 &
for _ in $(seq 100); do grep -q ready "$work/linepair.log" 2>/dev/null && break; sleep 0.05; done
# (A server for each: ser2net refuses a connection while it still closes the device for the
# one before.)
for kind in "tcp,127.0.0.1,PORT" "telnet(rfc2217),tcp,127.0.0.1,PORT"; do
  start_server "$(readlink "$work/b")" "$kind" || exit 1
  case $kind in telnet*) url=rfc2217://127.0.0.1:${ports[0]} ;; *) url=socket://127.0.0.1:${ports[0]} ;; esac
  "$cli" receive -p "$url" --wait 10 --expect "$work/ff3000.bin" >"$work/recv.out" 2>"$work/recv.err" &
  receiver=$!
  sleep 1
  "$cli" send -q -p "$work/a" "$work/ff3000.bin"
  wait $receiver; status=$?
  check "receive $url: exit 0" [ $status -eq 0 ]
  [ $status -eq 0 ] || cat "$work/recv.out" "$work/recv.err"
  check "receive $url: matches" contains "$work/recv.out" "matches $work/ff3000.bin"
done
stop_servers

finish
