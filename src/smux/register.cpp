// NySmuxSession: registering subtrees with the agent (RReqPDU / RRspPDU).
#include <ctime>
#include <mutex>
#include <memory>
#include <new>

#include "nysmuxpeer.h"

namespace {

// How long a registration waits for the agent's RRspPDU.
constexpr time_t kAnswerWindow = 15;

} // namespace

int NySmuxSession::Register(NyMibObject& node, int& priority, int operation)
{
    if (operation != NYSMUX_REG_DELETE && operation != NYSMUX_REG_READONLY &&
        operation != NYSMUX_REG_READWRITE)
        return -1;

    const int result = SendRRegPdu(node.Oid().SmiOid(), priority, operation);

    if (operation == NYSMUX_REG_DELETE) {
        for (auto it = m_regInfo.begin(); it != m_regInfo.end(); ++it) {
            if ((*it)->Object().Oid().Compare(node.Oid(), 0) == 0) {
                NyMibRegInfo* gone = *it;
                m_regInfo.erase(it);
                delete gone;
                break;
            }
        }
        return result;
    }

    // Kept whatever the exchange gave: Reconnect registers it again.
    NyMibRegInfo* record = new (std::nothrow) NyMibRegInfo(node, priority, operation);
    if (!record)
        return -1;
    try {
        m_regInfo.push_back(record);
    } catch (const std::bad_alloc&) {
        delete record;
        return -1;
    }
    return result;
}

int NySmuxSession::SendRRegPdu(NYSMI_OID const& subtree, int& priority, int operation)
{
    if (!m_socket)
        return -1;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[NYSMUX_BUFFER_SIZE]);
    if (!buffer)
        return -1;
    int result = 0;
    try {
        unsigned int rem = NYSMUX_BUFFER_SIZE - 4;
        unsigned char* const content = buffer.get() + 4;
        unsigned char* p = content;
        NySnmpValue value;
        value.SetOid(subtree);
        p = value.AsAsn(p, &rem);
        if (p) {
            value.SetInt32(priority);
            p = value.AsAsn(p, &rem);
        }
        if (p) {
            value.SetInt32(operation);
            p = value.AsAsn(p, &rem);
        }
        if (!p)
            return 0; // a field did not fit; nothing is sent

        const unsigned int length = static_cast<unsigned int>(p - content);
        unsigned int headerRoom = 4;
        if (!NySnmpValue::BuildAsnSequence(buffer.get(), &headerRoom, NYSMUX_RREQ, length))
            return -1;
        const int sent = SendPacket(buffer.get(), 4 + length, 0);
        if (sent != 0)
            return sent;

        // The agent answers a moment after the request, so a wait that finds
        // nothing yet goes on until the answer or the end of the window.
        // Requests that arrive meanwhile are answered at once.
        const time_t end = std::time(nullptr) + kAnswerWindow;
        NySnmpPdu pdu;
        for (;;) {
            const time_t now = std::time(nullptr);
            if (now >= end)
                break;
            const int n = Receive(pdu, static_cast<int>(end - now));
            if (n < 0)
                break; // the connection is gone; no answer can come
            if (n == 0)
                continue;
            if (pdu.PduType() == NYSMUX_RRSP) {
                NySnmpValueSeq& params = pdu.Params();
                if (params.Size() == 1 && params.Get(1)->Syntax() == 2)
                    priority = params.Get(1)->SmiValue().value.int32;
                else
                    result = -1;
                break;
            }
            // Answered from the tree like any request: other threads of the
            // host may be changing values right now.
            std::lock_guard<NySocketMutex> guard(m_mibMutex);
            Respond(pdu);
        }
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::SendRRegPdu", e);
    }
    return result;
}
