#!/usr/bin/env bash
# Fuzzes every libFuzzer target in turn for a bounded time and prints the
# executions per second and in total for each.
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Targets are the names of fuzz/<name>_fuzz.cpp.  Each run starts from the
# committed seeds (fuzz/corpus/<name>) and grows a working corpus in
# build/fuzz/work/<name>, kept between runs; a crashing input is written to
# build/fuzz/crash-<name>-* and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do
    n=$(basename "$f" _fuzz.cpp)
    targets+=("$n")
  done
fi

build=build/fuzz
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNYSNMP_BUILD_FUZZ=ON -DNYSNMP_BUILD_TESTS=OFF -DNYSNMP_BUILD_BENCH=OFF -DNYSNMP_BUILD_TOOLS=OFF >/dev/null
fi
cmake --build "$build" -j 2 >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

status=0
printf '%-16s %10s %14s %8s\n' target "exec/s" "executions" result
for t in "${targets[@]}"; do
  mkdir -p "$build/work/$t"
  log="$build/fuzz-$t.log"
  result=ok
  # -rss_limit_mb and -max_len keep one slow or huge input from stalling the run.
  if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 \
       -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$build/crash-$t-" \
       "$build/work/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    result=FAILED
    status=1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  printf '%-16s %10s %14s %8s\n' "$t" "${rate:-?}" "${execs:-?}" "$result"
  if [ "$result" != ok ]; then
    grep -E "ERROR|broken|refused|not shown|SUMMARY|Test unit written" "$log" | head -5 | sed 's/^/    /'
  fi
done
exit $status
