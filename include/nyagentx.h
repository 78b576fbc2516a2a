// nyagentx.h - the AgentX subagent (RFC 2741): the PDUs it exchanges with a
// master agent, and the session that serves a MIB tree through one.
#ifndef NYAGENTX_H
#define NYAGENTX_H

#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "nyagentxdefs.h"
#include "nyexport.h"
#include "nymib.h"
#include "nysmuxpeer.h"
#include "nysnmp.h"
#include "nysocket.h"

// One search range of a Get, GetNext or GetBulk: from `start` (itself
// included when `include` is set) up to, not including, `end` (empty: no end).
struct NyAgentxRange {
    NyAgentxRange() = default;
    // Copies through assignment: an empty identifier copies as empty.
    NyAgentxRange(const NyAgentxRange& other) : include(other.include)
    {
        start = other.start;
        end = other.end;
    }
    NyAgentxRange& operator=(const NyAgentxRange& other) = default;

    NySnmpOid start;
    bool include = false;
    NySnmpOid end;
};

// One AgentX PDU, decoded from or encoded to the wire.  Only the fields of
// its type mean anything; the others keep what they held.
//
// FromWire reads one whole PDU in either byte order and never reads past
// `*rem` octets: a header that cannot be followed (wrong version, a payload
// longer than the data) raises NYAGENTX_BAD_HEADER, a payload that does not
// decode NYAGENTX_MALFORMED.  ToWire writes in network byte order and gives
// null when the PDU does not fit in `*rem` octets.
class NYSNMP_API NyAgentxPdu : public NySnmpObject {
public:
    NyAgentxPdu() = default;
    NyAgentxPdu(const NyAgentxPdu& other) : NySnmpObject(other) { *this = other; }
    NyAgentxPdu& operator=(const NyAgentxPdu& other) = default;

    // The whole length (header and payload) of the PDU at the front of the
    // data; 0 while fewer than the 20 octets of a header are there.
    static unsigned int PacketLength(const unsigned char* data, unsigned int length);

    const unsigned char* FromWire(const unsigned char* pos, unsigned int* rem);
    unsigned char* ToWire(unsigned char* pos, unsigned int* rem) const;

    // Header.
    uint8_t version = NYAGENTX_VERSION;
    uint8_t type = 0;
    uint8_t flags = NYAGENTX_FLAG_NETWORK_BYTE_ORDER;
    uint32_t sessionId = 0;
    uint32_t transactionId = 0;
    uint32_t packetId = 0;
    // The context of the PDU types that carry one, when NON_DEFAULT_CONTEXT is set.
    std::string context;

    // Open: timeout, oid (the subagent's identity), description.
    // AddAgentCaps: oid, description.  RemoveAgentCaps: oid.
    // Register / Unregister: timeout, priority, rangeSubid, oid (the subtree),
    // upperBound (when rangeSubid is not 0).
    uint8_t timeout = 0;
    uint8_t priority = 0;
    uint8_t rangeSubid = 0;
    uint32_t upperBound = 0;
    NySnmpOid oid;
    std::string description;
    // Close.
    uint8_t reason = 0;
    // Get, GetNext, GetBulk (the first `rangeCount` of `ranges`; the vector
    // keeps its elements from PDU to PDU so that decoding reuses them).
    uint16_t nonRepeaters = 0;
    uint16_t maxRepetitions = 0;
    std::deque<NyAgentxRange> ranges;
    size_t rangeCount = 0;
    // TestSet, Notify, IndexAllocate, IndexDeallocate, Response.
    NySnmpVbl vars;
    // Response.
    uint32_t sysUpTime = 0;
    uint16_t error = 0;
    uint16_t index = 0;
};

