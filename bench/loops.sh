#!/usr/bin/env bash
# Measures the bench of many boards and the edit-build-send loop, on this machine:
#   - a 64 KiB file sent to 16 virtual lines at once, each read at 11,520 bytes/s, against the
#     same send to one line: each line's stream time, the longest wait for a byte mid-stream on
#     any line, and the sender's CPU time and peak memory;
#   - send --watch: the time from the file's last change to the first byte on the line.
# Usage: bench/loops.sh [RUNS]   (bench/run.sh calls it; needs the native build)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
cli=build/native/cli/orvanta-cli
paced=build/native/tests/native/paced_line
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
head -c 65535 /dev/urandom >"$work/data.bin"
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# lines_send N [apart]: sends data.bin to N fresh paced lines at once, with one orvanta-cli (or
# with N, one per line, given "apart"); prints "cpu SECONDS" and "rss KIB" of the one, then per
# line "line SECONDS WAIT_BYTE_TIMES STREAMS".
lines_send() {
  local n=$1 apart=${2:-} ports=()
  rm -f "$work"/l* "$work/lines.log" "$work/lines.err"
  "$paced" -n "$n" "$work/l" 11520 >"$work/lines.log" 2>"$work/lines.err" &
  local pid=$!
  for _ in $(seq 100); do grep -q ready "$work/lines.log" 2>/dev/null && break; sleep 0.05; done
  for i in $(seq "$n"); do ports+=(-p "$work/l$i"); done
  if [ -n "$apart" ]; then
    for i in $(seq "$n"); do "$cli" send -q -p "$work/l$i" "$work/data.bin" & done
    for job in $(jobs -p); do [ "$job" = "$pid" ] || wait "$job"; done
    printf 'cpu 0\nrss 0\n' >"$work/usage.txt"
  else
    build/native/bench/child_usage "$cli" send -q "${ports[@]}" "$work/data.bin" 2>"$work/usage.txt"
  fi
  # the reader takes what the lines still hold
  for _ in $(seq 100); do
    [ "$(grep -c ' first byte at ' "$work/lines.log")" -ge "$n" ] && break; sleep 0.1
  done
  sleep 6
  kill -TERM $pid; wait $pid || true
  cat "$work/usage.txt"
  sed -n 's/.* bytes in \([0-9.]*\) s, \([0-9]*\) streams*; .*(\([0-9.]*\) byte-times)$/line \1 \3 \2/p' "$work/lines.err"
}

echo "== 64 KiB to 16 lines at once, each read at 11,520 bytes/s, against 1 line (median of $runs)"
for run in $(seq "$runs"); do
  lines_send 1 >"$work/one.$run"
  lines_send 16 >"$work/sixteen.$run"
  lines_send 16 apart >"$work/apart.$run"
done
one_time=$(cat "$work"/one.* | awk '/^line/ { print $2 }' | median)
one_cpu=$(cat "$work"/one.* | awk '/^cpu/ { print $2 }' | median)
one_rss=$(cat "$work"/one.* | awk '/^rss/ { print $2 }' | median)
many_cpu=$(cat "$work"/sixteen.* | awk '/^cpu/ { print $2 }' | median)
many_rss=$(cat "$work"/sixteen.* | awk '/^rss/ { print $2 }' | median)
worst_ratio=$(cat "$work"/sixteen.* | awk -v t="$one_time" '/^line/ { r = $2 / t; d = r > 1 ? r - 1 : 1 - r; if (d > m) { m = d; w = r } } END { printf "%.4f", w }')
worst_wait() { cat "$@" | awk '/^line/ && $3 > m { m = $3 } END { printf "%.2f", m }'; }
echo "one line alone: $one_time s from first to last byte"
echo "16 lines: the line furthest from it: ${worst_ratio}x its time (goal: within 1 %)"
echo "longest wait for a byte mid-stream on any line: $(worst_wait "$work"/sixteen.*) byte-times with 16 lines, $(worst_wait "$work"/one.*) with one (goal: under 2)"
echo "  the same 16 lines fed by 16 orvanta-cli processes, one line each: $(worst_wait "$work"/apart.*) byte-times"
echo "streams per line (a pause of 200 ms or more would part a frame in two): $(cat "$work"/one.* "$work"/sixteen.* | awk '/^line/ { print $4 }' | sort -u | tr '\n' ' ')"
echo "sender CPU time: $(awk -v s="$one_cpu" 'BEGIN { printf "%.1f", s * 1000 }') ms for 1 line, $(awk -v s="$many_cpu" 'BEGIN { printf "%.1f", s * 1000 }') ms for 16"
echo "sender peak memory: $one_rss KiB for 1 line, $many_rss KiB for 16: $(printf "%+d" $((many_rss - one_rss))) KiB (goal: under 16 x 70 = 1,120 KiB more)"

echo "== send --watch: from the file's last change to the first byte on the line (median of $runs)"
rm -f "$work/w" "$work/w.log"
"$paced" "$work/w" 10000000 >"$work/w.log" 2>/dev/null &
for _ in $(seq 100); do grep -q ready "$work/w.log" 2>/dev/null && break; sleep 0.05; done
cp "$work/data.bin" "$work/program.bin"
"$cli" send -q --watch -p "$work/w" "$work/program.bin" &
watcher=$!
sleep 1
for run in $(seq "$runs"); do
  head -c 20000 /dev/urandom >"$work/new"
  mv "$work/new" "$work/program.bin"
  changed=$(date +%s.%N)
  for _ in $(seq 50); do [ "$(grep -c 'first byte' "$work/w.log")" -gt "$run" ] && break; sleep 0.05; done
  arrived=$(grep 'first byte' "$work/w.log" | tail -n 1 | awk '{ print $NF }')
  awk -v a="$arrived" -v c="$changed" 'BEGIN { printf "%.0f\n", (a - c) * 1000 }'
  sleep 0.5
done >"$work/latency"
kill -INT $watcher; wait $watcher || true
echo "last change to first byte: $(median <"$work/latency") ms (each run: $(tr '\n' ' ' <"$work/latency")ms; goal: the 250 ms settle time + under 50 ms)"
