#!/usr/bin/env bash
# The README's test command: installs what is missing, builds every configuration, starts the
# Wine sessions the Windows tests need, runs every test, and stops the sessions again.
#
# The shipped i686 programs run their whole Windows suite under 32-bit Wine (through qemu-i386
# where the machine runs no 32-bit code). The x86_64 build then runs only the tests labelled
# pointer-width: the window layer, where a pointer cut to 32 bits shows only in a 64-bit build.
#
# The ARM builds (arm64, armhf) run their unit tests and command-line tests under QEMU's user
# mode, the program under test emulated, the virtual lines and tools the host build's.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
declare -A build_time
for preset in native vm-guest sanitize linux-arm64 linux-armhf windows-x86 windows-x64; do
  echo "== build $preset"
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
  build_time[$preset]=$((SECONDS - start))
done

status=0
run() {  # run PRESET [CTEST OPTIONS]: ctest for one configuration; a failure is remembered, not fatal
  echo "== test $*"
  ctest --preset "$@" || status=1
}

# run_in_wine BITS PRESET [CTEST OPTIONS]: the preset's tests inside a Wine session of that width.
run_in_wine() {
  local bits=$1 session
  shift
  session=$(scripts/wine-session.sh start "$bits") ||
    { echo "== the $bits-bit Wine session did not start: its tests did not run" >&2; status=1; return; }
  ( eval "$session"; run "$@"; exit $status ) || status=1
  scripts/wine-session.sh stop "$bits"
}
trap 'scripts/wine-session.sh stop 32 || true; scripts/wine-session.sh stop 64 || true' EXIT

run native

# The driver bench: the tool on a Linux kernel's 8250 and FTDI drivers, in a QEMU guest.
echo "== the VM bench"
start=$SECONDS
vm_status=0
tests/vm/vm_test.sh build/native build/vm-guest/cli/orvanta-cli || vm_status=$?
case $vm_status in
  0) echo "== the VM bench took $((SECONDS - start)) s" ;;
  77) echo "== the VM bench DID NOT RUN (the reason is above): nothing was tested on real drivers"; status=1 ;;
  *) status=1 ;;
esac

run sanitize      # AddressSanitizer, UBSan, leak checks, and a minute of fuzzing

# run_emulated PRESET EMULATOR: an ARM preset's tests, how long they took, and what was skipped
# under the emulator, with the reason each gives.
run_emulated() {
  local preset=$1 emulator=$2 start=$SECONDS
  run "$preset"
  echo "== $preset: built in ${build_time[$preset]} s, tests took $((SECONDS - start)) s under $emulator"
  grep -h '^SKIPPED: ' "build/$preset/Testing/Temporary/LastTest.log" | sort -u | sed 's/^/   /' || true
}
run_emulated linux-arm64 qemu-aarch64
run_emulated linux-armhf qemu-arm

# The packages people install: made from the builds above, then checked (lintian, apt-get).
echo "== packages"
{ scripts/package.sh && tests/package/package_test.sh build/packages build/windows-x86; } || status=1

start=$SECONDS
run_in_wine 32 windows-x86
how=$( (source scripts/wine-env.sh; i386_emulated) && echo "under qemu-i386" || echo "natively")
echo "== the shipped 32-bit programs' tests took $((SECONDS - start)) s, Wine run $how"

run_in_wine 64 windows-x64 -L pointer-width

exit $status
