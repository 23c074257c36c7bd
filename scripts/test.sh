#!/usr/bin/env bash
# The README's test command: installs what is missing, builds every configuration, starts the
# Wine session the Windows tests need, runs every test, and stops the session again.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in native sanitize windows-x86 windows-x64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
done

status=0
run() {  # run PRESET: ctest for one configuration; a failure is remembered, not fatal
  echo "== test $1"
  ctest --preset "$1" || status=1
}

run native
run sanitize      # AddressSanitizer, UBSan, leak checks, and a minute of fuzzing
run windows-x86

# The packages people install: made from the builds above, then checked (lintian, apt-get).
echo "== packages"
{ scripts/package.sh && tests/package/package_test.sh build/packages build/windows-x86; } || status=1

trap 'scripts/wine-session.sh stop' EXIT
session=$(scripts/wine-session.sh start)
eval "$session"
run windows-x64

exit $status
