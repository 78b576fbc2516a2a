// Keeping the relay listener and connection rows in step with the sockets.
#include "relay_rows.h"

#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>

#include <tuple>

namespace relay {
namespace {

// TimeTicks are hundredths of a second; they wrap like the SMI type does.
uint32_t Ticks(RelayRows::Clock::duration elapsed)
{
    const auto centis = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 10;
    return static_cast<uint32_t>(centis < 0 ? 0 : centis);
}

std::string Octets(const Ipv4& address)
{
    return std::string(reinterpret_cast<const char*>(address.data()), address.size());
}

std::string ServiceName(uint16_t port)
{
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (getservbyport_r(htons(port), "tcp", &entry, buffer, sizeof buffer, &found) != 0 || !found ||
        !found->s_name)
        return std::string();
    return found->s_name;
}

std::string UserDatabaseName(uint32_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(static_cast<uid_t>(uid), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    return std::to_string(uid);
}

void SetInstance(NyMibTableEntry& entry, std::vector<uint32_t> arcs)
{
    NYSMI_OID oid{static_cast<uint32_t>(arcs.size()), arcs.data()};
    entry.SetInstanceNumber(oid);
}

// Every writable column of a row asks before a Set; `commitHook` adds the
// hook after the commit.
void GuardWritableColumns(NyMibTableEntry& entry, NyMibObject& commitHook)
{
    for (NyMibObject* column : entry.Children()) {
        if (column->Access() != 2 && column->Access() != 3)
            continue;
        const int32_t events = column == &commitHook ? kEventBeforeSet | kEventAfterCommit : kEventBeforeSet;
        column->SetUserEvents(events, 0, nullptr);
    }
}

// The listener a connection arrived through: same port, and the same local
// address unless the listener is bound to all addresses.
struct PortCounts {
    std::map<std::pair<Ipv4, uint16_t>, int32_t> byAddress;
    std::map<uint16_t, int32_t> byPort;

    void Add(const ConnKey& key)
    {
        ++byAddress[{key.localAddress, key.localPort}];
        ++byPort[key.localPort];
    }
    int32_t For(const ListenerKey& listener) const
    {
        if (IsWildcard(listener.address)) {
            auto found = byPort.find(listener.port);
            return found == byPort.end() ? 0 : found->second;
        }
        auto found = byAddress.find({listener.address, listener.port});
        return found == byAddress.end() ? 0 : found->second;
    }
};

} // namespace

bool ListenerKey::operator<(const ListenerKey& other) const
{
    return std::tie(address, port) < std::tie(other.address, other.port);
}

bool ListenerKey::operator==(const ListenerKey& other) const
{
    return address == other.address && port == other.port;
}

bool ConnKey::operator<(const ConnKey& other) const
{
    return std::tie(localAddress, localPort, remoteAddress, remotePort) <
           std::tie(other.localAddress, other.localPort, other.remoteAddress, other.remotePort);
}

bool ConnKey::operator==(const ConnKey& other) const
{
    return localAddress == other.localAddress && localPort == other.localPort &&
           remoteAddress == other.remoteAddress && remotePort == other.remotePort;
}

ConnKey ConnKey::Reversed() const
{
    return ConnKey{remoteAddress, remotePort, localAddress, localPort};
}

std::vector<uint32_t> ListenerInstance(const ListenerKey& key)
{
    return {key.address[0], key.address[1], key.address[2], key.address[3], key.port};
}

std::vector<uint32_t> ConnInstance(const ConnKey& key)
{
    return {key.localAddress[0],  key.localAddress[1],  key.localAddress[2],  key.localAddress[3],
            key.localPort,        key.remoteAddress[0], key.remoteAddress[1], key.remoteAddress[2],
            key.remoteAddress[3], key.remotePort};
}

std::string InstanceText(const std::vector<uint32_t>& arcs)
{
    std::string text;
    for (uint32_t arc : arcs) {
        if (!text.empty())
            text += '.';
        text += std::to_string(arc);
    }
    return text;
}

RelayRows::RelayRows(RelayMib& mib, UserNamer namer)
    : m_mib(mib), m_namer(namer ? namer : &UserDatabaseName)
{
}

// The rows leave their tables as they are destroyed; the tree outlives them.
RelayRows::~RelayRows() = default;

std::string RelayRows::OwnerName(uint32_t uid)
{
    auto found = m_owners.find(uid);
    if (found != m_owners.end())
        return found->second;
    std::string name = m_namer(uid);
    m_owners.emplace(uid, name);
    return name;
}

void RelayRows::Update(const std::vector<TcpSocket>& sockets, Clock::time_point now)
{
    // Two sockets may share a key (SO_REUSEPORT listeners): one row each key.
    std::map<ListenerKey, uint32_t> listening;
    std::map<ConnKey, uint32_t> established;
    for (const TcpSocket& socket : sockets) {
        if (socket.state == kTcpListen)
            listening.emplace(ListenerKey{socket.localAddress, socket.localPort}, socket.uid);
        else if (socket.state == kTcpEstablished)
            established.emplace(ConnKey{socket.localAddress, socket.localPort, socket.remoteAddress,
                                        socket.remotePort},
                                socket.uid);
    }

    // An invalidation lasts as long as its socket.
    for (auto it = m_invalidListeners.begin(); it != m_invalidListeners.end();)
        it = listening.count(*it) ? std::next(it) : m_invalidListeners.erase(it);
    for (auto it = m_invalidConns.begin(); it != m_invalidConns.end();)
        it = established.count(*it) ? std::next(it) : m_invalidConns.erase(it);

    std::set<ConnKey> newConns;
    for (const auto& conn : established) {
        if (!m_conns.count(conn.first) && !m_invalidConns.count(conn.first))
            newConns.insert(conn.first);
    }
    UpdateConns(established, now);
    UpdateListeners(listening, established, newConns);
}

void RelayRows::UpdateConns(const std::map<ConnKey, uint32_t>& established, Clock::time_point now)
{
    for (auto it = m_conns.begin(); it != m_conns.end();) {
        if (!established.count(it->first) || m_invalidConns.count(it->first))
            it = m_conns.erase(it);
        else
            ++it;
    }
    for (const auto& conn : established) {
        if (m_invalidConns.count(conn.first))
            continue;
        auto found = m_conns.find(conn.first);
        if (found == m_conns.end()) {
            ConnRow& row = m_conns[conn.first];
            row.since = now;
            MakeConnRow(conn.first, row);
            row.entry->relayCowner.value() = OwnerName(conn.second);
            found = m_conns.find(conn.first);
        }
        RelayConnEntry& entry = *found->second.entry;
        entry.relayCupTime.value() = Ticks(now - found->second.since);
        // Both ends of a connection inside this machine are rows of the table.
        const ConnKey other = conn.first.Reversed();
        const bool linked = established.count(other) && !m_invalidConns.count(other);
        entry.relayClinkedWith.value() = linked ? InstanceText(ConnInstance(other)) : std::string();
    }
}

void RelayRows::UpdateListeners(const std::map<ListenerKey, uint32_t>& listening,
                                const std::map<ConnKey, uint32_t>& established,
                                const std::set<ConnKey>& newConns)
{
    PortCounts active;
    for (const auto& conn : established)
        active.Add(conn.first);
    PortCounts accepted;
    for (const ConnKey& conn : newConns)
        accepted.Add(conn);

    for (auto it = m_listeners.begin(); it != m_listeners.end();) {
        if (!listening.count(it->first) || m_invalidListeners.count(it->first))
            it = m_listeners.erase(it);
        else
            ++it;
    }
    for (const auto& listener : listening) {
        if (m_invalidListeners.count(listener.first))
            continue;
        auto found = m_listeners.find(listener.first);
        if (found == m_listeners.end()) {
            ListenerRow& row = m_listeners[listener.first];
            MakeListenerRow(listener.first, row);
            row.entry->relayLowner.value() = OwnerName(listener.second);
            found = m_listeners.find(listener.first);
        }
        ListenerRow& row = found->second;
        row.accepted += accepted.For(listener.first);
        row.entry->relayLactiveConn.value() = active.For(listener.first);
        row.entry->relayLacceptedConn.value() = row.accepted;
    }
}

void RelayRows::MakeListenerRow(const ListenerKey& key, ListenerRow& row)
{
    row.entry.reset(new RelayListenerEntry("relayListenerEntry", m_mib.relayListenerTable, 1));
    RelayListenerEntry& entry = *row.entry;
    entry.relayLstatus.value() = kListenerListening;
    entry.relayLaddress.value() = Octets(key.address);
    entry.relayLport.value() = key.port;
    // internal(2) for the machine's own loopback, data(6) for the rest.
    entry.relayLtype.value() = IsLoopback(key.address) ? 2 : 6;
    // shared(2) when bound to every address, private(1) to one.
    entry.relayLaccess.value() = IsWildcard(key.address) ? 2 : 1;
    entry.relayLname.value() = ServiceName(key.port);
    entry.relayLdescription.value() =
        "TCP listener on " + DottedAddress(key.address) + ":" + std::to_string(key.port);
    GuardWritableColumns(entry, entry.relayLstatus);
    SetInstance(entry, ListenerInstance(key));
}

void RelayRows::MakeConnRow(const ConnKey& key, ConnRow& row)
{
    row.entry.reset(new RelayConnEntry("relayConnEntry", m_mib.relayConnTable, 1));
    RelayConnEntry& entry = *row.entry;
    entry.relayCstatus.value() = kConnConnected;
    entry.relayClocalAddress.value() = Octets(key.localAddress);
    entry.relayClocalPort.value() = key.localPort;
    entry.relayCremAddress.value() = Octets(key.remoteAddress);
    entry.relayCremPort.value() = key.remotePort;
    GuardWritableColumns(entry, entry.relayCstatus);
    entry.relayCupTime.SetUserEvents(kEventBeforeGet, 0, &row);
    SetInstance(entry, ConnInstance(key));
}

void RelayRows::BeforeGet(NyMibObject& node, void* userData, Clock::time_point now)
{
    // Only relayCupTime columns ask before a read, each with its own row;
    // the map keeps a row where it is until the row is erased.
    auto* row = static_cast<ConnRow*>(userData);
    if (row && row->entry && &row->entry->relayCupTime == &node)
        row->entry->relayCupTime.value() = Ticks(now - row->since);
}

int RelayRows::TestSet(NyMibObject& node, const NySnmpValue& value) const
{
    NyMibObject* statusColumn = nullptr;
    for (const auto& listener : m_listeners) {
        if (listener.second.entry.get() == node.Parent())
            statusColumn = &listener.second.entry->relayLstatus;
    }
    for (const auto& conn : m_conns) {
        if (conn.second.entry.get() == node.Parent())
            statusColumn = &conn.second.entry->relayCstatus;
    }
    if (statusColumn != &node)
        return kErrNotWritable;
    const NYSMI_VALUE& record = value.SmiValue();
    return record.syntax == 2 && record.value.int32 == kStatusInvalid ? 0 : kErrBadValue;
}

void RelayRows::SetCommitted(NyMibObject& node)
{
    for (const auto& listener : m_listeners) {
        RelayListenerEntry& entry = *listener.second.entry;
        if (&entry.relayLstatus == &node && entry.relayLstatus.value() == kStatusInvalid)
            m_invalidListeners.insert(listener.first);
    }
    for (const auto& conn : m_conns) {
        RelayConnEntry& entry = *conn.second.entry;
        if (&entry.relayCstatus == &node && entry.relayCstatus.value() == kStatusInvalid)
            m_invalidConns.insert(conn.first);
    }
}

void RelayRows::RemoveInvalidated()
{
    for (const ListenerKey& key : m_invalidListeners)
        m_listeners.erase(key);
    for (const ConnKey& key : m_invalidConns)
        m_conns.erase(key);
}

RelayListenerEntry* RelayRows::Listener(const ListenerKey& key) const
{
    auto found = m_listeners.find(key);
    return found == m_listeners.end() ? nullptr : found->second.entry.get();
}

RelayConnEntry* RelayRows::Conn(const ConnKey& key) const
{
    auto found = m_conns.find(key);
    return found == m_conns.end() ? nullptr : found->second.entry.get();
}

} // namespace relay
