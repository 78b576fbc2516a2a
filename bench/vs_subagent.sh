#!/usr/bin/env bash
# vs_subagent.sh - relayConnTable served through one private snmpd by this
# library's hosts and by a subagent written with net-snmp's agent library,
# side by side in one run.
#
# Starts ONE snmpd on loopback (free ports, private temp directory) that is
# AgentX master (agentXSocket on a Unix socket in that directory) and SMUX
# agent (smuxsocket on a free port, smuxpeer line).  For each row count N and
# each host in turn -- our SMUX peer (bench_e2e_host), net-snmp's subagent
# (bench_netsnmp_subagent) and our AgentX subagent (bench_e2e_host --agentx) -- it starts the
# host with N rows (e2e/rows.h: identical rows), then
#   1. walks relayConnTable with snmpwalk and snmpbulkwalk -Cr25 and compares
#      every line with the first host's walk (stops on any difference);
#   2. times a walk of each tool, one client alone and CLIENTS clients at
#      once: wall time, client requests per second, and the CPU time
#      (utime+stime from /proc/PID/stat) the host and snmpd spent, divided
#      by the bindings walked.
# The hosts take turns within each of RUNS runs (each started afresh), so
# that a change in the load of the machine meets them alike; the tables
# show medians of the wall times and CPU summed over the runs.  Everything
# started here is stopped by pid at exit.
#
# usage: bench/vs_subagent.sh [--rows "1000 5000"] [--runs 3] [--clients 4]
#                             [--build DIR] [--tsv FILE]
#   --build DIR  build directory with bench/bench_e2e_host and
#                bench/bench_netsnmp_subagent (default build/clang)
#   --tsv FILE   also write every single measurement there
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
rows_list="1000 5000"
runs=3
clients=4
build=$root/build/clang
tsv=""
while [ $# -gt 0 ]; do
  case $1 in
    --rows) rows_list=${2:?}; shift 2 ;;
    --runs) runs=${2:?}; shift 2 ;;
    --clients) clients=${2:?}; shift 2 ;;
    --build) build=${2:?}; shift 2 ;;
    --tsv) tsv=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "vs_subagent: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
for value in "$runs" "$clients"; do
  case $value in ''|*[!0-9]*|0) echo "vs_subagent: --runs and --clients want positive whole numbers" >&2; exit 2 ;; esac
done
smux_bin=$build/bench/bench_e2e_host
netsnmp_bin=$build/bench/bench_netsnmp_subagent
for bin in "$smux_bin" "$netsnmp_bin"; do
  [ -x "$bin" ] || { echo "vs_subagent: $bin is missing (cmake --build $build --target $(basename "$bin"))" >&2; exit 1; }
done
for tool in /usr/sbin/snmpd snmpwalk snmpbulkwalk snmpgetnext; do
  command -v "$tool" >/dev/null || { echo "vs_subagent: $tool is missing (Debian packages snmpd, snmp)" >&2; exit 1; }
done

table_oid=1.3.6.1.4.1.32473.1.1.3.2.14.3
identity=1.3.6.1.4.1.32473.1.1
password="vs-$$-$RANDOM"
community=public
ticks=$(getconf CLK_TCK)
. "$root/bench/lib.sh"

bench_private_dir vs
agentx_socket=$work/agentx.sock
# snmpd as AgentX master and SMUX agent at once.
bench_start_snmpd vs_subagent "master agentx
agentXSocket unix:$agentx_socket
agentXPerms 0600 0700" test -S "$agentx_socket"
client_args=(-v2c -c "$community" -m "" -On -t 30 -r 0)

# ---- the hosts ---------------------------------------------------------------
# Each prints the command that serves N rows.  The first is the reference the
# others' walks are compared with.
host_smux() { echo env "E2E_HOST_PASSWORD=$password" "$smux_bin" --port "$smux_port" --rows "$1" --identity "$identity"; }
host_netsnmp() { echo "$netsnmp_bin" --agentx "unix:$agentx_socket" --rows "$1"; }
host_agentx() { echo "$smux_bin" --agentx "unix:$agentx_socket" --rows "$1" --identity "$identity"; }
hosts=(smux agentx netsnmp)
declare -A host_label=([smux]="ours, SMUX" [netsnmp]="net-snmp subagent" [agentx]="ours, AgentX")

