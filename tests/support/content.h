// Equality of the data model's objects by what they hold (syntax and value,
// identifiers, numbers and lists), never by pointer: what a round trip through
// the wire form has to keep.
#ifndef NYSNMP_TESTS_CONTENT_H
#define NYSNMP_TESTS_CONTENT_H

#include <algorithm>

#include "nysnmp.h"

// Identifiers (NYSMI_OID) and octet strings (NYSMI_OCTETS) alike.
template <class Run>
bool SameRun(const Run& a, const Run& b)
{
    return a.len == b.len && std::equal(a.ptr, a.ptr + a.len, b.ptr);
}
inline bool SameOid(const NYSMI_OID& a, const NYSMI_OID& b) { return SameRun(a, b); }

inline bool SameValue(const NYSMI_VALUE& a, const NYSMI_VALUE& b)
{
    if (a.syntax != b.syntax)
        return false;
    switch (a.syntax) {
    case 2:
        return a.value.int32 == b.value.int32;
    case 65: case 66: case 67: case 71:
        return a.value.uint32 == b.value.uint32;
    case 70:
        return a.value.cntr64.high == b.value.cntr64.high && a.value.cntr64.low == b.value.cntr64.low;
    case 3: case 4: case 48: case 64: case 68: case 69:
        return SameRun(a.value.octets, b.value.octets);
    case 6:
        return SameOid(a.value.oid, b.value.oid);
    case 5: case 128: case 129: case 130:
        return a.value.byte == b.value.byte;
    default:
        return true;  // no content besides the syntax
    }
}

inline bool SameValue(const NySnmpValue& a, const NySnmpValue& b)
{
    return SameValue(a.SmiValue(), b.SmiValue());
}

inline bool SameVar(const NySnmpVar& a, const NySnmpVar& b)
{
    return SameOid(a.Oid().SmiOid(), b.Oid().SmiOid()) && SameValue(a.Value(), b.Value());
}

// Two lists of pointers whose elements are the same one by one.
template <class List, class Same>
bool SameList(const List& a, const List& b, Same same)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](auto* x, auto* y) { return same(*x, *y); });
}

inline bool SameVbl(const NySnmpVbl& a, const NySnmpVbl& b)
{
    return SameList(a.VarList(), b.VarList(), SameVar);
}

inline bool SameSeq(const NySnmpValueSeq& a, const NySnmpValueSeq& b)
{
    return SameList(a.ValueList(), b.ValueList(), [](const NySnmpValue& x, const NySnmpValue& y) { return SameValue(x, y); });
}

// The four numbers, Params and the bindings.
inline bool SamePdu(const NySnmpPdu& a, const NySnmpPdu& b)
{
    return a.PduType() == b.PduType() && a.RequestId() == b.RequestId() && a.ErrorStatus() == b.ErrorStatus() &&
           a.ErrorIndex() == b.ErrorIndex() && SameSeq(a.Params(), b.Params()) && SameVbl(a.Vars(), b.Vars());
}

#endif
