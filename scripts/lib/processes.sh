# Sourced by the scripts that start daemons: stopping our own processes by pid,
# free loopback ports, and bounded waits.

# Stops one of our processes: TERM, up to 5 s, then KILL; always reaped.
stop_pid() {
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
  kill -TERM "$pid" 2>/dev/null || true
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

running() { kill -0 "$1" 2>/dev/null; }

# True when the port is bound locally on TCP or UDP (IPv4 or IPv6).
port_in_use() {
  local hex
  hex=$(printf ':%04X' "$1")
  cat /proc/net/tcp /proc/net/tcp6 /proc/net/udp /proc/net/udp6 2>/dev/null |
    awk -v h="$hex" 'substr($2, length($2) - 4) == h { found = 1 } END { exit !found }'
}

# A port between 20000 and 59999 nobody uses right now.
free_port() {
  local p i
  for i in $(seq 1 200); do
    p=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    port_in_use "$p" || { echo "$p"; return 0; }
  done
  return 1
}

# wait_for SECONDS COMMAND...: true once the command succeeds within the time.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
