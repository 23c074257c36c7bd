#!/usr/bin/env bash
# orvanta-cli.exe under Wine sends to the native receiver (orvanta-cli receive) on a virtual
# line, reached through COM12 of the Wine prefix; and a port that will not open fails the send.
# usage: cli_send_wine.sh 32|64 RUNNER ORVANTA-CLI.EXE NATIVE-ORVANTA-CLI
set -u
bits=$1 runner=$2 exe=$3 receiver_cli=$4
. "$(dirname "$0")/../cli/lib.sh"
source "$(dirname "$0")/../../scripts/wine-env.sh" "$bits"
[ -x "$receiver_cli" ] || { echo "the native orvanta-cli is missing: $receiver_cli (build the native preset)"; exit 1; }
port=$WINEPREFIX/dosdevices/com12
[ -d "${port%/*}" ] || { echo "no Wine prefix at $WINEPREFIX: start scripts/wine-session.sh start $bits"; exit 1; }
no_port=$(readlink "$port")
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"; ln -sfn "${no_port:-$wine_state/no-port}" "$port"' EXIT

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

head -c 65535 /dev/urandom >"$work/largest.bin"
# The receiver makes its link only where nothing is in the way: the session's link of COM12 to
# an empty folder goes for the time of the test (the trap puts it back).
rm -f "$port"
"$receiver_cli" receive --virtual "$port" --wait 60 --expect "$work/largest.bin" -o "$work/got.bin" \
  >"$work/recv.out" 2>"$work/recv.err" &
receiver=$!
for _ in $(seq 100); do [ -L "$port" ] && break; sleep 0.05; done
"$runner" "$exe" send -p COM12 "$(windows_path "$work/largest.bin")" >"$work/send.out" 2>&1; status=$?
wait $receiver; rstatus=$?
check "send exit 0" [ $status -eq 0 ]
check "send says" contains "$work/send.out" "sent 65,535 bytes to COM12"
check "receive exit 0" [ $rstatus -eq 0 ]
check "receive matches" contains "$work/recv.out" "matches $work/largest.bin"
check "payload byte for byte" cmp -s "$work/largest.bin" "$work/got.bin"

# COM7 points at an empty folder: the send fails with the port's name, and says so in its status.
"$runner" "$exe" send -p COM7 "$(windows_path "$work/largest.bin")" >"$work/send.out" 2>&1; status=$?
check "unopenable port exit 1" [ $status -eq 1 ]
check "unopenable port named" contains "$work/send.out" "COM7"
finish
