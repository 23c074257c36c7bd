#!/usr/bin/env bash
# The README's demo command: builds orvanta-cli, starts a stand-in target on a virtual serial
# line, sends a sample file to it, and shows what the target received.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target orvanta-cli >/dev/null
cli=build/native/cli/orvanta-cli

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
line=$work/line
sample=$work/sample.bin
# A small program image: a greeting and some binary bytes, as a target loader would get it.
{ printf 'Hello from Orvanta\r\n'; head -c 200 /dev/urandom; } >"$sample"

echo "== a stand-in target waits on a virtual line: $cli receive --virtual $line"
"$cli" receive --virtual "$line" --expect "$sample" -o "$work/received.bin" &
target=$!
for _ in $(seq 100); do [ -L "$line" ] && break; sleep 0.05; done

echo "== send: $cli send -p $line sample.bin ($(stat -c %s "$sample") bytes)"
"$cli" send -p "$line" "$sample"
wait $target

echo "== the first bytes the target got, after the 2-byte count:"
od -A d -t x1z -N 48 "$work/received.bin"

# A bench of boards: TARGETS stand-in targets (3 unless ORVANTA_TARGETS says otherwise), each on
# a virtual line of its own, get the same file at once.
targets=${ORVANTA_TARGETS:-3}
ports=() pids=()
for n in $(seq "$targets"); do
  "$cli" -q receive --virtual "$work/board$n" --expect "$sample" &
  pids+=($!) ports+=(-p "$work/board$n")
done
for n in $(seq "$targets"); do
  for _ in $(seq 100); do [ -L "$work/board$n" ] && break; sleep 0.05; done
done
echo "== several boards at once: $cli send ${ports[*]} sample.bin"
"$cli" send "${ports[@]}" "$sample"
for pid in "${pids[@]}"; do wait "$pid"; done
echo "== every board got it: each receiver checked its frame against the sample"

# The Windows program, where there is a display to show it on: COM2 of its Wine prefix is the
# stand-in target's line, so a file chosen with "..." and sent with Send shows up here.
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "== no display (DISPLAY is not set or not reachable): the Windows program is not shown."
  echo "   On a desktop, run this again to try Orvanta.exe under Wine."
  exit 0
fi
echo "== building the Windows program (x86_64, for Wine)"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j2 --target Orvanta >/dev/null
cmake --build --preset native -j2 --target linepair >/dev/null
stop_all() {
  pkill -P "${target_loop:-0}" 2>/dev/null || true
  kill "${target_loop:-0}" $(jobs -p) 2>/dev/null || true
  scripts/wine-session.sh stop
  rm -rf "$work"
}
trap stop_all EXIT
session=$(ORVANTA_DISPLAY=$DISPLAY scripts/wine-session.sh start)
eval "$session"
# The session's virtual cable joins COM2 to COM3; the stand-in target reads COM3's end, frame
# after frame, while the cable keeps what arrives between two frames.
(
  while true; do "$cli" receive -p "$WINEPREFIX/dosdevices/com3" || sleep 0.5; done
) &
target_loop=$!
disown "$target_loop"
echo "== Orvanta.exe is open: leave COM2, press \"...\" and pick a file (the sample is $(winepath -w "$sample" 2>/dev/null || echo "$sample")),"
echo "   press Send, and watch what the target receives below. Close the window to end the demo."
/usr/lib/wine/wine64 build/windows-x64/app/Orvanta.exe >"$work/orvanta.log" 2>&1
