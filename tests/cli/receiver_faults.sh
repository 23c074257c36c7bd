#!/usr/bin/env bash
# The receiver given what a broken sender or a noisy line produces: it must report what it got,
# take no more than one frame, and never hang or crash.
set -u
cli=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
failures=0 passes=0

# feed NAME BYTES(printf format) STATUS TEXT: the receiver must exit with STATUS and print TEXT.
feed() {
  local name=$1 bytes=$2 want_status=$3 want_text=$4
  rm -f "$work/line" "$work/got"
  $cli receive --virtual "$work/line" --timeout 0.3 -o "$work/got" >"$work/out" 2>&1 &
  local receiver=$!
  for _ in $(seq 200); do [ -L "$work/line" ] && break; sleep 0.05; done
  printf "$bytes" >"$work/line"
  wait $receiver
  local status=$?
  if [ $status -eq "$want_status" ] && grep -qF -- "$want_text" "$work/out"; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAILED: $name: status $status (want $want_status), output:"; cat "$work/out"
  fi
}

feed "count, no payload"   '\000\005'                  1 "incomplete frame: 0 of 5 bytes received"
feed "short frame"         '\000\005ab'                1 "incomplete frame: 2 of 5 bytes received"
feed "one count byte"      '\001'                      1 "only 1 of the 2 count bytes arrived"
feed "noise, huge count"   '\377\377\001\002\003\004'  1 "incomplete frame: 4 of 65,535 bytes received"
# Bytes after the frame: a second frame or noise must not pass for one clean frame.
feed "two frames"          '\000\003abc\000\002de'     1 "4 more bytes followed the frame"
[ "$(cat "$work/got")" = abc ] && passes=$((passes + 1)) || { failures=$((failures + 1)); echo "FAILED: first frame only"; }
feed "noise, small count"  '\000\002\377\376\375\374'  1 "2 more bytes followed the frame"
feed "one clean frame"     '\000\002\377\376'          0 "received 2 bytes (count bytes 00 02)"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