# ---- measuring ----------------------------------------------------------------
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
table_reachable() {
  snmpgetnext "${client_args[@]}" -t 1 "$agent" "$table_oid" 2>/dev/null | grep -q "^\.$table_oid\."
}
table_gone() { ! table_reachable; }
tool_args() { [ "$1" = snmpbulkwalk ] && echo -Cr25 || true; }
# walk_to TOOL FILE: one walk into FILE; fails on an error or an empty walk.
walk_to() {
  local tool=$1 out=$2
  # shellcheck disable=SC2046
  "$tool" "${client_args[@]}" $(tool_args "$tool") "$agent" "$table_oid" >"$out" 2>"$out.err" || {
    cat "$out.err" >&2; echo "vs_subagent: $tool failed" >&2; return 1; }
  if [ -s "$out.err" ] || ! grep -q "^\.$table_oid\." "$out"; then
    cat "$out.err" >&2; echo "vs_subagent: $tool returned no table" >&2; return 1
  fi
}
# Requests a client sends for a walk of V varbinds (the last one leaves the table).
requests_for() { if [ "$1" = snmpbulkwalk ]; then echo $(($2 / 25 + 1)); else echo $(($2 + 1)); fi; }
us_per() { awk -v t="$1" -v n="$2" -v hz="$ticks" 'BEGIN { printf "%.1f", t * 1e6 / hz / n }'; }

# Per row count, host, tool and number of clients ("n.host.tool.clients"):
# wall times of the runs, and CPU ticks of the host and snmpd summed over them.
declare -A walls host_ticks snmpd_ticks
[ -n "$tsv" ] && printf 'rows\thost\ttool\tclients\trun\tns\tvarbinds\thost_ticks\tsnmpd_ticks\n' >"$tsv"

start_host() {  # start_host NAME N: the host serving N rows, once snmpd answers from it
  local name=$1 n=$2
  : >"$work/host.log"
  # shellcheck disable=SC2046
  $("host_$name" "$n") </dev/null >"$work/host.log" 2>&1 &
  host_pid=$!
  if ! wait_for 120 table_reachable || ! running "$host_pid"; then
    cat "$work/host.log" >&2; echo "vs_subagent: ${host_label[$name]} does not serve the table" >&2; exit 1
  fi
}
stop_host() {
  stop_pid "$host_pid"
  host_pid=""
  # The next host must not find this one's registration still in place.
  wait_for 30 table_gone || true
}

# compare NAME N: both walks line for line against the first host's walk.
compare() {
  local name=$1 n=$2 tool count expected=$((12 * $2))
  for tool in snmpwalk snmpbulkwalk; do
    walk_to "$tool" "$work/$name.$tool.out"
    count=$(grep -c "^\.$table_oid\." "$work/$name.$tool.out")
    [ "$count" -eq "$expected" ] || { echo "vs_subagent: ${host_label[$name]}: $tool walked $count varbinds, not $expected" >&2; exit 1; }
    [ -f "$work/reference.$n" ] || cp "$work/$name.$tool.out" "$work/reference.$n"
    if ! cmp -s "$work/reference.$n" "$work/$name.$tool.out"; then
      diff "$work/reference.$n" "$work/$name.$tool.out" | head -20 >&2
      echo "vs_subagent: ${host_label[$name]}: $tool differs from the reference walk" >&2; exit 1
    fi
  done
  echo "  ${host_label[$name]}: both walks identical to the reference ($expected lines)"
}

# timed NAME N RUN TOOL CLIENTS: CLIENTS walks at once, timed, CPU counted.
timed() {
  local name=$1 n=$2 run=$3 tool=$4 count=$5 key="$2.$1.$4.$5" h0 s0 start end i pids=()
  h0=$(cpu_ticks "$host_pid") s0=$(cpu_ticks "$snmpd_pid")
  start=$(now_ns)
  for i in $(seq 1 "$count"); do
    walk_to "$tool" "$work/walk.$i.out" &
    pids+=($!)
  done
  for i in "${pids[@]}"; do wait "$i" || exit 1; done
  end=$(now_ns)
  for i in $(seq 1 "$count"); do
    cmp -s "$work/reference.$n" "$work/walk.$i.out" || { echo "vs_subagent: ${host_label[$name]}: a timed $tool differs" >&2; exit 1; }
  done
  h0=$(($(cpu_ticks "$host_pid") - h0)) s0=$(($(cpu_ticks "$snmpd_pid") - s0))
  walls[$key]+="$((end - start)) "
  host_ticks[$key]=$((${host_ticks[$key]:-0} + h0))
  snmpd_ticks[$key]=$((${snmpd_ticks[$key]:-0} + s0))
  [ -n "$tsv" ] && printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$n" "$name" "$tool" "$count" "$run" "$((end - start))" \
    "$((count * 12 * n))" "$h0" "$s0" >>"$tsv"
  return 0
}

