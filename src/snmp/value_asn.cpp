// NySnmpValue: BER form, through the primitives chosen by the syntax.
#include <string>
#include <typeinfo>

#include "nysnmp.h"
#include "snmp/ber_reader.h"
#include "snmp/syntax.h"

using nysyntax::Kind;
using nysyntax::KindOf;

unsigned char* NySnmpValue::AsAsn(unsigned char* pos, unsigned int* rem)
{
    // The leading blank is part of the name callers have always matched on.
    const char* const by = " NySnmpValue::AsAsn";
    if (pos == nullptr || rem == nullptr)
        Raise(by, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, by);
    const uint32_t tag = m_value.syntax;
    unsigned char* next = nullptr;
    switch (KindOf(tag)) {
    case Kind::Int32:
        next = BuildAsnInt(pos, rem, tag, &m_value.value.int32, sizeof(int32_t));
        break;
    case Kind::UInt32:
        next = BuildAsnUInt(pos, rem, tag, &m_value.value.uint32, sizeof(uint32_t));
        break;
    case Kind::Cntr64:
        next = BuildAsnCntr64(pos, rem, tag, &m_value.value.cntr64, sizeof(NYSMI_CNTR64));
        break;
    case Kind::Octets:
        next = BuildAsnOctets(pos, rem, tag, &m_value.value.octets, sizeof(NYSMI_OCTETS));
        break;
    case Kind::Oid:
        next = BuildAsnOid(pos, rem, tag, &m_value.value.oid, sizeof(NYSMI_OID));
        break;
    case Kind::Marker:
        next = BuildAsnNull(pos, rem, tag);
        break;
    case Kind::Unsupported:
        Raise(by, NYSNMP_UNSUPPORTED_SYNTAX, NYSNMP_UNSUPPORTED_SYNTAX_TEXT, std::to_string(tag).c_str());
    }
    if (next == nullptr)
        Raise(by, NYSNMP_BUILD_FAILED, NYSNMP_BUILD_FAILED_TEXT, std::to_string(tag).c_str());
    return next;
}

const unsigned char* NySnmpValue::FromAsn(const unsigned char* pos, unsigned int* rem)
{
    const char* const by = "NySnmpValue::FromAsn";
    if (pos == nullptr || rem == nullptr)
        Raise(by, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, by);
    if (*rem == 0)
        Raise(by, NYSNMP_FIELD_TOO_LONG, NYSNMP_FIELD_TOO_LONG_TEXT, by);
    const uint32_t tag = *pos;
    const Kind kind = KindOf(tag);
    if (kind == Kind::Unsupported)
        Raise(by, NYSNMP_UNSUPPORTED_SYNTAX, NYSNMP_UNSUPPORTED_SYNTAX_TEXT, std::to_string(tag).c_str());

    // A value decoded again keeps its octet array when the new octets fit
    // (a derived class may do more in Erase, so it always gets that call).
    if (kind == Kind::Octets && KindOf(m_value.syntax) == Kind::Octets && m_value.value.octets.ptr != nullptr &&
        typeid(*this) == typeid(NySnmpValue)) {
        uint32_t tag = 0;
        const unsigned char* next = nullptr;
        try {
            next = nyber::ParseOctetsReusing(pos, rem, tag, m_value.value.octets);
        } catch (...) {
            Erase();
            throw;
        }
        m_value.syntax = tag;
        return next;
    }

    // The parsers write the syntax and the value only once the whole element
    // has been read, so a value that fails to decode stays empty.
    Erase();
    uint32_t& syntax = m_value.syntax;
    const unsigned char* next = nullptr;
    switch (kind) {
    case Kind::Int32:
        next = ParseAsnInt(pos, rem, syntax, m_value.value.int32);
        break;
    case Kind::UInt32:
        next = ParseAsnUInt(pos, rem, syntax, m_value.value.uint32);
        break;
    case Kind::Cntr64:
        next = ParseAsnCntr64(pos, rem, syntax, m_value.value.cntr64);
        break;
    case Kind::Octets:
        next = ParseAsnOctets(pos, rem, syntax, m_value.value.octets);
        break;
    case Kind::Oid:
        next = ParseAsnOid(pos, rem, syntax, m_value.value.oid);
        break;
    case Kind::Marker:
        next = ParseAsnNull(pos, rem, syntax);
        break;
    case Kind::Unsupported:
        break;
    }
    if (next == nullptr)
        Raise(by, NYSNMP_NO_CONSTRUCTOR, NYSNMP_NO_CONSTRUCTOR_TEXT, by);
    return next;
}
