// SNMP messages as a manager or an agent sends them over UDP: the decoder,
// and the encoder over whatever the decoder accepted.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NySnmpMsg msg;
    unsigned int rem = static_cast<unsigned int>(size);
    const unsigned char* end = nullptr;
    try {
        end = msg.FromAsn(data, &rem);
    } catch (const NySocketException&) {
        return 0;
    }
    FUZZ_REQUIRE(end != nullptr && end >= data && end <= data + size);
    FUZZ_REQUIRE(rem <= size);
    FUZZ_REQUIRE(msg.Params().Size() >= 2);
    const NySnmpValue& version = *msg.Params().ValueList()[0];
    const NySnmpValue& community = *msg.Params().ValueList()[1];
    FUZZ_REQUIRE(version.Syntax() == 2 && msg.Version() == version.SmiValue().value.int32);
    FUZZ_REQUIRE(community.Syntax() == 4);
    // The community's octets as received, a zero octet included.
    const NYSMI_OCTETS& octets = community.SmiValue().value.octets;
    FUZZ_REQUIRE(std::strlen(msg.CommunityName()) <= octets.len);

    NySnmpMsg copy(msg);
    FUZZ_REQUIRE(copy.Version() == msg.Version());
    FUZZ_REQUIRE(SameVbl(copy.Pdu().Vars(), msg.Pdu().Vars()));

    // Only a PDU of the context class can be told apart from the message's
    // leading values when read again: the decoder takes any other tag as one
    // more of them.  SNMPv2-Trap is never accepted.
    const int32_t type = msg.Pdu().PduType();
    if ((type & 0xE0) != 0xA0 || type == 0xA7)
        return 0;
    Octets first;
    if (!EncodeTo(msg, first))
        return 0;
    NySnmpMsg again;
    DecodeOwn(again, first);
    FUZZ_REQUIRE(again.Version() == msg.Version());
    FUZZ_REQUIRE(SameSeq(again.Params(), msg.Params()));
    FUZZ_REQUIRE(SameVbl(again.Pdu().Vars(), msg.Pdu().Vars()));
    Octets second;
    FUZZ_REQUIRE(EncodeTo(again, second));
    FUZZ_REQUIRE(second == first);
    return 0;
}
