#!/usr/bin/env bash
# install-check.sh BUILD_DIR - the installation from source, as a user gets it.
#
# Installs BUILD_DIR into a temporary prefix and moves the prefix elsewhere,
# then checks there, with no LD_LIBRARY_PATH: the programs start (their run
# path is relative and nothing points into the build tree), net-snmp's tools
# name every object of the installed MIB module, the manual pages and the
# service files are in place, and programs build against the installed
# library with pkg-config and with find_package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/nysnmp-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "install check: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/prefix"
prefix=$work/prefix
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
unset LD_LIBRARY_PATH

echo "== programs run from a moved prefix"
# Run paths: relative for the programs, none for the libraries.  Debug
# information may name the build tree; no other installed file does.
for program in nymib-print relay-peer; do
  runpath=$(readelf -d "$prefix/bin/$program" | sed -n -E 's/.*\((RUNPATH|RPATH)\).*\[(.*)\]/\2/p')
  [ "$runpath" = "\$ORIGIN/../$libdir" ] || fail "$program has run path '$runpath'"
done
for lib in "$prefix/$libdir"/lib*.so.*.*; do
  ! readelf -d "$lib" | grep -q -E '\((RUNPATH|RPATH)\)' || fail "$lib has a run path"
done
"$prefix/bin/nymib-print" >"$work/printed.txt" || fail "nymib-print does not run"
"$prefix/bin/relay-peer" --help >/dev/null || fail "relay-peer --help does not run"
find "$prefix" -type f ! -path "$prefix/bin/*" ! -name '*.so*' -exec grep -l -F "$build" {} + >"$work/named" || true
[ ! -s "$work/named" ] || fail "installed files name the build directory: $(cat "$work/named")"

echo "== the MIB module, installed and named by snmptranslate"
mibs=$prefix/share/snmp/mibs
cmp -s "$work/printed.txt" "$mibs/VELMORA-MIB.txt" || fail "the installed VELMORA-MIB.txt is not what nymib-print writes"
mapfile -t names < <(sed -n -E 's/^ +([a-z][A-Za-z0-9]*) +(OBJECT-TYPE|OBJECT IDENTIFIER|TRAP-TYPE).*/\1/p' "$mibs/VELMORA-MIB.txt")
[ ${#names[@]} -gt 50 ] || fail "only ${#names[@]} objects found in VELMORA-MIB.txt"
mkdir -p "$work/persist"
translated=$(SNMP_PERSISTENT_DIR=$work/persist snmptranslate -M "+$mibs" -m +VELMORA-MIB -On \
  "${names[@]/#/VELMORA-MIB::}" 2>"$work/snmptranslate.err" || true)
count=$(grep -c -E '^\.1\.3\.6\.1\.4\.1\.32473(\.|$)' <<<"$translated" || true)
if [ "$count" -ne ${#names[@]} ]; then
  grep -F 'VELMORA-MIB' "$work/snmptranslate.err" >&2 || true
  fail "snmptranslate named $count of ${#names[@]} objects"
fi
echo "   ${#names[@]} objects"

echo "== manual pages and service files"
for f in share/man/man1/nymib-print.1 share/man/man8/relay-peer.8 \
         share/doc/nysnmp/examples/relay-peer.service share/doc/nysnmp/examples/relay-peer.default \
         share/doc/nysnmp/examples/relay-peer-smux.conf share/doc/nysnmp/examples/relay-peer-agentx.conf; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
# (installed into $work/first, then moved)
grep -qx "ExecStart=$work/first/bin/relay-peer \$RELAY_PEER_OPTS" "$prefix/share/doc/nysnmp/examples/relay-peer.service" ||
  fail "relay-peer.service does not start the installed relay-peer"

echo "== programs built against the installed library"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
g++ -Wall -Wextra -Werror -o "$work/consumer-pc" "$root/tests/install/consumer.cpp" $(pkg-config --cflags --libs nysnmp)
LD_LIBRARY_PATH=$prefix/$libdir "$work/consumer-pc" >/dev/null
for host in "$root"/tests/install/minimal*host.cpp; do
  g++ -Wall -Wextra -Werror -o "$work/$(basename "$host" .cpp)-pc" "$host" $(pkg-config --cflags --libs nysnmp)
done
cmake -S "$root/tests/install" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH=$prefix/$libdir "$work/consumer/consumer" >/dev/null
echo "== install check passed"
