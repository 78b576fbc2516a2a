// NyAgentxSession: where the master is, the connection to it, and its end.
#include <cstdlib>
#include <ctime>
#include <new>

#include "nyagentx.h"
#include "nysnmpmsgs.h"
#include "smux/wait.h"

namespace {

// How long a new connection may take.
constexpr int kConnectWindow = 5;

struct Endpoint {
    bool local = true;
    std::string path;  // local
    std::string host;  // TCP
    unsigned int port = NYAGENTX_DEFAULT_TCP_PORT;
};

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// net-snmp's agentXSocket forms: "unix:/path", "/path", "tcp:HOST:PORT",
// "HOST:PORT", and a host alone on the AgentX port.
bool ParseAddress(const std::string& address, Endpoint& out)
{
    if (StartsWith(address, "unix:") || StartsWith(address, "/")) {
        out.local = true;
        out.path = address[0] == '/' ? address : address.substr(5);
        return !out.path.empty();
    }
    std::string rest = StartsWith(address, "tcp:") ? address.substr(4) : address;
    if (rest.empty() || rest.find(':') != rest.rfind(':'))
        return false;  // another transport ("udp:...") or IPv6 text
    out.local = false;
    const size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        out.host = rest;
        return true;
    }
    out.host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (out.host.empty() || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out.port = static_cast<unsigned int>(std::atoi(port.c_str()));
    return out.port >= 1 && out.port <= 65535;
}

} // namespace

bool NyAgentxSession::IsValidAddress(char const* address)
{
    Endpoint endpoint;
    return ParseAddress(address && *address ? address : NYAGENTX_DEFAULT_ADDRESS, endpoint);
}

int NyAgentxSession::Init(char const* address)
{
    const std::string wanted = address && *address ? address : NYAGENTX_DEFAULT_ADDRESS;
    Endpoint endpoint;
    if (!ParseAddress(wanted, endpoint))
        Raise("NyAgentxSession::Init", NYAGENTX_BAD_ADDRESS, NYAGENTX_BAD_ADDRESS_TEXT, wanted.c_str());
    m_address = wanted;
    return ReInit();
}

int NyAgentxSession::ReInit()
{
    DropConnection();
    Endpoint endpoint;
    if (!ParseAddress(m_address, endpoint))
        Raise("NyAgentxSession::ReInit", NYAGENTX_BAD_ADDRESS, NYAGENTX_BAD_ADDRESS_TEXT, m_address.c_str());
    m_socket = new NyAsyncSocket(m_manager, *this, true);
    try {
        m_socket->Create(0, NY_SOCK_STREAM, NY_FD_READ | NY_FD_WRITE | NY_FD_CONNECT | NY_FD_CLOSE, nullptr);
        if (endpoint.local)
            m_socket->ConnectLocal(endpoint.path.c_str());
        else
            m_socket->Connect(endpoint.host.c_str(), endpoint.port);
        // A refused connection throws from the wait (OnConnect).
        NySessionWait wait(kConnectWindow);
        while (!m_connected && m_socket->Handle() != -1 && !wait.Expired())
            if (!wait.Step(*this))
                break;
    } catch (NySocketException& e) {
        DropConnection();
        OnSocketException("NyAgentxSession::ReInit", e);
    }
    if (!m_connected) {
        DropConnection();
        Raise("NyAgentxSession::ReInit", NYAGENTX_NOT_CONNECTED, NYAGENTX_NOT_CONNECTED_TEXT, m_address.c_str());
    }
    m_lastHeard = std::time(nullptr);
    m_closeReason = 0;
    return 0;
}

void NyAgentxSession::DropConnection()
{
    if (m_socket) {
        m_socket->SetExceptions(false);
        m_socket->Close();
        delete m_socket;
        m_socket = nullptr;
    }
    m_connected = false;
    m_open = false;
    m_pingSent = 0;
    // A new connection starts a new byte stream.
    m_received = 0;
    m_pending.clear();
    m_pendingSent = 0;
    // A Set the master can no longer finish is not left half-applied: what
    // was committed stays (the master decided so), the rest is rolled back.
    if (m_setState != SetState::None)
        EndTransaction(m_setState != SetState::Committed);
}

int NyAgentxSession::End()
{
    DropConnection();
    for (Registration& entry : m_regs)
        delete entry.record;
    m_regs.clear();
    m_records.clear();
    m_default.clear();
    return 0;
}
