#!/usr/bin/env bash
# Load run: a private snmpd on loopback, load-host (an SMUX peer with a relay
# connection table of 1,000 rows whose values change all the time) behind
# it, and concurrent snmpwalk/snmpget clients for the given time.
#
#   scripts/load.sh [SECONDS] [CLIENTS]      (defaults: 60 s, 4 clients)
#
# Fails when a client gets an answer it should not (No Such..., a time-out,
# an error status, a short walk), when the host dies, or when the host's
# resident memory or descriptor count grows beyond a bound after warm-up.
# Prints the requests answered, the rate, and the host's VmRSS and open
# descriptors at the start, the end and their maximum.
#
# Environment: NYSNMP_BUILD (default build/clang) holds examples/load-host;
# LOAD_ROWS (default 1000); LOAD_RSS_GROWTH_KB (default 8192) and
# LOAD_FD_GROWTH (default 2) bound the growth after warm-up.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/processes.sh

seconds=${1:-60}
clients=${2:-4}
build=${NYSNMP_BUILD:-build/clang}
rows=${LOAD_ROWS:-1000}
rss_bound=${LOAD_RSS_GROWTH_KB:-8192}
fd_bound=${LOAD_FD_GROWTH:-2}
host_bin="$build/examples/load-host"
identity=1.3.6.1.4.1.32473.1.1
password=load-secret
table=$identity.3.2.14.3.1   # relayConnEntry

[[ $seconds =~ ^[0-9]+$ && $seconds -ge 5 ]] || { echo "load: SECONDS must be a number >= 5" >&2; exit 2; }
[[ $clients =~ ^[0-9]+$ && $clients -ge 1 && $clients -le 32 ]] || { echo "load: CLIENTS must be 1..32" >&2; exit 2; }
[ -x "$host_bin" ] || { echo "load: $host_bin not built" >&2; exit 2; }
[ -x /usr/sbin/snmpd ] || { echo "load: snmpd not installed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nysnmp-load.XXXXXX")
agent_pid=""
host_pid=""
client_pids=()

cleanup() {
  for pid in "${client_pids[@]}"; do stop_pid "$pid"; done
  stop_pid "$host_pid"
  stop_pid "$agent_pid"
  rm -rf "$work"
}
trap cleanup EXIT

snmp_opts=(-v2c -c public -m "" -On -t 5 -r 0)

start_agent() {
  agent_port=$(free_port)
  smux_port=$(free_port)
  cat > "$work/snmpd.conf" <<EOF
agentaddress udp:127.0.0.1:$agent_port
smuxsocket 127.0.0.1:$smux_port
smuxpeer $identity $password
rocommunity public 127.0.0.1
EOF
  /usr/sbin/snmpd -f -C -c "$work/snmpd.conf" -Lf "$work/snmpd.log" -p "$work/snmpd.pid" -m "" &
  agent_pid=$!
  for _ in $(seq 100); do
    kill -0 "$agent_pid" 2>/dev/null || break
    if snmpget "${snmp_opts[@]}" -t 0.3 127.0.0.1:"$agent_port" 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  stop_pid "$agent_pid"
  agent_pid=""
  return 1
}

started=false
for _ in 1 2 3; do
  if start_agent; then started=true; break; fi
done
$started || { echo "load: snmpd did not start" >&2; cat "$work/snmpd.log" >&2 || true; exit 1; }
agent=127.0.0.1:$agent_port

"$host_bin" -p "$smux_port" -i "$identity" -w "$password" -n "$rows" > "$work/host.out" 2> "$work/host.err" &
host_pid=$!
# Building the rows takes a while (seconds for 1,000 rows, more under the
# sanitizers) before the host first reaches the agent.
for _ in $(seq 600); do
  grep -q registered "$work/host.err" 2>/dev/null && break
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.2
done
grep -q registered "$work/host.err" || { echo "load: load-host did not register" >&2; cat "$work/host.err" >&2; exit 1; }

# ---- clients ----------------------------------------------------------------
# Each writes "<requests> <errors>" to its result file at the end and keeps the
# first bad answers in its error file.
deadline=$(( $(date +%s) + seconds ))

walk_client() {  # column
  local column=$1 n=0 bad=0 out err lines
  out="$work/walk.$BASHPID.out"
  err="$work/walk.$BASHPID.err"
  while [ "$(date +%s)" -lt "$deadline" ]; do
    if snmpwalk "${snmp_opts[@]}" "$agent" "$table.$column" > "$out" 2> "$err"; then :; else
      bad=$((bad + 1)); { echo "walk $column: exit status"; head -3 "$err" || true; } >> "$work/errors.$BASHPID"
    fi
    lines=$(grep -c " = " "$out" || true)
    if [ "$lines" -ne "$rows" ] || grep -qE "No Such|No more variables|Timeout|Error|error" "$out" "$err"; then
      bad=$((bad + 1)); { echo "walk $column: $lines lines"; grep -vE "^\.[0-9.]+ = " "$out" | head -3 || true; head -3 "$err" || true; } >> "$work/errors.$BASHPID"
    fi
    n=$((n + 1))
  done
  echo "walk $n $bad" > "$work/result.$BASHPID"
}

