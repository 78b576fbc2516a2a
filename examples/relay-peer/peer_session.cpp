// relay-peer's SMUX session, the service trap, and the service loop both protocols share.
#include "peer_session.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

#include "log.h"

namespace relay {
namespace {

const char* CloseReasonText(int reason)
{
    switch (reason) {
    case NYSMUX_GOING_DOWN: return "goingDown";
    case NYSMUX_UNSUPPORTED_VERSION: return "unsupportedVersion";
    case NYSMUX_PACKET_FORMAT: return "packetFormat";
    case NYSMUX_PROTOCOL_ERROR: return "protocolError";
    case NYSMUX_INTERNAL_ERROR: return "internalError";
    case NYSMUX_AUTHENTICATION_FAILURE: return "authenticationFailure";
    default: return "unknown reason";
    }
}

// The priority an RRspPDU carries when the agent refuses a registration
// (-1, which arrives as one octet).
constexpr int kRegistrationRefused = 255;
constexpr int kTrapSendTimeout = 5;
constexpr int kCloseTimeout = 5;
// ProcessRequests returns after this many idle seconds, so that the loop
// notices a stop request or a lost connection soon.
constexpr int kServeSlice = 1;

} // namespace

RelayPeerSession::RelayPeerSession(NySnmpManager& manager, RelayMib& mib, RelayRows& rows,
                                   const SelfInfo& self, const PeerOptions& options)
    : NySmuxSession(manager), m_mib(mib), m_rows(rows), m_self(self), m_options(options)
{
}

std::string RelayPeerSession::Agent() const
{
    return "SMUX agent at " + m_options.agentHost + ":" + std::to_string(m_options.agentPort);
}

void RelayPeerSession::ReportClosed() const
{
    const std::string agent = m_options.agentHost + ":" + std::to_string(m_options.agentPort);
    if (m_closeReason == NYSMUX_AUTHENTICATION_FAILURE)
        Log("SMUX agent at %s refused the association (authenticationFailure): does its snmpd.conf have "
            "the line 'smuxpeer %s <password>' with the password given here (-w)?",
            agent.c_str(), m_options.identity.c_str());
    else if (m_closeReason >= 0)
        Log("SMUX agent at %s closed the association (%s)", agent.c_str(), CloseReasonText(m_closeReason));
    else
        Log("SMUX agent at %s closed the connection without a reason (shutting down?)", agent.c_str());
}

bool RelayPeerSession::Connect()
{
    m_lost = false;
    m_closed = false;
    m_closeReason = -1;
    // Drops an earlier socket and its registrations: they are made anew.
    End();
    const std::string agent = m_options.agentHost + ":" + std::to_string(m_options.agentPort);
    try {
        if (Init(0, m_options.agentPort, m_options.agentHost.c_str()) != 0) {
            Log("cannot make a socket for the SMUX agent at %s", agent.c_str());
            End();
            return false;
        }
        if (Open(m_options.identity.c_str(), m_options.description.c_str(), m_options.password.c_str()) != 0 ||
            m_closed) {
            Log("SMUX agent at %s is not reachable (connection closed before the OpenPDU went out)",
                agent.c_str());
            End();
            return false;
        }
        int priority = -1;
        const int result = Register(m_mib.velmora, priority, NYSMUX_REG_READWRITE);
        if (m_closeReason >= 0 || m_closed) {
            ReportClosed();
            End();
            return false;
        }
        if (result != 0) {
            Log("registration of %s with the SMUX agent at %s failed", m_mib.velmora.OidText(), agent.c_str());
            End();
            return false;
        }
        if (priority == kRegistrationRefused) {
            Log("SMUX agent at %s refused the registration of %s (another peer may hold it)",
                agent.c_str(), m_mib.velmora.OidText());
            End();
            return false;
        }
    } catch (NySocketException& e) {
        if (m_closeReason >= 0 || m_closed)
            ReportClosed();
        else
            Log("SMUX agent at %s is not reachable: %s (error 0x%08X)", agent.c_str(), e.Text(),
                static_cast<unsigned>(e.Id()));
        End();
        return false;
    }
    return true;
}

int RelayPeerSession::Reconnect()
{
    m_lost = true;
    return 0;
}

int RelayPeerSession::Respond(NySnmpPdu& request)
{
    if (request.PduType() == NYSMUX_CLOSE) {
        const NySnmpValue* reason = request.Params().ValueList().empty() ? nullptr
                                                                         : request.Params().ValueList().front();
        m_closeReason = reason ? reason->SmiValue().value.int32 : NYSMUX_GOING_DOWN;
    }
    // The session calls Respond with the MIB mutex held, so the rows can be
    // removed here without racing the refresh thread.
    const int result = NySmuxSession::Respond(request);
    // Rows invalidated by a commit leave their tables once the session is
    // done with them.
    m_rows.RemoveInvalidated();
    return result;
}

void RelayPeerSession::OnClose(NyAsyncSocket& socket, int error)
{
    m_closed = true;
    NySmuxSession::OnClose(socket, error);
}

int RelayPeerSession::OnMibGet(NyMibObject& node, int32_t, void* userData)
{
    m_rows.BeforeGet(node, userData, RelayRows::Clock::now());
    return 0;
}

int RelayPeerSession::OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t, void*)
{
    return m_rows.TestSet(node, value);
}

