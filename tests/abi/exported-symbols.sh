#!/usr/bin/env bash
# exported-symbols.sh LIBRARY INCLUDE_DIR
#
# Fails when LIBRARY exports a symbol that is not a member of, or the same
# as, a class or function that the public headers in INCLUDE_DIR mark for
# export (NYSNMP_API, NYSOCKET_API): an internal helper that leaks into the
# dynamic symbol table becomes part of the ABI by accident.
set -euo pipefail
lib=$1 include=$2
api='NY[A-Z]+_API'

# The marked names: "class API Name", "struct API Name", "API ... Name(".
allowed=$(sed -n -E \
  -e "s/^.*(class|struct) $api ([A-Za-z_][A-Za-z0-9_]*).*$/\2/p" \
  -e "s/^$api [^(]*[^A-Za-z0-9_(]([A-Za-z_][A-Za-z0-9_]*)\(.*$/\1/p" \
  "$include"/*.h | sort -u)
[ -n "$allowed" ] || { echo "no names marked for export in $include" >&2; exit 1; }

# The leading name of each demangled symbol, after the compiler's prefixes
# (vtable for X, non-virtual thunk to X::f, ...).  Names starting with "__"
# belong to the compiler's runtime support (sanitizers, coverage).
leaks=$(nm -D --defined-only -C "$lib" | cut -d' ' -f3- |
  sed -E 's/^(typeinfo name for|typeinfo for|vtable for|VTT for|construction vtable for|guard variable for|(covariant return |non-virtual |virtual )thunk to) //' |
  awk -v allowed="$allowed" '
    BEGIN { n = split(allowed, names, "\n"); for (i = 1; i <= n; i++) ok[names[i]] = 1 }
    /^(__|_init$|_fini$|_edata$|_end$)/ { next }
    { match($0, /^[A-Za-z_][A-Za-z0-9_]*/); if (!(substr($0, 1, RLENGTH) in ok)) print }')
if [ -n "$leaks" ]; then
  echo "$lib exports names that no public header marks for export:" >&2
  sed 's/^/  /' <<<"$leaks" | head -n 40 >&2
  exit 1
fi
echo "$lib: $(nm -D --defined-only "$lib" | wc -l) exported symbols, all of marked names"
