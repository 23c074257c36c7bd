#!/usr/bin/env bash
# Runs a Windows test program under 64-bit Wine; the program's exit code passes through.
# scripts/wine-session.sh prepares the prefix and its COM port links.
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/wine/prefix64}
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
exec /usr/lib/wine/wine64 "$@"
