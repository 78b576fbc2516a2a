#!/usr/bin/env bash
# Builds everything and runs every test twice: a clang build with the
# benchmarks, tools and examples, then a g++ build under AddressSanitizer and
# UndefinedBehaviorSanitizer.  Between the two it checks an installation from
# source and the Debian packages.  Installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ clang cmake ninja-build pkg-config googletest libgtest-dev libbenchmark-dev
          snmpd snmp snmptrapd smitools procps libsnmp-dev libclang-rt-14-dev
          dpkg-dev debhelper fakeroot lintian abigail-tools mandoc)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
  local dir=$1; shift
  echo "== configure $dir"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  echo "== build $dir"
  cmake --build "$dir" -j "$jobs"
  echo "== test $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build/clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== install check"
bash scripts/install-check.sh build/clang

echo "== Debian packages: lintian, ABI against abi/, installed, used, purged"
bash scripts/package-check.sh

echo "== short fuzzing run"
scripts/fuzz.sh 25

# Leak detection on for every test program and corpus replay: a leak fails
# the test that made it.
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=report_objects=1 \
run_suite build/asan -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Debug -DNYSNMP_SANITIZE=ON \
  -DNYSNMP_BUILD_BENCH=OFF
echo "== load (short): snmpd, load-host with 1,000 changing rows, concurrent clients"
NYSNMP_BUILD=build/clang scripts/load.sh 15 4
echo "== all suites passed"
