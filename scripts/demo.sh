#!/usr/bin/env bash
# demo.sh - the relay tables of this machine, live, through a real SNMP agent.
#
# Installs what is missing (Debian packages), builds relay-peer and the MIB
# module (nymib-print's, as installed), then starts on loopback, with free ports and a private
# directory: snmptrapd (the trap receiver), snmpd (SMUX enabled and AgentX
# master on a loopback TCP port, traps to snmptrapd) and relay-peer publishing this
# machine's TCP listeners and connections -- first as an SMUX peer, then
# as an AgentX subagent.  For each it shows the tables with snmptable, sets one
# connection row to invalid(2), shows the tables again, keeps everything
# running for the chosen time, stops relay-peer and shows the traps received.
# Whatever happens (error, Ctrl-C), it stops what it started, by pid.
#
# usage: scripts/demo.sh [--seconds N] [--smux-only | --agentx-only]
#   --seconds N   how long to keep each part running after the first tables
#                 (default: $DEMO_SECONDS, else 20)
# Environment:
#   DEMO_BUILD_DIR  build directory to use (default: build/demo)
#   DEMO_NO_BUILD=1 use the binaries already in DEMO_BUILD_DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/processes.sh"
seconds=${DEMO_SECONDS:-20}
parts=(smux agentx)
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=${2:-}; shift 2 || { echo "demo: --seconds needs a value" >&2; exit 2; } ;;
    --seconds=*) seconds=${1#--seconds=}; shift ;;
    --smux-only) parts=(smux); shift ;;
    --agentx-only) parts=(agentx); shift ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
case $seconds in ''|*[!0-9]*) echo "demo: --seconds wants a whole number, not '$seconds'" >&2; exit 2 ;; esac

build=${DEMO_BUILD_DIR:-$root/build/demo}
community=public
password="demo-$$-$RANDOM"
identity=1.3.6.1.4.1.32473.1.1
module=VELMORA-MIB

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
fail() { echo "demo: $*" >&2; exit 1; }

# ---- everything started here is stopped here ---------------------------------
work=""
pids=()
trapd_pid="" snmpd_pid="" peer_pid=""
cleanup() {
  local status=$? i
  trap - EXIT INT TERM
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${pids[i]}"
  done
  [ -n "$work" ] && rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'echo; echo "demo: interrupted" >&2; exit 130' INT
trap 'exit 143' TERM

# ---- packages -------------------------------------------------------------------
packages=(snmpd snmp snmptrapd)
[ "${DEMO_NO_BUILD:-0}" = 1 ] || packages+=(g++ make cmake)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || fail "need root or sudo to install: ${missing[*]}"
    sudo_cmd=(sudo)
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# ---- build ----------------------------------------------------------------------
if [ "${DEMO_NO_BUILD:-0}" != 1 ]; then
  say "building relay-peer and the MIB module in $build"
  mkdir -p "$build"
  if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNYSNMP_BUILD_TESTS=OFF \
           -DNYSNMP_BUILD_BENCH=OFF &&
         cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target relay-peer velmora-mib; } \
       >"$build/demo-build.log" 2>&1; then
    tail -n 30 "$build/demo-build.log" >&2
    fail "build failed (full log: $build/demo-build.log)"
  fi
fi
relay_peer=$build/examples/relay-peer
# The MIB module nymib-print wrote at build time, beside the SMI modules it
# imports: the directory that is installed as share/snmp/mibs.
mibdir=$build/mibs
[ -x "$relay_peer" ] && [ -f "$mibdir/$module.txt" ] || fail "missing $relay_peer or $mibdir/$module.txt"

work=$(mktemp -d "${TMPDIR:-/tmp}/nysnmp-demo.XXXXXX")
mkdir -p "$work/persist/mib_indexes" "$work/persist/cert_indexes"
# The net-snmp tools read no configuration or caches outside the private directory.
export SNMPCONFPATH=$work SNMP_PERSISTENT_DIR=$work/persist MIBS= MIBDIRS=

mibopts=(-M "$mibdir" -m "$module")

