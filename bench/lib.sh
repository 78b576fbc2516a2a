# shellcheck shell=bash
# Sourced by the end-to-end benchmarks (e2e.sh, vs_subagent.sh): a private
# directory, a private snmpd on loopback with SMUX enabled, and medians.
# The sourcing script sets root, identity, password and community first.
. "$root/scripts/lib/processes.sh"

work="" snmpd_pid="" host_pid=""
bench_cleanup() {
  local status=$?
  trap - EXIT INT TERM
  stop_pid "$host_pid"
  stop_pid "$snmpd_pid"
  [ -n "$work" ] && rm -rf "$work"
  exit "$status"
}

# bench_private_dir NAME: $work, net-snmp's files kept inside it, and
# everything started here stopped by pid (and $work removed) at exit.
bench_private_dir() {
  trap bench_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  work=$(mktemp -d "${TMPDIR:-/tmp}/nysnmp-$1.XXXXXX")
  mkdir -p "$work/persist"
  export SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work/persist MIBS= MIBDIRS=
}

# bench_start_snmpd NAME EXTRA READY...: snmpd on a free UDP port ($agent_port,
# $agent) and a free SMUX port ($smux_port), with the configuration lines
# EXTRA; up once it answers and the command READY succeeds.  Three attempts,
# since a port found free may be taken before snmpd binds it.
bench_start_snmpd() {
  local name=$1 extra=$2 attempt
  shift 2
  for attempt in 1 2 3; do
    if bench_try_snmpd "$extra" "$@"; then
      agent=127.0.0.1:$agent_port
      return 0
    fi
    stop_pid "$snmpd_pid"
    snmpd_pid=""
  done
  cat "$work/snmpd.log" >&2
  echo "$name: snmpd did not start" >&2
  exit 1
}
bench_try_snmpd() {
  local extra=$1
  shift
  agent_port=$(free_port) || return 1
  smux_port=$(free_port) || return 1
  [ "$agent_port" != "$smux_port" ] || return 1
  {
    echo "agentaddress udp:127.0.0.1:$agent_port"
    [ -z "$extra" ] || printf '%s\n' "$extra"
    echo "smuxsocket 127.0.0.1:$smux_port"
    echo "smuxpeer $identity $password"
    echo "rocommunity $community 127.0.0.1"
  } >"$work/snmpd.conf"
  : >"$work/snmpd.log"
  /usr/sbin/snmpd -f -C -c "$work/snmpd.conf" -Lf "$work/snmpd.log" -p "$work/snmpd.pid" \
    -m "" </dev/null >/dev/null 2>&1 &
  snmpd_pid=$!
  wait_for 15 snmpgetnext -v2c -c "$community" -m "" -On -t 0.3 -r 0 "127.0.0.1:$agent_port" \
    1.3.6.1.2.1.1.3 || return 1
  running "$snmpd_pid" && ! grep -q "bind failed\|Error opening" "$work/snmpd.log" && "$@"
}

bench_snmpd_version() { /usr/sbin/snmpd -v 2>/dev/null | awk '/version/ { print $NF; exit }'; }
now_ns() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