echo "snmpd $(bench_snmpd_version) on udp $agent:" \
  "AgentX master on unix:$agentx_socket, SMUX on tcp 127.0.0.1:$smux_port"
echo "$runs runs, the hosts taking turns within each run; $clients clients at once"
for n in $rows_list; do
  for run in $(seq 1 "$runs"); do
    echo "== $n rows, run $run"
    for name in "${hosts[@]}"; do
      start_host "$name" "$n"
      [ "$run" -eq 1 ] && compare "$name" "$n"
      for tool in snmpwalk snmpbulkwalk; do
        timed "$name" "$n" "$run" "$tool" 1
        timed "$name" "$n" "$run" "$tool" "$clients"
      done
      stop_host
    done
  done
done

ms_of() { echo "${walls[$1]}" | tr ' ' '\n' | grep . | median | awk '{ printf "%.0f", $1 / 1e6 }'; }
echo
echo "One client at a time (median of $runs walks; CPU: utime+stime over all of them per binding walked)"
echo "| rows | tool | host | varbinds | wall ms | µs/varbind | host CPU µs/binding | snmpd CPU µs/binding |"
echo "|---:|---|---|---:|---:|---:|---:|---:|"
for n in $rows_list; do
  for tool in snmpwalk snmpbulkwalk; do
    for name in "${hosts[@]}"; do
      key=$n.$name.$tool.1 v=$((12 * n))
      ms=$(ms_of "$key")
      echo "| $n | $tool | ${host_label[$name]} | $v | $ms | $(awk -v m="$ms" -v v="$v" 'BEGIN { printf "%.1f", m * 1000 / v }') |" \
        "$(us_per "${host_ticks[$key]}" $((runs * v))) | $(us_per "${snmpd_ticks[$key]}" $((runs * v))) |"
    done
  done
done
echo
echo "$clients clients walking at once (median of $runs; requests: the clients' PDUs)"
echo "| rows | tool | host | total ms | requests/s | varbinds/s | host CPU µs/binding | snmpd CPU µs/binding |"
echo "|---:|---|---|---:|---:|---:|---:|---:|"
for n in $rows_list; do
  for tool in snmpwalk snmpbulkwalk; do
    for name in "${hosts[@]}"; do
      key=$n.$name.$tool.$clients v=$((12 * n))
      ms=$(ms_of "$key")
      echo "| $n | $tool | ${host_label[$name]} | $ms |" \
        "$(awk -v r="$(requests_for "$tool" "$v")" -v c="$clients" -v ms="$ms" 'BEGIN { printf "%.0f", r * c * 1000 / ms }') |" \
        "$(awk -v v="$v" -v c="$clients" -v ms="$ms" 'BEGIN { printf "%.0f", v * c * 1000 / ms }') |" \
        "$(us_per "${host_ticks[$key]}" $((runs * clients * v))) | $(us_per "${snmpd_ticks[$key]}" $((runs * clients * v))) |"
    done
  done
done
echo
echo "Wall time ours / net-snmp subagent (median walls)"
echo "| rows | tool | clients |$(for name in "${hosts[@]}"; do [ "$name" = netsnmp ] || printf ' %s |' "${host_label[$name]}"; done)"
echo "|---:|---|---:|$(for name in "${hosts[@]}"; do [ "$name" = netsnmp ] || printf -- '---:|'; done)"
for n in $rows_list; do
  for tool in snmpwalk snmpbulkwalk; do
    for c in 1 "$clients"; do
      line="| $n | $tool | $c |"
      for name in "${hosts[@]}"; do
        [ "$name" = netsnmp ] && continue
        line+=$(awk -v a="$(ms_of "$n.$name.$tool.$c")" -v b="$(ms_of "$n.netsnmp.$tool.$c")" 'BEGIN { printf " %.2f |", a / b }')
      done
      echo "$line"
    done
  done
done
