// PDUs from the wire: the length probe the session cuts its stream with, the
// decoder, and the encoder over whatever the decoder accepted.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "support/caught.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A known length counts at least the tag and one length octet (none: 0,
    // also where BER refuses the length field).
    int n = 0;
    Caught([&] { n = NySnmpPdu::AsnPktLen(data, static_cast<unsigned int>(size)); });
    FUZZ_REQUIRE(n == 0 || (n >= 2 && size >= 2));
    NySnmpPdu pdu;
    const unsigned char* end = nullptr;
    if (!DecodeInput(pdu, data, size, &end))
        return 0;
    const int32_t type = pdu.PduType();
    FUZZ_REQUIRE(size > 0 && type == data[0]);
    if ((type & 0x40) != 0) {
        // An SMUX PDU leaves the position where it was, except for the
        // constructed Open and RReq forms.
        FUZZ_REQUIRE(type == 0x60 || type == 0x62 || end == data);
        if (type == 0x41 || type == 0x43 || type == 0x44) {
            // At most one number, never negative (the agent's -1 comes as
            // 255); one octet of content is that octet.  An SOutPDU without a
            // number rolls back.
            const NySnmpValueSeq& params = pdu.Params();
            FUZZ_REQUIRE(params.Size() <= 1);
            const NySnmpValue* number = params.Size() == 1 ? params.ValueList()[0] : nullptr;
            const int32_t value = number ? number->SmiValue().value.int32 : 1;
            FUZZ_REQUIRE(!number || (number->Syntax() == 2 && value >= 0));
            FUZZ_REQUIRE(!number || size < 3 || data[1] != 1 || value == (data[2] >= 0x80 ? 255 : data[2]));
            FUZZ_REQUIRE(type != 0x44 || pdu.SOutValue() == value);
        }
        return 0;
    }
    // SNMPv2-Trap is never accepted; the numbers of requests never stay in Params.
    const bool numbers = (type >= 0xA0 && type <= 0xA3) || type == 0xA5;
    FUZZ_REQUIRE(type != 0xA7 && (!numbers || pdu.Params().Size() == 0));
    NySnmpPdu copy; // a copy holds the same content in storage of its own
    copy = pdu;
    FUZZ_REQUIRE(SamePdu(copy, pdu));
    // Without leading values of its own a PDU is written with the three
    // numbers, which a Trap or an Inform then reads back into Params.
    const bool whole = numbers || pdu.Params().Size() > 0;
    RoundTrip(pdu, [whole](NySnmpPdu& a, NySnmpPdu& b) {
        return a.PduType() == b.PduType() && SameVbl(a.Vars(), b.Vars()) && (!whole || SamePdu(a, b));
    });
    return 0;
}
