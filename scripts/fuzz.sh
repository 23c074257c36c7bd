#!/usr/bin/env bash
# Fuzzes the receiver's frame reading for longer than the test command does.
#   scripts/fuzz.sh [SECONDS]    (default 600)
# New inputs go to build/fuzz-corpus; the kept seeds in tests/fuzz/corpus are only read.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
scripts/setup.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j2 --target frame_parser_fuzz >/dev/null
mkdir -p build/fuzz-corpus
exec build/sanitize/tests/fuzz/frame_parser_fuzz -max_total_time="$seconds" -print_final_stats=1 \
  build/fuzz-corpus tests/fuzz/corpus
