// nysmuxpeer.h - the SMUX peer: the manager that the sessions share and the
// session that keeps one association with the local agent.
#ifndef NYSMUXPEER_H
#define NYSMUXPEER_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "nyexport.h"
#include "nymib.h"
#include "nysmuxdefs.h"
#include "nysnmp.h"
#include "nysocket.h"

// The socket registry of the sessions built on it; it also knows since when
// it exists, which is where trap time-stamps come from.
class NYSNMP_API NySnmpManager : public NySocketManager {
public:
    NySnmpManager();
    NySnmpManager(const NySnmpManager& other) = default;
    NySnmpManager& operator=(const NySnmpManager& other) = default;
    ~NySnmpManager() override;

    virtual int Init();
    virtual int End();
    // Whole seconds since the manager was made.
    virtual int32_t UpTime();

    time_t StartTime() const { return m_startTime; }

private:
    time_t m_startTime;
};

// One SMUX association with the local agent over TCP.
//
// Operations that wait take a time-out t in seconds: above 0 a deadline t
// seconds away, 0 waits of half a second each with no deadline, below 0
// waits without limit.  All socket work and every notification happen on
// the thread that calls the session.
class NYSNMP_API NySmuxSession : public NySocketOwner, public NySnmpObject {
public:
    explicit NySmuxSession(NySnmpManager& manager);
    NySmuxSession(const NySmuxSession&) = delete;
    NySmuxSession& operator=(const NySmuxSession&) = delete;
    ~NySmuxSession() override;

    // Notifications of the session's socket.
    void OnClose(NyAsyncSocket& socket, int error) override;
    void OnConnect(NyAsyncSocket& socket, int error) override;
    void OnOutOfBandData(NyAsyncSocket& socket, int error) override;
    void OnReceive(NyAsyncSocket& socket, int error) override;
    void OnSend(NyAsyncSocket& socket, int error) override;

    virtual int Init(int initValue, int agentPort, char const* agentHost);
    virtual int End();
    virtual int SetLingerTime(int seconds);
    virtual int Open(char const* identity, char const* description, char const* password);
    virtual int Close(int reason, int timeout);
    virtual int Register(NyMibObject& node, int& priority, int operation);
    virtual int Reconnect();
    virtual int Send(NyMibTrap& trap, int timeout);
    virtual int Send(NySnmpPdu& pdu, int timeout);
    virtual int SendPacket(unsigned char* packet, unsigned int length, int timeout);
    virtual int ProcessRequests(int volatile& stop, int timeout, void* event);
    virtual int Receive(NySnmpPdu& pdu, int timeout);
    virtual int Respond(NySnmpPdu& request);
    virtual int OnSet(NySnmpPdu& response);
    virtual int OnCommit(NySnmpVbl& staged);
    virtual int OnRollback(NySnmpVbl& staged);
    virtual int OnMibGet(NyMibObject& node, int32_t userParam, void* userData);
    virtual int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t userParam, void* userData);
    virtual int OnMibSetCommitted(NyMibObject& node, int32_t userParam, void* userData);
    virtual unsigned int& PeerPort();
    virtual std::string& PeerAddr();
    // The local IPv4 address of the connection to the agent (0.0.0.0
    // without one); valid until the next call.
    virtual NYSMI_OCTETS const& AgentAddress();
    virtual NySocketMutex& MibMutex();

    // Read access for host programs and tests.
    NySnmpManager& Manager() const { return m_manager; }
    NyAsyncSocket* Socket() const { return m_socket; }
    int InitValue() const { return m_initValue; }
    unsigned int AgentPort() const { return m_agentPort; }
    const std::string& AgentHost() const { return m_agentHost; }
    const std::string& Identity() const { return m_identity; }
    const std::string& Description() const { return m_description; }
    const std::string& Password() const { return m_password; }
    int LingerTime() const { return m_lingerTime; }
    const std::vector<NyMibRegInfo*>& RegInfo() const { return m_regInfo; }
    const NySnmpBuffer& ReceiveRecord() const { return m_receive; }
    const NySnmpBuffer& SendRecord() const { return m_send; }
    const NySnmpBuffer& OutOfBandRecord() const { return m_outOfBand; }
    const NySnmpVbl& StagedVars() const { return m_staged; }

protected:
    // Passes the caught exception on, unchanged, to the caller.
    virtual void OnSocketException(char const* where, NySocketException& caught);
    virtual int ReInit();
    virtual int SendOpenPdu();
    virtual int SendClosePdu(int reason, int timeout);
    virtual int SendRRegPdu(NYSMI_OID const& subtree, int& priority, int operation);
    virtual void DestroyRegInfo();

private:
    void ClearSendRecord();
    // Drops bindings whose SOutPDU can no longer come, telling OnRollback.
    void RollBackStaged();
    int ApplyLinger();

    NySnmpManager& m_manager;
    NySnmpVbl m_staged;
    NySocketMutex m_mibMutex;
    NyAsyncSocket* m_socket;
    NySnmpBuffer m_receive;
    NySnmpBuffer m_send;  // `reserved` counts the bytes already sent
    NySnmpBuffer m_outOfBand;
    unsigned char m_receiveArea[NYSMUX_BUFFER_SIZE];
    unsigned char m_outOfBandArea[NYSMUX_BUFFER_SIZE];
    unsigned int m_peerPort;
    std::string m_peerAddr;
    int m_initValue;
    unsigned int m_agentPort;
    std::string m_agentHost;
    std::string m_identity;
    std::string m_description;
    std::string m_password;
    std::vector<NyMibRegInfo*> m_regInfo;
    int m_lingerTime;
    NYSMI_OCTETS m_agentAddress;
};

#endif // NYSMUXPEER_H
