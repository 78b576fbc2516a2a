// AgentX PDUs for the tests: encoding to octets and back, in either byte
// order, and short builders for the requests a master sends.
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

// The same PDU with every number in the order of the machine that sent it
// little-endian: the header's, and those of the payload at the offsets given.
inline Bytes LittleEndian(Bytes wire, const std::vector<size_t>& words32, const std::vector<size_t>& words16 = {})
{
    wire[2] &= static_cast<unsigned char>(~NYAGENTX_FLAG_NETWORK_BYTE_ORDER);
    std::vector<size_t> at{4, 8, 12, 16};
    for (size_t w : words32)
        at.push_back(NYAGENTX_HEADER_SIZE + w);
    for (size_t a : at)
        std::swap(wire[a], wire[a + 3]), std::swap(wire[a + 1], wire[a + 2]);
    for (size_t w : words16)
        std::swap(wire[NYAGENTX_HEADER_SIZE + w], wire[NYAGENTX_HEADER_SIZE + w + 1]);
    return wire;
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

// A range from `start` (OID text) to `end` ("" for none).
inline void AddRange(NyAgentxPdu& pdu, const std::string& start, const std::string& end = "", bool include = false)
{
    if (pdu.rangeCount == pdu.ranges.size())
        pdu.ranges.emplace_back();
    NyAgentxRange& range = pdu.ranges[pdu.rangeCount++];
    range.start.Assign(start.c_str());
    range.include = include;
    if (end.empty())
        range.end.Erase();
    else
        range.end.Assign(end.c_str());
}

// "oid = value" per binding, values as the library shows them.
inline std::vector<std::string> Shown(NySnmpVbl vars)
{
    std::vector<std::string> out;
    for (NySnmpVar* var : vars.VarList())
        out.push_back(std::string(var->Oid().AsString()) + " = " +
                      (var->Value().Syntax() >= 0x80 ? var->Value().SyntaxName() : var->Value().AsString()));
    return out;
}

#endif
