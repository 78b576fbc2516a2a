// SNMP messages as a manager or an agent sends them over UDP: the decoder,
// and the encoder over whatever the decoder accepted.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NySnmpMsg msg;
    if (!DecodeInput(msg, data, size))
        return 0;
    FUZZ_REQUIRE(msg.Params().Size() >= 2);
    const NySnmpValue& version = *msg.Params().ValueList()[0];
    const NySnmpValue& community = *msg.Params().ValueList()[1];
    FUZZ_REQUIRE(version.Syntax() == 2 && msg.Version() == version.SmiValue().value.int32);
    // The community's octets as received, a zero octet included.
    FUZZ_REQUIRE(community.Syntax() == 4 && std::strlen(msg.CommunityName()) <= community.SmiValue().value.octets.len);
    NySnmpMsg copy(msg);
    FUZZ_REQUIRE(copy.Version() == msg.Version() && SameVbl(copy.Pdu().Vars(), msg.Pdu().Vars()));
    // Only a PDU of the context class can be told apart from the message's
    // leading values when read again: the decoder takes any other tag as one
    // more of them.  SNMPv2-Trap is never accepted.
    const int32_t type = msg.Pdu().PduType();
    if ((type & 0xE0) == 0xA0 && type != 0xA7)
        RoundTrip(msg, [](NySnmpMsg& a, NySnmpMsg& b) {
            return a.Version() == b.Version() && SameSeq(a.Params(), b.Params()) && SameVbl(a.Pdu().Vars(), b.Pdu().Vars());
        });
    return 0;
}
