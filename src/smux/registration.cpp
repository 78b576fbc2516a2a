// NySmuxSession: registration records.
#include "nysmuxpeer.h"

// Still to come: the RReqPDU exchange.  Until then nothing is registered.
int NySmuxSession::Register(NyMibObject&, int&, int)
{
    return -1;
}

// Still to come: the RReqPDU exchange.  Until then nothing is sent.
int NySmuxSession::SendRRegPdu(NYSMI_OID const&, int&, int)
{
    return -1;
}

void NySmuxSession::DestroyRegInfo()
{
    while (!m_regInfo.empty()) {
        NyMibRegInfo* first = m_regInfo.front();
        m_regInfo.erase(m_regInfo.begin());
        delete first;
    }
}
