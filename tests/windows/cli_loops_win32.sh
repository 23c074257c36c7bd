#!/usr/bin/env bash
# orvanta-cli.exe under Wine: several COM ports at once, --wait-port, --watch and Ctrl-C. COM8 and
# COM9 are pointed at two lines read fast (paced_line -n 2, whose bytes are kept), COM6 at a line
# that appears late, COM4 is the session's line read at 115,200 baud's pace, COM7 no port.
# Usage: cli_loops_win32.sh RUNNER ORVANTA_CLI_EXE PACED_LINE
set -u
runner=$1 cli=$2 paced_line=$3
. "$(dirname "$0")/../cli/lib.sh"

dev=$WINEPREFIX/dosdevices
no_port=$(readlink "$dev/com7")
restore() { for n in 6 8 9; do ln -sfn "$no_port" "$dev/com$n"; done; }
trap 'restore; kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
win() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
size() { stat -c %s "$1" 2>/dev/null || echo 0; }
frame_of() { printf "\\$(printf %03o $(($(size "$1") >> 8)))\\$(printf %03o $(($(size "$1") & 255)))"; cat "$1"; }

"$paced_line" -n 2 "$work/w" 10000000 "$work/got" >"$work/lines.log" 2>&1 &
for _ in $(seq 100); do grep -q ready "$work/lines.log" && break; sleep 0.05; done
ln -sfn "$work/w1" "$dev/com8"; ln -sfn "$work/w2" "$dev/com9"
head -c 3000 /dev/urandom >"$work/f.bin"
frame_of "$work/f.bin" >"$work/frame"

# Several ports: each gets the frame whole, one that is no port fails alone.
"$runner" "$cli" send -p COM8 -p COM7 -p COM9 "$(win "$work/f.bin")" >"$work/out" 2>"$work/err"; status=$?
# until the line's reader has written down what it took
for _ in $(seq 200); do [ "$(size "$work/got1")" -ge "$(size "$work/frame")" ] && [ "$(size "$work/got2")" -ge "$(size "$work/frame")" ] && break; sleep 0.05; done
check "several: exit 1" [ $status -eq 1 ]
check "several: summary" contains "$work/err" "sent to 2 of 3 ports; COM7 port error"
check "several: COM8 got the frame" cmp -s "$work/got1" "$work/frame"
check "several: COM9 got the frame" cmp -s "$work/got2" "$work/frame"
for twice in "COM8 com8" "COM8 \\\\.\\COM8"; do
  set -- $twice
  "$runner" "$cli" send -p "$1" -p "$2" "$(win "$work/f.bin")" >/dev/null 2>"$work/err"; status=$?
  check "the same port twice ($twice): exit 2" [ $status -eq 2 ]
done

# --wait-port: COM6 leads to a line that is made after a second, or never.
ln -sfn "$work/late" "$dev/com6"
"$runner" "$cli" send --wait-port=0.5 -p COM6 "$(win "$work/f.bin")" >/dev/null 2>"$work/err"; status=$?
check "wait-port, never: exit 1" [ $status -eq 1 ]
check "wait-port, never: says so" contains "$work/err" "COM6 did not appear within 0.5 s; nothing was sent"
# The line is made once the sender says it waits for it (under emulated Wine the program alone
# can take longer than a second to start), and the sender must then find it.
"$runner" "$cli" send --wait-port=60 -p COM6 "$(win "$work/f.bin")" >"$work/out" 2>"$work/err" &
sender=$!
while kill -0 $sender 2>/dev/null && ! grep -q "waiting for COM6" "$work/err"; do sleep 0.05; done
"$paced_line" "$work/late" 10000000 "$work/late.got" >/dev/null 2>&1 &
late_line=$!
wait $sender; status=$?
check "wait-port, line made while waiting: exit 0" [ $status -eq 0 ]
check "wait-port, line made while waiting: waited" contains "$work/err" "waiting for COM6"
for _ in $(seq 200); do [ "$(stat -c %s "$work/late.got" 2>/dev/null || echo 0)" -ge "$(stat -c %s "$work/frame")" ] && break; sleep 0.05; done
check "wait-port, line made while waiting: the frame arrived" cmp -s "$work/late.got" "$work/frame"
kill $late_line 2>/dev/null; wait $late_line 2>/dev/null

# --watch: a file replaced by rename and rewritten in place is sent each time, the same bytes
# again are not; Ctrl-C ends it with 130.
file=$work/program.bin
cp "$work/f.bin" "$file"
"$runner" "$cli" send --watch -p COM8 "$(win "$file")" >"$work/watch.log" 2>&1 &
watcher=$!
sent_lines() { grep -c ' sent .* bytes to COM8' "$work/watch.log"; }
wait_lines() { for _ in $(seq 600); do [ "$(grep -cE '^[0-9:]{8} ' "$work/watch.log")" -ge "$1" ] && return; sleep 0.05; done; }
wait_lines 1
head -c 500 /dev/urandom >"$work/new"; mv "$work/new" "$file"; wait_lines 2
head -c 100 /dev/urandom | dd of="$file" conv=notrunc status=none; wait_lines 3
cp "$file" "$work/copy"; cat "$work/copy" >"$file"; wait_lines 4
sleep 0.3
kill -INT $watcher; wait $watcher; status=$?
check "watch: three sends" [ "$(sent_lines)" = 3 ]
check "watch: the same bytes not sent again" contains "$work/watch.log" "written again with the same 500 bytes; not sent again"
frame_of "$file" >"$work/last"
check "watch: the line got the last version last" \
  bash -c "tail -c $(size "$work/last") '$work/got1' | cmp -s - '$work/last'"
check "watch: Ctrl-C exits 130" [ $status -eq 130 ]
check "watch: says it stopped" contains "$work/watch.log" "stopped watching"

# Ctrl-C during a send to two ports stops the paced one; the other has its frame; 130.
head -c 65535 /dev/urandom >"$work/big.bin"
before=$(size "$work/got2")
"$runner" "$cli" send -p COM4 -p COM9 "$(win "$work/big.bin")" >"$work/out" 2>"$work/err" &
sender=$!
# Signalled once the fast line has the whole frame: the send is under way, the paced one has
# seconds to go, and the program has long set its handler.
for _ in $(seq 600); do [ "$(size "$work/got2")" -ge $((before + 65537)) ] && break; sleep 0.05; done
kill -INT $sender; wait $sender; status=$?
check "Ctrl-C, two ports: exit 130" [ $status -eq 130 ]
check "Ctrl-C, two ports: the paced one stopped" grep -qE "^stopped: [0-9,]+ of 65,537 bytes went out to COM4" "$work/err"
check "Ctrl-C, two ports: the other sent" contains "$work/out" "sent 65,535 bytes to COM9"

# At a console (Wine makes one of the terminal script gives it) each port has a progress line,
# redrawn in place through the console's cursor calls, which Wine turns into "up 2 lines".
script -qec "'$runner' '$cli' send -p COM4 -p COM7 '$(win "$work/big.bin")'; echo \$? >'$work/status'" /dev/null >"$work/console.out"
check "console: two lines redrawn in place" grep -qF $'\e[2A' "$work/console.out"
check "console: exit 1" [ "$(cat "$work/status")" = 1 ]

finish
