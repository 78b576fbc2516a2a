#!/usr/bin/env bash
# vs_netsnmp.sh - runs bench_vs_netsnmp with repetitions and prints the
# medians of both sides and how many times faster this library is.
#
# usage: bench/vs_netsnmp.sh [--build DIR] [--repetitions N] [--json FILE]
#   --build DIR        build directory with bench/bench_vs_netsnmp (default build/clang)
#   --repetitions N    repetitions of every benchmark (default 7)
#   --json FILE        keep Google Benchmark's JSON output there
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/clang
repetitions=7
json=""
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=${2:?}; shift 2 ;;
    --repetitions) repetitions=${2:?}; shift 2 ;;
    --json) json=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "vs_netsnmp: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
program=$build/bench/bench_vs_netsnmp
[ -x "$program" ] || { echo "vs_netsnmp: $program is missing (libsnmp-dev installed? cmake --build $build)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "vs_netsnmp: python3 is needed for the table" >&2; exit 1; }

out=$(mktemp "${TMPDIR:-/tmp}/vs_netsnmp.XXXXXX.json")
trap 'rm -f "$out"' EXIT
"$program" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json >/dev/null
[ -n "$json" ] && cp "$out" "$json"

python3 - "$out" <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))
ctx = data["context"]
print(f"{ctx.get('num_cpus')} CPUs at {ctx.get('mhz_per_cpu')} MHz, load average {ctx.get('load_avg')}")
med = {}
for b in data["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    name = b["run_name"]                      # e.g. Encode/nysnmp/10
    op, side, n = name.split("/")
    unit = {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
    med[(op, side, int(n))] = (b["real_time"] * unit, b["cpu_time"] * unit, int(b.get("octets", 0)))
print()
print("| operation | bindings | octets | nysnmp ns (cpu) | net-snmp ns (cpu) | faster (cpu) | faster (wall) |")
print("|---|---:|---:|---:|---:|---:|---:|")
for op, theirs in (("Encode", "Encode"), ("Decode", "Decode"), ("Encode", "EncodeReverse")):
    for n in (1, 10, 50):
        a = med.get((op, "nysnmp", n))
        b = med.get((theirs, "netsnmp", n))
        if not a or not b:
            continue
        label = op if theirs == op else f"{op} (net-snmp reverse build)"
        print(f"| {label} | {n} | {a[2]} | {a[1]:.0f} | {b[1]:.0f} | {b[1] / a[1]:.2f}x | {b[0] / a[0]:.2f}x |")
EOF
