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
        unsigned char* copy = new (std::nothrow) unsigned char[length];
        if (!copy)
            return -1;
        std::memcpy(copy, packet, length);
        ClearSendRecord();
        m_send = NySnmpBuffer{length, length, 0, copy};
        int n = m_socket->Send(copy, static_cast<int>(length), 0);
        if (n > 0) {
            m_send.reserved += static_cast<uint32_t>(n);
            if (m_send.reserved >= m_send.length)
                ClearSendRecord();
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

int NySmuxSession::Send(NySnmpPdu& pdu, int timeout)
{
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[NYSMUX_BUFFER_SIZE]);
    if (!buffer)
        return -1;
    int result = -1;
    try {
        unsigned int rem = NYSMUX_BUFFER_SIZE;
        if (!pdu.AsAsn(buffer.get(), &rem, 0))
            return -1;
        result = SendPacket(buffer.get(), NYSMUX_BUFFER_SIZE - rem, timeout);
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
