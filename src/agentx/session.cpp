// NyAgentxSession: construction, the socket notifications, the hooks'
// defaults and the octets fed from outside.
#include <cstring>

#include "nyagentx.h"

NyAgentxSession::NyAgentxSession(NySnmpManager& manager)
    : NySocketOwner(true), NySnmpObject(), m_manager(manager), m_address(NYAGENTX_DEFAULT_ADDRESS)
{
    m_out.resize(NYAGENTX_BUFFER_SIZE);
}

NyAgentxSession::~NyAgentxSession()
{
    if (m_socket) {
        m_socket->SetExceptions(false);
        m_socket->Close();
        delete m_socket;
        m_socket = nullptr;
    }
    for (Registration& entry : m_regs)
        delete entry.record;
}

void NyAgentxSession::OnConnect(NyAsyncSocket& socket, int error)
{
    if (error == 0) {
        m_connected = true;
        return;
    }
    socket.Close();
    socket.OnError(NYSOCKET_CONNECT_FAILED, "NyAgentxSession::OnConnect", error, nullptr);
}

void NyAgentxSession::OnClose(NyAsyncSocket& socket, int)
{
    // What arrived before the end is still in the receive area and is
    // answered first; the loop notices the closed socket after that.
    socket.Close();
}

void NyAgentxSession::OnReceive(NyAsyncSocket& socket, int)
{
    if (m_received >= sizeof m_receiveArea)
        return;
    const int n = socket.Receive(m_receiveArea + m_received, static_cast<int>(sizeof m_receiveArea - m_received), 0);
    if (n > 0)
        m_received += static_cast<unsigned int>(n);
}

void NyAgentxSession::OnSend(NyAsyncSocket& socket, int)
{
    while (m_pendingSent < m_pending.size()) {
        const int n = socket.Send(m_pending.data() + m_pendingSent, static_cast<int>(m_pending.size() - m_pendingSent), 0);
        if (n <= 0)
            return;
        m_pendingSent += static_cast<size_t>(n);
    }
    m_pending.clear();
    m_pendingSent = 0;
}

unsigned int NyAgentxSession::Feed(const unsigned char* data, unsigned int length)
{
    if (!data)
        return 0;
    const unsigned int room = static_cast<unsigned int>(sizeof m_receiveArea) - m_received;
    const unsigned int taken = length < room ? length : room;
    std::memcpy(m_receiveArea + m_received, data, taken);
    m_received += taken;
    return taken;
}

void NyAgentxSession::OnSocketException(char const*, NySocketException& caught)
{
    throw NySocketException(caught.ThrownBy(), caught.NativeError(), caught.Id(), caught.Text());
}

NySocketMutex& NyAgentxSession::MibMutex()
{
    return m_mibMutex;
}

int NyAgentxSession::SetKeepAlive(int seconds)
{
    m_keepAlive = seconds > 0 ? seconds : 0;
    return 0;
}

int NyAgentxSession::OnMibGet(NyMibObject&, int32_t, void*)
{
    return 0;
}

int NyAgentxSession::OnMibSetUncommitted(NyMibObject&, NySnmpValue&, int32_t, void*)
{
    return 0;
}

int NyAgentxSession::OnMibSetCommitted(NyMibObject&, int32_t, void*)
{
    return 0;
}

int NyAgentxSession::OnCommit(NySnmpVbl&)
{
    return 0;
}

int NyAgentxSession::OnRollback(NySnmpVbl&)
{
    return 0;
}
