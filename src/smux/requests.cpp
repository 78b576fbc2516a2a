// NySmuxSession: serving the agent's requests, and the hooks through which a
// derived session takes part.
#include "nysmuxpeer.h"

// Still to come: the request loop.  Until then it returns at once.
int NySmuxSession::ProcessRequests(int volatile&, int, void*)
{
    return 0;
}

// Still to come: taking one PDU out of the receive area.  Until then it
// reports no complete PDU.
int NySmuxSession::Receive(NySnmpPdu&, int)
{
    return 0;
}

// Still to come: answering a request from the MIB tree.  Until then nothing
// is sent.
int NySmuxSession::Respond(NySnmpPdu&)
{
    return 0;
}

int NySmuxSession::OnSet(NySnmpPdu&)
{
    return 0;
}

int NySmuxSession::OnCommit(NySnmpVbl&)
{
    return 0;
}

int NySmuxSession::OnRollback(NySnmpVbl&)
{
    return 0;
}

int NySmuxSession::OnMibGet(NyMibObject&, int32_t, void*)
{
    return 0;
}

int NySmuxSession::OnMibSetUncommitted(NyMibObject&, NySnmpValue&, int32_t, void*)
{
    return 0;
}

int NySmuxSession::OnMibSetCommitted(NyMibObject&, int32_t, void*)
{
    return 0;
}
