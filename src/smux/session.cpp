// NySmuxSession: construction, destruction, the socket notifications and
// the accessors.
#include <unistd.h>

#include <climits>

#include "nysmuxpeer.h"

namespace {

// The name of this machine, where the agent runs unless Init says otherwise.
std::string LocalHostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

}  // namespace

NySmuxSession::NySmuxSession(NySnmpManager& manager)
    : NySocketOwner(true),
      NySnmpObject(),
      m_manager(manager),
      m_socket(nullptr),
      m_receive{NYSMUX_BUFFER_SIZE, 0, 0, m_receiveArea},
      m_send{0, 0, 0, nullptr},
      m_outOfBand{NYSMUX_BUFFER_SIZE, 0, 0, m_outOfBandArea},
      m_peerPort(0),
      m_initValue(0),
      m_agentPort(NYSMUX_DEFAULT_PORT),
      m_agentHost(LocalHostName()),
      m_lingerTime(0),
      m_agentAddress{0, nullptr}
{
}

NySmuxSession::~NySmuxSession()
{
    m_staged.Destroy();
    if (m_socket) {
        m_socket->SetExceptions(false);
        m_socket->Close();
        delete m_socket;
        m_socket = nullptr;
    }
    delete[] m_agentAddress.ptr;
    m_agentAddress = NYSMI_OCTETS{0, nullptr};
    ClearSendRecord();
    DestroyRegInfo();
}

void NySmuxSession::OnConnect(NyAsyncSocket& socket, int error)
{
    if (error == 0)
        return;
    socket.Close();
    socket.OnError(NYSOCKET_CONNECT_FAILED, "NySmuxSession::OnConnect", error, nullptr);
}

void NySmuxSession::OnClose(NyAsyncSocket& socket, int)
{
    try {
        socket.Close();
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::OnClose", e);
    }
}

void NySmuxSession::OnReceive(NyAsyncSocket& socket, int)
{
    if (m_receive.length >= m_receive.size)
        return;
    int n = socket.Receive(m_receive.data + m_receive.length, static_cast<int>(m_receive.size - m_receive.length), 0);
    if (n > 0)
        m_receive.length += static_cast<uint32_t>(n);
}

void NySmuxSession::OnOutOfBandData(NyAsyncSocket& socket, int)
{
    // Nothing reads these bytes; they are taken off the socket so that the
    // stream goes on, until the area is full.
    if (m_outOfBand.length >= m_outOfBand.size)
        return;
    int n = socket.Receive(m_outOfBand.data + m_outOfBand.length,
                           static_cast<int>(m_outOfBand.size - m_outOfBand.length), NY_MSG_OOB);
    if (n > 0)
        m_outOfBand.length += static_cast<uint32_t>(n);
}

void NySmuxSession::OnSocketException(char const*, NySocketException& caught)
{
    throw NySocketException(caught.ThrownBy(), caught.NativeError(), caught.Id(), caught.Text());
}

unsigned int& NySmuxSession::PeerPort()
{
    return m_peerPort;
}

std::string& NySmuxSession::PeerAddr()
{
    return m_peerAddr;
}

NySocketMutex& NySmuxSession::MibMutex()
{
    return m_mibMutex;
}
