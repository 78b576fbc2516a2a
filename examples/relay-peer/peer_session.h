// peer_session.h - relay-peer's SMUX session: the association with the local
// agent, the Set hooks of the relay rows, the product traps, and the service
// loop that keeps the association up.
#ifndef RELAY_PEER_PEER_SESSION_H
#define RELAY_PEER_PEER_SESSION_H

#include <atomic>
#include <string>

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
};

class RelayPeerSession : public NySmuxSession {
public:
    RelayPeerSession(NySnmpManager& manager, RelayMib& mib, RelayRows& rows, const SelfInfo& self,
                     const PeerOptions& options);

    // One attempt to connect, open the association and register the product
    // subtree.  True when the association stands.  Otherwise a message on
    // stderr says why, and the session is left without a socket.
    bool Connect();

    // The agent closed the connection, or a failure ended the request loop;
    // Connect starts afresh.
    bool Lost() const { return m_lost; }

    // Sends one of the product's traps about this service; false (with a
    // message) when it could not be sent.
    bool SendServiceTrap(VlmSysTrap& trap, const char* text);

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
    std::string AgentText() const;
    void ReportClosed() const;

    RelayMib& m_mib;
    RelayRows& m_rows;
    const SelfInfo& m_self;
    PeerOptions m_options;
    bool m_lost = false;
    bool m_closed = false;
    int m_closeReason = -1;  // reason of the agent's ClosePDU, -1 when none came
};

// Runs the session until `stopping` is set and `wake` signalled: connects
// (again after every loss, every retrySeconds while the agent is absent or
// refuses), sends vlmTrapSvcUp once the first association stands, serves
// requests, and at the end sends vlmTrapSvcDown, Close and End.
void ServeUntilStopped(RelayPeerSession& session, RelayMib& mib, SelfRows& self,
                       const PeerOptions& options, const std::atomic<bool>& stopping, NyEvent& wake);

} // namespace relay

#endif
