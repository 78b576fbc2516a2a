// NySmuxSession: SNMPv1 traps built from a trap node of the MIB tree.
#include <memory>

#include "nysmuxpeer.h"

#include "mib/node_parts.h"

int NySmuxSession::Send(NyMibTrap& trap, int timeout)
{
    static const char* const thrownBy = "NySmuxSession::Send( NyMibTrap )";
    NySnmpPdu pdu;
    pdu.SetPduType(NYSMUX_TRAP);

    // The PDU's parameter sequence adopts each value once appended.
    auto append = [&pdu](std::unique_ptr<NySnmpValue> value) {
        pdu.Params().Append(*value);
        value.release();
    };
    auto enterprise = std::make_unique<NySnmpValue>();
    enterprise->SetOid(trap.Oid().SmiOid());
    append(std::move(enterprise));

    auto agentAddr = std::make_unique<NySnmpValue>();
    agentAddr->SetIpAddr(AgentAddress());
    append(std::move(agentAddr));

    auto generic = std::make_unique<NySnmpValue>();
    generic->SetInt32(NYSMUX_ENTERPRISE_SPECIFIC);
    append(std::move(generic));

    auto specific = std::make_unique<NySnmpValue>();
    specific->SetInt32(trap.SubId());
    append(std::move(specific));

    auto timeStamp = std::make_unique<NySnmpValue>();
    timeStamp->SetTimeticks(static_cast<uint32_t>(m_manager.UpTime()) * 100u);
    append(std::move(timeStamp));

    for (NyMibObject* child : trap.Children()) {
        NySnmpVar& binding = child->TrapVar();
        nymib::Access::CopyIdentifier(*child, binding.Oid());
        int status = child->get(binding.Value());
        if (status != 0)
            Raise(thrownBy, NYSNMP_GET_VALUE_FAILED, NYSNMP_GET_VALUE_FAILED_TEXT, status, child->Name());
        pdu.Vars().Append(binding);
    }
    return Send(pdu, timeout);
}
