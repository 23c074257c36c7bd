#!/usr/bin/env bash
# send --watch and --wait-port on virtual lines: each way a build rewrites the file, the same
# bytes again, a file too large for a moment, the port gone and back, signals; a port that
# appears late or never. Each row: the line the command prints and the exact bytes on the line.
# Usage: watch_test.sh ORVANTA_CLI PACED_LINE
set -u
cli=$1 paced_line=$2
. "$(dirname "$0")/lib.sh"

start_line() {  # start_line LINK RATE OUT: a line read at RATE bytes/s into OUT; sets line_pid
  rm -f "$3.log"
  "$paced_line" "$1" "$2" "$3" >"$3.log" 2>&1 &
  line_pid=$!
  for _ in $(seq 200); do grep -q ready "$3.log" 2>/dev/null && return 0; sleep 0.05; done
  echo "paced_line did not start"; return 1
}
stop_line() { kill "$1"; wait "$1" 2>/dev/null; }
settle() {  # settle OUT: until the reader has taken what its line still held (no growth for 0.5 s)
  local last=-1 now
  for _ in $(seq 40); do now=$(size "$1"); [ "$now" = "$last" ] && return 0; last=$now; sleep 0.5; done
}
size() { stat -c %s "$1" 2>/dev/null || echo 0; }
frame_of() { printf "\\$(printf %03o $(($(size "$1") >> 8)))\\$(printf %03o $(($(size "$1") & 255)))"; cat "$1"; }

line=$work/line got=$work/got
start_line "$line" 10000000 "$got"; fast_pid=$line_pid
file=$work/program.bin
head -c 3000 /dev/urandom >"$file"

# stdout and stderr into one file, in the order written.
start_watch() { "$cli" send --watch -p "$line" "$file" >"$work/watch.log" 2>&1 & watcher=$!; }
timed_lines() { grep -E '^[0-2][0-9]:[0-5][0-9]:[0-5][0-9] ' "$work/watch.log"; }
log_lines() { timed_lines | wc -l; }

# watch_row NAME TEXT SENT ACTION...: after ACTION the watch prints one more timed line, holding
# TEXT; the line then carries the frame of the file (SENT=yes) or nothing more (SENT=no).
seen=0
watch_row() {
  local name=$1 text=$2 sent=$3; shift 3
  local before; before=$(size "$got")
  "$@"
  local ok=1
  for _ in $(seq 200); do [ "$(log_lines)" -gt $seen ] && break; sleep 0.05; done
  if [ "$sent" = yes ]; then  # the reader may still be writing what the line carried
    local want=$((before + $(size "$file") + 2))
    for _ in $(seq 200); do [ "$(size "$got")" -ge $want ] && break; sleep 0.05; done
  fi
  sleep 0.2  # room for a second line or stray bytes, which would be a fault
  local now; now=$(log_lines)
  [ "$now" -eq $((seen + 1)) ] ||
    { echo "$name: $((now - seen)) lines, want 1:"; timed_lines | tail -n +$((seen + 1)); ok=0; }
  seen=$now
  local last; last=$(timed_lines | tail -n 1)
  [[ $last == *"$text"* ]] || { echo "$name: last line '$last', want '$text'"; ok=0; }
  tail -c +$((before + 1)) "$got" >"$work/arrived"
  if [ "$sent" = yes ]; then
    frame_of "$file" >"$work/expected"
    cmp -s "$work/arrived" "$work/expected" || { echo "$name: the line did not get the file's frame"; ok=0; }
  else
    [ ! -s "$work/arrived" ] || { echo "$name: $(size "$work/arrived") bytes reached the line"; ok=0; }
  fi
  check "watch: $name" [ $ok -eq 1 ]
}

rewrite_in_place() { head -c 3000 /dev/urandom | dd of="$file" conv=notrunc status=none; }
truncate_and_write() { : >"$file"; sleep 0.1; head -c 2000 /dev/urandom >"$file"; }
replace_by_rename() { head -c 1500 /dev/urandom >"$work/new"; mv "$work/new" "$file"; }
same_bytes() { cp "$file" "$work/copy"; cat "$work/copy" >"$file"; }
written_slowly() {  # pauses shorter than the settle time: one send, of the whole file
  head -c 1000 /dev/urandom >"$work/part"
  cat "$work/part" >"$file"; for _ in 1 2 3; do sleep 0.05; cat "$work/part" >>"$file"; done
}
too_large() { head -c 70000 /dev/urandom >"$file"; }
good_again() { head -c 4000 /dev/urandom >"$file"; }
becomes_fifo() { rm -f "$file"; mkfifo "$file"; }
becomes_folder() { rm -f "$file"; mkdir "$file"; }
back_to_file() { rmdir "$file"; head -c 100 /dev/urandom >"$file"; }
deleted() { rm -f "$file"; }
made_again() { head -c 700 /dev/urandom >"$file"; }
port_gone() { stop_line $fast_pid; head -c 900 /dev/urandom >"$file"; }
port_back() { start_line "$line" 10000000 "$got"; fast_pid=$line_pid; head -c 800 /dev/urandom >"$file"; }
# What the port last got whole is what counts as sent: after a failed send, the version it had
# before goes out again.
port_gone_again() { cp "$file" "$work/kept"; stop_line $fast_pid; head -c 600 /dev/urandom >"$file"; }
back_with_the_kept() { start_line "$line" 10000000 "$got"; fast_pid=$line_pid; cat "$work/kept" >"$file"; }

