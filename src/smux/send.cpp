// NySmuxSession: writing packets and PDUs to the agent.
#include <netinet/in.h>

#include <cstring>
#include <memory>
#include <new>

#include "nysmuxpeer.h"
#include "smux/wait.h"

void NySmuxSession::ClearSendRecord()
{
    delete[] m_send.data;
    m_send = NySnmpBuffer{0, 0, 0, nullptr};
}

int NySmuxSession::SendPacket(unsigned char* packet, unsigned int length, int timeout)
{
    if (!packet || length == 0 || !m_socket)
        return -1;
    int result = -1;
    try {
        // The socket is ready only once the previous packet has gone out
        // completely, so a new packet never overtakes the rest of an old one.
        if (!m_socket->IsReadyToSend()) {
            NySessionWait wait(timeout);
            while (m_socket && m_socket->Handle() != -1 && !m_socket->IsReadyToSend() && !wait.Expired())
                if (!wait.Step(*this))
                    break;
            if (!m_socket || !m_socket->IsReadyToSend())
                return -1;
        }
        // Written straight from the caller's bytes; only what the socket does
        // not take at once is copied, for OnSend to finish.
        ClearSendRecord();
        const int n = m_socket->Send(packet, static_cast<int>(length), 0);
        const unsigned int sent = n > 0 ? static_cast<unsigned int>(n) : 0;
        if (sent < length) {
            unsigned char* copy = new (std::nothrow) unsigned char[length];
            if (!copy)
                return -1;
            std::memcpy(copy, packet, length);
            m_send = NySnmpBuffer{length, length, sent, copy};
        }
        result = 0;
    } catch (NySocketException& e) {
        // The connection is broken: the rest of the packet can never go out.
        ClearSendRecord();
        OnSocketException("NySmuxSession::SendPacket", e);
    }
    return result;
}

void NySmuxSession::OnSend(NyAsyncSocket& socket, int)
{
    if (!m_send.data || m_send.size == 0) {
        ClearSendRecord();
        return;
    }
    if (m_send.length > 0 && m_send.reserved < m_send.length) {
        int n = socket.Send(m_send.data + m_send.reserved, static_cast<int>(m_send.length - m_send.reserved), 0);
        if (n <= 0)
            return;
        m_send.reserved += static_cast<uint32_t>(n);
        if (m_send.reserved >= m_send.length)
            ClearSendRecord();
        return;
    }
    ClearSendRecord();
}

namespace {

// The encoding area of the answers: one per thread, taken again by every PDU
// sent.  A Send that starts while the area is in use (from a callback during
// a wait in SendPacket) takes an area of its own.
struct WorkArea {
    std::unique_ptr<unsigned char[]> data;
    bool busy = false;
};

thread_local WorkArea t_area;

class AreaLease {
public:
    AreaLease()
    {
        if (!t_area.busy) {
            if (!t_area.data)
                t_area.data.reset(new (std::nothrow) unsigned char[NYSMUX_BUFFER_SIZE]);
            if (t_area.data) {
                t_area.busy = true;
                m_data = t_area.data.get();
                m_shared = true;
                return;
            }
        }
        m_own.reset(new (std::nothrow) unsigned char[NYSMUX_BUFFER_SIZE]);
        m_data = m_own.get();
    }
    ~AreaLease()
    {
        if (m_shared)
            t_area.busy = false;
    }
    AreaLease(const AreaLease&) = delete;
    AreaLease& operator=(const AreaLease&) = delete;
    unsigned char* Data() const { return m_data; }

private:
    std::unique_ptr<unsigned char[]> m_own;
    unsigned char* m_data = nullptr;
    bool m_shared = false;
};

} // namespace

int NySmuxSession::Send(NySnmpPdu& pdu, int timeout)
{
    AreaLease area;
    unsigned char* const buffer = area.Data();
    if (!buffer)
        return -1;
    int result = -1;
    try {
        unsigned int rem = NYSMUX_BUFFER_SIZE;
        if (!pdu.AsAsn(buffer, &rem, 0))
            return -1;
        result = SendPacket(buffer, NYSMUX_BUFFER_SIZE - rem, timeout);
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::Send", e);
    }
    return result;
}

NYSMI_OCTETS const& NySmuxSession::AgentAddress()
{
    delete[] m_agentAddress.ptr;
    m_agentAddress = NYSMI_OCTETS{0, nullptr};

    sockaddr_in local{};  // 0.0.0.0 unless a connection says otherwise
    if (m_socket && m_socket->Handle() != -1) {
        int size = sizeof local;
        bool known = true;
        try {
            known = m_socket->GetSockName(reinterpret_cast<sockaddr*>(&local), &size) == 0;
        } catch (NySocketException&) {
            known = false;  // no address is better than no trap
        }
        if (!known || local.sin_family != AF_INET)
            local.sin_addr.s_addr = 0;
    }
    m_agentAddress.ptr = new unsigned char[4];
    std::memcpy(m_agentAddress.ptr, &local.sin_addr, 4);
    m_agentAddress.len = 4;
    return m_agentAddress;
}
