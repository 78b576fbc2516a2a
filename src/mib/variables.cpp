// The typed leaves of the tree: hold one live value, hand it out with get,
// take it in with set (check, then commit), and show it as text.
#include "nymib.h"

#include <cinttypes>
#include <cstdio>
#include <type_traits>

#include "mib/mibcodes.h"

namespace {

// The storage kind a value of the given syntax needs, -1 for a syntax no
// variable takes.
int KindForSyntax(uint32_t syntax)
{
    switch (syntax) {
    case 2:
        return 1;
    case 65:
    case 66:
    case 67:
    case 71:
        return 2;
    case 70:
        return 3;
    case 3:
    case 4:
    case 64:
    case 68:
    case 69:
        return 4;
    case 6:
        return 5;
    case 5:
    case 128:
    case 129:
    case 130:
        return 0;
    default:
        return -1;
    }
}

// Whether a value record can be stored by a variable of the right kind: an
// octet string must have its bytes, and an identifier at least one arc (an
// empty one could not be handed out again by get).
bool Storable(const NYSMI_VALUE& value, int kind)
{
    if (kind == 4)
        return value.value.octets.len == 0 || value.value.octets.ptr != nullptr;
    if (kind == 5)
        return value.value.oid.len != 0 && value.value.oid.ptr != nullptr;
    return true;
}

} // namespace

template <class T, int Kind, uint32_t SyntaxCode>
nymibvar<T, Kind, SyntaxCode>::nymibvar(char const* name, NyMibObject& parent, int subId,
                                        int access, char const* description,
                                        NyMibIntValues* intValues, char const* typeName)
    : NyMibObject(name, parent, subId, SyntaxCode, access, description, intValues, typeName),
      m_value()
{
    m_valueKind = Kind;
    m_syntax = SyntaxCode;
    erase();
}

template <class T, int Kind, uint32_t SyntaxCode>
nymibvar<T, Kind, SyntaxCode>::nymibvar(const nymibvar& other)
    : NyMibObject(other), m_value(), m_text(other.m_text ? new std::string(*other.m_text) : nullptr)
{
    // Assigned rather than copy-constructed: an empty identifier may be copied.
    m_value = other.m_value;
}

template <class T, int Kind, uint32_t SyntaxCode>
nymibvar<T, Kind, SyntaxCode>& nymibvar<T, Kind, SyntaxCode>::operator=(const nymibvar& other)
{
    if (this != &other) {
        NyMibObject::operator=(other);
        m_value = other.m_value;
        if (other.m_text)
            m_text.reset(new std::string(*other.m_text));
        else if (m_text)
            m_text->clear();
    }
    return *this;
}

template <class T, int Kind, uint32_t SyntaxCode>
nymibvar<T, Kind, SyntaxCode>::~nymibvar()
{
    erase();
}

template <class T, int Kind, uint32_t SyntaxCode>
int nymibvar<T, Kind, SyntaxCode>::get(NySnmpValue& value)
{
    NYSMI_VALUE& record = value.SmiValue();
    value.Erase();
    record.syntax = m_syntax;
    if constexpr (std::is_same_v<T, unsigned char>) {
        if (m_valueKind == 0) {
            record.value.byte = m_value;
            return nymib::kNoError;
        }
    } else if constexpr (std::is_same_v<T, int32_t>) {
        if (m_valueKind == 1) {
            record.value.int32 = m_value;
            return nymib::kNoError;
        }
    } else if constexpr (std::is_same_v<T, uint32_t>) {
        if (m_valueKind == 2) {
            record.value.uint32 = m_value;
            return nymib::kNoError;
        }
    } else if constexpr (std::is_same_v<T, uint64_t>) {
        if (m_valueKind == 3) {
            record.value.cntr64.high = static_cast<uint32_t>(m_value >> 32);
            record.value.cntr64.low = static_cast<uint32_t>(m_value);
            return nymib::kNoError;
        }
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (m_valueKind == 4) {
            if (m_value.empty())
                return nymib::kNoError; // length 0, no data pointer
            // The value copies the bytes into storage of its own.
            NYSMI_VALUE source{};
            source.syntax = m_syntax;
            source.value.octets.len = static_cast<uint32_t>(m_value.size());
            source.value.octets.ptr =
                reinterpret_cast<unsigned char*>(const_cast<char*>(m_value.data()));
            try {
                value.Assign(source);
            } catch (const NySocketException& e) {
                if (static_cast<uint32_t>(e.Id()) != NYSNMP_OUT_OF_MEMORY)
                    throw;
                value.Erase();
                value.SmiValue().syntax = 128;
                return nymib::kGenErr;
            }
            return nymib::kNoError;
        }
    } else if constexpr (std::is_same_v<T, NySnmpOid>) {
        if (m_valueKind == 5) {
            // Refuses an empty identifier by throwing: a program gives such a
            // variable a value before offering the tree.
            value.SetOid(m_value.SmiOid());
            return nymib::kNoError;
        }
    }
    record.syntax = 128;
    return nymib::kBadValue;
}

