// relay-peer's AgentX session: the same rows, hooks and traps as over SMUX.
#include <mutex>

#include "log.h"
#include "nysnmpmsgs.h"
#include "peer_session.h"

namespace relay {
namespace {

constexpr int kTrapSendTimeout = 5;
constexpr int kCloseTimeout = 5;

bool IsRefusal(const NySocketException& e)
{
    return static_cast<uint32_t>(e.Id()) == NYAGENTX_REFUSED;
}

} // namespace

RelayAgentxSession::RelayAgentxSession(NySnmpManager& manager, RelayMib& mib, RelayRows& rows,
                                       const SelfInfo& self, const PeerOptions& options)
    : NyAgentxSession(manager), m_mib(mib), m_rows(rows), m_self(self), m_options(options)
{
}

std::string RelayAgentxSession::Agent() const
{
    return "AgentX master at " + m_options.agentxAddress;
}

bool RelayAgentxSession::Connect()
{
    m_lost = false;
    End();
    const std::string master = m_options.agentxAddress;
    const char* step = "connect";
    try {
        Init(master.c_str());
        step = "open";
        Open(m_options.identity.c_str(), m_options.description.c_str(), 0);
        step = "register";
        int priority = NYAGENTX_DEFAULT_PRIORITY;
        Register(m_mib.velmora, priority, 0);
    } catch (NySocketException& e) {
        if (IsRefusal(e) && std::string(step) == "register")
            Log("AgentX master at %s refused the registration of %s: %s (another subagent may hold it)",
                master.c_str(), m_mib.velmora.OidText(), e.Text());
        else if (IsRefusal(e))
            Log("AgentX master at %s refused the session: %s", master.c_str(), e.Text());
        else if (std::string(step) == "connect")
            Log("AgentX master at %s is not reachable: %s (error 0x%08X); is snmpd running with 'master agentx' "
                "and 'agentXSocket %s', and may this user open it (agentXPerms)?",
                master.c_str(), e.Text(), static_cast<unsigned>(e.Id()), master.c_str());
        else
            Log("AgentX master at %s did not complete the %s: %s", master.c_str(), step, e.Text());
        End();
        return false;
    }
    return true;
}

int RelayAgentxSession::Reconnect()
{
    m_lost = true;
    return 0;
}

void RelayAgentxSession::Serve(int seconds, NyEvent& wake)
{
    int volatile stop = 0;
    try {
        const int id = ProcessRequests(stop, seconds, &wake);
        if (static_cast<uint32_t>(id) == NYAGENTX_CLOSED)
            Log("AgentX master at %s closed the session (%s)", m_options.agentxAddress.c_str(),
                NyAgentxReasonName(LastCloseReason()));
        else if (id != 0)
            Log("the connection to the AgentX master failed (error 0x%08X)", static_cast<unsigned>(id));
    } catch (NySocketException& e) {
        Log("the connection to the AgentX master failed: %s", e.Text());
        m_lost = true;
    }
}

int RelayAgentxSession::Respond(NyAgentxPdu& request)
{
    // Answered under the MIB mutex: rows invalidated by a commit leave their
    // tables once the session is done with them.
    const int result = NyAgentxSession::Respond(request);
    m_rows.RemoveInvalidated();
    return result;
}

int RelayAgentxSession::OnMibGet(NyMibObject& node, int32_t, void* userData)
{
    m_rows.BeforeGet(node, userData, RelayRows::Clock::now());
    return 0;
}

int RelayAgentxSession::OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t, void*)
{
    return m_rows.TestSet(node, value);
}

int RelayAgentxSession::OnMibSetCommitted(NyMibObject& node, int32_t, void*)
{
    m_rows.SetCommitted(node);
    return 0;
}

bool RelayAgentxSession::SendServiceTrap(VlmSysTrap& trap, const char* text)
{
    std::lock_guard<NySocketMutex> lock(MibMutex());
    FillServiceTrap(trap, m_self, m_options, text);
    try {
        Send(trap, kTrapSendTimeout);
        return true;
    } catch (NySocketException& e) {
        Log("%s could not be sent to the AgentX master: %s", trap.Name(), e.Text());
    }
    return false;
}

void RelayAgentxSession::Shutdown(bool polite)
{
    if (polite)
        Close(NYAGENTX_REASON_SHUTDOWN, kCloseTimeout);
    End();
}

} // namespace relay
