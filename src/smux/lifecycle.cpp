// NySmuxSession: connection set-up, the association and its end.
#include <algorithm>
#include <memory>
#include <new>

#include "nysmuxpeer.h"
#include "smux/wait.h"

int NySmuxSession::Init(int initValue, int agentPort, char const* agentHost)
{
    if (!agentHost)
        return -1;
    m_initValue = initValue;
    m_agentPort = static_cast<unsigned int>(agentPort);
    m_agentHost = agentHost;
    return ReInit();
}

int NySmuxSession::ReInit()
{
    int result = 0;
    try {
        if (m_socket) {
            m_socket->Close();
            delete m_socket;
            m_socket = nullptr;
        }
        // A new connection starts a new byte stream: the rest of a PDU or of
        // a packet of the old one must not be read or written on it.
        m_receive.length = 0;
        m_outOfBand.length = 0;
        ClearSendRecord();
        // A Set of the old association can no longer be confirmed.
        RollBackStaged();

        m_socket = new (std::nothrow) NyAsyncSocket(m_manager, *this, true);
        if (!m_socket)
            return -1;
        // The socket stays unbound; the port argument only matters for a
        // socket given a local address.
        m_socket->Create(NYSMUX_DEFAULT_PORT, NY_SOCK_STREAM, NYSMUX_SOCKET_EVENTS, nullptr);
        ApplyLinger();
        m_socket->Connect(m_agentHost.c_str(), m_agentPort);
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::ReInit", e);
    }
    return result;
}

int NySmuxSession::ApplyLinger()
{
    NyLinger linger;
    linger.l_onoff = 1;
    linger.l_linger = static_cast<uint16_t>(std::clamp(m_lingerTime, 0, 0xFFFF));
    return m_socket->SetSockOpt(NY_SO_LINGER, &linger, sizeof linger, NY_SOL_SOCKET);
}

int NySmuxSession::SetLingerTime(int seconds)
{
    m_lingerTime = seconds;
    return m_socket ? ApplyLinger() : 0;
}

int NySmuxSession::Open(char const* identity, char const* description, char const* password)
{
    if (!identity || !description || !password)
        return -1;
    m_identity = identity;
    m_description = description;
    m_password = password;
    return SendOpenPdu();
}

int NySmuxSession::SendOpenPdu()
{
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[NYSMUX_BUFFER_SIZE]);
    if (!buffer)
        return -1;
    int result = -1;
    try {
        if (!m_socket) {
            if (m_identity.empty())
                return -1;
            int r = ReInit();
            if (r != 0)
                return r;
        }
        unsigned int rem = NYSMUX_BUFFER_SIZE - 4;
        unsigned char* const content = buffer.get() + 4;
        unsigned char* p = content;

        NySnmpValue value;
        value.SetInt32(NYSMUX_VERSION);
        p = value.AsAsn(p, &rem);
        NySnmpOid identity(m_identity.c_str());
        if (p) {
            value.SetOid(identity.SmiOid());
            p = value.AsAsn(p, &rem);
        }
        for (const std::string* text : {&m_description, &m_password}) {
            if (!p)
                break;
            NYSMI_OCTETS octets{static_cast<uint32_t>(text->size()),
                                reinterpret_cast<unsigned char*>(const_cast<char*>(text->data()))};
            value.SetOctets(octets);
            p = value.AsAsn(p, &rem);
        }
        if (!p)
            return -1;  // a field did not fit; nothing is sent

        unsigned int length = static_cast<unsigned int>(p - content);
        unsigned int headerRoom = 4;
        if (!NySnmpValue::BuildAsnSequence(buffer.get(), &headerRoom, NYSMUX_OPEN, length))
            return -1;
        result = SendPacket(buffer.get(), 4 + length, 0);
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::SendOpenPdu", e);
    }
    return result;
}

int NySmuxSession::Close(int reason, int timeout)
{
    DestroyRegInfo();
    if (!m_socket)
        return 0;
    m_socket->AsyncSelect(NYSMUX_CLOSING_EVENTS);
    int result = SendClosePdu(reason, timeout);

    NySessionWait wait(timeout);
    if (m_send.length > 0 && m_send.reserved < m_send.length) {
        // The ClosePDU, or a packet before it, is still being written.
        while (m_socket && m_socket->Handle() != -1 && !m_socket->IsReadyToSend() && !wait.Expired())
            if (!wait.Step(*this))
                break;
        return m_socket && m_socket->IsReadyToSend() ? result : -1;
    }
    // The agent answers a ClosePDU by closing the connection.
    while (m_socket && m_socket->Handle() != -1 && !wait.Expired())
        if (!wait.Step(*this))
            break;
    return result;
}

int NySmuxSession::SendClosePdu(int reason, int timeout)
{
    if (!m_socket)
        return -1;
    int result = -1;
    try {
        unsigned char pdu[3] = {static_cast<unsigned char>(NYSMUX_CLOSE), 0x01, static_cast<unsigned char>(reason & 0xFF)};
        result = SendPacket(pdu, sizeof pdu, timeout);
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::SendClosePdu", e);
    }
    return result;
}

int NySmuxSession::End()
{
    try {
        if (m_socket) {
            m_socket->SetExceptions(false);
            m_socket->Close();
            delete m_socket;
            m_socket = nullptr;
        }
    } catch (NySocketException& e) {
        OnSocketException("NySmuxSession::End", e);
    }
    DestroyRegInfo();
    return 0;
}

int NySmuxSession::Reconnect()
{
    ReInit();
    SendOpenPdu();
    for (NyMibRegInfo*& record : m_regInfo) {
        int priority = record->Priority();
        SendRRegPdu(record->Object().Oid().SmiOid(), priority, record->Action());
        // The record keeps the priority the agent granted this time.
        if (priority != record->Priority()) {
            NyMibRegInfo* renewed = new (std::nothrow) NyMibRegInfo(record->Object(), priority, record->Action());
            if (renewed) {
                delete record;
                record = renewed;
            }
        }
    }
    return 0;
}
