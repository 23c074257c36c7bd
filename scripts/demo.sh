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
