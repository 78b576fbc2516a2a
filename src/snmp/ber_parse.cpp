// BER parsers.  Every read goes through nyber::Reader; outputs and the
// caller's count are written only once the whole element has been read.
#include <cstring>
#include <new>

#include "nysnmp.h"
#include "snmp/ber_reader.h"

using nyber::Fail;
using nyber::Reader;

namespace {

// Reads an integer element of at most `maxLength` content octets, where the
// longest form is allowed only with a leading 0x00 (the unsigned forms).
// Returns the content sign-extended to 64 bits.
uint64_t ParseInteger(Reader& in, uint32_t& tag, unsigned int maxLength, bool leadingZeroForm,
                      const char* thrownBy)
{
    tag = in.Octet();
    const unsigned int length = in.Length();
    if (length > maxLength)
        Fail(thrownBy, NYSNMP_INT_TOO_BIG, NYSNMP_INT_TOO_BIG_TEXT);
    if (leadingZeroForm && length == maxLength && in.Left() > 0 && in.Peek() != 0x00)
        Fail(thrownBy, NYSNMP_INT_TOO_BIG, NYSNMP_INT_TOO_BIG_TEXT);
    const unsigned char* content = in.Content(length);
    uint64_t value = (length > 0 && content[0] >= 0x80) ? ~uint64_t{0} : 0;
    for (unsigned int i = 0; i < length; ++i)
        value = (value << 8) | content[i];
    return value;
}

// Decodes the sub-identifiers of an OBJECT IDENTIFIER content into `out`
// (room for length + 1 values) and returns their count.  A value whose last
// octet still has bit 0x80 set would run past the content and is refused.
uint32_t DecodeSubIds(const unsigned char* content, unsigned int length, uint32_t* out,
                      const char* thrownBy)
{
    if (length == 0) {
        out[0] = 0;
        out[1] = 0;
        return 2;
    }
    // The first value fills positions 0 and 1.
    unsigned int i = 0;
    uint32_t value = 0;
    unsigned char octet;
    do {
        if (i == length)
            Reader::Truncated(thrownBy);
        octet = content[i++];
        value = value * 128u + (octet & 0x7Fu);
    } while (octet & 0x80u);
    if (value < 40) {
        out[0] = 0;
        out[1] = value;
    } else if (value < 80) {
        out[0] = 1;
        out[1] = value - 40;
    } else if (value < 120) {
        out[0] = 2;
        out[1] = value - 80;
    } else {
        out[0] = value / 40;
        out[1] = value % 40;
    }
    uint32_t* o = out + 2;
    const unsigned char* p = content + i;
    const unsigned char* const end = content + length;
    while (p != end) {
        octet = *p++;
        // Most sub-identifiers are below 128: one octet each.
        if (octet < 0x80) {
            *o++ = octet;
            continue;
        }
        value = octet & 0x7Fu;
        do {
            if (p == end)
                Reader::Truncated(thrownBy);
            octet = *p++;
            value = (value << 7) | (octet & 0x7Fu);
        } while (octet & 0x80u);
        *o++ = value;
    }
    return static_cast<uint32_t>(o - out);
}

} // namespace

const unsigned char* NySnmpValue::ParseAsnLength(const unsigned char* pos, unsigned int* rem,
                                                 unsigned int& length)
{
    Reader in(nyber::kParseAsnLength, pos, rem);
    const unsigned int value = in.Length();
    length = value;
    return in.Commit();
}

const unsigned char* NySnmpValue::ParseAsnSequence(const unsigned char* pos, unsigned int* rem,
                                                   uint32_t& tag, unsigned int& length)
{
    Reader in("NySnmpValue::ParseAsnSequence", pos, rem);
    const uint32_t found = in.Octet();
    const unsigned int value = in.Length();
    tag = found;
    length = value;
    return in.Commit();
}

const unsigned char* NySnmpValue::ParseAsnInt(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                              int32_t& value)
{
    const char* const by = "NySnmpValue::ParseAsnInt";
    Reader in(by, pos, rem);
    uint32_t found = 0;
    const uint64_t bits = ParseInteger(in, found, 4, false, by);
    tag = found;
    value = static_cast<int32_t>(static_cast<uint32_t>(bits));
    return in.Commit();
}

const unsigned char* NySnmpValue::ParseAsnUInt(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                               uint32_t& value)
{
    const char* const by = "NySnmpValue::ParseAsnUInt";
    Reader in(by, pos, rem);
    uint32_t found = 0;
    const uint64_t bits = ParseInteger(in, found, 5, true, by);
    tag = found;
    value = static_cast<uint32_t>(bits);
    return in.Commit();
}