watch_row "first send at once"       "sent 3,000 bytes to $line"    yes start_watch
watch_row "rewritten in place"       "sent 3,000 bytes to $line"    yes rewrite_in_place
watch_row "truncated and written"    "sent 2,000 bytes to $line"    yes truncate_and_write
watch_row "replaced by rename"       "sent 1,500 bytes to $line"    yes replace_by_rename
watch_row "same bytes again"         "written again with the same 1,500 bytes; not sent again" no same_bytes
watch_row "written slowly, sent whole" "sent 4,000 bytes to $line"  yes written_slowly
watch_row "too large for a moment"   "is 70,000 bytes; one upload carries at most 65,535" no too_large
watch_row "then a good size"         "sent 4,000 bytes to $line"    yes good_again
watch_row "becomes a FIFO"           "is not a file (a folder, device or pipe)" no becomes_fifo
watch_row "becomes a folder"         "is not a file (a folder, device or pipe)" no becomes_folder
watch_row "a file again"             "sent 100 bytes to $line"      yes back_to_file
watch_row "deleted"                  "cannot open $file: No such file or directory" no deleted
watch_row "made again"               "sent 700 bytes to $line"      yes made_again
watch_row "port gone"                "$line port error: No such file or directory" no port_gone
watch_row "port back, next change sent" "sent 800 bytes to $line"   yes port_back
watch_row "port gone again"          "$line port error: No such file or directory" no port_gone_again
watch_row "back, the version it had before is sent" "sent 800 bytes to $line" yes back_with_the_kept

# Between sends the port is free (a terminal program may look at the target); Ctrl-C ends the
# watch with 130.
"$cli" send -q -p "$line" "$file"; status=$?
check "watch: the port is free between sends" [ $status -eq 0 ]
kill -INT $watcher; wait $watcher; status=$?
check "watch: Ctrl-C exits 130" [ $status -eq 130 ]
check "watch: says it stopped" contains "$work/watch.log" "stopped watching $file"

# A signal during a send under way stops the send, says how far it got, and frees the port.
slow=$work/slow
start_line "$slow" 11520 "$work/slow.got"; slow_pid=$line_pid
head -c 65535 /dev/urandom >"$work/big.bin"
"$cli" send --watch -p "$slow" "$work/big.bin" >/dev/null 2>"$work/err" &
watcher=$!
for _ in $(seq 100); do [ "$(size "$work/slow.got")" -gt 0 ] && break; sleep 0.05; done
sleep 0.3
kill -TERM $watcher; wait $watcher; status=$?
check "watch: SIGTERM mid-send exits 143" [ $status -eq 143 ]
check "watch: SIGTERM says how far" grep -qE "stopped: [1-9][0-9,]* of 65,537 bytes went out to $slow" "$work/err"
# The next send is signalled once its own bytes flow: a background job starts with SIGINT ignored
# until the program sets its handler, before it opens the port. The paced reader first takes
# what the line still holds of the stopped send.
settle "$work/slow.got"
before=$(size "$work/slow.got")
"$cli" send -q -p "$slow" "$work/big.bin" 2>/dev/null & sender=$!
for _ in $(seq 200); do [ "$(size "$work/slow.got")" -gt "$before" ] && break; sleep 0.05; done
kill -INT $sender; wait $sender
check "watch: the port is free after the signal" [ $? -eq 130 ]
stop_line $slow_pid

# Output that cannot be written ends the watch with 1 after the first send.
timeout 10 "$cli" send --watch -p "$line" "$file" >/dev/full 2>"$work/err"; status=$?
check "watch: stdout full exits 1" [ $status -eq 1 ]
check "watch: stdout full says so" contains "$work/err" "cannot write the output"

