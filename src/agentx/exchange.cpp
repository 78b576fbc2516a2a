// NyAgentxSession: what the subagent asks of the master (Open, Register,
// Unregister, Ping, agent capabilities, Close) and the wait for each answer.
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "nyagentx.h"
#include "nysnmpmsgs.h"
#include "smux/wait.h"

namespace {

// How long the master may take to answer when the caller sets no limit.
constexpr int kAnswerWindow = 15;
// Octets the master may leave unread before it counts as gone.
constexpr size_t kMaxPending = 4u << 20;

} // namespace

int NyAgentxSession::SendPacket(const unsigned char* data, unsigned int length)
{
    if (!m_socket || m_socket->Handle() == -1)
        Raise("NyAgentxSession::SendPacket", NYAGENTX_NOT_CONNECTED, NYAGENTX_NOT_CONNECTED_TEXT,
              "NyAgentxSession::SendPacket");
    try {
        unsigned int sent = 0;
        // Straight from the caller's octets unless older ones still wait.
        if (m_pending.empty()) {
            const int n = m_socket->Send(data, static_cast<int>(length), 0);
            sent = n > 0 ? static_cast<unsigned int>(n) : 0;
        }
        if (sent < length) {
            if (m_pending.size() + (length - sent) > kMaxPending) {
                DropConnection();
                Raise("NyAgentxSession::SendPacket", NYAGENTX_NOT_CONNECTED, NYAGENTX_NOT_CONNECTED_TEXT,
                      "NyAgentxSession::SendPacket");
            }
            m_pending.insert(m_pending.end(), data + sent, data + length);
        }
    } catch (NySocketException& e) {
        OnSocketException("NyAgentxSession::SendPacket", e);
    }
    return 0;
}

void NyAgentxSession::Stamp(NyAgentxPdu& pdu, uint8_t type, const char* context)
{
    pdu.version = NYAGENTX_VERSION;
    pdu.type = type;
    pdu.flags = NYAGENTX_FLAG_NETWORK_BYTE_ORDER;
    pdu.sessionId = m_sessionId;
    pdu.transactionId = 0;
    pdu.packetId = ++m_nextPacketId;
    pdu.context = context ? context : "";
}

int NyAgentxSession::SendPdu(NyAgentxPdu& pdu)
{
    unsigned int rem = static_cast<unsigned int>(m_out.size());
    if (!pdu.ToWire(m_out.data(), &rem))
        Raise("NyAgentxSession::SendPdu", NYSNMP_BUFFER_TOO_SHORT, NYSNMP_BUFFER_TOO_SHORT_TEXT);
    return SendPacket(m_out.data(), static_cast<unsigned int>(m_out.size()) - rem);
}

void NyAgentxSession::Exchange(NyAgentxPdu& request, NyAgentxPdu& response, int timeout, const char* what)
{
    SendPdu(request);
    const int window = timeout > 0 ? timeout : kAnswerWindow;
    const time_t end = std::time(nullptr) + window;
    for (;;) {
        const time_t now = std::time(nullptr);
        if (now >= end)
            Raise("NyAgentxSession::Exchange", NYAGENTX_NO_ANSWER, NYAGENTX_NO_ANSWER_TEXT, what,
                  std::to_string(window).c_str());
        const int n = Receive(response, static_cast<int>(end - now));
        if (n < 0)
            Raise("NyAgentxSession::Exchange", NYAGENTX_NOT_CONNECTED, NYAGENTX_NOT_CONNECTED_TEXT, what);
        if (n == 0)
            continue;
        if (response.type == NYAGENTX_RESPONSE) {
            if (response.packetId == request.packetId)
                return;
            continue; // a late answer to an earlier question
        }
        // Requests that arrive meanwhile are answered at once, from the tree
        // that other threads of the host may be changing right now.
        std::lock_guard<NySocketMutex> guard(m_mibMutex);
        Respond(response);
    }
}

int NyAgentxSession::Open(char const* identity, char const* description, int timeout)
{
    m_identity = identity ? identity : "";
    m_description = description ? description : "";
    m_openTimeout = timeout < 0 ? 0 : (timeout > 255 ? 255 : timeout);
    if (!m_socket)
        ReInit();
    return SendOpen();
}

int NyAgentxSession::SendOpen()
{
    NyAgentxPdu& open = m_request;
    m_sessionId = 0;
    Stamp(open, NYAGENTX_OPEN, nullptr);
    open.timeout = static_cast<uint8_t>(m_openTimeout);
    if (m_identity.empty())
        open.oid.Erase();
    else
        open.oid.Assign(m_identity.c_str());
    open.description = m_description;
    Exchange(open, m_reply, 0, "Open");
    if (m_reply.error != NYAGENTX_NO_ERROR)
        Raise("NyAgentxSession::Open", NYAGENTX_REFUSED, NYAGENTX_REFUSED_TEXT, m_reply.error,
              (std::string("Open (") + NyAgentxErrorName(m_reply.error) + ")").c_str());
    m_sessionId = m_reply.sessionId;
    m_open = true;
    return 0;
}

int NyAgentxSession::Register(NyMibObject& node, int& priority, int timeout, char const* context)
{
    return Register(node, priority, timeout, context, 0, 0);
}

int NyAgentxSession::Register(NyMibObject& node, int& priority, int timeout, char const* context, int rangeSubid,
                              uint32_t upperBound)
{
    if (priority < 1 || priority > 255 || timeout < 0 || timeout > 255 || rangeSubid < 0 ||
        rangeSubid > static_cast<int>(node.Oid().Length()) || node.Oid().Length() == 0)
        return -1;
    Registration entry{new NyMibRegInfo(node, priority, NYSMUX_REG_READWRITE), context ? context : "", timeout,
                       rangeSubid, upperBound};
    // Kept unless the master refused it: a registration lost with the
    // connection is made again by Reconnect.
    try {
        SendRegistration(node, entry, NYAGENTX_REGISTER, priority);
    } catch (NySocketException& e) {
        if (e.Id() == static_cast<int>(NYAGENTX_REFUSED))
            delete entry.record;
        else {
            m_regs.push_back(entry);
            RenewRecords();
        }
        throw;
    }
    m_regs.push_back(entry);
    RenewRecords();
    return 0;
}

