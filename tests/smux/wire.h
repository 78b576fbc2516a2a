// PDUs as the fake agent writes and reads them on the wire.
#ifndef NYSNMP_TESTS_SMUX_WIRE_H
#define NYSNMP_TESTS_SMUX_WIRE_H

#include <string>
#include <utility>
#include <vector>

#include "smux/fake_agent.h"
#include "support/hex.h"

// One BER element from the agent's side of the connection; empty when none
// comes in time.
inline Bytes ReadPdu(FakeAgent& agent, int ms = 5000)
{
    Bytes head = agent.Read(2, ms);
    if (head.size() < 2)
        return {};
    size_t length = head[1];
    if (head[1] & 0x80) {
        Bytes more = agent.Read(head[1] & 0x7F, ms);
        head.insert(head.end(), more.begin(), more.end());
        length = 0;
        for (unsigned char octet : more)
            length = (length << 8) | octet;
    }
    Bytes content = agent.Read(length, ms);
    head.insert(head.end(), content.begin(), content.end());
    return head;
}

inline NySnmpValue Null()
{
    NySnmpValue v;
    v.SetNull(0);
    return v;
}

inline NySnmpValue Int(int32_t i)
{
    NySnmpValue v;
    v.SetInt32(i);
    return v;
}

inline NySnmpValue Text(const std::string& s)
{
    NySnmpValue v;
    NYSMI_OCTETS octets{static_cast<uint32_t>(s.size()),
                        reinterpret_cast<unsigned char*>(const_cast<char*>(s.data()))};
    v.SetOctets(octets);
    return v;
}

using Binding = std::pair<std::string, NySnmpValue>;

inline Bytes Pdu(int32_t type, int32_t id, const std::vector<Binding>& bindings)
{
    NySnmpVbl vbl;
    for (const Binding& b : bindings) {
        NySnmpOid oid(b.first.c_str());
        vbl.Append(NySnmpVar(oid, b.second));
    }
    NySnmpPdu pdu(type, id, 0, 0, vbl);
    Bytes out(8192);
    unsigned int rem = static_cast<unsigned int>(out.size());
    unsigned char* end = pdu.AsAsn(out.data(), &rem, 0);
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
}

#endif
