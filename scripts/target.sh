#!/usr/bin/env bash
# An emulated Z80 target for orvanta-cli: simh's altairz80 running our loader (target/loader.asm),
# which takes one upload frame, stores it at 0100h and runs it.
#
#   scripts/target.sh start DIR   assembles the loader and target/hello.asm into DIR, starts the
#                                 target, and once it waits for a frame prints one line per way in:
#                                   pty PATH                          the console, on a pty pair
#                                   socket socket://127.0.0.1:PORT    raw TCP, the network device
#                                   telnet telnet://127.0.0.1:PORT    Telnet, the serial ports
#   scripts/target.sh stop DIR    ends it, releasing the ports and the pty
#
# Two simulated machines run the same loader, as the simulator's console is either its stdin or
# Telnet: one with its console on the pty and the network device on a TCP port, one with its
# serial ports on a Telnet port. What the first one's console prints (the loader's reports, what
# a program prints there) goes to DIR/console.log; the second one answers on the Telnet
# connection. DIR/hello.bin is a program to send.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: scripts/target.sh start DIR | stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] && [ -n "$2" ] || usage

# The processes of a running target, from DIR/pids; only those that are still the programs
# that were started (a pid the system has given to another program since is left alone).
target_pids() {
  local pid
  [ -f "$dir/pids" ] || return 0
  while read -r pid; do
    case $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) in
      *altairz80*|socat*) echo "$pid" ;;
    esac
  done <"$dir/pids"
}

# stop_target PIDS: ends them (asked first, then made to), and removes what they leave behind.
stop_target() {
  local pids=$1 pid
  for pid in $pids; do kill -TERM "$pid" 2>/dev/null || true; done
  for _ in $(seq 100); do
    local alive=0
    for pid in $pids; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive = 0 ] && break
    sleep 0.05
  done
  for pid in $pids; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -f "$dir/pids" "$dir/pty" "$dir/console-end" "$dir/network.fifo"
}

# A TCP port of 127.0.0.1 in no state at all: the simulator binds without address reuse, so a
# port in TIME_WAIT would not do.
free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    [ -z "$(ss -Htan "( sport = :$port or dport = :$port )")" ] && { echo "$port"; return 0; }
  done
  echo "target: no free TCP port found" >&2
  return 1
}

listening() { [ -n "$(ss -Hltn "( sport = :$1 )")" ]; }

