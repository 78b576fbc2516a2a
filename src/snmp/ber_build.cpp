// BER builders.  They write straight into the caller's buffer and allocate
// nothing; the remaining count is checked before every write.
#include <cstring>

#include "nysnmp.h"
#include "snmp/ber_reader.h"

using nyber::CheckPosition;
using nyber::Fail;

namespace {

constexpr const char* kBuildAsnLength = "NySnmpValue::BuildAsnLength";

// Length octets without the argument checks of the public entry, so that a
// header whose tag took the last free octet reports a short buffer rather
// than an invalid argument.
unsigned char* WriteLength(unsigned char* pos, unsigned int* rem, unsigned int length)
{
    unsigned int count;
    if (length < 0x80)
        count = 1;
    else if (length <= 0xFF)
        count = 2;
    else if (length <= 0xFFFF)
        count = 3;
    else
        Fail(kBuildAsnLength, NYSNMP_LENGTH_TOO_LONG, NYSNMP_LENGTH_TOO_LONG_TEXT);
    if (*rem < count)
        Fail(kBuildAsnLength, NYSNMP_BUFFER_TOO_SHORT, NYSNMP_BUFFER_TOO_SHORT_TEXT);
    switch (count) {
    case 1:
        pos[0] = static_cast<unsigned char>(length);
        break;
    case 2:
        pos[0] = 0x81;
        pos[1] = static_cast<unsigned char>(length);
        break;
    default:
        pos[0] = 0x82;
        pos[1] = static_cast<unsigned char>(length >> 8);
        pos[2] = static_cast<unsigned char>(length);
        break;
    }
    *rem -= count;
    // A length is only written when its content will fit after it.
    if (*rem < length)
        Fail(kBuildAsnLength, NYSNMP_BUFFER_TOO_SHORT, NYSNMP_BUFFER_TOO_SHORT_TEXT);
    return pos + count;
}

unsigned char* WriteHeader(unsigned char* pos, unsigned int* rem, uint32_t tag, unsigned int length)
{
    *pos = static_cast<unsigned char>(tag);
    --*rem;
    return WriteLength(pos + 1, rem, length);
}

// Checks shared by the value builders: position, count, value and size.
void CheckValueArgs(const char* thrownBy, unsigned char* pos, const unsigned int* rem, const void* value,
                    unsigned int size, unsigned int expectedSize)
{
    CheckPosition(thrownBy, pos, rem);
    if (value == nullptr || size != expectedSize)
        Fail(thrownBy, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT);
}

// Writes the header and `count` content octets.
unsigned char* WriteContent(unsigned char* pos, unsigned int* rem, uint32_t tag, const unsigned char* octets,
                            unsigned int count)
{
    pos = NySnmpValue::BuildAsnHeader(pos, rem, tag, count);
    // At most nine octets: a plain loop beats a call of memcpy.
    for (unsigned int i = 0; i < count; ++i)
        pos[i] = octets[i];
    *rem -= count;
    return pos + count;
}

// How many leading octets of the big-endian two's-complement `octets` can go
// without changing the value: one is redundant while the 9 leading bits are
// all 0 or all 1.  At least one octet stays.
unsigned int Redundant(const unsigned char* octets, unsigned int width)
{
    unsigned int skip = 0;
    while (width - skip > 1) {
        const unsigned char lead = octets[skip];
        const unsigned char next = octets[skip + 1];
        if (!((lead == 0x00 && next < 0x80) || (lead == 0xFF && next >= 0x80)))
            break;
        ++skip;
    }
    return skip;
}

void BigEndian(uint64_t value, unsigned char* out, unsigned int width)
{
    for (unsigned int i = 0; i < width; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * (width - 1 - i)));
}

// Unsigned integers of `width` octets: a leading 0x00 keeps a value with its
// top bit set from reading as negative.
unsigned char* WriteUnsigned(unsigned char* pos, unsigned int* rem, uint32_t tag, uint64_t value,
                             unsigned int width)
{
    unsigned char octets[9];
    octets[0] = 0x00;
    BigEndian(value, octets + 1, width);
    if (octets[1] >= 0x80)
        return WriteContent(pos, rem, tag, octets, width + 1);
    const unsigned int skip = Redundant(octets + 1, width);
    return WriteContent(pos, rem, tag, octets + 1 + skip, width - skip);
}

