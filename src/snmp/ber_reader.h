// Internal: the one bounds-checked way the BER parsers read their input.
//
// A reader works on a private copy of the position and the remaining count;
// every octet it hands out has been checked against that count first.  The
// caller's position and count change only through Commit(), once the whole
// element has been read, so a parser that throws leaves them as they were.
#ifndef NYSNMP_SRC_BER_READER_H
#define NYSNMP_SRC_BER_READER_H

#include <cstdint>

#include "nysnmp.h"
#include "nysnmpmsgs.h"
#include "snmp/raise.h"

namespace nyber {

// Throws message `id` with the thrown-by text as its first insert.
[[noreturn]] inline void Fail(const char* thrownBy, uint32_t id, const char* text)
{
    NyRaise(thrownBy, id, text, thrownBy);
}

// Refuses a null position or remaining count (invalid argument).
template <typename Octet>
inline void CheckPosition(const char* thrownBy, Octet* pos, const unsigned int* rem)
{
    if (pos == nullptr || rem == nullptr)
        Fail(thrownBy, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT);
}

class Reader {
public:
    Reader(const char* thrownBy, const unsigned char* pos, unsigned int* rem)
        : m_thrownBy(thrownBy), m_rem(rem), m_pos(pos), m_left(0)
    {
        CheckPosition(thrownBy, pos, rem);
        m_left = *rem;
    }

    unsigned int Left() const { return m_left; }

    // The next octet without consuming it.
    unsigned char Peek() const
    {
        if (m_left == 0)
            Truncated(m_thrownBy);
        return *m_pos;
    }

    // The next octet.  Running out here means the element's tag or length
    // octets are cut off.
    unsigned char Octet() { return TakeOctet(m_thrownBy); }

    // Definite length octets: the short form or 0x81..0x84 with 1 to 4
    // octets.  Errors carry the length parser's name, as they would if the
    // element parser called it.
    unsigned int Length();

    // `length` content octets; throws when fewer are left.  The comparison is
    // made on the counts, so no pointer is ever formed past the data.
    const unsigned char* Content(unsigned int length)
    {
        if (length > m_left)
            Truncated(m_thrownBy);
        const unsigned char* content = m_pos;
        m_pos += length;
        m_left -= length;
        return content;
    }

    // Publishes the new position and count; call only after every check.
    const unsigned char* Commit()
    {
        *m_rem = m_left;
        return m_pos;
    }

    [[noreturn]] static void Truncated(const char* thrownBy)
    {
        Fail(thrownBy, NYSNMP_FIELD_TOO_LONG, NYSNMP_FIELD_TOO_LONG_TEXT);
    }

private:
    unsigned char TakeOctet(const char* thrownBy)
    {
        if (m_left == 0)
            Truncated(thrownBy);
        --m_left;
        return *m_pos++;
    }

    const char* m_thrownBy;
    unsigned int* m_rem;
    const unsigned char* m_pos;
    unsigned int m_left;
};

constexpr const char* kParseAsnLength = "NySnmpValue::ParseAsnLength";

inline unsigned int Reader::Length()
{
    const unsigned char first = TakeOctet(kParseAsnLength);
    if (first < 0x80)
        return first;
    const unsigned int count = first & 0x7Fu;
    if (count == 0)
        Fail(kParseAsnLength, NYSNMP_ZERO_LONG_LENGTH, NYSNMP_ZERO_LONG_LENGTH_TEXT);
    if (count > 4)
        Fail(kParseAsnLength, NYSNMP_LONG_LENGTH_TOO_BIG, NYSNMP_LONG_LENGTH_TOO_BIG_TEXT);
    uint32_t length = 0;
    for (unsigned int i = 0; i < count; ++i)
        length = (length << 8) | TakeOctet(kParseAsnLength);
    if (length & 0x80000000u)
        Fail(kParseAsnLength, NYSNMP_NEGATIVE_LENGTH, NYSNMP_NEGATIVE_LENGTH_TEXT);
    return length;
}

// NySnmpValue::ParseAsnOid into an identifier that may already hold an
// array: the new sub-identifiers go into that array when they fit, otherwise
// into a new one and the old one is released.  Errors as ParseAsnOid's, with
// `oid` left as it was.
const unsigned char* ParseOidReusing(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                     NYSMI_OID& oid);

// NySnmpValue::ParseAsnOctets into octets that may already hold an array
// (of at least len octets): the new octets and their terminating zero go
// into it when they fit.  Errors as
// ParseAsnOctets', with `octets` left as it was.
const unsigned char* ParseOctetsReusing(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                        NYSMI_OCTETS& octets);

} // namespace nyber

#endif
