#!/usr/bin/env bash
# Starts and stops what the Windows tests and the demo run in: an X display (Xvfb), a 64-bit
# Wine prefix with a virtual desktop, its Wine session, a virtual null-modem cable whose ends
# are COM2 and COM3 (COM10 reaches COM2's end too), and COM4, a line read at 115,200 baud's pace
# (11,520 bytes a second). Every other COM name points at an empty folder, so that no test can
# reach a real serial port of the machine through Wine's fallback.
#
#   scripts/wine-session.sh start    # prints the environment to use (eval it)
#   scripts/wine-session.sh stop
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
state=${ORVANTA_WINE_STATE:-$root/build/wine}
display=${ORVANTA_DISPLAY:-:99}
linepair=${ORVANTA_LINEPAIR:-$root/build/native/tests/native/linepair}
paced_line=${ORVANTA_PACED_LINE:-$root/build/native/tests/native/paced_line}
export WINEPREFIX=$state/prefix64 WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DISPLAY=$display
wine=/usr/lib/wine/wine64

start_display() {
  if ! xdpyinfo -display "$display" >/dev/null 2>&1; then
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  fi
}

make_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  "$wine" wineboot -i >"$state/wineboot.log" 2>&1
  # A virtual desktop gives dialogs a window manager: captions, close boxes, reliable focus.
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
  wineserver -w
}

map_ports() {
  local dev=$WINEPREFIX/dosdevices
  mkdir -p "$state/no-port"
  for n in $(seq 1 20); do ln -sfn "$state/no-port" "$dev/com$n"; done
  rm -f "$dev/com2" "$dev/com3" "$dev/com4"
  "$linepair" "$dev/com2" "$dev/com3" >"$state/linepair.log" 2>&1 &
  echo $! >"$state/linepair.pid"
  "$paced_line" "$dev/com4" 11520 >"$state/paced_line.log" 2>&1 &
  echo $! >"$state/paced_line.pid"
  for _ in $(seq 50); do
    grep -q ready "$state/linepair.log" && grep -q ready "$state/paced_line.log" && break
    sleep 0.1
  done
  ln -sfn "$dev/com2" "$dev/com10"
}

stop_pid() {
  [ -f "$1" ] || return 0
  kill "$(cat "$1")" 2>/dev/null || true
  rm -f "$1"
}

case ${1:-} in
  start)
    mkdir -p "$state"
    # A session left from an earlier run would hold the ports: end it first.
    stop_pid "$state/linepair.pid"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    start_display
    make_prefix
    # Wine's services inherit the output of the Wine process that starts them: start them here,
    # with output to a file, and not inside a test whose output ctest waits on.
    wineserver -p >>"$state/wineserver.log" 2>&1
    "$wine" wineboot >>"$state/wineboot.log" 2>&1
    map_ports
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINEDEBUG=$WINEDEBUG DISPLAY=$display"
    echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
    ;;
  stop)
    stop_pid "$state/linepair.pid"
    stop_pid "$state/paced_line.pid"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    stop_pid "$state/xvfb.pid"
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
