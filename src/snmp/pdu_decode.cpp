// NySnmpPdu: the decoder of every PDU shape and the packet-length probe.
#include <climits>
#include <cstdio>
#include <new>

#include "nysnmp.h"

namespace {

const char kFromAsn[] = "NySnmpPdu::FromAsn";

constexpr int32_t kGetRequest = 0xA0;
constexpr int32_t kGetNextRequest = 0xA1;
constexpr int32_t kResponse = 0xA2;
constexpr int32_t kSetRequest = 0xA3;
constexpr int32_t kGetBulkRequest = 0xA5;
constexpr int32_t kSnmpV2Trap = 0xA7;
constexpr int32_t kOpenPdu = 0x60;
constexpr int32_t kClosePdu = 0x41;
constexpr int32_t kRReqPdu = 0x62;
constexpr int32_t kRRspPdu = 0x43;
constexpr int32_t kSOutPdu = 0x44;

enum class SimpleInteger { Absent, Present, Malformed };

// The content of ClosePDU, RRspPDU and SOutPDU: one INTEGER of 1 to 4 octets
// right after the tag (net-snmp writes the RRspPDU with four).  When the
// content is cut off, the third octet is taken as it stands, as far as it is
// there.  A negative value (the agent's failure, -1) is delivered as 255,
// which is how callers have always seen it.
SimpleInteger ReadSimpleInteger(const unsigned char* pos, unsigned int rem, int32_t& value)
{
    if (rem < 2)
        return SimpleInteger::Absent;
    const unsigned int length = pos[1];
    if (rem - 2 >= length) {
        if (length == 0 || length > 4)
            return SimpleInteger::Malformed;
        uint32_t bits = (pos[2] & 0x80) != 0 ? 0xFFFFFFFFu : 0u;
        for (unsigned int i = 0; i < length; ++i)
            bits = (bits << 8) | pos[2 + i];
        value = static_cast<int32_t>(bits);
    } else if (rem >= 3) {
        value = pos[2];
    } else {
        return SimpleInteger::Absent;
    }
    if (value < 0)
        value = 255;
    return SimpleInteger::Present;
}

// The request and response PDUs nearly always start with request-id,
// error-status and error-index as INTEGERs of one to four octets, followed
// by the binding list inside the PDU.  This reads exactly that shape without
// building a value for each number; it touches nothing and says false for
// anything else, which then takes the general path (with its errors).
// `rem` is updated as the general path would leave it: the octets from the
// binding list on.
bool ReadRequestNumbers(const unsigned char* pos, unsigned int* rem, int32_t numbers[3],
                        const unsigned char*& next)
{
    const unsigned int available = *rem;
    if (available < 2)
        return false;
    unsigned int length = pos[1];
    unsigned int header = 2;
    if (length == 0x81 || length == 0x82) {
        header += length & 0x7F;
        if (available < header)
            return false;
        length = length == 0x81 ? pos[2] : (unsigned{pos[2]} << 8) | pos[3];
    } else if (length >= 0x80) {
        return false;
    }
    const unsigned int left = available - header;
    if (length > left)
        return false;
    const unsigned char* p = pos + header;
    unsigned int content = length;
    for (int i = 0; i < 3; ++i) {
        if (content < 2 || p[0] != 0x02)
            return false;
        const unsigned int size = p[1];
        if (size == 0 || size > 4 || size > content - 2)
            return false;
        uint32_t bits = (p[2] & 0x80) != 0 ? 0xFFFFFFFFu : 0u;
        for (unsigned int k = 0; k < size; ++k)
            bits = (bits << 8) | p[2 + k];
        numbers[i] = static_cast<int32_t>(bits);
        p += 2 + size;
        content -= 2 + size;
    }
    if (content == 0 || *p != 0x30)
        return false;
    *rem = left - (length - content);
    next = p;
    return true;
}

// What the general path leaves in Params when the binding list then fails:
// the three numbers as INTEGER values.
void KeepNumbersAsParams(NySnmpValueSeq& params, const int32_t numbers[3])
{
    for (int i = 0; i < 3; ++i) {
        NySnmpValue* value = new (std::nothrow) NySnmpValue;
        if (value == nullptr)
            return;
        value->SetInt32(numbers[i]);
        if (params.Append(*value) != 0)
            return;
    }
}

} // namespace