get_client() {
  local n=0 bad=0 out oids i row
  out="$work/get.$BASHPID.out"
  while [ "$(date +%s)" -lt "$deadline" ]; do
    oids=()
    for i in 1 2 3 4 5 6 7 8; do
      row=$((RANDOM % rows))
      oids+=("$table.$(( (RANDOM % 12) + 1 )).127.0.0.1.$((10000 + row)).127.0.0.2.$((40000 + row))")
    done
    if ! snmpget "${snmp_opts[@]}" "$agent" "${oids[@]}" > "$out" 2>&1 ||
       grep -qE "No Such|Timeout|Error|error" "$out" || [ "$(grep -c " = " "$out")" -ne 8 ]; then
      bad=$((bad + 1)); { echo "get:"; head -4 "$out" || true; } >> "$work/errors.$BASHPID"
    fi
    n=$((n + 1))
  done
  echo "get $n $bad" > "$work/result.$BASHPID"
}

# Walk clients take the columns in turn: counters, texts, times, indexes.
walk_columns=(9 6 7 3 10 11 8 12)
for c in $(seq 0 $((clients - 1))); do
  if [ $((c % 2)) -eq 0 ]; then
    walk_client "${walk_columns[$(( (c / 2) % ${#walk_columns[@]} ))]}" &
  else
    get_client &
  fi
  client_pids+=($!)
done

# ---- the host's memory and descriptors --------------------------------------
sample() {  # prints "rss_kb fds"
  local rss fds
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$host_pid/status" 2>/dev/null || echo 0)
  fds=$(ls "/proc/$host_pid/fd" 2>/dev/null | wc -l)
  echo "${rss:-0} $fds"
}
warmup=$(( seconds / 4 < 3 ? 3 : seconds / 4 ))
samples=()
start_time=$(date +%s)
while [ "$(date +%s)" -lt "$deadline" ]; do
  kill -0 "$host_pid" 2>/dev/null || { echo "load: load-host died" >&2; cat "$work/host.err" >&2; exit 1; }
  samples+=("$(( $(date +%s) - start_time )) $(sample)")
  sleep 1
done
for pid in "${client_pids[@]}"; do wait "$pid" || true; done
client_pids=()
samples+=("$(( $(date +%s) - start_time )) $(sample)")

# The host stops on TERM by itself and says what it did; its exit status
# also carries the sanitizers' findings (a leak, say) in such a build.
kill -TERM "$host_pid"
host_status=0
for _ in $(seq 150); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$host_pid" 2>/dev/null && { kill -KILL "$host_pid"; echo "load: load-host did not stop on TERM" >&2; }
wait "$host_pid" || host_status=$?
host_pid=""
answered=$(sed -n 's/^answered \([0-9]*\) requests.*/\1/p' "$work/host.out")

# ---- report -------------------------------------------------------------------
errors=0 walks=0 gets=0 results=0
for f in "$work"/result.*; do
  [ -e "$f" ] || continue
  results=$((results + 1))
  read -r kind n bad < "$f"
  errors=$((errors + bad))
  if [ "$kind" = walk ]; then walks=$((walks + n)); else gets=$((gets + n)); fi
done

printf "%s\n" "${samples[@]}" > "$work/samples"; [ -z "${LOAD_VERBOSE:-}" ] || cat "$work/samples"
read -r first_rss first_fd < <(awk -v w="$warmup" '$1 >= w {print $2, $3; exit}' "$work/samples")
read -r start_rss start_fd < <(head -1 "$work/samples" | awk '{print $2, $3}')
read -r end_rss end_fd < <(tail -1 "$work/samples" | awk '{print $2, $3}')
read -r max_rss max_fd < <(awk 'BEGIN {r = 0; f = 0} {if ($2 > r) r = $2; if ($3 > f) f = $3} END {print r, f}' "$work/samples")
: "${first_rss:=$start_rss}" "${first_fd:=$start_fd}"

echo "load: $seconds s, $clients clients ($rows rows): $walks walks, $gets gets (8 objects each), $errors bad answers"
echo "load: host answered ${answered:-?} requests, $(( ${answered:-0} / seconds ))/s; $(head -1 "$work/host.out")"
echo "load: host VmRSS kB start $start_rss, after warm-up ($warmup s) $first_rss, end $end_rss, max $max_rss"
echo "load: host descriptors start $start_fd, after warm-up $first_fd, end $end_fd, max $max_fd"

failed=0
if [ "$results" -ne "$clients" ]; then
  echo "load: FAILED: only $results of $clients clients finished" >&2
  failed=1
fi
if [ "$errors" -ne 0 ]; then
  echo "load: FAILED: bad answers:" >&2
  cat "$work"/errors.* 2>/dev/null | head -20 >&2
  failed=1
fi
if [ -z "$answered" ] || [ "$answered" -eq 0 ]; then
  echo "load: FAILED: the host answered nothing (or did not stop cleanly)" >&2
  cat "$work/host.err" >&2
  failed=1
fi
if [ "$host_status" -ne 0 ]; then
  echo "load: FAILED: load-host exited with status $host_status" >&2
  tail -30 "$work/host.err" >&2
  failed=1
fi
if [ $((max_rss - first_rss)) -gt "$rss_bound" ]; then
  echo "load: FAILED: VmRSS grew by $((max_rss - first_rss)) kB after warm-up (bound $rss_bound kB)" >&2
  failed=1
fi
if [ $((max_fd - first_fd)) -gt "$fd_bound" ]; then
  echo "load: FAILED: descriptors grew from $first_fd to $max_fd after warm-up" >&2
  failed=1
fi
[ "$failed" -eq 0 ] && echo "load: passed"
exit "$failed"
