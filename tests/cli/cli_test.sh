#!/usr/bin/env bash
# orvanta-cli end to end on a virtual line: send against receive, exit statuses, messages.
set -u
cli=$1
. "$(dirname "$0")/lib.sh"

# Starts a receiver on a virtual line at $work/line and waits until a sender can open it.
receive() {
  rm -f "$work/line"
  "$cli" receive --virtual "$work/line" "$@" >"$work/recv.out" 2>"$work/recv.err" &
  receiver=$!
  # Until the link is there or the receiver has gone: under Valgrind on a busy machine a start
  # can take many seconds.
  while kill -0 $receiver 2>/dev/null; do [ -L "$work/line" ] && return 0; sleep 0.05; done
  [ -L "$work/line" ] && return 0
  echo "receiver did not start"; cat "$work/recv.err"; return 1
}

head -c 4000 /dev/urandom >"$work/data.bin"
head -c 4000 /dev/urandom >"$work/other.bin"

# A whole frame arrives, matches, and is written out.
receive --expect "$work/data.bin" -o "$work/got.bin"
"$cli" send -p "$work/line" "$work/data.bin" >"$work/send.out" 2>&1; status=$?
wait $receiver; rstatus=$?
check "send exit 0" [ $status -eq 0 ]
check "receive exit 0" [ $rstatus -eq 0 ]
check "send says" contains "$work/send.out" "sent 4,000 bytes to $work/line"
check "receive says" contains "$work/recv.out" "received 4,000 bytes"
check "receive matches" contains "$work/recv.out" "matches $work/data.bin"
check "payload written" cmp -s "$work/data.bin" "$work/got.bin"

# The port comes from ORVANTA_PORT when -p is not given; a mismatch is found and located.
receive --expect "$work/other.bin"
ORVANTA_PORT="$work/line" "$cli" send "$work/data.bin" >/dev/null 2>&1
wait $receiver; rstatus=$?
check "mismatch exit 1" [ $rstatus -eq 1 ]
check "mismatch located" contains "$work/recv.out" "differs from $work/other.bin at offset"

# A frame that stops short is reported with what came of what was announced.
receive --timeout 0.3
printf '\000\012\001\002\003' >"$work/line"
wait $receiver; rstatus=$?
check "incomplete exit 1" [ $rstatus -eq 1 ]
check "incomplete says" contains "$work/recv.err" "incomplete frame: 3 of 10 bytes received"

# Nothing at all within --wait.
receive --wait 0.2
wait $receiver; rstatus=$?
check "no frame exit 1" [ $rstatus -eq 1 ]
check "no frame says" contains "$work/recv.err" "no frame arrived"

# Failures of the send: exit 1 with the reason; usage errors: exit 2, before anything is sent.
"$cli" send -p "$work/no-such-port" "$work/data.bin" 2>"$work/err"; status=$?
check "port error exit 1" [ $status -eq 1 ]
check "port error says" contains "$work/err" "$work/no-such-port port error: No such file or directory"
"$cli" send -p "$work/data.bin" "$work/other.bin" 2>"$work/err"; status=$?
check "not a port exit 1" [ $status -eq 1 ]
check "not a port says" contains "$work/err" "is not a serial port"
check "not a port untouched" [ "$(head -c 4000 "$work/data.bin" | cmp - "$work/data.bin" && echo same)" = same ]

usage() {  # usage ARGS...: must exit 2 (the time-out only ends a command that would hang; under
           # Valgrind on a busy machine even a usage error can take several seconds)
  ORVANTA_PORT= timeout 60 "$cli" "$@" >/dev/null 2>&1
  [ $? -eq 2 ] || { echo "not a usage error: $*"; return 1; }
}
check "no subcommand" usage
check "no port exit 2" usage send "$work/data.bin"
check "bad baud" usage send -p "$work/line" --baud 12 "$work/data.bin"
check "no file" usage send -p "$work/line"
check "port and virtual" usage receive -p x --virtual y
check "unknown option" usage send --bogus
# --connect-timeout takes seconds from 0.001 to 3,600; network names must be well formed. Each
# is refused as a usage error at once, before any connection is tried.
for value in 0 0.0000 -1 nan inf 1e3 99999999 3601 abc "" " 2" 0x10; do
  check "--connect-timeout '$value'" usage send -p socket://127.0.0.1:9 --connect-timeout "$value" "$work/data.bin"
  check "receive --connect-timeout '$value'" usage receive -p socket://127.0.0.1:9 --connect-timeout "$value"
done
for url in socket://127.0.0.1 socket://127.0.0.1: rfc2217://host:0 rfc2217://host:65536 \
           rfc2217://host:99999999999999999999 rfc2217://host:-5 "rfc2217://[::1:2217" \
           "rfc2217://::1]:2217" "socket://[]:1" "socket://[::1]" rfc2217://:2217 rfc2217:// \
           "socket://a b:1" "socket://host:1/path" "socket://host:1?x" telnet://host:23 \
           "socket://ho$(printf '\033')st:1"; do
  check "malformed $url" usage send -p "$url" "$work/data.bin"
  check "malformed $url (receive)" usage receive -p "$url"
done
ORVANTA_PORT=socket://nowhere "$cli" send "$work/data.bin" >/dev/null 2>"$work/err"; status=$?
check "malformed ORVANTA_PORT exit 2" [ $status -eq 2 ]
check "malformed ORVANTA_PORT says why" contains "$work/err" "socket://nowhere: no port: write HOST:PORT"

"$cli" --version >"$work/v"; check "version" contains "$work/v" "orvanta-cli 1."
"$cli" --help >"$work/h"; check "help has examples" contains "$work/h" "orvanta-cli send -p /dev/ttyUSB0"
check "help points to each command's help" contains "$work/h" "orvanta-cli COMMAND --help"
# Each command's help has its own examples and notes, and none of another command's.
"$cli" send --help >"$work/h"
check "send help names the network ports" contains "$work/h" "rfc2217://HOST:PORT"
check "send help has a network example" contains "$work/h" "orvanta-cli send -p socket://"
check "send help has a watch example" contains "$work/h" "orvanta-cli send --watch"
check "send help has no receive example" not_contains "$work/h" "orvanta-cli receive"
"$cli" receive --help >"$work/h"
check "receive help has its examples" contains "$work/h" "orvanta-cli receive -p /dev/ttyUSB1"
check "receive help has no send example" not_contains "$work/h" "orvanta-cli send"
"$cli" ports --help >"$work/h"
check "ports help has its example" contains "$work/h" "orvanta-cli ports"
check "ports help has no send example" not_contains "$work/h" "orvanta-cli send"

finish