# ---- snmptrapd ------------------------------------------------------------------
start_trapd() {
  trap_port=$(free_port) || return 1
  printf 'disableAuthorization yes\n' >"$work/snmptrapd.conf"
  : >"$work/snmptrapd.log"
  /usr/sbin/snmptrapd -f -C -c "$work/snmptrapd.conf" -Lf "$work/snmptrapd.log" \
    -p "$work/snmptrapd.pid" "${mibopts[@]}" "udp:127.0.0.1:$trap_port" </dev/null >/dev/null 2>&1 &
  trapd_pid=$!
  pids+=("$trapd_pid")
  # The version line is written once the port is open.
  wait_for 10 grep -q "NET-SNMP version" "$work/snmptrapd.log" && running "$trapd_pid"
}
for attempt in 1 2 3; do
  start_trapd && break
  stop_pid "$trapd_pid"
  [ "$attempt" -lt 3 ] || { cat "$work/snmptrapd.log" >&2; fail "snmptrapd did not start"; }
done

# ---- snmpd ----------------------------------------------------------------------
start_snmpd() {
  agent_port=$(free_port) || return 1
  smux_port=$(free_port) || return 1
  agentx_port=$(free_port) || return 1
  [ "$agent_port" != "$smux_port" ] && [ "$smux_port" != "$agentx_port" ] || return 1
  cat >"$work/snmpd.conf" <<EOF
agentaddress udp:127.0.0.1:$agent_port
smuxsocket 127.0.0.1:$smux_port
smuxpeer $identity $password
master agentx
agentXSocket tcp:127.0.0.1:$agentx_port
rocommunity $community 127.0.0.1
rwcommunity private 127.0.0.1
trapsink 127.0.0.1:$trap_port $community
EOF
  : >"$work/snmpd.log"
  /usr/sbin/snmpd -f -C -c "$work/snmpd.conf" -Lf "$work/snmpd.log" -p "$work/snmpd.pid" \
    -m "" </dev/null >/dev/null 2>&1 &
  snmpd_pid=$!
  pids+=("$snmpd_pid")
  wait_for 15 snmpget -v2c -c "$community" -m "" -On -t 0.3 -r 0 "127.0.0.1:$agent_port" \
    1.3.6.1.2.1.1.3.0 || return 1
  running "$snmpd_pid" && ! grep -q "bind failed" "$work/snmpd.log"
}
for attempt in 1 2 3; do
  start_snmpd && break
  stop_pid "$snmpd_pid"
  [ "$attempt" -lt 3 ] || { cat "$work/snmpd.log" >&2; fail "snmpd did not start"; }
done
agent=127.0.0.1:$agent_port
say "snmpd on udp $agent (SMUX on tcp 127.0.0.1:$smux_port, AgentX on tcp 127.0.0.1:$agentx_port), snmptrapd on udp 127.0.0.1:$trap_port"

table() {  # table NAME [OPTIONS]: the table; false without rows
  local name=$1 out; shift
  out=$(snmptable -v2c -c "$community" "${mibopts[@]}" -Ci -Cw 160 -t 3 -r 1 "$@" "$agent" "$module::$name" 2>&1) || {
    echo "$out"
    return 1
  }
  echo "$out"
  ! grep -q "has no entries" <<<"$out"
}
show_tables() {
  local ok=0 t
  for t in vlmSysTable vlmSvcTable; do
    echo
    table "$t" || ok=1
  done
  # -Cb: relayLstatus shows as status, relayCremPort as remPort.
  for t in relayListenerTable relayConnTable; do
    echo
    table "$t" -Cb || ok=1
  done
  return "$ok"
}

# relay-peer's own connection to snmpd, seen from its side: the instance
# ends with the agent's SMUX or AgentX address and port.
own_connection() {
  local suffix=".127.0.0.1.$smux_port"
  [ "$protocol" = agentx ] && suffix=".127.0.0.1.$agentx_port"
  snmpwalk -v2c -c "$community" -m "" -On -t 3 -r 1 "$agent" .1.3.6.1.4.1.32473.1.1.3.2.14.3.1.1 2>/dev/null |
    awk -v s="$suffix" '{ oid = $1; if (substr(oid, length(oid) - length(s) + 1) == s) { print oid; exit } }' |
    grep .
}

