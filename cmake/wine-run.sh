#!/usr/bin/env bash
# Runs a Windows test program under 64-bit Wine; the program's exit code passes through.
# scripts/wine-session.sh prepares the prefix and its COM port links.
source "$(dirname "$0")/../scripts/wine-env.sh" 64
exec "$wine_loader" "$@"