# --wait-port: a port that appears after a second is waited for and gets the frame; one that
# never appears fails once the time is up, having sent nothing.
late=$work/late
head -c 500 /dev/urandom >"$work/small.bin"
frame_of "$work/small.bin" >"$work/expected"
"$cli" send --wait-port=30 -p "$late" "$work/small.bin" >"$work/out" 2>"$work/err" & sender=$!
for _ in $(seq 200); do grep -q "waiting for" "$work/err" && break; sleep 0.05; done
check "wait-port, appears later: still waiting before it appears" kill -0 $sender
start_line "$late" 10000000 "$work/late.got"; late_pid=$line_pid
wait $sender; status=$?
for _ in $(seq 100); do [ "$(size "$work/late.got")" -ge 502 ] && break; sleep 0.05; done
check "wait-port, appears later: exit 0" [ $status -eq 0 ]
check "wait-port, appears later: says it waits" [ "$(cat "$work/err")" = "waiting for $late" ]
check "wait-port, appears later: sent" contains "$work/out" "sent 500 bytes to $late"
check "wait-port, appears later: the frame arrived" cmp -s "$work/late.got" "$work/expected"
stop_line $late_pid
start=$(date +%s%N)
"$cli" send --wait-port=0.5 -p "$work/never" "$work/small.bin" >"$work/out" 2>"$work/err"; status=$?
took=$((($(date +%s%N) - start) / 1000000))
check "wait-port, never appears: exit 1" [ $status -eq 1 ]
check "wait-port, never appears: says so" contains "$work/err" "$work/never did not appear within 0.5 s; nothing was sent"
check "wait-port, never appears: waited the time given" [ $took -ge 500 ]
check "wait-port, never appears: gave up (not for ever)" [ $took -lt 20000 ]
# A port that is there before this user may open it (udev sets the mode a moment after making
# the node) is waited for too, and gets the frame once it may be opened.
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  chmod o+rx "$work"; chmod o+r "$work/small.bin"
  start_line "$work/perm" 10000000 "$work/perm.got"; perm_pid=$line_pid
  chmod 600 "$(readlink -f "$work/perm")"
  "${as_user[@]}" "$cli" send --wait-port=20 -p "$work/perm" "$work/small.bin" >"$work/out" 2>"$work/err" & sender=$!
  for _ in $(seq 200); do grep -q "waiting for" "$work/err" && break; kill -0 $sender 2>/dev/null || break; sleep 0.05; done
  chmod 666 "$(readlink -f "$work/perm")"
  wait $sender; status=$?
  check "wait-port, mode set late: exit 0" [ $status -eq 0 ]
  check "wait-port, mode set late: says it waits" [ "$(cat "$work/err")" = "waiting for $work/perm" ]
  check "wait-port, mode set late: sent" contains "$work/out" "sent 500 bytes to $work/perm"
  for _ in $(seq 100); do [ "$(size "$work/perm.got")" -ge 502 ] && break; sleep 0.05; done
  check "wait-port, mode set late: the frame arrived" cmp -s "$work/perm.got" "$work/expected"
  chmod 600 "$(readlink -f "$work/perm")"
  "${as_user[@]}" "$cli" send --wait-port=0.3 -p "$work/perm" "$work/small.bin" >/dev/null 2>"$work/err"; status=$?
  check "wait-port, never permitted: exit 1" [ $status -eq 1 ]
  check "wait-port, never permitted: says why" contains "$work/err" "$work/perm port error: Permission denied"
  stop_line $perm_pid
fi
# --watch --wait-port: what goes out when the port appears is the file as it is then, not a
# version replaced while the port was away.
head -c 1200 /dev/urandom >"$work/w.bin"
"$cli" send --watch --wait-port -p "$work/away" "$work/w.bin" >"$work/w.log" 2>&1 & watcher=$!
for _ in $(seq 200); do grep -q "waiting for $work/away" "$work/w.log" && break; sleep 0.05; done
head -c 1300 /dev/urandom >"$work/w.new"; mv "$work/w.new" "$work/w.bin"
for _ in $(seq 200); do [ "$(grep -c "waiting for $work/away" "$work/w.log")" -ge 2 ] && break; sleep 0.05; done
check "watch --wait-port: waits again with the new version" [ "$(grep -c "waiting for $work/away" "$work/w.log")" -ge 2 ]
start_line "$work/away" 10000000 "$work/away.got"; away_pid=$line_pid
frame_of "$work/w.bin" >"$work/expected"
for _ in $(seq 200); do [ "$(size "$work/away.got")" -ge 1302 ] && break; sleep 0.05; done
check "watch --wait-port: the first frame is the file as it is" \
  bash -c "head -c 1302 '$work/away.got' | cmp -s - '$work/expected'"
kill -INT $watcher; wait $watcher
check "watch --wait-port: only the new version was sent" [ "$(grep -c "^[0-9:]* sent " "$work/w.log")" = 1 ]
stop_line $away_pid
# Without a time it waits until stopped.
"$cli" send --wait-port -p "$work/never" "$work/small.bin" >/dev/null 2>"$work/err" &
waiter=$!
for _ in $(seq 200); do grep -q "waiting for" "$work/err" && break; sleep 0.05; done
kill -INT $waiter; wait $waiter; status=$?
check "wait-port, no time, Ctrl-C: exit 130" [ $status -eq 130 ]
check "wait-port, no time, Ctrl-C: says so" contains "$work/err" "stopped before anything went out to $work/never; nothing was sent"

stop_line $fast_pid
finish
