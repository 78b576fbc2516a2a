// PDUs from the wire: the length probe the session cuts its stream with, the
// decoder, and the encoder over whatever the decoder accepted.
#include <climits>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"

namespace {

bool IsSnmpShape(int32_t type)
{
    // SNMPv2-Trap is never accepted; the SMUX shapes are not written by AsAsn.
    return (type & 0x40) == 0 && type != 0xA7;
}

bool NumbersInHeader(int32_t type)
{
    return (type >= 0xA0 && type <= 0xA3) || type == 0xA5;
}

void Probe(const uint8_t* data, size_t size)
{
    try {
        const int n = NySnmpPdu::AsnPktLen(data, static_cast<unsigned int>(size));
        FUZZ_REQUIRE(n >= 0);
        // A known length counts at least the tag and one length octet.
        FUZZ_REQUIRE(n == 0 || n >= 2);
        FUZZ_REQUIRE(size >= 2 || n == 0);
    } catch (const NySocketException&) {
        // a length field BER refuses
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Probe(data, size);

    NySnmpPdu pdu;
    unsigned int rem = static_cast<unsigned int>(size);
    const unsigned char* end = nullptr;
    try {
        end = pdu.FromAsn(data, &rem);
    } catch (const NySocketException&) {
        return 0;
    }
    FUZZ_REQUIRE(end != nullptr && end >= data && end <= data + size);
    FUZZ_REQUIRE(rem <= size);
    const int32_t type = pdu.PduType();
    FUZZ_REQUIRE(size > 0 && type == data[0]);
    if (!IsSnmpShape(type)) {
        // An SMUX PDU leaves the position and the count where they were,
        // except for the constructed Open and RReq forms.
        if (type == 0x60 || type == 0x62) {
            FUZZ_REQUIRE(static_cast<size_t>(end - data) + rem == size);
        } else {
            FUZZ_REQUIRE(end == data && rem == size);
        }
        if (type == 0x41 || type == 0x43 || type == 0x44) {
            // At most one number, never negative (the agent's -1 comes as
            // 255); one octet of content is that octet.  An SOutPDU without
            // a number rolls back.
            const NySnmpValueSeq& params = pdu.Params();
            FUZZ_REQUIRE(params.Size() <= 1);
            const NySnmpValue* number = params.Size() == 1 ? params.ValueList()[0] : nullptr;
            if (number) {
                const int32_t value = number->SmiValue().value.int32;
                FUZZ_REQUIRE(number->Syntax() == 2 && value >= 0);
                if (size >= 3 && data[1] == 1)
                    FUZZ_REQUIRE(value == (data[2] >= 0x80 ? 255 : data[2]));
            }
            if (type == 0x44)
                FUZZ_REQUIRE(pdu.SOutValue() == (number ? number->SmiValue().value.int32 : 1));
        }
        return 0;
    }
    FUZZ_REQUIRE(static_cast<size_t>(end - data) + rem == size);
    if (NumbersInHeader(type))
        FUZZ_REQUIRE(pdu.Params().Size() == 0);

    // A copy holds the same content in storage of its own.
    NySnmpPdu copy;
    copy = pdu;
    FUZZ_REQUIRE(SamePdu(copy, pdu));

    Octets first;
    if (!EncodeTo(pdu, first))
        return 0;
    NySnmpPdu again;
    DecodeOwn(again, first);
    FUZZ_REQUIRE(again.PduType() == type);
    FUZZ_REQUIRE(SameVbl(again.Vars(), pdu.Vars()));
    // Without leading values of its own a PDU is written with the three
    // numbers, which a Trap or an Inform then reads back into Params.
    if (NumbersInHeader(type) || pdu.Params().Size() > 0)
        FUZZ_REQUIRE(SamePdu(again, pdu));
    Octets second;
    FUZZ_REQUIRE(EncodeTo(again, second));
    FUZZ_REQUIRE(second == first);
    return 0;
}