template <class T, int Kind, uint32_t SyntaxCode>
int nymibvar<T, Kind, SyntaxCode>::set(NySnmpValue const& value, bool commit)
{
    if (!nymib::IsWritable(m_access))
        return nymib::kNotWritable;
    const NYSMI_VALUE& record = value.SmiValue();
    const int kind = KindForSyntax(record.syntax);
    if (kind < 0 || kind != m_valueKind || !Storable(record, kind))
        return nymib::kBadValue;
    if (!commit)
        return nymib::kNoError;
    if constexpr (std::is_same_v<T, unsigned char>) {
        m_value = record.value.byte;
    } else if constexpr (std::is_same_v<T, int32_t>) {
        m_value = record.value.int32;
    } else if constexpr (std::is_same_v<T, uint32_t>) {
        m_value = record.value.uint32;
    } else if constexpr (std::is_same_v<T, uint64_t>) {
        m_value = (static_cast<uint64_t>(record.value.cntr64.high) << 32) | record.value.cntr64.low;
    } else if constexpr (std::is_same_v<T, std::string>) {
        const NYSMI_OCTETS& octets = record.value.octets;
        if (octets.len == 0)
            m_value.clear();
        else
            m_value.assign(reinterpret_cast<const char*>(octets.ptr), octets.len);
    } else if constexpr (std::is_same_v<T, NySnmpOid>) {
        m_value.Assign(record.value.oid);
    }
    return nymib::kNoError;
}

template <class T, int Kind, uint32_t SyntaxCode>
char const* nymibvar<T, Kind, SyntaxCode>::c_str()
{
    char buffer[32];
    buffer[0] = '\0';
    if (!m_text)
        m_text.reset(new std::string); // kept for the next calls
    std::string& text = *m_text;
    if constexpr (std::is_same_v<T, unsigned char>) {
        if (m_value != 0)
            std::snprintf(buffer, sizeof buffer, "%c", m_value);
        text = buffer;
    } else if constexpr (std::is_same_v<T, int32_t>) {
        std::snprintf(buffer, sizeof buffer, "%d", m_value);
        text = buffer;
    } else if constexpr (std::is_same_v<T, uint32_t>) {
        // Written as a signed number, like the text form of the value classes.
        std::snprintf(buffer, sizeof buffer, "%d", static_cast<int32_t>(m_value));
        text = buffer;
    } else if constexpr (std::is_same_v<T, uint64_t>) {
        std::snprintf(buffer, sizeof buffer, "%" PRIu64, m_value);
        text = buffer;
    } else if constexpr (std::is_same_v<T, std::string>) {
        text.assign(m_value.c_str()); // up to the first byte 0
    } else if constexpr (std::is_same_v<T, NySnmpOid>) {
        text = m_value.AsString();
    }
    return text.c_str();
}

template <class T, int Kind, uint32_t SyntaxCode>
void nymibvar<T, Kind, SyntaxCode>::erase()
{
    if (m_text)
        m_text->clear();
    if constexpr (std::is_same_v<T, std::string>)
        m_value.clear();
    else if constexpr (std::is_same_v<T, NySnmpOid>)
        m_value.Erase();
    else
        m_value = 0;
}

template class nymibvar<int32_t, 1, 2>;
template class nymibvar<uint32_t, 2, 65>;
template class nymibvar<uint32_t, 2, 66>;
template class nymibvar<uint32_t, 2, 67>;
template class nymibvar<uint32_t, 2, 71>;
template class nymibvar<uint64_t, 3, 70>;
template class nymibvar<std::string, 4, 4>;
template class nymibvar<std::string, 4, 3>;
template class nymibvar<std::string, 4, 64>;
template class nymibvar<std::string, 4, 68>;
template class nymibvar<std::string, 4, 69>;
template class nymibvar<NySnmpOid, 5, 6>;
template class nymibvar<unsigned char, 0, 5>;
template class nymibvar<unsigned char, 0, 128>;
template class nymibvar<unsigned char, 0, 129>;
template class nymibvar<unsigned char, 0, 130>;