// One AgentX session with a master agent: it opens, registers subtrees of the
// tree, answers Get, GetNext, GetBulk and the four phases of a Set from them,
// sends notifications, and reconnects by itself inside ProcessRequests.
//
// Time-outs in seconds as for NySmuxSession: above 0 a deadline, 0 waits of
// half a second each with no deadline, below 0 no limit.  All socket work and
// every hook run on the thread that calls the session; the MIB mutex is held
// exactly while a request is answered from the tree.  Failures are thrown as
// NySocketException (ids NYAGENTX_... in nysnmpmsgs.h, the socket
// component's for the connection).
class NYSNMP_API NyAgentxSession : public NySocketOwner, public NySnmpObject {
public:
    explicit NyAgentxSession(NySnmpManager& manager);
    NyAgentxSession(const NyAgentxSession&) = delete;
    NyAgentxSession& operator=(const NyAgentxSession&) = delete;
    ~NyAgentxSession() override;

    // Notifications of the session's socket.
    void OnClose(NyAsyncSocket& socket, int error) override;
    void OnConnect(NyAsyncSocket& socket, int error) override;
    void OnReceive(NyAsyncSocket& socket, int error) override;
    void OnSend(NyAsyncSocket& socket, int error) override;

    // Connects to the master: "unix:/path", "/path", "tcp:HOST:PORT",
    // "HOST:PORT" or "HOST" (port 705); null or empty: unix:/var/agentx/master.
    virtual int Init(char const* address);
    // Whether Init would take the address (its form only; nothing connects).
    static bool IsValidAddress(char const* address);
    // Opens the session; `identity` is OID text (may be empty), `timeout` the
    // session's default time-out the master applies (0: the master's own).
    virtual int Open(char const* identity, char const* description, int timeout);
    // Registers the subtree of `node` (priority 1..255 in, the one used back;
    // region time-out in seconds, 0: the session's).  A refusal throws
    // NYAGENTX_REFUSED.  The registration is kept and renewed on reconnect.
    virtual int Register(NyMibObject& node, int& priority, int timeout, char const* context = nullptr);
    // A range registration: arc `rangeSubid` (1-based) of the node's
    // identifier runs up to `upperBound`.
    virtual int Register(NyMibObject& node, int& priority, int timeout, char const* context, int rangeSubid,
                         uint32_t upperBound);
    virtual int Unregister(NyMibObject& node, char const* context = nullptr);
    // A Notify with sysUpTime.0, snmpTrapOID.0 and the trap's variables.
    virtual int Send(NyMibTrap& trap, int timeout);
    // 0 when the master answered within the time-out.
    virtual int Ping(int timeout);
    // Entries of the master's sysORTable.
    virtual int AddAgentCaps(char const* id, char const* description, int timeout);
    virtual int RemoveAgentCaps(char const* id, int timeout);
    // Serves requests until `stop` is set, the NyEvent* `event` is set, or the
    // time-out passes; 0, or the id of the failure that ended it after the
    // session was connected again.
    virtual int ProcessRequests(int volatile& stop, int timeout, void* event);
    // While ProcessRequests runs, a Ping after `seconds` without traffic; a
    // master that leaves it unanswered as long again counts as gone.  0: off.
    virtual int SetKeepAlive(int seconds);
    // New connection, Open, and every kept registration again.
    virtual int Reconnect();
    // Close with an AgentX reason (1..6); waits at most `timeout` for the
    // master's answer or the end of the connection.
    virtual int Close(int reason, int timeout);
    virtual int End();
    virtual NySocketMutex& MibMutex();

    // Hooks with the names, arguments and meanings of NySmuxSession's.
    virtual int OnMibGet(NyMibObject& node, int32_t userParam, void* userData);
    virtual int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t userParam, void* userData);
    virtual int OnMibSetCommitted(NyMibObject& node, int32_t userParam, void* userData);
    virtual int OnCommit(NySnmpVbl& staged);
    virtual int OnRollback(NySnmpVbl& staged);

    // Read access for host programs and tests.
    NySnmpManager& Manager() const { return m_manager; }
    NyAsyncSocket* Socket() const { return m_socket; }
    const std::string& Address() const { return m_address; }
    uint32_t SessionId() const { return m_sessionId; }
    bool IsOpen() const { return m_open; }
    int KeepAlive() const { return m_keepAlive; }
    // The reason of the master's last Close (0 when none came since the
    // connection was made).
    int LastCloseReason() const { return m_closeReason; }
    const std::vector<NyMibRegInfo*>& RegInfo() const { return m_records; }
    const NySnmpVbl& StagedVars() const { return m_staged; }

    // Feeds octets as if they came from the master (for programs that carry
    // the stream themselves).  Returns how many were taken.
    unsigned int Feed(const unsigned char* data, unsigned int length);

