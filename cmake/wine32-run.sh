#!/usr/bin/env bash
# Runs a 32-bit Windows program (the shipped i686 build and its tests) under 32-bit Wine; the
# program's exit code passes through. Where the machine runs no 32-bit code, Wine runs under
# qemu-i386 with its fixes preloaded (scripts/wine-env.sh says which). scripts/setup-wine32.sh
# makes 32-bit Wine work; `scripts/wine-session.sh start 32` prepares the prefix and its ports.
source "$(dirname "$0")/../scripts/wine-env.sh" 32
export DISPLAY=${DISPLAY:-${ORVANTA_DISPLAY:-:99}}
exec "$wine_loader" "$@"