start_target() {
  local tool
  for tool in altairz80 z80asm socat ss stdbuf; do
    command -v "$tool" >/dev/null || { echo "target: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
  done
  dir=$(realpath -m -- "$dir")
  # socat reads its addresses' options from the link names: these would be taken for syntax.
  case $dir in
    *[,:!\"\'\\{}\[\]]*)
      echo "target: $dir: a folder whose name holds none of , : ! quotes, backslashes or brackets, please" >&2
      exit 2
      ;;
  esac
  mkdir -p "$dir"
  [ -z "$(target_pids)" ] || { echo "target: one runs in $dir already (scripts/target.sh stop $dir)" >&2; exit 1; }
  z80asm -o "$dir/loader.bin" "$root/target/loader.asm"
  z80asm -o "$dir/hello.bin" "$root/target/hello.asm"
  rm -f "$dir/console.log" "$dir/telnet.log" "$dir/network.log" "$dir/socat.log" "$dir/relay.log" "$dir/pids"

  # On any way out before the target is up, what was started is ended (by the pids written
  # down: a process just started may not have become its program yet).
  trap 'stop_target "$(cat "$dir/pids" 2>/dev/null)"' EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  local net_port telnet_port
  net_port=$(free_port)
  telnet_port=$(free_port)
  [ "$net_port" != "$telnet_port" ] || telnet_port=$(free_port)

  # The pty pair, raw at both ends: without that, the simulator would make its stop character
  # (05h) a signal that also flushes the input, and bytes would be changed.
  socat PTY,link="$dir/pty",rawer PTY,link="$dir/console-end",rawer </dev/null >"$dir/socat.log" 2>&1 &
  echo $! >>"$dir/pids"
  for _ in $(seq 200); do [ -e "$dir/pty" ] && [ -e "$dir/console-end" ] && break; sleep 0.05; done
  [ -e "$dir/console-end" ] || { echo "target: socat made no pty pair:" >&2; cat "$dir/socat.log" >&2; exit 1; }

  # Common to both machines: a Z80, no ROM in the top page (the loader sits at F000h), the
  # serial ports 8-bit clean (by default a received 7Fh becomes 08h), no sleep of the serial
  # device's own, and the pseudo device's sleep, the loader's idle step, set to 1 ms (from
  # 100 us): its time-outs count those steps. "exit" after "go": should the simulation ever
  # stop, the simulator ends rather than read commands from its input.
  local machine='set cpu z80
set cpu noaltairrom
set sio nomap
set sio nosleep
deposit simh sleep 1000
load loader.bin F000'
  printf '%s\nset net server\nattach net 127.0.0.1:%s\ngo F000\nexit\n' "$machine" "$net_port" >"$dir/serial.sim"
  printf '%s\nattach sio %s\ngo F000\nexit\n' "$machine" "$telnet_port" >"$dir/telnet.sim"
  # The simulator's own messages are block-buffered into a file and lost when it is ended:
  # stdbuf makes them line-buffered.
  (cd "$dir" && exec stdbuf -oL altairz80 serial.sim <console-end >console.log 2>&1) &
  echo $! >>"$dir/pids"
  (cd "$dir" && exec stdbuf -oL altairz80 telnet.sim </dev/null >telnet.log 2>&1) &
  echo $! >>"$dir/pids"

  # Ready when the first loader has said that it waits and both ports listen (the Telnet
  # machine's loader says so only to a connection: a connection made to look would be taken
  # for a sender).
  local ready=0
  for _ in $(seq 600); do
    if grep -q "loader: waiting for a frame" "$dir/console.log" 2>/dev/null &&
      listening "$net_port" && listening "$telnet_port"; then
      ready=1
      break
    fi
    local pid gone=0
    for pid in $(cat "$dir/pids"); do kill -0 "$pid" 2>/dev/null || gone=1; done
    [ $gone = 0 ] || break
    sleep 0.05
  done
  if [ $ready = 0 ]; then
    echo "target: the simulator did not come up:" >&2
    cat "$dir/console.log" "$dir/telnet.log" >&2 2>/dev/null || true
    exit 1
  fi

  # The network device throws away what it holds unread once it sees its connection close, and
  # the simulator reads as fast as the host lets it: on a busy host, slower than a line. So the
  # device gets one connection that stays open, fed through a FIFO (opened for reading and
  # writing, it never ends) by a relay that takes the senders' connections one after another;
  # what the machine answers on it goes to DIR/network.log.
  local relay_port
  relay_port=$(free_port)
  rm -f "$dir/network.fifo"
  mkfifo "$dir/network.fifo"
  (cd "$dir" && exec 3<>network.fifo && exec socat 'FD:3!!OPEN:network.log,wronly,creat,append' \
    "TCP:127.0.0.1:$net_port" </dev/null >relay.log 2>&1) &
  echo $! >>"$dir/pids"
  (cd "$dir" && exec socat -u "TCP-LISTEN:$relay_port,bind=127.0.0.1,reuseaddr,fork" \
    OPEN:network.fifo,wronly </dev/null >>relay.log 2>&1) &
  echo $! >>"$dir/pids"
  ready=0
  for _ in $(seq 600); do
    if listening "$relay_port" &&
      [ -n "$(ss -Htn state established "( dport = :$net_port )")" ]; then
      ready=1
      break
    fi
    sleep 0.05
  done
  [ $ready = 1 ] || { echo "target: the relay to the network device did not come up:" >&2; cat "$dir/relay.log" >&2; exit 1; }
  trap - EXIT HUP INT TERM
  echo "pty $dir/pty"
  echo "socket socket://127.0.0.1:$relay_port"
  echo "telnet telnet://127.0.0.1:$telnet_port"
}

dir=$2
case $1 in
  start) start_target ;;
  stop)
    [ -n "$(target_pids)" ] || { echo "target: none runs in $dir" >&2; rm -f "$dir/pids"; exit 1; }
    stop_target "$(target_pids)"
    ;;
  *) usage ;;
esac