void NyAgentxSession::SendRegistration(NyMibObject& node, const Registration& entry, uint8_t type, int priority)
{
    NyAgentxPdu& pdu = m_request;
    Stamp(pdu, type, entry.context.c_str());
    pdu.timeout = static_cast<uint8_t>(entry.timeout);
    pdu.priority = static_cast<uint8_t>(priority);
    pdu.rangeSubid = static_cast<uint8_t>(entry.rangeSubid);
    pdu.upperBound = entry.upperBound;
    pdu.oid.Assign(node.Oid().SmiOid());
    const char* what = type == NYAGENTX_REGISTER ? "Register" : "Unregister";
    Exchange(pdu, m_reply, 0, what);
    if (m_reply.error != NYAGENTX_NO_ERROR) {
        const std::string detail = std::string(what) + " " + pdu.oid.AsString() + " (" +
                                   NyAgentxErrorName(m_reply.error) + ")";
        Raise("NyAgentxSession::Register", NYAGENTX_REFUSED, NYAGENTX_REFUSED_TEXT, m_reply.error, detail.c_str());
    }
}

int NyAgentxSession::Unregister(NyMibObject& node, char const* context)
{
    const std::string wanted = context ? context : "";
    for (size_t i = 0; i < m_regs.size(); ++i) {
        Registration entry = m_regs[i];
        if (&entry.record->Object() != &node || entry.context != wanted)
            continue;
        m_regs.erase(m_regs.begin() + static_cast<long>(i));
        RenewRecords();
        const int priority = entry.record->Priority();
        delete entry.record;
        entry.record = nullptr;
        // Forgotten here whatever the master says: it no longer holds the
        // region either once the session ends.
        if (m_open)
            SendRegistration(node, entry, NYAGENTX_UNREGISTER, priority);
        return 0;
    }
    return -1;
}

void NyAgentxSession::RenewRecords()
{
    m_records.clear();
    m_default.clear();
    for (const Registration& entry : m_regs) {
        m_records.push_back(entry.record);
        if (entry.context.empty())
            m_default.push_back(entry.record);
    }
}

const std::vector<NyMibRegInfo*>& NyAgentxSession::RecordsFor(const std::string& context)
{
    if (context.empty())
        return m_default;
    m_inContext.clear();
    for (const Registration& entry : m_regs)
        if (entry.context == context)
            m_inContext.push_back(entry.record);
    return m_inContext;
}

int NyAgentxSession::Ping(int timeout)
{
    Stamp(m_request, NYAGENTX_PING, nullptr);
    try {
        Exchange(m_request, m_reply, timeout, "Ping");
    } catch (NySocketException& e) {
        if (e.Id() == static_cast<int>(NYAGENTX_NO_ANSWER))
            return -1;
        throw;
    }
    return m_reply.error == NYAGENTX_NO_ERROR ? 0 : -1;
}

int NyAgentxSession::AddAgentCaps(char const* id, char const* description, int timeout)
{
    if (!id || !*id)
        return -1;
    Stamp(m_request, NYAGENTX_ADDAGENTCAPS, nullptr);
    m_request.oid.Assign(id);
    m_request.description = description ? description : "";
    Exchange(m_request, m_reply, timeout, "AddAgentCaps");
    if (m_reply.error != NYAGENTX_NO_ERROR)
        Raise("NyAgentxSession::AddAgentCaps", NYAGENTX_REFUSED, NYAGENTX_REFUSED_TEXT, m_reply.error,
              (std::string("AddAgentCaps ") + id + " (" + NyAgentxErrorName(m_reply.error) + ")").c_str());
    return 0;
}

int NyAgentxSession::RemoveAgentCaps(char const* id, int timeout)
{
    if (!id || !*id)
        return -1;
    Stamp(m_request, NYAGENTX_REMOVEAGENTCAPS, nullptr);
    m_request.oid.Assign(id);
    Exchange(m_request, m_reply, timeout, "RemoveAgentCaps");
    return m_reply.error == NYAGENTX_NO_ERROR ? 0 : -1;
}

int NyAgentxSession::Close(int reason, int timeout)
{
    for (Registration& entry : m_regs)
        delete entry.record;
    m_regs.clear();
    RenewRecords();
    if (!m_socket || m_socket->Handle() == -1) {
        DropConnection();
        return 0;
    }
    NyAgentxPdu& close = m_request;
    Stamp(close, NYAGENTX_CLOSE, nullptr);
    close.reason = static_cast<uint8_t>(reason);
    try {
        SendPdu(close);
        // snmpd answers nothing; another master may answer or hang up.
        NySessionWait wait(timeout);
        NyAgentxPdu& answer = m_reply;
        while (!wait.Expired()) {
            const int n = Receive(answer, timeout);
            if (n < 0 || (n > 0 && answer.type == NYAGENTX_RESPONSE && answer.packetId == close.packetId))
                break;
            if (timeout == 0)
                break;
        }
    } catch (NySocketException&) {
        // The session ends either way.
    }
    DropConnection();
    return 0;
}

int NyAgentxSession::Reconnect()
{
    ReInit();
    SendOpen();
    for (const Registration& entry : m_regs)
        SendRegistration(entry.record->Object(), entry, NYAGENTX_REGISTER, entry.record->Priority());
    return 0;
}