int RelayPeerSession::OnMibSetCommitted(NyMibObject& node, int32_t, void*)
{
    m_rows.SetCommitted(node);
    return 0;
}

void FillServiceTrap(VlmSysTrap& trap, const SelfInfo& self, const PeerOptions& options, const char* text)
{
    trap.vlmTrapAppName.value() = self.name;
    trap.vlmTrapAppInstance.value() = self.svcInstance;
    trap.vlmTrapSysInstanceIdx.value() = self.sysInstance;
    trap.vlmTrapThreadId.value() = static_cast<int32_t>(syscall(SYS_gettid));
    trap.vlmTrapMsgId.value() = 0;
    trap.vlmTrapFacilityName.value() = self.name;
    trap.vlmTrapFacilityId.value() = 0;
    trap.vlmTrapErrorCode.value() = 0;
    trap.vlmTrapErrorText.value() = text;
    trap.vlmTrapSnmpPort.value() = options.snmpPort;
}

bool RelayPeerSession::SendServiceTrap(VlmSysTrap& trap, const char* text)
{
    // The trap's variables are part of the tree: set and read them under
    // the MIB mutex like any other value.
    std::lock_guard<NySocketMutex> lock(MibMutex());
    FillServiceTrap(trap, m_self, m_options, text);
    try {
        if (Send(trap, kTrapSendTimeout) == 0)
            return true;
        Log("%s could not be sent to the SMUX agent", trap.Name());
    } catch (NySocketException& e) {
        Log("%s could not be sent to the SMUX agent: %s", trap.Name(), e.Text());
    }
    return false;
}

void RelayPeerSession::Serve(int seconds, NyEvent& wake)
{
    int volatile stop = 0;
    try {
        const int id = ProcessRequests(stop, seconds, &wake);
        if (id != 0)
            Log("the connection to the SMUX agent failed (error 0x%08X)", static_cast<unsigned>(id));
    } catch (NySocketException& e) {
        Log("the connection to the SMUX agent failed: %s", e.Text());
        Reconnect();
    }
}

void RelayPeerSession::Shutdown(bool polite)
{
    try {
        if (polite)
            Close(NYSMUX_GOING_DOWN, kCloseTimeout);
    } catch (NySocketException& e) {
        Log("closing the association: %s", e.Text());
    }
    End();
}

void ServeUntilStopped(RelayLink& session, RelayMib& mib, SelfRows& self, const PeerOptions& options,
                       const std::atomic<bool>& stopping, NyEvent& wake)
{
    const std::string agent = session.Agent();
    bool connected = false;
    bool announced = false;
    while (!stopping) {
        if (!connected) {
            if (!session.Connect()) {
                Log("retrying in %d s", options.retrySeconds);
                wake.Wait(options.retrySeconds * 1000);
                continue;
            }
            connected = true;
            Log("registered %s with the %s as %s", mib.velmora.OidText(), agent.c_str(), options.identity.c_str());
            {
                std::lock_guard<NySocketMutex> lock(session.Mutex());
                self.SetOperState(kOperRunning);
            }
            if (!announced)
                announced = session.SendServiceTrap(mib.vlmTrapSvcUp, "relay-peer started");
        }
        session.Serve(kServeSlice, wake);
        if (session.Lost() && !stopping) {
            connected = false;
            Log("lost the %s; reconnecting in %d s", agent.c_str(), options.retrySeconds);
            {
                std::lock_guard<NySocketMutex> lock(session.Mutex());
                self.SetOperState(kOperStarting);
            }
            // An agent that is restarting needs a moment before it listens again.
            wake.Wait(options.retrySeconds * 1000);
        }
    }

    {
        std::lock_guard<NySocketMutex> lock(session.Mutex());
        self.SetOperState(kOperStopping);
    }
    const bool standing = connected && !session.Lost();
    if (standing)
        session.SendServiceTrap(mib.vlmTrapSvcDown, "relay-peer stopped");
    session.Shutdown(standing);
    Log("disconnected from the %s", agent.c_str());
}

} // namespace relay
