#!/usr/bin/env bash
# The shipped orvanta-cli.exe under Wine sends to the emulated Z80 target (scripts/target.sh)
# over socket://, its network device: the hello program alone, with the bytes that a line could
# change after it, and a 16 KiB one, each checked by the CRC-16 the program prints; then an
# empty frame, which the loader reports as such.
# Usage: target_wine_test.sh WINE_RUNNER ORVANTA_CLI_EXE CRC16
set -u
runner=$1 exe=$2 crc16=$3
tests=$(cd "$(dirname "$0")/.." && pwd)
root=$(cd "$tests/.." && pwd)
. "$tests/cli/lib.sh"
[ -x "$crc16" ] || { echo "no $crc16: build the native preset first"; exit 1; }
target=$work/target
trap '"$root/scripts/target.sh" stop "$target" >/dev/null 2>&1; kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

"$root/scripts/target.sh" start "$target" >"$work/ways" || { echo "the target did not start"; exit 1; }
socket=$(sed -n 's/^socket //p' "$work/ways")
console=$target/console.log

hello=$target/hello.bin
{
  cat "$hello"
  for i in $(seq 0 255); do printf "\\$(printf '%03o' "$i")"; done
  head -c 300 /dev/zero | tr '\0' '\377'
  printf '\r\000\r\n\021\023\005\005\377\005'
} >"$work/awkward.bin"
{ cat "$work/awkward.bin"; head -c $((16384 - $(stat -c %s "$work/awkward.bin"))) /dev/urandom; } >"$work/16k.bin"
: >"$work/empty.bin"

# report_after LINES: the console's lines past LINES once the loader waits again.
report_after() {
  for _ in $(seq 1200); do
    if tail -n +$(($1 + 1)) "$console" | grep -q "loader: waiting for a frame"; then
      tail -n +$(($1 + 1)) "$console" | tr -d '\r'
      return 0
    fi
    sleep 0.05
  done
  echo "the loader did not report within 60 s"
}

for name in hello awkward 16k empty; do
  file=$work/$name.bin
  [ $name = hello ] && file=$hello
  before=$(wc -l <"$console")
  "$runner" "$exe" send -p "$socket" "Z:$file" >"$work/out" 2>&1; status=$?
  check "$name: exit 0" [ $status -eq 0 ]
  [ $status -eq 0 ] || cat "$work/out"
  report_after "$before" >"$work/report"
  n=$(stat -c %s "$file")
  if [ "$n" -eq 0 ]; then
    check "empty: the target says so" contains "$work/report" "loader: empty frame (a count of 0): nothing to run"
  else
    check "$name: loaded" contains "$work/report" "loader: loaded $n bytes at 0100h from the network; running it"
    check "$name: the program's line" contains "$work/report" \
      "hello from the Z80: $n bytes at 0100h, CRC-16 $("$crc16" "$file")"
  fi
done
finish
