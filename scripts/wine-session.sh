#!/usr/bin/env bash
# Starts and stops what the Windows tests and the demo run in: an X display (Xvfb), a Wine prefix
# with a virtual desktop, its Wine session, a virtual null-modem cable whose ends are COM2 and
# COM3 (COM10 reaches COM2's end too), and COM4, a line read at 115,200 baud's pace (11,520
# bytes a second). Every other COM name points at an empty folder, so that no test can reach a
# real serial port of the machine through Wine's fallback.
#
# The prefix is 64-bit unless 32 is given: the 32-bit one runs the shipped i686 programs (under
# qemu-i386 where the machine runs no 32-bit code; scripts/setup-wine32.sh prepares that). Run
# 32-bit programs in it through cmake/wine32-run.sh, which adds what emulation needs. The
# session's X display is one of its own (Xvfb picks a free number) unless ORVANTA_DISPLAY names
# one: another build's session beside this one can then neither end this one's display nor take
# its windows' focus. One session at a time per build tree; its stop ends its display.
#
#   scripts/wine-session.sh start [32|64]   # prints the environment to use (eval it)
#   scripts/wine-session.sh stop [32|64]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bits=${2:-64}
[ "$bits" = 32 ] || [ "$bits" = 64 ] || { echo "usage: $0 start|stop [32|64]" >&2; exit 2; }
source "$root/scripts/wine-env.sh" "$bits"
state=$wine_state
display=${ORVANTA_DISPLAY:-}
linepair=${ORVANTA_LINEPAIR:-$root/build/native/tests/native/linepair}
paced_line=${ORVANTA_PACED_LINE:-$root/build/native/tests/native/paced_line}
wine=$wine_loader
run=$state/run$bits   # this session's processes and logs

# Sets $display: ORVANTA_DISPLAY (started here unless it is up already), or a display of this
# session's own, whose number Xvfb chose and wrote once it was ready to take clients.
start_display() {
  local screen=(-screen 0 1024x768x24 -nolisten tcp)
  if [ -n "$display" ]; then
    xdpyinfo -display "$display" >/dev/null 2>&1 && return 0
    Xvfb "$display" "${screen[@]}" >"$state/xvfb.log" 2>&1 </dev/null &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do xdpyinfo -display "$display" >/dev/null 2>&1 && return 0; sleep 0.1; done
  else
    : >"$state/display"
    Xvfb -displayfd 3 "${screen[@]}" 3>"$state/display" >"$state/xvfb.log" 2>&1 </dev/null &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do
      if grep -qx '[0-9][0-9]*' "$state/display"; then display=:$(cat "$state/display"); return 0; fi
      kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || break
      sleep 0.1
    done
  fi
  echo "wine-session: the X display did not start (see $state/xvfb.log)" >&2
  exit 1
}

make_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  "$wine" wineboot -i >"$run/wineboot.log" 2>&1 ||
    { echo "wine-session: the $bits-bit prefix could not be made (see $run/wineboot.log)" >&2; exit 1; }
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
  "$linepair" "$dev/com2" "$dev/com3" >"$run/linepair.log" 2>&1 &
  echo $! >"$run/linepair.pid"
  "$paced_line" "$dev/com4" 11520 >"$run/paced_line.log" 2>&1 &
  echo $! >"$run/paced_line.pid"
  for _ in $(seq 50); do
    grep -q ready "$run/linepair.log" && grep -q ready "$run/paced_line.log" && break
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
    mkdir -p "$state" "$run"
    # A session left from an earlier run would hold the ports: end it first.
    stop_pid "$run/linepair.pid"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    stop_pid "$state/xvfb.pid"
    start_display
    export DISPLAY=$display
    make_prefix
    # Wine's services inherit the output of the Wine process that starts them: start them here,
    # with output to a file, and not inside a test whose output ctest waits on.
    wineserver -p >>"$run/wineserver.log" 2>&1
    "$wine" wineboot >>"$run/wineboot.log" 2>&1 ||
      { echo "wine-session: the $bits-bit Wine session did not start (see $run/wineboot.log)" >&2; exit 1; }
    map_ports
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINEDEBUG=$WINEDEBUG DISPLAY=$display"
    echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
    ;;
  stop)
    stop_pid "$run/linepair.pid"
    stop_pid "$run/paced_line.pid"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    stop_pid "$state/xvfb.pid"
    ;;
  *)
    echo "usage: $0 start|stop [32|64]" >&2
    exit 2
    ;;
esac
