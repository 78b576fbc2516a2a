// Internal: the value kinds.  Each code is also the BER tag its value is
// encoded with.
#ifndef NYSNMP_SRC_SYNTAX_H
#define NYSNMP_SRC_SYNTAX_H

#include <cstdint>

namespace nysyntax {

constexpr uint32_t kEmpty = 0;
constexpr uint32_t kInt32 = 0x02;
constexpr uint32_t kBits = 0x03;
constexpr uint32_t kOctets = 0x04;
constexpr uint32_t kNull = 0x05;
constexpr uint32_t kOid = 0x06;
constexpr uint32_t kSequence = 0x30;
constexpr uint32_t kIpAddr = 0x40;
constexpr uint32_t kCntr32 = 0x41;
constexpr uint32_t kGauge32 = 0x42;
constexpr uint32_t kTimeticks = 0x43;
constexpr uint32_t kOpaque = 0x44;
constexpr uint32_t kNsapAddr = 0x45;
constexpr uint32_t kCntr64 = 0x46;
constexpr uint32_t kUInt32 = 0x47;
constexpr uint32_t kNoSuchObject = 0x80;
constexpr uint32_t kNoSuchInstance = 0x81;
constexpr uint32_t kEndOfMibView = 0x82;

// How a syntax stores its value in NYSMI_VALUE.
enum class Kind { Unsupported, Int32, UInt32, Cntr64, Octets, Oid, Marker };

constexpr Kind KindOfTag(uint32_t syntax)
{
    switch (syntax) {
    case kInt32:
        return Kind::Int32;
    case kCntr32:
    case kGauge32:
    case kTimeticks:
    case kUInt32:
        return Kind::UInt32;
    case kCntr64:
        return Kind::Cntr64;
    case kBits:
    case kOctets:
    case kSequence:
    case kIpAddr:
    case kOpaque:
    case kNsapAddr:
        return Kind::Octets;
    case kOid:
        return Kind::Oid;
    case kNull:
    case kNoSuchObject:
    case kNoSuchInstance:
    case kEndOfMibView:
        return Kind::Marker;
    default:
        return Kind::Unsupported;
    }
}

// The kinds of all one-octet codes, built at compile time: every value is
// encoded and decoded through KindOf, which is then a single load.
struct KindTable {
    Kind kinds[256];
    constexpr KindTable() : kinds()
    {
        for (uint32_t code = 0; code < 256; ++code)
            kinds[code] = KindOfTag(code);
    }
};
inline constexpr KindTable kKindTable{};

inline Kind KindOf(uint32_t syntax)
{
    return syntax < 256 ? kKindTable.kinds[syntax] : Kind::Unsupported;
}

} // namespace nysyntax

#endif