// One sub-identifier in base 128, high groups first, every octet but the
// last with bit 0x80.  Written out per size: most values take one octet.
unsigned char* WriteBase128(unsigned char* pos, uint32_t value)
{
    if (value < (1u << 7)) {
        pos[0] = static_cast<unsigned char>(value);
        return pos + 1;
    }
    if (value < (1u << 14)) {
        pos[0] = static_cast<unsigned char>(0x80 | (value >> 7));
        pos[1] = static_cast<unsigned char>(value & 0x7F);
        return pos + 2;
    }
    if (value < (1u << 21)) {
        pos[0] = static_cast<unsigned char>(0x80 | (value >> 14));
        pos[1] = static_cast<unsigned char>(0x80 | ((value >> 7) & 0x7F));
        pos[2] = static_cast<unsigned char>(value & 0x7F);
        return pos + 3;
    }
    if (value < (1u << 28)) {
        pos[0] = static_cast<unsigned char>(0x80 | (value >> 21));
        pos[1] = static_cast<unsigned char>(0x80 | ((value >> 14) & 0x7F));
        pos[2] = static_cast<unsigned char>(0x80 | ((value >> 7) & 0x7F));
        pos[3] = static_cast<unsigned char>(value & 0x7F);
        return pos + 4;
    }
    pos[0] = static_cast<unsigned char>(0x80 | (value >> 28));
    pos[1] = static_cast<unsigned char>(0x80 | ((value >> 21) & 0x7F));
    pos[2] = static_cast<unsigned char>(0x80 | ((value >> 14) & 0x7F));
    pos[3] = static_cast<unsigned char>(0x80 | ((value >> 7) & 0x7F));
    pos[4] = static_cast<unsigned char>(value & 0x7F);
    return pos + 5;
}

} // namespace

unsigned char* NySnmpValue::BuildAsnLength(unsigned char* pos, unsigned int* rem, unsigned int length)
{
    CheckPosition(kBuildAsnLength, pos, rem);
    if (*rem == 0)
        Fail(kBuildAsnLength, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT);
    return WriteLength(pos, rem, length);
}

unsigned char* NySnmpValue::BuildAsnHeader(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                           unsigned int length)
{
    const char* const by = "NySnmpValue::BuildAsnHeader";
    CheckPosition(by, pos, rem);
    if (*rem == 0)
        Fail(by, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT);
    return WriteHeader(pos, rem, tag, length);
}

unsigned char* NySnmpValue::BuildAsnSequence(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                             unsigned int length)
{
    const char* const by = "NySnmpValue::BuildAsnSequence";
    CheckPosition(by, pos, rem);
    if (*rem == 0)
        Fail(by, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT);
    // The header always takes four octets so that it can be reserved before
    // the content is known; two length octets cannot say more than 65535.
    if (length > 0xFFFF)
        Fail(by, NYSNMP_LENGTH_TOO_LONG, NYSNMP_LENGTH_TOO_LONG_TEXT);
    if (*rem < 4)
        Fail(by, NYSNMP_BUFFER_TOO_SHORT, NYSNMP_BUFFER_TOO_SHORT_TEXT);
    pos[0] = static_cast<unsigned char>(tag);
    pos[1] = 0x82;
    pos[2] = static_cast<unsigned char>(length >> 8);
    pos[3] = static_cast<unsigned char>(length);
    *rem -= 4;
    return pos + 4;
}

unsigned char* NySnmpValue::BuildAsnInt(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                        const int32_t* value, unsigned int size)
{
    CheckValueArgs("NySnmpValue::BuildAsnInt", pos, rem, value, size, sizeof(int32_t));
    unsigned char octets[4];
    BigEndian(static_cast<uint32_t>(*value), octets, 4);
    const unsigned int skip = Redundant(octets, 4);
    return WriteContent(pos, rem, tag, octets + skip, 4 - skip);
}

