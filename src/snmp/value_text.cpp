// NySnmpValue: text form and syntax names.
#include <cstdio>
#include <string>

#include "nysnmp.h"
#include "snmp/syntax.h"

namespace {

void AppendHex(std::string& text, const NYSMI_OCTETS& octets)
{
    if (octets.ptr == nullptr)
        return;
    char part[4];
    for (uint32_t i = 0; i < octets.len; ++i) {
        std::snprintf(part, sizeof part, "%02x ", octets.ptr[i]);
        text += part;
    }
}

void AppendDottedDecimal(std::string& text, const NYSMI_OCTETS& octets)
{
    if (octets.ptr == nullptr)
        return;
    for (uint32_t i = 0; i < octets.len; ++i) {
        if (i != 0)
            text += '.';
        text += std::to_string(octets.ptr[i]);
    }
}

} // namespace

const char* NySnmpValue::AsString()
{
    m_text.clear();
    const NYSMI_VALUE& v = m_value;
    switch (v.syntax) {
    case nysyntax::kInt32:
    case nysyntax::kCntr32:
    case nysyntax::kGauge32:
    case nysyntax::kTimeticks:
    case nysyntax::kUInt32:
        // All 32-bit kinds read as signed, the form existing readers expect.
        m_text = std::to_string(v.value.int32);
        break;
    case nysyntax::kCntr64:
        m_text = std::to_string((uint64_t{v.value.cntr64.high} << 32) | v.value.cntr64.low);
        break;
    case nysyntax::kOctets:
        if (v.value.octets.ptr != nullptr)
            m_text.assign(reinterpret_cast<const char*>(v.value.octets.ptr), v.value.octets.len);
        break;
    case nysyntax::kBits:
    case nysyntax::kSequence:
    case nysyntax::kOpaque:
    case nysyntax::kNsapAddr:
        AppendHex(m_text, v.value.octets);
        break;
    case nysyntax::kIpAddr:
        AppendDottedDecimal(m_text, v.value.octets);
        break;
    case nysyntax::kOid: {
        NySnmpOid oid(v.value.oid);
        m_text = oid.AsString();
        break;
    }
    case nysyntax::kNull:
    case nysyntax::kNoSuchObject:
    case nysyntax::kNoSuchInstance:
    case nysyntax::kEndOfMibView:
        m_text = "null";
        break;
    default:
        Raise("NySnmpValue::AsString", NYSNMP_UNSUPPORTED_SYNTAX, NYSNMP_UNSUPPORTED_SYNTAX_TEXT,
              std::to_string(v.syntax).c_str());
    }
    return m_text.c_str();
}

const char* NySnmpValue::SyntaxName() const
{
    switch (m_value.syntax) {
    case nysyntax::kInt32:
        return "int32";
    case nysyntax::kBits:
        return "bits";
    case nysyntax::kOctets:
        return "octets";
    case nysyntax::kNull:
        return "null";
    case nysyntax::kOid:
        return "oid";
    case nysyntax::kSequence:
        return "sequence";
    case nysyntax::kIpAddr:
        return "ipaddr";
    case nysyntax::kCntr32:
        return "cntr32";
    case nysyntax::kGauge32:
        return "gauge32";
    case nysyntax::kTimeticks:
        return "timeticks";
    case nysyntax::kOpaque:
        return "opaque";
    case nysyntax::kNsapAddr:
        return "nsapaddr";
    case nysyntax::kCntr64:
        return "cntr64";
    case nysyntax::kUInt32:
        return "uint32";
    case nysyntax::kNoSuchObject:
        return "NoSuchObject";
    case nysyntax::kNoSuchInstance:
        return "NoSuchInstance";
    case nysyntax::kEndOfMibView:
        return "EndOfMibView";
    default:
        return "unknown";
    }
}
