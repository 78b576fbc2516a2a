// AgentX PDUs from the wire: the length probe the session cuts its stream
// with, the decoder, copies, and the encoder over whatever was accepted.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "nysnmpmsgs.h"
#include "support/caught.h"

namespace {

// Everything a PDU holds, except what the encoder settles itself: the byte
// order (always network) and the context flag (set exactly for a context).
bool SameContent(const NyAgentxPdu& a, const NyAgentxPdu& b)
{
    const uint8_t settled = NYAGENTX_FLAG_NETWORK_BYTE_ORDER | NYAGENTX_FLAG_NON_DEFAULT_CONTEXT;
    if (a.version != b.version || a.type != b.type || ((a.flags ^ b.flags) & ~settled) != 0 ||
        a.sessionId != b.sessionId || a.transactionId != b.transactionId || a.packetId != b.packetId ||
        a.context != b.context || a.timeout != b.timeout || a.priority != b.priority ||
        a.rangeSubid != b.rangeSubid || a.upperBound != b.upperBound || !SameOid(a.oid.SmiOid(), b.oid.SmiOid()) ||
        a.description != b.description || a.reason != b.reason || a.nonRepeaters != b.nonRepeaters ||
        a.maxRepetitions != b.maxRepetitions || a.rangeCount != b.rangeCount || !SameVbl(a.vars, b.vars) ||
        a.sysUpTime != b.sysUpTime || a.error != b.error || a.index != b.index)
        return false;
    for (size_t i = 0; i < a.rangeCount; ++i) {
        const NyAgentxRange &x = a.ranges[i], &y = b.ranges[i];
        if (!SameOid(x.start.SmiOid(), y.start.SmiOid()) || x.include != y.include || !SameOid(x.end.SmiOid(), y.end.SmiOid()))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > NYAGENTX_BUFFER_SIZE)
        return 0;
    const unsigned int length = static_cast<unsigned int>(size);
    unsigned int whole = 0;
    if (const auto e = Caught([&] { whole = NyAgentxPdu::PacketLength(data, length); }))
        FUZZ_REQUIRE(IdOf(e) == NYAGENTX_BAD_HEADER && length >= NYAGENTX_HEADER_SIZE);
    else
        FUZZ_REQUIRE(length < NYAGENTX_HEADER_SIZE ? whole == 0 : whole >= NYAGENTX_HEADER_SIZE);

    NyAgentxPdu pdu;
    unsigned int rem = length;
    const unsigned char* end = nullptr;
    if (const auto e = Caught([&] { end = pdu.FromWire(data, &rem); })) {
        FUZZ_REQUIRE(IdOf(e) == NYAGENTX_BAD_HEADER || IdOf(e) == NYAGENTX_MALFORMED);
        return 0;
    }
    // Exactly the PDU the length probe measured, never more.
    FUZZ_REQUIRE(whole >= NYAGENTX_HEADER_SIZE && whole <= length);
    FUZZ_REQUIRE(end == data + whole && rem == length - whole);

    // Copies hold the same content in storage of their own; what was written
    // reads back whole as the same content and writes again octet for octet
    // (what was decoded from at most a receive area always fits in one again).
    NyAgentxPdu copy(pdu), assigned;
    assigned = pdu;
    pdu = NyAgentxPdu();
    FUZZ_REQUIRE(SameContent(copy, assigned));
    RoundTrip(copy, SameContent);
    return 0;
}