unsigned char* NySnmpValue::BuildAsnUInt(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                         const uint32_t* value, unsigned int size)
{
    CheckValueArgs("NySnmpValue::BuildAsnUInt", pos, rem, value, size, sizeof(uint32_t));
    return WriteUnsigned(pos, rem, tag, *value, 4);
}

unsigned char* NySnmpValue::BuildAsnCntr64(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                           const NYSMI_CNTR64* value, unsigned int size)
{
    CheckValueArgs("NySnmpValue::BuildAsnCntr64", pos, rem, value, size, sizeof(NYSMI_CNTR64));
    return WriteUnsigned(pos, rem, tag, (uint64_t{value->high} << 32) | value->low, 8);
}

unsigned char* NySnmpValue::BuildAsnOctets(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                           const NYSMI_OCTETS* value, unsigned int size)
{
    const char* const by = "NySnmpValue::BuildAsnOctets";
    CheckValueArgs(by, pos, rem, value, size, sizeof(NYSMI_OCTETS));
    if (value->len != 0 && value->ptr == nullptr)
        Fail(by, NYSNMP_BAD_VALUE, NYSNMP_BAD_VALUE_TEXT);
    pos = BuildAsnHeader(pos, rem, tag, value->len);
    if (value->len != 0)
        std::memcpy(pos, value->ptr, value->len);
    *rem -= value->len;
    return pos + value->len;
}

unsigned char* NySnmpValue::BuildAsnOid(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                        const NYSMI_OID* value, unsigned int size)
{
    const char* const by = "NySnmpValue::BuildAsnOid";
    CheckValueArgs(by, pos, rem, value, size, sizeof(NYSMI_OID));
    const uint32_t n = value->len;
    const uint32_t* s = value->ptr;
    if (n != 0 && s == nullptr)
        Fail(by, NYSNMP_BAD_VALUE, NYSNMP_BAD_VALUE_TEXT);

    // The first two sub-identifiers share one encoded value; an empty
    // identifier goes out as 0.0.
    uint32_t first = 0;
    uint32_t positions = 2;
    if (n == 1) {
        first = s[0] * 40u;
    } else if (n >= 2) {
        if (s[1] >= 40)
            Fail(by, NYSNMP_BAD_SECOND_SUBID, NYSNMP_BAD_SECOND_SUBID_TEXT);
        first = s[0] * 40u + s[1];
        positions = n;
    }
    if (positions > 128)
        Fail(by, NYSNMP_OID_TOO_LONG, NYSNMP_OID_TOO_LONG_TEXT);

    // Nearly every identifier encodes to fewer than 128 octets, which take
    // one length octet: with room for the longest such encoding, the values
    // are written in place behind a two-octet header.
    const unsigned int values = positions - 1;
    if (*rem >= 2 + 5 * values) {
        unsigned char* const content = pos + 2;
        unsigned char* e = WriteBase128(content, first);
        for (uint32_t i = 2; i < n; ++i)
            e = WriteBase128(e, s[i]);
        const unsigned int length = static_cast<unsigned int>(e - content);
        if (length < 0x80) {
            pos[0] = static_cast<unsigned char>(tag);
            pos[1] = static_cast<unsigned char>(length);
            *rem -= 2 + length;
            return e;
        }
    }
    // Otherwise encoded into a local area (at most 128 values of 5 octets)
    // and written behind the header once its length is known.
    unsigned char encoded[128 * 5];
    unsigned char* e = WriteBase128(encoded, first);
    for (uint32_t i = 2; i < n; ++i)
        e = WriteBase128(e, s[i]);
    const unsigned int length = static_cast<unsigned int>(e - encoded);
    pos = BuildAsnHeader(pos, rem, tag, length);
    std::memcpy(pos, encoded, length);
    *rem -= length;
    return pos + length;
}

unsigned char* NySnmpValue::BuildAsnNull(unsigned char* pos, unsigned int* rem, uint32_t tag)
{
    CheckPosition("NySnmpValue::BuildAsnNull", pos, rem);
    return BuildAsnHeader(pos, rem, tag, 0);
}
