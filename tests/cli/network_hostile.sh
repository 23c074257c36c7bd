#!/usr/bin/env bash
# `orvanta-cli` against network servers that misbehave as no real one does (tests/tools'
# hostile_server and silent_listener): signals while a server keeps silent, a server that floods
# option offers, answers what was not asked or answers with another speed, one that never reads
# and never closes, and link-local addresses with a zone. Each row: the exit status and the
# message; the signal rows also that the stop comes at once, not at --connect-timeout's end.
# Usage: network_hostile.sh ORVANTA_CLI HOSTILE_SERVER SILENT_LISTENER
set -u
cli=$1 hostile_server=$2 silent_listener=$3
. "$(dirname "$0")/lib.sh"

head -c 20000 /dev/urandom >"$work/frame.bin"

# serve NAME COMMAND...: starts a server that prints its port, and sets port_NAME.
serve() {
  local name=$1; shift
  "$@" >"$work/$name.port" &
  for _ in $(seq 100); do [ -s "$work/$name.port" ] && break; sleep 0.05; done
  printf -v "port_$name" '%s' "$(cat "$work/$name.port")"
}
serve silent "$silent_listener"          # takes no connection: a connect waits
serve mute "$silent_listener" accept     # takes connections and never speaks nor reads
serve flood "$hostile_server" flood
serve extra "$hostile_server" extra-answer
serve speed "$hostile_server" wrong-speed

# connections PORT STATE: how many connections to PORT of 127.0.0.1 are in STATE (ss's names).
connections() { ss -Htn state "$2" "( dport = :$1 )" 2>/dev/null | wc -l; }
# await_connections PORT STATE N: until N connections are in that state (at most 10 s).
# The command has its stop signals set up before it connects.
await_connections() {
  for _ in $(seq 200); do [ "$(connections "$1" "$2")" -ge "$3" ] && return 0; sleep 0.05; done
  echo "no $3 connection(s) in state $2 to port $1"; return 1
}

# stop_row NAME SIGNAL PORT STATE N TEXT ARGS...: orvanta-cli ARGS, signalled once N of its
# connections to PORT are in STATE, must exit with 128 + the signal within 5 s of it (the
# server's silence would hold it an hour) and say TEXT.
stop_row() {
  local name=$1 signal=$2 port=$3 state=$4 n=$5 text=$6; shift 6
  # (The connections there before are not the command's: silent_listener keeps two of its own
  # waiting to fill its queue.)
  local before; before=$(connections "$port" "$state")
  "$cli" "$@" >"$work/out" 2>"$work/err" &
  local pid=$! want=$((128 + $(kill -l "$signal")))
  await_connections "$port" "$state" $((before + n))
  local start; start=$(date +%s%N)
  kill -"$signal" $pid
  timeout 20 tail --pid=$pid -f /dev/null || kill -KILL $pid
  wait $pid; local status=$?
  local took=$((($(date +%s%N) - start) / 1000000))
  check "$name: exit $want (got $status)" [ $status -eq $want ]
  check "$name: stopped within 5 s (took $took ms)" [ $took -lt 5000 ]
  check "$name: says so" contains "$work/err" "$text"
}

# Signals while a server keeps silent: during the negotiation, for send, receive and a send to
# several ports (each on its own thread, which no signal interrupts), and while connecting.
mute=rfc2217://127.0.0.1:$port_mute
for signal in INT TERM HUP; do
  stop_row "silent server, send, SIG$signal" $signal "$port_mute" established 1 \
    "stopped before anything went out to $mute; nothing was sent" \
    send -p "$mute" --connect-timeout 3600 "$work/frame.bin"
done
stop_row "silent server, receive, SIGINT" INT "$port_mute" established 1 \
  "stopped: 0 bytes of a frame had arrived" \
  receive -p "$mute" --connect-timeout 3600
stop_row "silent server, two ports, SIGTERM" TERM "$port_mute" established 2 \
  "sent to 0 of 2 ports; stopped before anything went out to $mute; nothing was sent" \
  send -p "$mute" -p "socket://127.0.0.1:$port_mute" --connect-timeout 3600 "$work/frame.bin"