protected:
    // Passes the caught exception on, unchanged, to the caller.
    virtual void OnSocketException(char const* where, NySocketException& caught);
    // Makes a new socket and connects it; waits up to 5 seconds.
    virtual int ReInit();
    // Writes one whole PDU; the rest of what the socket does not take at once
    // goes out from OnSend, before anything sent later.
    virtual int SendPacket(const unsigned char* data, unsigned int length);
    // Answers one request of the master.
    virtual int Respond(NyAgentxPdu& request);
    // The next whole PDU from the master: 1 with one in `pdu`, 0 when none
    // came within the time-out, -1 when the connection is gone.
    virtual int Receive(NyAgentxPdu& pdu, int timeout);

private:
    struct Registration {
        NyMibRegInfo* record;
        std::string context;
        int timeout;
        int rangeSubid;
        uint32_t upperBound;
    };

    int SendOpen();
    void SendRegistration(NyMibObject& node, const Registration& entry, uint8_t type, int priority);
    // Sends `request` (numbered here) and waits for its Response in
    // `response`, answering the master's requests meanwhile.
    void Exchange(NyAgentxPdu& request, NyAgentxPdu& response, int timeout, const char* what);
    int SendPdu(NyAgentxPdu& pdu);
    void Stamp(NyAgentxPdu& pdu, uint8_t type, const char* context);
    void DropConnection();
    void KeepAliveStep();
    // What a request in `context` may be answered from.
    const std::vector<NyMibRegInfo*>& RecordsFor(const std::string& context);
    void RenewRecords();
    // The Set transaction.
    int TestSet(NyAgentxPdu& request, NyAgentxPdu& response);
    int CommitSet(NyAgentxPdu& request, NyAgentxPdu& response);
    int UndoSet(NyAgentxPdu& request, NyAgentxPdu& response);
    void CleanupSet(NyAgentxPdu& request);
    void EndTransaction(bool rolledBack);
    // Answers with an error status and no bindings.
    int Reply(NyAgentxPdu& request, NyAgentxPdu& response, uint16_t error, uint16_t index);
    int AnswerRead(NyAgentxPdu& request);

    NySnmpManager& m_manager;
    NySocketMutex m_mibMutex;
    NyAsyncSocket* m_socket = nullptr;
    std::string m_address;
    bool m_connected = false;
    bool m_open = false;
    uint32_t m_sessionId = 0;
    uint32_t m_nextPacketId = 0;
    std::string m_identity;
    std::string m_description;
    int m_openTimeout = 0;
    int m_keepAlive = 0;
    int m_closeReason = 0;
    time_t m_lastHeard = 0;
    time_t m_pingSent = 0;
    uint32_t m_pingPacket = 0;

    std::vector<Registration> m_regs;
    std::vector<NyMibRegInfo*> m_records;  // of every context
    std::vector<NyMibRegInfo*> m_default;  // of the default context
    std::vector<NyMibRegInfo*> m_inContext;

    // The open Set transaction.
    enum class SetState { None, Tested, Failed, Committed };
    SetState m_setState = SetState::None;
    uint32_t m_transactionId = 0;
    std::string m_setContext;
    NySnmpVbl m_staged;
    NySnmpVbl m_undo;

    std::deque<NySnmpOid> m_bulkFrom;  // where each repeater of a GetBulk goes on
    std::vector<bool> m_bulkDone;
    NyAgentxPdu m_request;
    NyAgentxPdu m_reply;
    std::vector<unsigned char> m_out;
    std::vector<unsigned char> m_pending;  // what the socket has not taken yet
    size_t m_pendingSent = 0;
    unsigned int m_received = 0;
    unsigned char m_receiveArea[NYAGENTX_BUFFER_SIZE];
};

#endif // NYAGENTX_H
