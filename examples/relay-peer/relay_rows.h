// relay_rows.h - keeps the rows of relayListenerTable and relayConnTable in
// step with the TCP sockets of the machine.
//
// Every listening socket gets one RelayListenerEntry, every established
// connection one RelayConnEntry, with the SMI index as the row's instance
// (address.port, and local address.port.remote address.port).  A manager may
// set relayLstatus or relayCstatus to invalid(2): the row then leaves the
// table and stays out for as long as that socket exists; if the same address
// and port come back later, it is a new socket and gets a row again.
//
// RelayRows takes no lock.  Its caller holds the session's MIB mutex around
// every call, as around every other change of the tree: the session's thread
// walks the rows while it answers requests.
#ifndef RELAY_PEER_RELAY_ROWS_H
#define RELAY_PEER_RELAY_ROWS_H

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "relaymib.h"
#include "tcp_table.h"

namespace relay {

struct ListenerKey {
    Ipv4 address{};
    uint16_t port = 0;
    bool operator<(const ListenerKey& other) const;
    bool operator==(const ListenerKey& other) const;
};

struct ConnKey {
    Ipv4 localAddress{};
    uint16_t localPort = 0;
    Ipv4 remoteAddress{};
    uint16_t remotePort = 0;
    bool operator<(const ConnKey& other) const;
    bool operator==(const ConnKey& other) const;
    ConnKey Reversed() const;
};

// Values of the status columns the rows are given.
constexpr int32_t kStatusInvalid = 2;
constexpr int32_t kListenerListening = 3;
constexpr int32_t kConnConnected = 4;

// SNMP error statuses a refused Set is answered with.
constexpr int kErrBadValue = 3;
constexpr int kErrNotWritable = 17;

// User event bits of the MIB tree.
constexpr int32_t kEventBeforeGet = 1;
constexpr int32_t kEventBeforeSet = 2;
constexpr int32_t kEventAfterCommit = 4;

class RelayRows {
public:
    using Clock = std::chrono::steady_clock;
    // Names a socket's owner from its uid; the default asks the user database.
    using UserNamer = std::string (*)(uint32_t uid);

    explicit RelayRows(RelayMib& mib, UserNamer namer = nullptr);
    ~RelayRows();
    RelayRows(const RelayRows&) = delete;
    RelayRows& operator=(const RelayRows&) = delete;

    // Creates, refreshes and removes rows so that the tables show exactly the
    // listening and established sockets of `sockets` (less those a manager
    // invalidated).  `now` dates new connections for relayCupTime.
    void Update(const std::vector<TcpSocket>& sockets, Clock::time_point now);

    // Set hooks.  TestSet answers the test phase: 0 for invalid(2) on a status
    // column of a row kept here, badValue for any other value there,
    // notWritable for every other column of these rows (the values mirror the
    // kernel's and would be overwritten).  SetCommitted takes the row out of
    // its table's view; RemoveInvalidated destroys such rows.  SetCommitted
    // does not destroy the row itself because the session is still inside
    // the commit of that very column when it calls the hook.
    int TestSet(NyMibObject& node, const NySnmpValue& value) const;
    void SetCommitted(NyMibObject& node);
    void RemoveInvalidated();

    // Read hook: brings relayCupTime up to `now` just before it is read, so
    // that it does not lag by up to one refresh.  `userData` is what the
    // row gave the column with its user events.
    void BeforeGet(NyMibObject& node, void* userData, Clock::time_point now);

    size_t ListenerRows() const { return m_listeners.size(); }
    size_t ConnRows() const { return m_conns.size(); }
    RelayListenerEntry* Listener(const ListenerKey& key) const;
    RelayConnEntry* Conn(const ConnKey& key) const;

private:
    struct ListenerRow {
        std::unique_ptr<RelayListenerEntry> entry;
        int32_t accepted = 0;
    };
    struct ConnRow {
        std::unique_ptr<RelayConnEntry> entry;
        Clock::time_point since;
    };

    void UpdateListeners(const std::map<ListenerKey, uint32_t>& listening,
                         const std::map<ConnKey, uint32_t>& established,
                         const std::set<ConnKey>& newConns);
    void UpdateConns(const std::map<ConnKey, uint32_t>& established, Clock::time_point now);
    void MakeListenerRow(const ListenerKey& key, ListenerRow& row);
    void MakeConnRow(const ConnKey& key, ConnRow& row);
    std::string OwnerName(uint32_t uid);

    RelayMib& m_mib;
    UserNamer m_namer;
    std::map<uint32_t, std::string> m_owners;
    std::map<ListenerKey, ListenerRow> m_listeners;
    std::map<ConnKey, ConnRow> m_conns;
    // Sockets whose rows a manager invalidated, kept while the socket lives.
    std::set<ListenerKey> m_invalidListeners;
    std::set<ConnKey> m_invalidConns;
};

// The instance arcs of a row: address octets and port numbers in index order.
std::vector<uint32_t> ListenerInstance(const ListenerKey& key);
std::vector<uint32_t> ConnInstance(const ConnKey& key);
std::string InstanceText(const std::vector<uint32_t>& arcs);

} // namespace relay

#endif
