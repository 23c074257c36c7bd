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
z80=$work/z80
stop_z80() { [ ! -e "$z80/pids" ] || scripts/target.sh stop "$z80" >/dev/null 2>&1 || true; }
trap 'stop_z80; kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
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

# A target that runs what it gets: an emulated Z80 (simh) with our loader, which stores the
# frame at 0100h and runs it; the hello program prints its size and the CRC of its bytes.
echo "== a Z80 target: scripts/target.sh start DIR (simh running target/loader.asm)"
scripts/target.sh start "$z80" | tee "$work/z80.ways"
z80_pty=$(sed -n 's/^pty //p' "$work/z80.ways")
echo "== send the hello program (target/hello.asm): $cli send -p $z80_pty hello.bin"
"$cli" send -p "$z80_pty" "$z80/hello.bin"
for _ in $(seq 600); do grep -q "hello from the Z80" "$z80/console.log" && break; sleep 0.05; done
echo "== the Z80's console:"
grep -a "^loader: \|^hello from" "$z80/console.log" | tr -d '\r'

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
# Z80 target's pty, so a program chosen with "..." and sent with Send runs there.
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
  kill $(jobs -p) 2>/dev/null || true
  stop_z80
  scripts/wine-session.sh stop
  rm -rf "$work"
}
trap stop_all EXIT
session=$(ORVANTA_DISPLAY=$DISPLAY scripts/wine-session.sh start)
eval "$session"
# COM2 of the session's prefix is pointed at the Z80 target's pty (the session makes it anew
# each time it starts); what the Z80's console prints shows below.
ln -sfn "$z80_pty" "$WINEPREFIX/dosdevices/com2"
tail -n 0 -f "$z80/console.log" | stdbuf -oL tr -d '\r' &
echo "== Orvanta.exe is open with the Z80 target on COM2: press \"...\" and pick the hello program"
echo "   ($(winepath -w "$z80/hello.bin" 2>/dev/null || echo "$z80/hello.bin")), press Send, and watch the Z80 answer below."
echo "   Close the window to end the demo."
/usr/lib/wine/wine64 build/windows-x64/app/Orvanta.exe >"$work/orvanta.log" 2>&1
