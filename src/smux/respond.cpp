// NySmuxSession: answering the agent's requests from the MIB tree, with the
// two-phase Set (test and stage, then commit or roll back on the SOutPDU).
#include <vector>

#include "nysmuxpeer.h"

#include "mib/node_parts.h"

namespace {

using Records = std::vector<NyMibRegInfo*>;

bool IsReadable(const NyMibObject& node)
{
    return node.Access() == 1 || node.Access() == 2;
}

bool IsWritable(const NyMibObject& node)
{
    return node.Access() == 2 || node.Access() == 3;
}

bool IsExceptionValue(const NySnmpValue& value)
{
    return (value.Syntax() & 0x80) != 0;
}

NyMibObject* ExactIn(NyMibObject& node, const NySnmpOid& target)
{
    if (nymib::Access::Compare(node, target) == 0)
        return &node;
    for (NyMibObject* child : node.Children()) {
        if (NyMibObject* found = ExactIn(*child, target))
            return found;
    }
    return nullptr;
}

// The node a Get, a Set or a commit addresses: the first registered subtree
// that holds a node with exactly this identifier.  Find alone would also take
// a node whose identifier merely begins with the target (a column asked for
// without its instance), and answer or write another object under its name.
NyMibObject* FindOwner(const Records& records, NySnmpOid& target)
{
    for (NyMibRegInfo* record : records) {
        NyMibObject* found = record->Object().Find(target);
        if (!found)
            continue;
        if (nymib::Access::Compare(*found, target) == 0)
            return found;
        // Find stops at the first prefix match in pre-order; an exact node may
        // still come later (instances 1.2 and 1 in one table).
        if ((found = ExactIn(record->Object(), target)) != nullptr)
            return found;
    }
    return nullptr;
}

NyMibObject* FindNextOwner(const Records& records, NySnmpOid& target)
{
    for (NyMibRegInfo* record : records) {
        if (NyMibObject* found = record->Object().FindNext(target))
            return found;
    }
    return nullptr;
}

// Reads the node for one binding of a Get or GetNext into `scratch`; the
// result is the binding's error status.
int ReadOne(NySmuxSession& session, const Records& records, bool next, NySnmpOid& asked,
            NySnmpVar& scratch)
{
    NySnmpOid later; // where a walk goes on past an absent object
    NySnmpOid* target = &asked;
    for (;;) {
        NyMibObject* node = next ? FindNextOwner(records, *target) : FindOwner(records, *target);
        if (!node)
            return NYSMUX_NO_SUCH_NAME;
        if (!next && !IsReadable(*node))
            return NYSMUX_NO_ACCESS;
        if (node->UserEvents() & 1) {
            const int s = session.OnMibGet(*node, node->UserParam(), node->UserData());
            if (s != 0)
                return s;
        }
        // Copied without making the node's own Oid() object.
        nymib::Access::CopyIdentifier(*node, scratch.Oid());
        const int s = node->get(scratch.Value());
        if (s != 0)
            return s;
        if (!IsExceptionValue(scratch.Value()))
            return NYSMUX_NO_ERROR;
        // An object that reads as absent ends a Get; a walk goes on past it
        // rather than lose the rest of the subtree.  FindNext moves strictly
        // forward, so this ends.
        if (!next)
            return NYSMUX_NO_SUCH_NAME;
        nymib::Access::CopyIdentifier(*node, later);
        target = &later;
    }
}

int RespondGet(NySmuxSession& session, const Records& records, NySnmpPdu& request)
{
    const bool next = request.PduType() == NYSMUX_GETNEXT;
    NySnmpPdu response;
    response.SetPduType(NYSMUX_RESPONSE);
    response.SetRequestId(request.RequestId());
    NySnmpVar scratch;
    int32_t index = 0;
    for (NySnmpVar* var : request.Vars().VarList()) {
        ++index;
        const int error = ReadOne(session, records, next, var->Oid(), scratch);
        if (error != NYSMUX_NO_ERROR) {
            // An error answer carries the request's bindings as they came.
            response.Vars().Destroy();
            response.Vars().Copy(request.Vars());
            response.SetErrorStatus(error);
            response.SetErrorIndex(index);
            break;
        }
        response.Vars().Append(scratch);
    }
    return session.Send(response, 60);
}

// The test phase of a Set; the result is the binding's error status.
int TestOne(NySmuxSession& session, const Records& records, NySnmpVar& var)
{
    NyMibObject* node = FindOwner(records, var.Oid());
    if (!node)
        return NYSMUX_NO_SUCH_NAME;
    if (!IsWritable(*node))
        return NYSMUX_NO_ACCESS;
    if (node->UserEvents() & 2) {
        const int s = session.OnMibSetUncommitted(*node, var.Value(), node->UserParam(), node->UserData());
        if (s != 0)
            return s;
    }
    return node->set(var.Value(), false);
}

int RespondSet(NySmuxSession& session, const Records& records, NySnmpVbl& staged, NySnmpPdu& request)
{
    NySnmpPdu response(NYSMUX_RESPONSE, request.RequestId(), NYSMUX_NO_ERROR, 0, request.Vars());
    int32_t index = 0;
    for (NySnmpVar* var : request.Vars().VarList()) {
        ++index;
        const int error = TestOne(session, records, *var);
        if (error != NYSMUX_NO_ERROR) {
            response.SetErrorStatus(error);
            response.SetErrorIndex(index);
            break;
        }
    }
    session.OnSet(response);
    if (response.ErrorStatus() == NYSMUX_NO_ERROR)
        staged.Copy(request.Vars());
    return session.Send(response, 60);
}

void CommitStaged(NySmuxSession& session, const Records& records, NySnmpVbl& staged)
{
    if (session.OnCommit(staged) != 0)
        return;
    for (NySnmpVar* var : staged.VarList()) {
        NyMibObject* node = FindOwner(records, var->Oid());
        if (!node || !IsWritable(*node))
            continue;
        node->set(var->Value(), true);
        if ((node->UserEvents() & 4) &&
            session.OnMibSetCommitted(*node, node->UserParam(), node->UserData()) != 0)
            break;
    }
}

} // namespace

int NySmuxSession::Respond(NySnmpPdu& request)
{
    switch (request.PduType()) {
    case NYSMUX_GET:
    case NYSMUX_GETNEXT:
        return RespondGet(*this, m_regInfo, request);
    case NYSMUX_SET:
        // Bindings already staged stay: net-snmp sends one SetRequest per
        // binding of a Set, and the SOutPDUs only after all of them.
        return RespondSet(*this, m_regInfo, m_staged, request);
    case NYSMUX_SOUT:
        // A commit with nothing staged follows no Set this association
        // accepted (its bindings were rolled back when the connection was
        // lost, or an earlier SOutPDU of the same Set took them): the host
        // is not told to commit anything.
        if (request.SOutValue() == NYSMUX_SOUT_COMMIT) {
            if (m_staged.Size() > 0)
                CommitStaged(*this, m_regInfo, m_staged);
        }
        else
            OnRollback(m_staged);
        m_staged.Destroy();
        return 0;
    case NYSMUX_GETBULK: {
        NySnmpPdu response(NYSMUX_RESPONSE, request.RequestId(), NYSMUX_NO_SUCH_NAME, 1, request.Vars());
        return Send(response, 60);
    }
    default:
        return 0;
    }
}

void NySmuxSession::RollBackStaged()
{
    if (m_staged.Size() == 0)
        return;
    OnRollback(m_staged);
    m_staged.Destroy();
}
