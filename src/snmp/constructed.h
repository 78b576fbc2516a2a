// Internal: the four-octet constructed header (tag, 0x82, two length octets)
// that every constructed element of the library is written with.  Its place
// is reserved before the content is known and filled in afterwards.
#ifndef NYSNMP_SRC_CONSTRUCTED_H
#define NYSNMP_SRC_CONSTRUCTED_H

#include "nysnmp.h"

class NyConstructedHeader {
public:
    // Reserves the header at `pos`; throws "Output buffer too short" when
    // fewer than four octets are free.
    NyConstructedHeader(unsigned char* pos, unsigned int* rem)
        : m_start(pos), m_rem(rem), m_entry(*rem)
    {
        m_content = NySnmpValue::BuildAsnSequence(pos, rem, 0, 0);
    }

    unsigned char* Content() const { return m_content; }

    // Fills in the header with `tag` and the length of what was written since
    // the reservation.  False (header left as reserved) when that length does
    // not fit the two length octets.
    bool Close(uint32_t tag)
    {
        const unsigned int length = m_entry - *m_rem - 4;
        if (length > 0xFFFF)
            return false;
        m_start[0] = static_cast<unsigned char>(tag);
        m_start[1] = 0x82;
        m_start[2] = static_cast<unsigned char>(length >> 8);
        m_start[3] = static_cast<unsigned char>(length);
        return true;
    }

private:
    unsigned char* m_start;
    unsigned int* m_rem;
    unsigned int m_entry;
    unsigned char* m_content;
};

#endif
