#!/usr/bin/env bash
# Makes the packages people install, in build/packages: the Debian packages of orvanta-cli (amd64
# from the native build, arm64 and armhf from the ARM cross builds) and the zip of the shipped
# 32-bit Windows programs (from windows-x86).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
out=$PWD/build/packages
mkdir -p "$out"
rm -f "$out"/*.deb "$out"/*.zip
for preset in native linux-arm64 linux-armhf windows-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 >/dev/null
  cpack --config "build/$preset/CPackConfig.cmake" -B "$out" >"$out/cpack-$preset.log" 2>&1 ||
    { cat "$out/cpack-$preset.log" >&2; exit 1; }
done
for package in "$out"/*.deb "$out"/*.zip; do
  echo "package: ${package#"$PWD"/} ($(stat -c %s "$package") bytes)"
done