stop_row "connecting, SIGINT" INT "$port_silent" syn-sent 1 \
  "stopped before anything went out to socket://127.0.0.1:$port_silent; nothing was sent" \
  send -p "socket://127.0.0.1:$port_silent" --connect-timeout 3600 "$work/frame.bin"
check "connecting, SIGINT: no system error" [ -z "$(grep -l "Interrupted system call" "$work/err")" ]

# A server that offers, without end, an option the client refuses, and reads nothing: the
# refusal goes once, memory stays bounded, and the time for the agreement runs out.
/usr/bin/time -f %M -o "$work/rss" timeout 30 "$cli" send -p "rfc2217://127.0.0.1:$port_flood" \
  --connect-timeout 2 "$work/frame.bin" >"$work/out" 2>"$work/err"; status=$?
rss=$(tail -n 1 "$work/rss")
check "flood of offers: exit 1" [ $status -eq 1 ]
check "flood of offers: says so" contains "$work/err" "did not agree to the COM-PORT option (RFC 2217) within 2 s"
# (About 3 MiB here, 16 under AddressSanitizer; each offer queued a reply before: 100 MiB in 2 s.)
check "flood of offers: peak memory under 48 MiB (was $rss KiB)" [ "$rss" -lt 49152 ]

# Answers that do not confirm the frame: one speed answer more than asked for while the frame
# goes out (and then nothing read), and the speed of the query behind the frame not the one set.
timeout 30 "$cli" send -p "rfc2217://127.0.0.1:$port_extra" "$work/frame.bin" >"$work/out" 2>"$work/err"; status=$?
check "an answer to no request: exit 1 (got $status)" [ $status -eq 1 ] || cat "$work/err"
check "an answer to no request: not sent" grep -qE "^sending .* failed after [0-9,]+ of 20,002 bytes: the server (sent an answer to no request|did not confirm that it had the frame)" "$work/err"
check "an answer to no request: nothing on stdout" [ ! -s "$work/out" ]
timeout 30 "$cli" send -p "rfc2217://127.0.0.1:$port_speed" "$work/frame.bin" >"$work/out" 2>"$work/err"; status=$?
check "another speed behind the frame: exit 1" [ $status -eq 1 ]
check "another speed behind the frame: says so" contains "$work/err" "the server's line was at 9,600 baud behind the frame, not at the 115,200 set"

# A raw server that takes the bytes into its buffers, never reads them and never closes: not
# sent, as the connection never closed cleanly.
timeout 30 "$cli" send -p "socket://127.0.0.1:$port_mute" "$work/frame.bin" >"$work/out" 2>"$work/err"; status=$?
check "raw server never reads nor closes: exit 1" [ $status -eq 1 ]
check "raw server never reads nor closes: says so" grep -qE "^sending .* failed after [0-9,]+ of 20,002 bytes: the server (did not end the connection within 3 s of the frame|stopped taking data)" "$work/err"

# Link-local addresses with their zone, as people write them and as URLs do: the zone reaches
# the resolver (lo has no such address, so the connection fails, or the resolver refuses the
# zone), and a malformed zone is a usage error.
for url in "socket://[fe80::1%lo]:$port_mute" "rfc2217://[fe80::1%25lo]:$port_mute"; do
  timeout 10 "$cli" send -p "$url" "$work/frame.bin" >"$work/out" 2>"$work/err"; status=$?
  check "$url: exit 1, not a usage error" [ $status -eq 1 ]
  check "$url: the zone reached the connection" grep -qE "port error: cannot (connect to fe80::1%lo port $port_mute|find fe80::1%lo): " "$work/err"
done
for zone in "" "%" "eth 0" $'\e[31m'; do
  timeout 10 "$cli" send -p "socket://[fe80::1%$zone]:$port_mute" "$work/frame.bin" >"$work/out" 2>"$work/err"; status=$?
  check "zone '${zone//$'\e'/ESC}': usage error" [ $status -eq 2 ]
  check "zone '${zone//$'\e'/ESC}': says so" grep -qE "zone after the %" "$work/err"
done
check "a bad zone is shown escaped" [ -z "$(grep -l $'\e' "$work/err")" ]

finish