const unsigned char* NySnmpPdu::FromAsn(const unsigned char* pos, unsigned int* rem)
{
    Erase();
    if (pos == nullptr || rem == nullptr)
        Raise(kFromAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kFromAsn);

    bool complete = *rem > 0;
    const unsigned char* result = nullptr;
    if (complete)
        m_type = pos[0];
    int32_t numbers[3];
    const unsigned char* next = nullptr;

    if (!complete) {
        // Not even a type octet.
    } else if ((m_type == kGetRequest || m_type == kGetNextRequest || m_type == kResponse ||
                m_type == kSetRequest || m_type == kGetBulkRequest) &&
               ReadRequestNumbers(pos, rem, numbers, next)) {
        try {
            result = m_vars.FromAsn(next, rem);
        } catch (...) {
            // A failed binding list leaves the three numbers as values in
            // Params and the fields at 0, as the general path does.
            KeepNumbersAsParams(m_params, numbers);
            throw;
        }
        m_requestId = numbers[0];
        m_errorStatus = numbers[1];
        m_errorIndex = numbers[2];
    } else if ((m_type & 0x40) == 0) {
        const unsigned char* p = m_params.FromAsn(pos, rem);
        if (*rem == 0) {
            complete = false; // the binding list is missing altogether
        } else {
            if (*p != 0x30) {
                char found[8];
                std::snprintf(found, sizeof found, "0x%02X", static_cast<unsigned int>(*p));
                Raise(kFromAsn, NYSNMP_EXPECTED_SYNTAX, NYSNMP_EXPECTED_SYNTAX_TEXT, "0x30", found);
            }
            result = m_vars.FromAsn(p, rem);
        }
        switch (complete ? m_type : -1) {
        case kGetRequest:
        case kGetNextRequest:
        case kResponse:
        case kSetRequest:
        case kGetBulkRequest: {
            const std::vector<NySnmpValue*>& values = m_params.ValueList();
            complete = values.size() >= 3;
            for (size_t i = 0; complete && i < 3; ++i)
                complete = values[i]->Syntax() == 0x02;
            if (complete) {
                m_requestId = values[0]->SmiValue().value.int32;
                m_errorStatus = values[1]->SmiValue().value.int32;
                m_errorIndex = values[2]->SmiValue().value.int32;
                m_params.Destroy();
            }
            break;
        }
        case kSnmpV2Trap:
            complete = false;
            break;
        default:
            break;
        }
    } else {
        result = pos;
        switch (m_type) {
        case kOpenPdu:
        case kRReqPdu:
            result = m_params.FromAsn(pos, rem);
            break;
        case kClosePdu:
        case kRRspPdu:
        case kSOutPdu: {
            // The caller takes these by the length it measured: the count is
            // left as it is and the result is the start.
            int32_t value = 0;
            const SimpleInteger read = ReadSimpleInteger(pos, *rem, value);
            if (read == SimpleInteger::Malformed) {
                complete = false;
                break;
            }
            if (m_type == kSOutPdu)
                m_sOut = read == SimpleInteger::Present ? value : 1;
            if (read == SimpleInteger::Present) {
                NySnmpValue* integer = new (std::nothrow) NySnmpValue;
                if (integer == nullptr)
                    Raise(kFromAsn, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
                integer->SetInt32(value);
                if (m_params.Append(*integer) != 0)
                    Raise(kFromAsn, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
            }
            break;
        }
        default:
            break;
        }
    }

    if (!complete || result == nullptr) {
        m_vars.Destroy();
        m_params.Destroy();
        Raise(kFromAsn, NYSNMP_INCOMPLETE_PDU, NYSNMP_INCOMPLETE_PDU_TEXT, kFromAsn);
    }
    return result;
}

int NySnmpPdu::AsnPktLen(const unsigned char* pos, unsigned int available)
{
    if (pos == nullptr)
        return -1;
    if (available < 2)
        return 0;
    if (pos[1] < 0x80)
        return pos[1] + 2;
    const unsigned int lengthOctets = pos[1] & 0x7F;
    if (available < lengthOctets + 2)
        return 0;
    unsigned int rem = available - 1;
    unsigned int length = 0;
    NySnmpValue::ParseAsnLength(pos + 1, &rem, length);
    // A four-octet length may come close to 2^31: saturate rather than wrap,
    // the element is then simply never complete.
    const long long total = static_cast<long long>(lengthOctets) + length + 2;
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}
