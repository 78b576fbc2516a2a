// NyAgentxSession: cutting PDUs out of the stream from the master, what
// cannot be followed, and the request loop of the service thread.
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "agentx/wire.h"
#include "nyagentx.h"
#include "nysnmpmsgs.h"
#include "smux/wait.h"

namespace {

// Whether the master waits for an answer to a PDU of this type.
bool ExpectsAnswer(uint8_t type)
{
    return type != NYAGENTX_RESPONSE && type != NYAGENTX_CLOSE && type != NYAGENTX_CLEANUPSET;
}

} // namespace

int NyAgentxSession::Receive(NyAgentxPdu& pdu, int timeout)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (m_received >= NYAGENTX_HEADER_SIZE) {
            unsigned int length = 0;
            try {
                length = NyAgentxPdu::PacketLength(m_receiveArea, m_received);
                if (length > sizeof m_receiveArea)
                    Raise("NyAgentxSession::Receive", NYAGENTX_BAD_HEADER, NYAGENTX_BAD_HEADER_TEXT,
                          ("payload of " + std::to_string(length - NYAGENTX_HEADER_SIZE) + " octets").c_str());
            } catch (NySocketException& e) {
                // Nothing after this header can be found: the stream is given up.
                Stamp(m_reply, NYAGENTX_CLOSE, nullptr);
                m_reply.reason = NYAGENTX_REASON_PARSE_ERROR;
                try {
                    if (m_socket && m_socket->Handle() != -1)
                        SendPdu(m_reply);
                } catch (NySocketException&) {
                }
                DropConnection();
                OnSocketException("NyAgentxSession::Receive", e);
            }
            if (length <= m_received) {
                bool decoded = true;
                try {
                    unsigned int rem = length;
                    pdu.FromWire(m_receiveArea, &rem);
                } catch (NySocketException&) {
                    decoded = false;
                    // The header is intact: the master hears why, and the
                    // stream goes on after this PDU.
                    nyagentx::Reader header(m_receiveArea, NYAGENTX_HEADER_SIZE,
                                            (m_receiveArea[2] & NYAGENTX_FLAG_NETWORK_BYTE_ORDER) != 0);
                    uint8_t type = 0;
                    header.Skip(1);
                    header.U8(type);
                    header.Skip(2);
                    m_reply.type = NYAGENTX_RESPONSE;
                    header.U32(m_reply.sessionId);
                    header.U32(m_reply.transactionId);
                    header.U32(m_reply.packetId);
                    if (ExpectsAnswer(type)) {
                        m_reply.version = NYAGENTX_VERSION;
                        m_reply.flags = NYAGENTX_FLAG_NETWORK_BYTE_ORDER;
                        m_reply.context.clear();
                        m_reply.sysUpTime = 0;
                        m_reply.error = NYAGENTX_PARSE_ERROR;
                        m_reply.index = 0;
                        m_reply.vars.Destroy();
                        if (m_socket && m_socket->Handle() != -1)
                            SendPdu(m_reply);
                    }
                }
                std::memmove(m_receiveArea, m_receiveArea + length, m_received - length);
                m_received -= length;
                m_lastHeard = std::time(nullptr);
                if (decoded)
                    return 1;
                continue;
            }
        }
        if (!m_socket || m_socket->Handle() == -1)
            return -1;
        if (pass == 0) {
            NySessionWait wait(timeout);
            wait.Step(*this);
        }
    }
    return 0;
}

void NyAgentxSession::KeepAliveStep()
{
    if (m_keepAlive <= 0 || !m_open)
        return;
    const time_t now = std::time(nullptr);
    if (m_pingSent != 0) {
        if (now - m_pingSent < m_keepAlive)
            return;
        DropConnection();
        Raise("NyAgentxSession::ProcessRequests", NYAGENTX_NO_ANSWER, NYAGENTX_NO_ANSWER_TEXT, "Ping",
              std::to_string(m_keepAlive).c_str());
    }
    if (now - m_lastHeard < m_keepAlive)
        return;
    Stamp(m_request, NYAGENTX_PING, nullptr);
    SendPdu(m_request);
    m_pingPacket = m_request.packetId;
    m_pingSent = now;
}

int NyAgentxSession::ProcessRequests(int volatile& stop, int timeout, void* event)
{
    NyEvent* const signal = static_cast<NyEvent*>(event);
    const time_t start = std::time(nullptr);
    int remaining = timeout;
    try {
        for (;;) {
            if (stop != 0)
                return 0;
            if (signal && signal->IsSet()) {
                signal->Reset();
                stop = 1;
                return 0;
            }
            KeepAliveStep();
            // Keep-alive needs the loop back within its interval.
            int step = remaining;
            if (m_keepAlive > 0 && (step < 0 || step > m_keepAlive))
                step = m_keepAlive;
            NyAgentxPdu& pdu = m_request;
            const int r = Receive(pdu, step);
            if (r < 0) {
                Reconnect();
                return 0;
            }
            if (r > 0) {
                if (pdu.type == NYAGENTX_CLOSE) {
                    m_closeReason = pdu.reason;
                    const std::string reason = NyAgentxReasonName(pdu.reason);
                    DropConnection();
                    Raise("NyAgentxSession::ProcessRequests", NYAGENTX_CLOSED, NYAGENTX_CLOSED_TEXT,
                          reason.empty() ? std::to_string(pdu.reason).c_str() : reason.c_str());
                }
                if (pdu.type == NYAGENTX_RESPONSE) {
                    if (pdu.packetId == m_pingPacket)
                        m_pingSent = 0;
                    continue;
                }
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
