// NySnmpValue: construction, copies, Assign, the setters and Erase.
#include <cstring>
#include <string>

#include "nysnmp.h"
#include "snmp/syntax.h"
#include "snmp/value_data.h"

using nysyntax::Kind;
using nysyntax::KindOf;
using nyvalue::CopyArray;

namespace {

constexpr const char* kAssign = "NySnmpValue::Assign";
constexpr const char* kSetStringMember = "NySnmpValue::SetStringMember";
constexpr const char* kSetOid = "NySnmpValue::SetOid";

void Clear(NYSMI_VALUE& value)
{
    std::memset(&value, 0, sizeof value);
}

} // namespace

NySnmpValue::NySnmpValue()
{
    Clear(m_value);
}

NySnmpValue::NySnmpValue(const NYSMI_VALUE& value)
{
    Clear(m_value);
    Assign(value);
}

// The catalog binding is not copied; an empty source cannot be copied.
NySnmpValue::NySnmpValue(const NySnmpValue& other) : NySnmpObject()
{
    Clear(m_value);
    Assign(other.m_value);
}

NySnmpValue& NySnmpValue::operator=(const NySnmpValue& other)
{
    if (this == &other)
        return *this;
    NySnmpObject::operator=(other);
    if (other.m_value.syntax == nysyntax::kEmpty)
        Erase();
    else
        Assign(other.m_value);
    return *this;
}

NySnmpValue::~NySnmpValue()
{
    NySnmpValue::Erase();
}

int NySnmpValue::Assign(const NYSMI_VALUE& value)
{
    // The source may be this object's own record (or point into its data):
    // the copy is complete before the old data is released.
    const NYSMI_VALUE source = value;
    NYSMI_VALUE copy;
    Clear(copy);
    copy.syntax = source.syntax;
    // Octets or sub-identifiers: a record with a length must have data.
    auto CopyData = [this](const auto& from, auto& to) {
        if (from.len != 0) {
            if (from.ptr == nullptr) {
                Erase();
                Raise(kAssign, NYSNMP_BAD_VALUE, NYSNMP_BAD_VALUE_TEXT, kAssign);
            }
            to.ptr = CopyArray(from.ptr, from.len);
            if (to.ptr == nullptr) {
                Erase();
                Raise(kAssign, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT, kAssign);
            }
        }
        to.len = from.len;
    };
    switch (KindOf(source.syntax)) {
    case Kind::Int32:
        copy.value.int32 = source.value.int32;
        break;
    case Kind::UInt32:
        copy.value.uint32 = source.value.uint32;
        break;
    case Kind::Cntr64:
        copy.value.cntr64 = source.value.cntr64;
        break;
    case Kind::Octets:
        CopyData(source.value.octets, copy.value.octets);
        break;
    case Kind::Oid:
        CopyData(source.value.oid, copy.value.oid);
        break;
    case Kind::Marker:
        copy.value.byte = source.value.byte;
        break;
    case Kind::Unsupported:
        Erase();
        m_value.syntax = source.syntax;
        Raise(kAssign, NYSNMP_UNSUPPORTED_SYNTAX, NYSNMP_UNSUPPORTED_SYNTAX_TEXT,
              std::to_string(source.syntax).c_str());
    }
    Erase();
    m_value = copy;
    return 0;
}

int NySnmpValue::SetInt32(int32_t value)
{
    Erase();
    m_value.syntax = nysyntax::kInt32;
    m_value.value.int32 = value;
    return 0;
}

int NySnmpValue::SetInt(int32_t value)
{
    return NySnmpValue::SetInt32(value);
}

namespace {

void SetUnsigned(NYSMI_VALUE& record, uint32_t syntax, uint32_t value)
{
    record.syntax = syntax;
    record.value.uint32 = value;
}

void SetMarker(NYSMI_VALUE& record, uint32_t syntax, unsigned char value)
{
    record.syntax = syntax;
    record.value.byte = value;
}

} // namespace

int NySnmpValue::SetUInt32(uint32_t value)
{
    Erase();
    SetUnsigned(m_value, nysyntax::kUInt32, value);
    return 0;
}

int NySnmpValue::SetCntr32(uint32_t value)
{
    Erase();
    SetUnsigned(m_value, nysyntax::kCntr32, value);
    return 0;
}

