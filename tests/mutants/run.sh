#!/usr/bin/env bash
# Deliberate faults, one at a time:  tests/mutants/run.sh [ID...]   (default: all of mutants.txt)
#
# Each fault is applied to a scratch copy of the tree (build/mutants/src, never the working
# tree), built there (clang, RelWithDebInfo, ninja) and tested with the ctest arguments
# its entry names; it is caught when a test fails.  The changed file is put back after
# each fault, also when the run is interrupted.  Prints one line per fault and a summary;
# exit status 0 only when every fault was caught.  MUTANTS_WORK and MUTANTS_JOBS (2)
# override the scratch directory and the parallelism; MUTANTS_ALL=1 runs every test
# for every fault, to the end (the logs then tell which tests catch what).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
list=$root/tests/mutants/mutants.txt
work=${MUTANTS_WORK:-$root/build/mutants}
jobs=${MUTANTS_JOBS:-2}
copy=$work/src build=$work/build
helper() { python3 "$root/tests/mutants/mutate.py" "$@"; }

mkdir -p "$copy" "$work/logs"
helper sync "$root" "$copy" || exit 2
changed=""
restore() { [ -z "$changed" ] || cp "$root/$changed" "$copy/$changed"; changed=""; }
trap 'restore' EXIT
trap 'restore; exit 130' INT TERM

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$copy" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DNYSNMP_BUILD_BENCH=OFF >"$work/logs/configure.log" 2>&1 || { echo "configure failed"; exit 2; }
fi
ninja -C "$build" -j "$jobs" >"$work/logs/build.log" 2>&1 || { echo "the unchanged tree does not build"; exit 2; }

ids=("$@")
[ ${#ids[@]} -gt 0 ] || mapfile -t ids < <(helper ids "$list" | cut -f1)
caught=0 missed=() broken=() start=$SECONDS
for id in "${ids[@]}"; do
  t0=$SECONDS log=$work/logs/$id.log
  if ! out=$(helper apply "$list" "$id" "$copy" 2>&1); then
    broken+=("$id"); echo "STALE   $id: $out"; continue
  fi
  changed=$(sed -n 1p <<<"$out")
  eval "args=($(sed -n 2p <<<"$out"))"
  stop=--stop-on-failure
  [ -z "${MUTANTS_ALL:-}" ] || { args=(); stop=; }
  if ! ninja -C "$build" -j "$jobs" >"$log" 2>&1; then
    broken+=("$id"); echo "NOBUILD $id (see $log)"; restore; continue
  fi
  ctest --test-dir "$build" -j "$jobs" --timeout 120 $stop "${args[@]}" >>"$log" 2>&1
  rc=$?
  restore
  if grep -q "No tests were found" "$log"; then
    broken+=("$id"); echo "NOTESTS $id (${args[*]})"
  elif [ $rc -ne 0 ]; then
    caught=$((caught + 1)); echo "caught  $id ($((SECONDS - t0)) s): $(grep -m1 -E '\(Failed|\(Timeout|\(SEGFAULT|\(Subprocess' "$log" | sed 's/^ *//')"
  else
    missed+=("$id"); echo "MISSED  $id ($((SECONDS - t0)) s)"
  fi
done
echo "== $caught of ${#ids[@]} caught in $((SECONDS - start)) s; missed: ${missed[*]:-none}; not applied: ${broken[*]:-none}"
[ $caught -eq ${#ids[@]} ]
