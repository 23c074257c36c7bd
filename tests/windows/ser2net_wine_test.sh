#!/usr/bin/env bash
# The Windows build of orvanta-cli (Winsock) under Wine against the real ser2net, in front of a
# line read at 115,200 baud's pace: the exact frame through rfc2217:// and socket://, the speed
# set through RFC 2217, a refused connection.
# Usage: ser2net_wine_test.sh WINE_RUNNER ORVANTA_CLI_EXE PACED_LINE
set -u
runner=$1 exe=$2 paced_line=$3
tests=$(cd "$(dirname "$0")/.." && pwd)
. "$tests/cli/lib.sh"
. "$tests/cli/ser2net_lib.sh"
command -v ser2net >/dev/null || { echo "ser2net is not installed (scripts/setup.sh installs it)"; exit 1; }
[ -x "$paced_line" ] || { echo "no $paced_line: build the native preset first"; exit 1; }
cli() { "$runner" "$exe" "$@"; }

line=$work/line arrived=$work/arrived
"$paced_line" "$line" 11520 "$arrived" >"$work/paced.log" 2>&1 &
for _ in $(seq 100); do grep -q ready "$work/paced.log" 2>/dev/null && break; sleep 0.05; done
arrived_bytes() { stat -c %s "$arrived"; }
settle() {
  local last=-1
  while [ "$(arrived_bytes)" != "$last" ]; do last=$(arrived_bytes); sleep 0.4; done
}
start_server "$(readlink "$line")" "telnet(rfc2217),tcp,127.0.0.1,PORT" || exit 1
rfc=rfc2217://127.0.0.1:${ports[0]}

head -c 3000 /dev/zero | tr '\0' '\377' >"$work/ff.bin"
{ head -c 10000 /dev/urandom; head -c 5000 /dev/zero | tr '\0' '\377'; } >"$work/mixed.bin"
frame_of() {
  local n; n=$(stat -c %s "$1")
  printf "\\$(printf '%03o' $((n >> 8)))\\$(printf '%03o' $((n & 255)))"
  cat "$1"
}

for f in ff mixed; do
  settle
  before=$(arrived_bytes)
  cli send -p "$rfc" "Z:$work/$f.bin" >"$work/out" 2>"$work/err"; status=$?
  check "$f through $rfc: exit 0" [ $status -eq 0 ]
  [ $status -eq 0 ] || cat "$work/out" "$work/err"
  check "$f: says sent" contains "$work/out" "bytes to $rfc"
  settle
  tail -c +$((before + 1)) "$arrived" >"$work/got"
  frame_of "$work/$f.bin" >"$work/want"
  check "$f: exactly the frame arrived" cmp "$work/got" "$work/want"
done

# The speed is read while the send holds the connection: ser2net puts the line back once it ends.
cli send -q -p "$rfc" --baud 57600 "Z:$work/ff.bin" &
sender=$!
speed_seen_during $sender "$line" 57600 >"$work/stty"; seen=$?
wait $sender; status=$?
check "--baud 57600: exit 0" [ $status -eq 0 ]
check "--baud 57600 reaches the line" [ $seen -eq 0 ]
[ $seen -eq 0 ] || cat "$work/stty"
settle
stop_servers

closed=$(free_port)
timeout 60 "$runner" "$exe" send -p "rfc2217://127.0.0.1:$closed" "Z:$work/ff.bin" 2>"$work/err"; status=$?
check "refused: exit 1" [ $status -eq 1 ]
check "refused: says so" contains "$work/err" "port error: cannot connect to 127.0.0.1 port $closed: "

finish
