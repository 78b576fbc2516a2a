// NySmuxSession: registration records.
#include "nysmuxpeer.h"

void NySmuxSession::DestroyRegInfo()
{
    while (!m_regInfo.empty()) {
        NyMibRegInfo* first = m_regInfo.front();
        m_regInfo.erase(m_regInfo.begin());
        delete first;
    }
}
