// AgentX PDUs for the tests: encoding to octets and back, and short
// builders for the requests a master sends.
#ifndef NYSNMP_TESTS_AGENTX_PDUS_H
#define NYSNMP_TESTS_AGENTX_PDUS_H

#include <string>
#include <vector>

#include "nyagentx.h"
#include "support/hex.h"

inline Bytes Encode(const NyAgentxPdu& pdu)
{
    Bytes out(NYAGENTX_BUFFER_SIZE);
    unsigned int rem = static_cast<unsigned int>(out.size());
    if (!pdu.ToWire(out.data(), &rem))
        return {};
    out.resize(out.size() - rem);
    return out;
}

inline NyAgentxPdu Decode(const Bytes& wire)
{
    NyAgentxPdu pdu;
    unsigned int rem = static_cast<unsigned int>(wire.size());
    pdu.FromWire(wire.data(), &rem);
    return pdu;
}

inline NyAgentxPdu Request(uint8_t type, uint32_t session, uint32_t transaction, uint32_t packet)
{
    NyAgentxPdu pdu;
    pdu.type = type;
    pdu.sessionId = session;
    pdu.transactionId = transaction;
    pdu.packetId = packet;
    return pdu;
}

#endif
