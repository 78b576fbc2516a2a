// NySmuxSession: cutting PDUs out of the byte stream from the agent, and the
// request loop of the service thread.
#include <cstring>
#include <ctime>
#include <mutex>

#include "nysmuxpeer.h"
#include "smux/wait.h"

int NySmuxSession::Receive(NySnmpPdu& pdu, int timeout)
{
    pdu.Erase();
    NySessionWait wait(timeout);
    try {
        int n = 0;
        if (m_receive.length >= 2) {
            try {
                n = NySnmpPdu::AsnPktLen(m_receive.data, m_receive.length);
                // Such a PDU could never be complete in the receive area: the
                // stream cannot be followed any further.
                if (n > static_cast<int>(m_receive.size))
                    Raise("NySmuxSession::Receive", NYSNMP_SEQ_TOO_LONG, NYSNMP_SEQ_TOO_LONG_TEXT);
            } catch (NySocketException&) {
                m_receive.length = 0;
                throw;
            }
        }
        if (n <= 0 || static_cast<unsigned int>(n) > m_receive.length) {
            if (!m_socket || m_socket->Handle() == -1)
                return -1;
            wait.Step(*this);
            return 0;
        }

        const unsigned int length = static_cast<unsigned int>(n);
        try {
            unsigned int rem = length;
            pdu.FromAsn(m_receive.data, &rem);
        } catch (NySocketException&) {
            m_receive.length = 0;
            throw;
        }
        const int held = static_cast<int>(m_receive.length);
        std::memmove(m_receive.data, m_receive.data + length, m_receive.length - length);
        m_receive.length -= length;
        return held;
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::Receive", e);
    }
    return 0;
}

int NySmuxSession::ProcessRequests(int volatile& stop, int timeout, void* event)
{
    NyEvent* const signal = static_cast<NyEvent*>(event);
    NySnmpPdu pdu;
    int remaining = timeout;
    const time_t start = std::time(nullptr);
    try {
        for (;;) {
            if (stop != 0)
                return 0;
            if (signal && signal->IsSet()) {
                signal->Reset();
                stop = 1;
                return 0;
            }
            const int r = Receive(pdu, remaining);
            if (r < 0) {
                if (!m_socket || m_socket->Handle() == -1)
                    Reconnect();
                return 0;
            }
            if (r > 0) {
                std::lock_guard<NySocketMutex> guard(m_mibMutex);
                Respond(pdu);
                continue;
            }
            if (timeout == 0)
                return 0;
            if (timeout > 0) {
                const time_t now = std::time(nullptr);
                if (now >= start + timeout)
                    return 0;
                remaining = static_cast<int>(start + timeout - now);
            }
        }
    } catch (NySocketException& e) {
        int result = e.Id();
        try {
            Reconnect();
        } catch (NySocketException& again) {
            result = again.Id();
            Reconnect();
        }
        return result;
    }
}
