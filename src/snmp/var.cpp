// NySnmpVar: one variable binding and its BER form.
#include <cstdio>

#include "nysnmp.h"
#include "snmp/constructed.h"

namespace {

const char kAsAsn[] = "NySnmpVar::AsAsn";
const char kFromAsn[] = "NySnmpVar::FromAsn";

} // namespace

NySnmpVar::NySnmpVar() = default;

NySnmpVar::NySnmpVar(const NySnmpVar& other)
    : NySnmpObject(other), m_oid(other.m_oid.SmiOid()), m_value(other.m_value.SmiValue())
{
}

NySnmpVar::NySnmpVar(const NySnmpOid& oid, const NySnmpValue& value)
    : m_oid(oid.SmiOid()), m_value(value.SmiValue())
{
}

// Member-wise is deep here: the name and the value copy what they own.
NySnmpVar& NySnmpVar::operator=(const NySnmpVar& other) = default;

NySnmpVar::~NySnmpVar() = default;

int NySnmpVar::Assign(const NySnmpOid& oid, const NySnmpValue& value)
{
    // Assigning a member from its own record would release the data first.
    if (&oid != &m_oid)
        m_oid.Assign(oid.SmiOid());
    if (&value != &m_value)
        m_value.Assign(value.SmiValue());
    return 0;
}

int NySnmpVar::Assign(const NySnmpVar& other)
{
    return Assign(other.m_oid, other.m_value);
}

NySnmpOid& NySnmpVar::Oid()
{
    return m_oid;
}

NySnmpValue& NySnmpVar::Value()
{
    return m_value;
}

unsigned char* NySnmpVar::AsAsn(unsigned char* pos, unsigned int* rem)
{
    if (pos == nullptr || rem == nullptr || *rem == 0)
        Raise(kAsAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kAsAsn);
    NyConstructedHeader header(pos, rem);
    unsigned char* p = m_oid.AsAsn(header.Content(), rem);
    p = m_value.AsAsn(p, rem);
    if (!header.Close(0x30))
        Raise(kAsAsn, NYSNMP_LENGTH_TOO_LONG, NYSNMP_LENGTH_TOO_LONG_TEXT);
    return p;
}

const unsigned char* NySnmpVar::FromAsn(const unsigned char* pos, unsigned int* rem)
{
    unsigned int left = rem ? *rem : 0;
    uint32_t tag = 0;
    unsigned int length = 0;
    const unsigned char* content = NySnmpValue::ParseAsnSequence(pos, rem ? &left : nullptr, tag, length);
    if (tag != 0x30) {
        char found[8];
        std::snprintf(found, sizeof found, "0x%02X", static_cast<unsigned int>(tag & 0xFF));
        Raise(kFromAsn, NYSNMP_EXPECTED_SYNTAX, NYSNMP_EXPECTED_SYNTAX_TEXT, "0x30", found);
    }
    if (length > left)
        Raise(kFromAsn, NYSNMP_SEQ_TOO_LONG, NYSNMP_SEQ_TOO_LONG_TEXT, kFromAsn);

    unsigned int inner = length;
    const unsigned char* p = m_oid.FromAsn(content, &inner);
    m_value.FromAsn(p, &inner);
    *rem = left - length;
    // Octets left over after the value are skipped, so that the position and
    // the count stay in step for whatever follows the binding.
    return content + length;
}
