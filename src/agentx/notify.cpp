// NyAgentxSession: notifications built from a trap node of the MIB tree.
#include <string>

#include "nyagentx.h"
#include "nysnmpmsgs.h"

namespace {

// sysUpTime.0 and snmpTrapOID.0, the two bindings every SNMPv2 notification opens with.
uint32_t kSysUpTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
uint32_t kSnmpTrapOid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};

} // namespace

int NyAgentxSession::Send(NyMibTrap& trap, int timeout)
{
    static const char* const thrownBy = "NyAgentxSession::Send( NyMibTrap )";
    NyAgentxPdu& notify = m_request;
    Stamp(notify, NYAGENTX_NOTIFY, nullptr);
    notify.vars.Destroy();

    NySnmpVar var;
    var.Oid().Assign(NYSMI_OID{9, kSysUpTime});
    var.Value().SetTimeticks(static_cast<uint32_t>(m_manager.UpTime()) * 100u);
    notify.vars.Append(var);

    // The SNMPv2 form of an SNMPv1 enterprise-specific trap: the enterprise,
    // 0, then the specific number.
    const NYSMI_OID& own = trap.Oid().SmiOid();
    std::vector<uint32_t> trapOid;
    if (trap.Parent())
        trapOid.assign(trap.Parent()->Oid().SmiOid().ptr, trap.Parent()->Oid().SmiOid().ptr + trap.Parent()->Oid().Length());
    else if (own.len > 0)
        trapOid.assign(own.ptr, own.ptr + own.len - 1);
    trapOid.push_back(0);
    trapOid.push_back(static_cast<uint32_t>(trap.SubId()));
    var.Oid().Assign(NYSMI_OID{11, kSnmpTrapOid});
    var.Value().SetOid(NYSMI_OID{static_cast<uint32_t>(trapOid.size()), trapOid.data()});
    notify.vars.Append(var);

    for (NyMibObject* child : trap.Children()) {
        var.Oid().Assign(child->Oid().SmiOid());
        const int status = child->get(var.Value());
        if (status != 0)
            Raise(thrownBy, NYSNMP_GET_VALUE_FAILED, NYSNMP_GET_VALUE_FAILED_TEXT, status, child->Name());
        notify.vars.Append(var);
    }
    Exchange(notify, m_reply, timeout, "Notify");
    if (m_reply.error != NYAGENTX_NO_ERROR)
        Raise(thrownBy, NYAGENTX_REFUSED, NYAGENTX_REFUSED_TEXT, m_reply.error,
              (std::string("Notify ") + trap.Name() + " (" + NyAgentxErrorName(m_reply.error) + ")").c_str());
    return 0;
}
