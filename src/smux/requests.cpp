// NySmuxSession: serving the agent's requests, and the hooks through which a
// derived session takes part.
#include "nysmuxpeer.h"

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
