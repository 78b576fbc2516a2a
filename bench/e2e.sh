#!/usr/bin/env bash
# e2e.sh - time walks of relayConnTable through net-snmp's snmpd, per varbind,
# beside walks of a subtree that snmpd answers itself (the floor).
#
# Starts a private snmpd on loopback (free ports, private temp directory,
# SMUX enabled) and, for each row count N, bench_e2e_host publishing N rows
# of relayConnTable (12 columns: 12 N varbinds).  Each walk runs RUNS times:
#   snmpwalk     -v2c            (one GetNext per varbind)
#   snmpbulkwalk -v2c -Cr25      (GetBulk, 25 repetitions)
# over relayConnTable and over snmpd's own FLOOR subtree, in turn within the
# same run.  Reports the median wall time per varbind of each, and the ratio
# table / floor.  Everything started here is stopped by pid at exit.
#
# usage: bench/e2e.sh [--rows "100 1000 5000"] [--runs 5] [--floor 1.3.6.1.2.1]
#                     [--build DIR] [--tsv FILE]
#   --build DIR  build directory with bench/bench_e2e_host (default build/clang)
#   --tsv FILE   also write every single measurement there
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
rows_list="100 1000 5000"
runs=5
floor_oid=1.3.6.1.2.1
build=$root/build/clang
tsv=""
while [ $# -gt 0 ]; do
  case $1 in
    --rows) rows_list=${2:?}; shift 2 ;;
    --runs) runs=${2:?}; shift 2 ;;
    --floor) floor_oid=${2:?}; shift 2 ;;
    --build) build=${2:?}; shift 2 ;;
    --tsv) tsv=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "e2e: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
case $runs in ''|*[!0-9]*|0) echo "e2e: --runs wants a positive whole number" >&2; exit 2 ;; esac
host_bin=$build/bench/bench_e2e_host
[ -x "$host_bin" ] || { echo "e2e: $host_bin is missing (cmake --build $build --target bench_e2e_host)" >&2; exit 1; }
for tool in /usr/sbin/snmpd snmpwalk snmpbulkwalk snmpgetnext; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (Debian packages snmpd, snmp)" >&2; exit 1; }
done

table_oid=1.3.6.1.4.1.32473.1.1.3.2.14.3
identity=1.3.6.1.4.1.32473.1.1
password="e2e-$$-$RANDOM"
community=public
. "$root/bench/lib.sh"

bench_private_dir e2e
bench_start_snmpd e2e "" true

start_host() {  # start_host N
  : >"$work/host.log"
  E2E_HOST_PASSWORD=$password "$host_bin" --port "$smux_port" --rows "$1" --identity "$identity" \
    </dev/null >"$work/host.log" 2>&1 &
  host_pid=$!
  # Building the rows takes minutes for thousands of rows where each
  # insertion into the table is linear.
  if ! wait_for 900 grep -q "^registered" "$work/host.log"; then
    cat "$work/host.log" >&2
    echo "e2e: bench_e2e_host did not register with snmpd" >&2
    exit 1
  fi
}

# walk TOOL OID: prints "nanoseconds varbinds"; a walk that fails or ends in
# an error line is fatal.
walk() {
  local tool=$1 oid=$2 start end out count
  local args=(-v2c -c "$community" -m "" -On -t 30 -r 0)
  [ "$tool" = snmpbulkwalk ] && args+=(-Cr25)
  start=$(now_ns)
  "$tool" "${args[@]}" "$agent" "$oid" >"$work/walk.out" 2>"$work/walk.err" || {
    cat "$work/walk.err" >&2; echo "e2e: $tool $oid failed" >&2; exit 1; }
  end=$(now_ns)
  count=$(grep -c "^\.$oid\." "$work/walk.out" || true)
  if [ -s "$work/walk.err" ] || [ "$count" -eq 0 ]; then
    cat "$work/walk.err" >&2; echo "e2e: $tool $oid returned $count varbinds" >&2; exit 1
  fi
  echo "$((end - start)) $count"
}

[ -n "$tsv" ] && printf 'rows\ttool\tsubtree\trun\tns\tvarbinds\n' >"$tsv"
results=()
echo "snmpd $(bench_snmpd_version) on udp $agent, SMUX on tcp 127.0.0.1:$smux_port"
echo "floor subtree $floor_oid; $runs runs per figure; medians of wall time per varbind"
for n in $rows_list; do
  start_host "$n"
  for tool in snmpwalk snmpbulkwalk; do
    : >"$work/table.ns"
    : >"$work/floor.ns"
    table_count=0 floor_count=0
    for run in $(seq 1 "$runs"); do
      read -r ns table_count < <(walk "$tool" "$table_oid")
      echo "$((ns / table_count))" >>"$work/table.ns"
      [ -n "$tsv" ] && printf '%s\t%s\ttable\t%s\t%s\t%s\n' "$n" "$tool" "$run" "$ns" "$table_count" >>"$tsv"
      read -r ns floor_count < <(walk "$tool" "$floor_oid")
      echo "$((ns / floor_count))" >>"$work/floor.ns"
      [ -n "$tsv" ] && printf '%s\t%s\tfloor\t%s\t%s\t%s\n' "$n" "$tool" "$run" "$ns" "$floor_count" >>"$tsv"
    done
    [ "$table_count" -eq $((12 * n)) ] || { echo "e2e: expected $((12 * n)) varbinds, walked $table_count" >&2; exit 1; }
    table_us=$(median <"$work/table.ns" | awk '{ printf "%.1f", $1 / 1000 }')
    floor_us=$(median <"$work/floor.ns" | awk '{ printf "%.1f", $1 / 1000 }')
    ratio=$(awk -v a="$table_us" -v b="$floor_us" 'BEGIN { printf "%.2f", a / b }')
    results+=("$(printf '| %6s | %-12s | %8s | %10s | %8s | %10s | %5s |' "$n" "$tool" "$table_count" "$table_us" \
      "$floor_count" "$floor_us" "$ratio")")
    echo "${results[-1]}"
  done
  stop_pid "$host_pid"
  host_pid=""
done

echo
echo "| rows N | tool         | varbinds | µs/varbind | floor vb | floor µs/vb | ratio |"
echo "|-------:|--------------|---------:|-----------:|---------:|------------:|------:|"
printf '%s\n' "${results[@]}"
