// peer_session.h - relay-peer's sessions with the local agent (SMUX, or
// AgentX with --agentx): the association, the Set hooks of the relay rows,
// the product traps, and the service loop that keeps the association up.
#ifndef RELAY_PEER_PEER_SESSION_H
#define RELAY_PEER_PEER_SESSION_H

#include <atomic>
#include <string>

#include "nyagentx.h"
#include "nysmuxpeer.h"
#include "relay_rows.h"
#include "relaymib.h"
#include "self_rows.h"

namespace relay {

struct PeerOptions {
    std::string agentHost = "127.0.0.1";
    int agentPort = 199;                         // the SMUX port agents listen on
    std::string identity = "1.3.6.1.4.1.32473.1.1";  // also the subtree registered
    std::string description = "relay-peer: Velmora relay tables";
    std::string password = "velmora";
    int retrySeconds = 3;
    int snmpPort = 161;                          // reported in the traps (vlmTrapSnmpPort)
    bool agentx = false;                         // AgentX instead of SMUX
    std::string agentxAddress = NYAGENTX_DEFAULT_ADDRESS;
};

// What the service loop needs of a session, whichever protocol it speaks.
class RelayLink {
public:
    virtual ~RelayLink() = default;
    // One attempt to connect, open and register the product subtree.  True
    // when it stands; otherwise a message on stderr says why, and the
    // session is left without a connection.
    virtual bool Connect() = 0;
    // The agent went away or ended the session; Connect starts afresh.
    virtual bool Lost() const = 0;
    // Serves requests for up to `seconds` (or until `wake` is set).
    virtual void Serve(int seconds, NyEvent& wake) = 0;
    // Sends one of the product's traps about this service; false (with a
    // message) when it could not be sent.
    virtual bool SendServiceTrap(VlmSysTrap& trap, const char* text) = 0;
    // Ends the session with the agent: Close when `polite` (the association
    // stands), then End.
    virtual void Shutdown(bool polite) = 0;
    virtual NySocketMutex& Mutex() = 0;
    // "SMUX agent at HOST:PORT" or "AgentX master at ADDRESS".
    virtual std::string Agent() const = 0;
};

// The trap's variables as every service trap of relay-peer carries them.
void FillServiceTrap(VlmSysTrap& trap, const SelfInfo& self, const PeerOptions& options, const char* text);

class RelayPeerSession : public NySmuxSession, public RelayLink {
public:
    RelayPeerSession(NySnmpManager& manager, RelayMib& mib, RelayRows& rows, const SelfInfo& self,
                     const PeerOptions& options);

    bool Connect() override;
    bool Lost() const override { return m_lost; }
    void Serve(int seconds, NyEvent& wake) override;
    bool SendServiceTrap(VlmSysTrap& trap, const char* text) override;
    void Shutdown(bool polite) override;
    NySocketMutex& Mutex() override { return MibMutex(); }
    std::string Agent() const override;

    // The library repairs a lost connection at once, from inside
    // ProcessRequests.  An agent that is down or refuses the association
    // would then be asked again and again without a pause, so the loss is
    // only noted here and the service loop reconnects at its own pace.
    int Reconnect() override;
    int Respond(NySnmpPdu& request) override;
    void OnClose(NyAsyncSocket& socket, int error) override;
    int OnMibGet(NyMibObject& node, int32_t userParam, void* userData) override;
    int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t userParam, void* userData) override;
    int OnMibSetCommitted(NyMibObject& node, int32_t userParam, void* userData) override;

private:
    void ReportClosed() const;

    RelayMib& m_mib;
    RelayRows& m_rows;
    const SelfInfo& m_self;
    PeerOptions m_options;
    bool m_lost = false;
    bool m_closed = false;
    int m_closeReason = -1;  // reason of the agent's ClosePDU, -1 when none came
};

// The same over AgentX: a master that is absent, refuses the session or the
// registration, or closes the session is told apart in the messages.
class RelayAgentxSession : public NyAgentxSession, public RelayLink {
public:
    RelayAgentxSession(NySnmpManager& manager, RelayMib& mib, RelayRows& rows, const SelfInfo& self,
                       const PeerOptions& options);

    bool Connect() override;
    bool Lost() const override { return m_lost; }
    void Serve(int seconds, NyEvent& wake) override;
    bool SendServiceTrap(VlmSysTrap& trap, const char* text) override;
    void Shutdown(bool polite) override;
    NySocketMutex& Mutex() override { return MibMutex(); }
    std::string Agent() const override;

    // As for SMUX: the loss is noted, the service loop reconnects at its pace.
    int Reconnect() override;
    int Respond(NyAgentxPdu& request) override;
    int OnMibGet(NyMibObject& node, int32_t userParam, void* userData) override;
    int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t userParam, void* userData) override;
    int OnMibSetCommitted(NyMibObject& node, int32_t userParam, void* userData) override;

private:
    RelayMib& m_mib;
    RelayRows& m_rows;
    const SelfInfo& m_self;
    PeerOptions m_options;
    bool m_lost = false;
};

// Runs the session until `stopping` is set and `wake` signalled: connects
// (again after every loss, every retrySeconds while the agent is absent or
// refuses), sends vlmTrapSvcUp once the first association stands, serves
// requests, and at the end sends vlmTrapSvcDown, Close and End.
void ServeUntilStopped(RelayLink& session, RelayMib& mib, SelfRows& self, const PeerOptions& options,
                       const std::atomic<bool>& stopping, NyEvent& wake);

} // namespace relay

#endif
