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
