// NySnmpOid: dotted text, ordering and BER form of an object identifier.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "nysnmp.h"
#include "snmp/ber_reader.h"

namespace {

constexpr const char* kAssignRecord = "NySnmpOid::Assign(NYSMI_OID)";
constexpr const char* kAssignText = "NySnmpOid::Assign(const char*)";

} // namespace

NySnmpOid::NySnmpOid() : m_oid{0, nullptr} {}

NySnmpOid::NySnmpOid(const NYSMI_OID& oid) : m_oid{0, nullptr}
{
    Assign(oid);
}

NySnmpOid::NySnmpOid(const char* text) : m_oid{0, nullptr}
{
    Assign(text);
}

// The catalog binding is not copied; an empty source cannot be copied.
NySnmpOid::NySnmpOid(const NySnmpOid& other) : NySnmpObject(), m_oid{0, nullptr}
{
    Assign(other.SmiOid());
}

NySnmpOid& NySnmpOid::operator=(const NySnmpOid& other)
{
    if (this == &other)
        return *this;
    NySnmpObject::operator=(other);
    if (other.m_oid.len == 0 || other.m_oid.ptr == nullptr)
        Erase();
    else
        Assign(other.m_oid);
    return *this;
}

NySnmpOid::~NySnmpOid()
{
    NySnmpOid::Erase();
}

int NySnmpOid::Assign(const NYSMI_OID& oid)
{
    // The source may be this object's own record: copy before releasing.
    const NYSMI_OID source = oid;
    uint32_t* copy = nullptr;
    if (source.len != 0 && source.ptr != nullptr) {
        copy = static_cast<uint32_t*>(::operator new(size_t{source.len} * sizeof(uint32_t), std::nothrow));
        if (copy == nullptr) {
            Erase();
            Raise(kAssignRecord, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT, kAssignRecord);
        }
        std::memcpy(copy, source.ptr, size_t{source.len} * sizeof(uint32_t));
    }
    Erase();
    if (copy == nullptr)
        Raise(kAssignRecord, NYSNMP_BAD_VALUE, NYSNMP_BAD_VALUE_TEXT, kAssignRecord);
    m_oid.len = source.len;
    m_oid.ptr = copy;
    return 0;
}

int NySnmpOid::Assign(const char* source)
{
    // The text may be this object's own AsString() result, which Erase
    // empties: work on a private copy.
    const std::string copy = source != nullptr ? source : "";
    const char* const text = copy.c_str();
    Erase();
    if (source == nullptr)
        Raise(kAssignText, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kAssignText);
    if (*text == '\0')
        Raise(kAssignText, NYSNMP_BAD_VALUE, NYSNMP_BAD_VALUE_TEXT, kAssignText);

    // First pass: count components and refuse anything but digits and dots.
    size_t count = 1;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '.')
            ++count;
        else if (*p < '0' || *p > '9')
            Raise(kAssignText, NYSNMP_BAD_SUBID, NYSNMP_BAD_SUBID_TEXT, static_cast<int>(p - text + 1), text);
    }

    auto* ids = static_cast<uint32_t*>(::operator new(count * sizeof(uint32_t), std::nothrow));
    if (ids == nullptr)
        Raise(kAssignText, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT, kAssignText);

    // Second pass: an empty component is 0.  A component above the largest
    // sub-identifier is refused at the digit that overflows it rather than
    // being silently wrapped.
    size_t index = 0;
    uint64_t value = 0;
    for (const char* p = text;; ++p) {
        if (*p == '.' || *p == '\0') {
            ids[index++] = static_cast<uint32_t>(value);
            value = 0;
            if (*p == '\0')
                break;
            continue;
        }
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > UINT32_MAX) {
            ::operator delete(ids);
            Raise(kAssignText, NYSNMP_BAD_SUBID, NYSNMP_BAD_SUBID_TEXT, static_cast<int>(p - text + 1), text);
        }
    }
    m_oid.len = static_cast<uint32_t>(count);
    m_oid.ptr = ids;
    return 0;
}

void NySnmpOid::Erase()
{
    m_text.clear();
    ::operator delete(m_oid.ptr);
    m_oid.len = 0;
    m_oid.ptr = nullptr;
}

NYSMI_OID& NySnmpOid::SmiOid()
{
    return m_oid;
}

const NYSMI_OID& NySnmpOid::SmiOid() const
{
    return m_oid;
}

uint32_t NySnmpOid::Length() const
{
    return m_oid.len;
}

uint32_t* NySnmpOid::Fields() const
{
    return m_oid.ptr;
}

const char* NySnmpOid::AsString()
{
    m_text.clear();
    char part[16];
    for (uint32_t i = 0; i < m_oid.len && m_oid.ptr != nullptr; ++i) {
        // Written as signed 32-bit numbers, the way the text has always read.
        std::snprintf(part, sizeof part, i == 0 ? "%d" : ".%d", static_cast<int32_t>(m_oid.ptr[i]));
        m_text += part;
    }
    return m_text.c_str();
}

int NySnmpOid::Compare(const NySnmpOid& other, int n) const
{
    const uint32_t a = m_oid.len;
    const uint32_t b = other.m_oid.len;
    const auto span = static_cast<uint32_t>(n);
    const bool prefixSpan = n != 0 && span <= a && span <= b;
    const uint32_t count = prefixSpan ? span : (a < b ? a : b);
    for (uint32_t i = 0; i < count; ++i) {
        if (m_oid.ptr[i] != other.m_oid.ptr[i])
            return m_oid.ptr[i] < other.m_oid.ptr[i] ? -1 : 1;
    }
    if (n == 0)
        return a == b ? 0 : (a < b ? -1 : 1);
    if (prefixSpan)
        return 0;
    return a < b ? -1 : 1;
}

unsigned char* NySnmpOid::AsAsn(unsigned char* pos, unsigned int* rem)
{
    return NySnmpValue::BuildAsnOid(pos, rem, 0x06, &m_oid, sizeof(NYSMI_OID));
}

const unsigned char* NySnmpOid::FromAsn(const unsigned char* pos, unsigned int* rem)
{
    const char* const by = "NySnmpOid::FromAsn";
    uint32_t tag = 0;
    const unsigned char* next = nullptr;
    try {
        // A binding decoded again keeps its array when the new name fits.
        next = nyber::ParseOidReusing(pos, rem, tag, m_oid);
    } catch (...) {
        ::operator delete(m_oid.ptr);
        m_oid.len = 0;
        m_oid.ptr = nullptr;
        throw;
    }
    if (tag != 0x06) {
        char expected[8];
        char found[8];
        std::snprintf(expected, sizeof expected, "0x%02X", 0x06u);
        std::snprintf(found, sizeof found, "0x%02X", static_cast<unsigned int>(tag));
        Raise(by, NYSNMP_EXPECTED_SYNTAX, NYSNMP_EXPECTED_SYNTAX_TEXT, expected, found);
    }
    return next;
}