const unsigned char* NySnmpValue::ParseAsnCntr64(const unsigned char* pos, unsigned int* rem,
                                                 uint32_t& tag, NYSMI_CNTR64& value)
{
    const char* const by = "NySnmpValue::ParseAsnCntr64";
    Reader in(by, pos, rem);
    uint32_t found = 0;
    const uint64_t bits = ParseInteger(in, found, 9, true, by);
    tag = found;
    value.high = static_cast<uint32_t>(bits >> 32);
    value.low = static_cast<uint32_t>(bits);
    return in.Commit();
}

const unsigned char* NySnmpValue::ParseAsnOctets(const unsigned char* pos, unsigned int* rem,
                                                 uint32_t& tag, NYSMI_OCTETS& value)
{
    // The caller's record is an output only: whatever it held is not ours.
    NYSMI_OCTETS fresh{0, nullptr};
    const unsigned char* next = nyber::ParseOctetsReusing(pos, rem, tag, fresh);
    value = fresh;
    return next;
}

const unsigned char* NySnmpValue::ParseAsnOid(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                              NYSMI_OID& value)
{
    // The caller's record is an output only: whatever it held is not ours.
    NYSMI_OID fresh{0, nullptr};
    const unsigned char* next = nyber::ParseOidReusing(pos, rem, tag, fresh);
    value = fresh;
    return next;
}

const unsigned char* nyber::ParseOidReusing(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                            NYSMI_OID& oid)
{
    const char* const by = "NySnmpValue::ParseAsnOid";
    Reader in(by, pos, rem);
    const uint32_t found = in.Octet();
    const unsigned int length = in.Length();
    const unsigned char* content = in.Content(length);
    // n content octets hold at most n values, and the first value gives two
    // sub-identifiers.
    const size_t slots = size_t{length == 0 ? 2u : length} + 1;
    // The sub-identifiers of a PDU's names fit on the stack; they go into the
    // record's array afterwards, which is only replaced when it is too short.
    // Longer contents are decoded straight into an array of their own.
    constexpr size_t kLocalSlots = 160;
    uint32_t local[kLocalSlots];
    uint32_t* decoded = local;
    if (slots > kLocalSlots) {
        decoded = static_cast<uint32_t*>(::operator new(slots * sizeof(uint32_t), std::nothrow));
        if (decoded == nullptr)
            Fail(by, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
    }
    uint32_t count = 0;
    try {
        count = DecodeSubIds(content, length, decoded, by);
    } catch (...) {
        if (decoded != local)
            ::operator delete(decoded);
        throw;
    }
    uint32_t* target = decoded;
    if (decoded == local) {
        target = oid.ptr;
        if (target == nullptr || oid.len < count) {
            target = static_cast<uint32_t*>(::operator new(size_t{count} * sizeof(uint32_t), std::nothrow));
            if (target == nullptr)
                Fail(by, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
        }
        std::memcpy(target, local, size_t{count} * sizeof(uint32_t));
    }
    if (target != oid.ptr)
        ::operator delete(oid.ptr);
    tag = found;
    oid.len = count;
    oid.ptr = target;
    return in.Commit();
}

const unsigned char* nyber::ParseOctetsReusing(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                               NYSMI_OCTETS& octets)
{
    const char* const by = "NySnmpValue::ParseAsnOctets";
    Reader in(by, pos, rem);
    const uint32_t found = in.Octet();
    const unsigned int length = in.Length();
    const unsigned char* content = in.Content(length);
    // An array holds at least len octets (one more when it was decoded):
    // it takes the new octets and their terminating zero when they are fewer.
    unsigned char* data = octets.ptr;
    if (data == nullptr || octets.len <= length) {
        data = static_cast<unsigned char*>(::operator new(size_t{length} + 1, std::nothrow));
        if (data == nullptr)
            Fail(by, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
        ::operator delete(octets.ptr);
    }
    if (length > 0)
        std::memcpy(data, content, length);
    data[length] = 0;
    tag = found;
    octets.len = length;
    octets.ptr = data;
    return in.Commit();
}

const unsigned char* NySnmpValue::ParseAsnNull(const unsigned char* pos, unsigned int* rem, uint32_t& tag)
{
    Reader in("NySnmpValue::ParseAsnNull", pos, rem);
    const uint32_t found = in.Octet();
    in.Content(in.Length()); // any content octets are skipped unread
    tag = found;
    return in.Commit();
}
