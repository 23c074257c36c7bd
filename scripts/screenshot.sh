#!/usr/bin/env bash
# Takes a screenshot of Orvanta's main dialog as Wine shows it and keeps it as docs/orvanta.png
# (or the file given). Needs the windows-x64 build. Uses the Wine session of the environment
# (eval "$(scripts/wine-session.sh start)") or starts one for itself and stops it afterwards.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANTA_X64_BUILD:-$root/build/windows-x64}
out=${1:-$root/docs/orvanta.png}
wine=/usr/lib/wine/wine64

if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  trap '"$root/scripts/wine-session.sh" stop' EXIT
  eval "$("$root/scripts/wine-session.sh" start)"
fi

import=import
for candidate in import-im6.q16 import-im6; do
  if command -v "$candidate" >/dev/null; then import=$candidate; break; fi
done

log=$(mktemp -d)
"$wine" "$build/app/Orvanta.exe" >"$log/orvanta.log" 2>&1 &
orvanta=$!
"$wine" "$build/tests/gui/window_tool.exe" wait "Kestiva Orvanta" >"$log/rect" 2>"$log/tool.log" || {
  cat "$log/tool.log" >&2
  kill "$orvanta" 2>/dev/null || true
  exit 1
}
read -r x y w h < <(tr -d '\r' <"$log/rect")
sleep 1  # the first paint, the focus
mkdir -p "$(dirname "$out")"
"$import" -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"

"$wine" "$build/tests/gui/window_tool.exe" close "Kestiva Orvanta" >>"$log/tool.log" 2>&1 || true
wait "$orvanta" || true
rm -rf "$log"
echo "screenshot: $out (${w}x${h})"
