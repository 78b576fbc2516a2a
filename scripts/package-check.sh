#!/usr/bin/env bash
# package-check.sh - the Debian packages, built and tried as a user gets them.
#
# Builds libnysnmp1, libnysnmp-dev and nysnmp-tools (scripts/package.sh),
# runs lintian on them (no error allowed), compares the libraries' ABI with
# the records in abi/ (abidiff: an incompatible change needs a new SONAME),
# then installs them into this machine with dpkg and checks: the host
# programs of tests/install build against /usr with pkg-config and with
# find_package, nymib-print
# writes the installed MIB module, net-snmp's tools find the module,
# relay-peer starts, systemd-analyze accepts relay-peer.service (where it is
# available).  The packages are purged afterwards, also when a check fails.
# Needs root (or sudo) for dpkg.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
fail() { echo "package check: $*" >&2; exit 1; }

bash scripts/package.sh
debs=(build/packages/libnysnmp1_*.deb build/packages/libnysnmp-dev_*.deb build/packages/nysnmp-tools_*.deb)
work=$(mktemp -d "${TMPDIR:-/tmp}/nysnmp-package.XXXXXX")
packages=(nysnmp-tools libnysnmp-dev libnysnmp1)
purge() {
  "${sudo_cmd[@]}" dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap purge EXIT

echo "== lintian"
status=0
lintian --fail-on error "${debs[@]}" >"$work/lintian.txt" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian.txt" | sed 's/^/   /' || true
[ "$status" -eq 0 ] || fail "lintian reports errors"

echo "== ABI of the packaged libraries against abi/"
# Changes to types that no public header defines (the library's internals,
# the standard library) are not the library's ABI.
{
  echo "[suppress_type]"
  echo "  source_location_not_in = $(cd include && ls ./*.h | sed 's|^\./||' | paste -sd, | sed 's/,/, /g')"
} >"$work/public.suppr"
obj=$(echo build/deb/nysnmp-*/obj-*)
for lib in nysocket nysnmp; do
  record=abi/lib$lib.abi
  [ -f "$record" ] || fail "$record is missing: run scripts/abi-record.sh"
  recorded=$(sed -n "1s/.*soname='\([^']*\)'.*/\1/p" "$record")
  built=$(objdump -p "$obj/lib$lib.so" | awk '$1 == "SONAME" { print $2 }')
  if [ "$recorded" != "$built" ]; then
    echo "   lib$lib: new SONAME $built (recorded: $recorded); record its ABI with scripts/abi-record.sh"
    continue
  fi
  status=0
  abidiff --suppressions "$work/public.suppr" "$record" "$obj/lib$lib.so" >"$work/abidiff-$lib.txt" 2>&1 || status=$?
  (( (status & 3) == 0 )) || { cat "$work/abidiff-$lib.txt" >&2; fail "abidiff could not compare lib$lib"; }
  # abidiff calls only removals incompatible (bit 8); a changed function or
  # variable (a class grown, a parameter changed) breaks programs as well.
  broken=$(grep -E -o '[0-9]+ (Removed|Changed)' "$work/abidiff-$lib.txt" | awk '{ n += $1 } END { print n + 0 }' || true)
  if (( status & 8 )) || [ "$broken" -gt 0 ]; then
    cat "$work/abidiff-$lib.txt" >&2
    fail "lib$lib: incompatible ABI change without a new SONAME (raise the major version, then scripts/abi-record.sh)"
  elif (( status & 4 )); then
    echo "   lib$lib: compatible additions; record them with scripts/abi-record.sh:"
    sed 's/^/     /' "$work/abidiff-$lib.txt" | head -n 20
  else
    echo "   lib$lib ($built): as recorded"
  fi
done

echo "== installed with dpkg"
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "   $p was installed before; it is replaced, and purged at the end"
  fi
done
"${sudo_cmd[@]}" dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }

echo "== host programs built against /usr"
unset PKG_CONFIG_PATH LD_LIBRARY_PATH CMAKE_PREFIX_PATH
for host in tests/install/minimal*host.cpp; do
  g++ -Wall -Wextra -Werror -o "$work/$(basename "$host" .cpp)" "$host" $(pkg-config --cflags --libs nysnmp)
done
g++ -Wall -Wextra -Werror -o "$work/consumer-pc" tests/install/consumer.cpp $(pkg-config --cflags --libs nysnmp)
"$work/consumer-pc" >/dev/null || fail "a program built with pkg-config does not run"
cmake -S tests/install -B "$work/cmake" -G Ninja >/dev/null && cmake --build "$work/cmake" >/dev/null ||
  fail "find_package(nysnmp) against /usr failed"
"$work/cmake/consumer" >/dev/null || fail "a program built with find_package does not run"

echo "== the programs, the MIB module, the manual pages, the unit"
nymib-print >"$work/printed.txt" || fail "nymib-print does not run"
cmp -s "$work/printed.txt" /usr/share/snmp/mibs/VELMORA-MIB.txt || fail "nymib-print differs from the installed VELMORA-MIB.txt"
relay-peer --help >/dev/null || fail "relay-peer --help does not run"
! readelf -d /usr/bin/relay-peer | grep -q -E '\((RUNPATH|RPATH)\)' || fail "relay-peer carries a run path"
mkdir -p "$work/persist"
oid=$(SNMP_PERSISTENT_DIR=$work/persist snmptranslate -m +VELMORA-MIB -On VELMORA-MIB::relayCstatus 2>/dev/null) || true
[ "$oid" = .1.3.6.1.4.1.32473.1.1.3.2.14.3.1.1 ] || fail "snmptranslate -m +VELMORA-MIB does not find the module ('$oid')"
for f in /usr/share/man/man1/nymib-print.1.gz /usr/share/man/man8/relay-peer.8.gz /etc/default/relay-peer \
         /usr/share/doc/nysnmp-tools/examples/relay-peer-smux.conf /usr/share/doc/nysnmp-tools/examples/relay-peer-agentx.conf; do
  [ -s "$f" ] || fail "$f is not installed"
done
unit=/lib/systemd/system/relay-peer.service
[ -f "$unit" ] || fail "$unit is not installed"
if command -v systemd-analyze >/dev/null; then
  # Any message is a complaint (unknown keys only warn); the manual page is
  # not looked up, man may be missing.
  verify=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail "systemd-analyze verify: $verify"
  [ -z "$verify" ] || fail "systemd-analyze verify: $verify"
  echo "   systemd-analyze verify: accepted"
else
  echo "   systemd-analyze is not installed: the unit is not verified"
fi

echo "== purged"
"${sudo_cmd[@]}" dpkg --purge "${packages[@]}" >/dev/null
[ ! -e /etc/default/relay-peer ] && [ ! -e /usr/bin/relay-peer ] || fail "files left after the purge"
echo "== package check passed"
