#!/usr/bin/env bash
# abi-record.sh [BUILD_DIR] - records the ABI of libnysnmp and libnysocket in
# abi/libnysnmp.abi and abi/libnysocket.abi (abigail's abidw), from the public
# headers' point of view.  scripts/package-check.sh compares the packaged
# libraries against these records with abidiff.
#
# Run it when the ABI changes on purpose: a new public class or function
# (compatible), or an incompatible change that comes with a new SONAME
# (PROJECT_VERSION's major number in CMakeLists.txt); commit the records
# with the change.  Without BUILD_DIR it builds the two libraries with g++,
# RelWithDebInfo, in build/abi.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -gt 0 ]; then
  build=$(cd "$1" && pwd)
else
  build=$root/build/abi
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNYSNMP_BUILD_TESTS=OFF -DNYSNMP_BUILD_BENCH=OFF -DNYSNMP_BUILD_TOOLS=OFF >/dev/null
  cmake --build "$build" -j 2 --target nysnmp nysocket >/dev/null
fi
command -v abidw >/dev/null || { echo "abi-record: abidw missing (Debian package abigail-tools)" >&2; exit 1; }
mkdir -p "$root/abi"
for lib in nysocket nysnmp; do
  abidw --headers-dir "$root/include" --drop-private-types --drop-undefined-syms \
    --no-corpus-path --no-comp-dir-path --short-locs --type-id-style hash \
    --out-file "$root/abi/lib$lib.abi" "$build/lib$lib.so"
  echo "abi/lib$lib.abi: $(grep -c '<elf-symbol ' "$root/abi/lib$lib.abi") symbols, soname $(sed -n "s/.*soname='\([^']*\)'.*/\1/p" "$root/abi/lib$lib.abi" | head -1)"
done