# One part of the demo: relay-peer over one protocol, from start to stop.
part() {
protocol=$1
: >"$work/snmptrapd.log"
# ---- relay-peer -----------------------------------------------------------------
if [ "$protocol" = agentx ]; then
  "$relay_peer" --agentx "tcp:127.0.0.1:$agentx_port" --identity "$identity" \
    --snmp-port "$agent_port" --refresh 2 --retry 1 </dev/null >"$work/relay-peer.log" 2>&1 &
else
  RELAY_PEER_PASSWORD=$password "$relay_peer" --port "$smux_port" --identity "$identity" \
    --snmp-port "$agent_port" --refresh 2 --retry 1 </dev/null >"$work/relay-peer.log" 2>&1 &
fi
peer_pid=$!
pids+=("$peer_pid")
if ! wait_for 20 grep -q "registered" "$work/relay-peer.log"; then
  cat "$work/relay-peer.log" >&2
  fail "relay-peer did not register with snmpd"
fi
say "relay-peer (pid $peer_pid) says"
cat "$work/relay-peer.log"

# The rows are read every 2 s; the connection made at start-up shows after that.
wait_for 10 own_connection || true

say "the tables, read through snmpd with snmptable -M <dir> -m $module"
show_tables || fail "snmptable found no rows"

# ---- a manager invalidates one connection ---------------------------------------
say "a manager sets relayCstatus of relay-peer's own connection to snmpd to invalid(2)"
if own=$(own_connection); then
  snmpset -v2c -c private "${mibopts[@]}" -t 3 -r 1 "$agent" "$own" i 2 || true
  echo "relayConnTable after the Set (the row stays out while that connection exists):"
  table relayConnTable -Cb || true
else
  echo "relay-peer's connection is not in relayConnTable yet"
fi

# ---- running --------------------------------------------------------------------
if [ "$seconds" -gt 0 ]; then
  say "relay-peer keeps the tables current for ${seconds}s (Ctrl-C stops the demo)"
  end=$((SECONDS + seconds))
  while [ "$SECONDS" -lt "$end" ]; do
    running "$peer_pid" || { cat "$work/relay-peer.log" >&2; fail "relay-peer ended early"; }
    sleep 1
  done
  say "the relay tables now (the invalidated row is still out)"
  table relayListenerTable -Cb || true
  echo
  table relayConnTable -Cb || true
fi

# ---- stop relay-peer, show the traps ----------------------------------------------
say "stopping relay-peer (SIGTERM)"
stop_pid "$peer_pid"
tail -n 2 "$work/relay-peer.log"
wait_for 5 grep -q "relay-peer stopped" "$work/snmptrapd.log" || true

# One line per product trap: its name and vlmTrapErrorText (variable 9).  The
# SMIv1 name of enterprise E, specific n is E.0.n.  relay-peer's SMUX traps
# carry the trap's own identifier (vlmSysTraps.n) as E, so the name is found
# at vlmSysTraps.0.n; its AgentX notifications (snmpTrapOID vlmSysTraps.0.n)
# reach the v1 trap sink with vlmSysTraps as E.
trap_summary() {
  local line enterprise specific name="" text
  while IFS= read -r line; do
    if [[ $line =~ ([^[:space:]]+)\ Enterprise\ Specific\ Trap\ \(([^\)]+)\) ]]; then
      enterprise=${BASH_REMATCH[1]} specific=${BASH_REMATCH[2]}
      if [[ $specific =~ ^[0-9]+$ ]]; then
        [ "$protocol" = agentx ] || enterprise=${enterprise%.*}
        name=$(snmptranslate "${mibopts[@]}" "$enterprise.0.$specific" 2>/dev/null) ||
          name="$enterprise specific $specific"
      else
        name=$specific
      fi
    elif [ -n "$name" ]; then
      text=""
      [[ $line =~ \.9\ =\ STRING:\ (\"[^\"]*\") ]] && text=${BASH_REMATCH[1]}
      printf '  %-16s %s\n' "${name#*::}" "$text"
      name=""
    fi
  done <"$work/snmptrapd.log"
}
say "traps received by snmptrapd"
trap_summary
echo
echo "snmptrapd's log:"
grep -v "NET-SNMP version" "$work/snmptrapd.log" || echo "(empty)"
grep -q '"relay-peer started"' "$work/snmptrapd.log" || fail "vlmTrapSvcUp did not arrive"
}

for p in "${parts[@]}"; do
  if [ "$p" = agentx ]; then
    say "part 2: relay-peer as an AgentX subagent (snmpd: master agentx, agentXSocket tcp:127.0.0.1:$agentx_port)"
  else
    say "part 1: relay-peer as an SMUX peer (snmpd: smuxpeer $identity <password>)"
  fi
  part "$p"
done
say "done: stopping snmpd and snmptrapd"
