#!/usr/bin/env bash
# count.sh - instructions per PDU of both codecs (bench_vs_netsnmp's PDUs),
# counted by valgrind --tool=callgrind: each operation runs 1,000 and 3,000
# times and the difference is divided by 2,000, so start-up drops out.
#
# usage: bench/callgrind/count.sh BUILD_DIR
#   BUILD_DIR  a build of the library whose debug information valgrind reads,
#              e.g. cmake -S . -B build/cg -G Ninja -DCMAKE_CXX_COMPILER=clang++
#                   -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-gdwarf-4
#                   -DNYSNMP_BUILD_TESTS=OFF && cmake --build build/cg --target nysnmp
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: count.sh BUILD_DIR}" && pwd)
for tool in valgrind callgrind_annotate clang++; do
  command -v "$tool" >/dev/null || { echo "count: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/nysnmp-count.XXXXXX")
trap 'rm -rf "$work"' EXIT
clang++ -std=c++17 -O2 -gdwarf-4 -I"$root/include" -o "$work/count" "$root/bench/callgrind/count.cpp" \
  -L"$build" -lnysnmp -lnysocket -lnetsnmp -lbenchmark -Wl,-rpath,"$build"
total() {  # total OP CALLS BINDINGS: instructions of the whole run
  valgrind --tool=callgrind --callgrind-out-file="$work/out" "$work/count" "$1" "$2" "$3" >/dev/null 2>&1
  callgrind_annotate "$work/out" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'
}
echo "| per PDU | bindings | nysnmp instructions | net-snmp instructions | ratio |"
echo "|---|---:|---:|---:|---:|"
for pair in "Encode enc nenc" "Decode dec ndec"; do
  read -r label ours theirs <<<"$pair"
  for n in 1 10 50; do
    a=$(( ($(total "$ours" 3000 "$n") - $(total "$ours" 1000 "$n")) / 2000 ))
    b=$(( ($(total "$theirs" 3000 "$n") - $(total "$theirs" 1000 "$n")) / 2000 ))
    echo "| $label | $n | $a | $b | $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }') |"
  done
done