int NySnmpValue::SetGauge32(uint32_t value)
{
    Erase();
    SetUnsigned(m_value, nysyntax::kGauge32, value);
    return 0;
}

int NySnmpValue::SetTimeticks(uint32_t value)
{
    Erase();
    SetUnsigned(m_value, nysyntax::kTimeticks, value);
    return 0;
}

int NySnmpValue::SetCntr64(const NYSMI_CNTR64& value)
{
    const NYSMI_CNTR64 copy = value;
    Erase();
    m_value.syntax = nysyntax::kCntr64;
    m_value.value.cntr64 = copy;
    return 0;
}

int NySnmpValue::SetOctets(const NYSMI_OCTETS& value)
{
    return SetStringMember(nysyntax::kOctets, value);
}

int NySnmpValue::SetBits(const NYSMI_OCTETS& value)
{
    return SetStringMember(nysyntax::kBits, value);
}

int NySnmpValue::SetOpaque(const NYSMI_OCTETS& value)
{
    return SetStringMember(nysyntax::kOpaque, value);
}

int NySnmpValue::SetIpAddr(const NYSMI_OCTETS& value)
{
    return SetStringMember(nysyntax::kIpAddr, value);
}

int NySnmpValue::SetNsapAddr(const NYSMI_OCTETS& value)
{
    return SetStringMember(nysyntax::kNsapAddr, value);
}

// The setters refuse an empty octet string; Assign accepts one.  The octets
// are copied before the old value goes, so a value may be set from its own
// data.
int NySnmpValue::SetStringMember(uint32_t syntax, const NYSMI_OCTETS& value)
{
    const NYSMI_OCTETS source = value;
    if (source.len == 0 || source.ptr == nullptr) {
        Erase();
        Raise(kSetStringMember, NYSNMP_BAD_VALUE, NYSNMP_BAD_VALUE_TEXT, kSetStringMember);
    }
    unsigned char* data = CopyArray(source.ptr, source.len);
    Erase();
    if (data == nullptr)
        Raise(kSetStringMember, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT, kSetStringMember);
    m_value.syntax = syntax;
    m_value.value.octets.len = source.len;
    m_value.value.octets.ptr = data;
    return 0;
}

int NySnmpValue::SetOid(const NYSMI_OID& value)
{
    const NYSMI_OID source = value;
    if (source.len == 0 || source.ptr == nullptr) {
        Erase();
        Raise(kSetOid, NYSNMP_BAD_VALUE, NYSNMP_BAD_VALUE_TEXT, kSetOid);
    }
    uint32_t* ids = CopyArray(source.ptr, source.len);
    Erase();
    if (ids == nullptr)
        Raise(kSetOid, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT, kSetOid);
    m_value.value.oid.len = source.len;
    m_value.value.oid.ptr = ids;
    m_value.syntax = nysyntax::kOid;
    return 0;
}

int NySnmpValue::SetNull(unsigned char value)
{
    Erase();
    SetMarker(m_value, nysyntax::kNull, value);
    return 0;
}

int NySnmpValue::SetNoSuchObject(unsigned char value)
{
    Erase();
    SetMarker(m_value, nysyntax::kNoSuchObject, value);
    return 0;
}

int NySnmpValue::SetNoSuchInstance(unsigned char value)
{
    Erase();
    SetMarker(m_value, nysyntax::kNoSuchInstance, value);
    return 0;
}

int NySnmpValue::SetEndOfMibView(unsigned char value)
{
    Erase();
    SetMarker(m_value, nysyntax::kEndOfMibView, value);
    return 0;
}

void NySnmpValue::Erase()
{
    switch (KindOf(m_value.syntax)) {
    case Kind::Octets:
        ::operator delete(m_value.value.octets.ptr);
        break;
    case Kind::Oid:
        ::operator delete(m_value.value.oid.ptr);
        break;
    default:
        break;
    }
    Clear(m_value);
}

uint32_t NySnmpValue::Syntax() const
{
    return m_value.syntax;
}

const NYSMI_VALUE& NySnmpValue::SmiValue() const
{
    return m_value;
}

NYSMI_VALUE& NySnmpValue::SmiValue()
{
    return m_value;
}
