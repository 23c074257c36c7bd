# Shared by the tests that run orvanta-cli against the real ser2net (sourced after lib.sh): a
# free loopback port, a ser2net started in front of a line with its own configuration file,
# and its end. ser2net runs in the foreground (-n -d) with a pid file of the test's own; it does
# not stop promptly on SIGTERM, so it is killed.
servers=()
stop_servers() {
  local pid
  for pid in "${servers[@]}"; do kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  servers=()
}
trap 'stop_servers; kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

# A TCP port of 127.0.0.1 that nothing listens on now.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return 0; }
  done
  return 1
}

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# speed_seen_during PID DEVICE RATE: true once DEVICE shows RATE while the send PID still runs.
# The server sets its line when asked and may put it back (speed 0 on a pseudo-terminal) as soon
# as the connection ends, so the speed is read while the sender holds the connection, not after:
# a sender that is slow to start (32-bit Wine under qemu) only makes the wait longer.
speed_seen_during() {
  local pid=$1 device=$2 rate=$3
  while kill -0 "$pid" 2>/dev/null; do
    stty -F "$device" 2>/dev/null | grep -q "speed $rate baud" && return 0
    sleep 0.02
  done
  echo "$device never showed speed $rate baud while the send ran; last seen:"
  stty -F "$device" 2>&1 | head -n 1
  return 1
}

# start_server DEVICE ACCEPTER...: ser2net with one connection per accepter (each a gensio
# accepter string with PORT where its port goes) in front of DEVICE; sets $server and
# $ports (the ports, in order).
start_server() {
  local device=$1; shift
  local config=$work/ser2net-$RANDOM.yaml accepter port n=0
  ports=()
  : >"$config"
  for accepter in "$@"; do
    port=$(free_port) || { echo "no free port"; return 1; }
    ports+=("$port")
    n=$((n + 1))
    cat >>"$config" <<YAML
connection: &line$n
  accepter: ${accepter//PORT/$port}
  connector: serialdev,$device,115200n81,local
  options:
    mdns: false
YAML
  done
  ser2net -n -d -c "$config" -P "$config.pid" >"$config.log" 2>&1 &
  server=$!
  servers+=("$server")
  for _ in $(seq 100); do
    local all=1
    for port in "${ports[@]}"; do listening "$port" || all=0; done
    [ $all = 1 ] && return 0
    sleep 0.05
  done
  echo "ser2net did not start:"; cat "$config.log"; return 1
}
