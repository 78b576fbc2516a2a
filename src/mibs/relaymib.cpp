// The relay tables of the product MIB.
#include "relaymib.h"

#include "mibs/build.h"

using namespace nymibs;

namespace {

const NyMibIntValues kRelayPstatusValues[] = {
    {"valid", 1}, {"invalid", 2}, {"connecting", 3}, {nullptr, 0}};
const NyMibIntValues kRelayLstatusValues[] = {
    {"valid", 1}, {"invalid", 2}, {"listening", 3}, {nullptr, 0}};
const NyMibIntValues kRelayLtypeValues[] = {
    {"control", 1}, {"internal", 2}, {"forwarder", 3}, {"dynamic", 4},
    {"remote", 5},  {"data", 6},     {nullptr, 0}};
const NyMibIntValues kRelayLaccessValues[] = {{"private", 1}, {"shared", 2}, {nullptr, 0}};
const NyMibIntValues kRelayCstatusValues[] = {
    {"valid", 1},         {"invalid", 2},       {"connecting", 3}, {"connected", 4},
    {"disconnecting", 5}, {"disconnected", 6}, {nullptr, 0}};
const NyMibIntValues kRelayRstatusValues[] = {{"valid", 1}, {"invalid", 2}, {nullptr, 0}};
const NyMibIntValues kRelayNstatusValues[] = {{"valid", 1}, {"invalid", 2}, {nullptr, 0}};

} // namespace

RelayMib::RelayMib()
    : VlmMibRoot(),
      relayPeerTable("relayPeerTable", vlmAppBridge, 1, "The relay peer table.", nullptr,
                     "RelayPeerEntry"),
      relayListenerTable("relayListenerTable", vlmAppBridge, 2, "The Relay Listener table",
                         nullptr, "RelayListenerEntry"),
      relayConnTable("relayConnTable", vlmAppBridge, 3, "The Relay Connection table", nullptr,
                     "RelayConnEntry"),
      relayPortRangeTable("relayPortRangeTable", vlmAppBridge, 4, "The Relay Port Range table",
                          nullptr, "RelayPortRangeEntry"),
      relayNatRangeTable("relayNatRangeTable", vlmAppBridge, 5, "The Relay NAT Range table",
                         nullptr, "RelayNatRangeEntry") {
    UpdateChildren();
}

RelayPeerEntry::RelayPeerEntry(char const* name, NyMibTable& table, int subId)
    : NyMibTableEntry(name, table, subId,
                      "Each entry corresponds to one instance of relay Peer.",
                      nullptr, "RelayPeerEntry"),
      relayPindex("relayPindex", *this, 1, kReadOnly,
          "An index which uniquely identifies a relay peer.",
          nullptr, nullptr),
      relayPidentity("relayPidentity", *this, 2, kReadOnly,
          "The authoritative designation for a relay peer.",
          nullptr, nullptr),
      relayPdescription("relayPdescription", *this, 3, kReadOnly,
          "A human-readable description of a relay peer.",
          nullptr, nullptr),
      relayPstatus("relayPstatus", *this, 4, kReadWrite,
          "The type of relay peer. Setting this object to the value invalid(2) "
          "has the effect of invaliding the corresponding entry in the "
          "relayPeerTable.  It is an  implementation-specific matter as to "
          "whether the agent removes an invalidated entry from the table. "
          "Accordingly, management stations must be prepared to receive tabular "
          "information from agents that correspond to entries not currently in "
          "use.  Proper interpretation of such entries requires examination of "
          "the relative relayPstatus object.",
          Labels(kRelayPstatusValues), nullptr),
      relayPactiveConn("relayPactiveConn", *this, 5, kReadWrite,
          "The number of active connection.",
          nullptr, nullptr) {
    relayPindex.UseAsIndex(true);
    table.UpdateChildren();
}

RelayListenerEntry::RelayListenerEntry(char const* name, NyMibTable& table, int subId)
    : NyMibTableEntry(name, table, subId,
                      "Each entry corresponds to one listening socket.",
                      nullptr, "RelayListenerEntry"),
      relayLstatus("relayLstatus", *this, 1, kReadWrite,
          "The listener status. Setting this object to the value invalid(2) has "
          "the effect of invaliding the corresponding entry in the "
          "relayListenerTable.  It is an  implementation-specific matter as to "
          "whether the agent removes an invalidated entry from the table.",
          Labels(kRelayLstatusValues), nullptr),
      relayLaddress("relayLaddress", *this, 2, kReadOnly,
          "An IP address of this listener.",
          nullptr, nullptr),
      relayLport("relayLport", *this, 3, kReadOnly,
          "The port number of this listener.",
          nullptr, nullptr),
      relayLtype("relayLtype", *this, 4, kReadOnly,
          "The type of this listener.",
          Labels(kRelayLtypeValues), nullptr),
      relayLaccess("relayLaccess", *this, 5, kReadOnly,
          "The access mode of this listener.",
          Labels(kRelayLaccessValues), nullptr),
      relayLfwdAddress("relayLfwdAddress", *this, 6, kReadWrite,
          "A destination IP address for forwarding listener.",
          nullptr, nullptr),
      relayLfwdPort("relayLfwdPort", *this, 7, kReadWrite,
          "The destination port number for forwarding listener.",
          nullptr, nullptr),
      relayLactiveConn("relayLactiveConn", *this, 8, kReadWrite,
          "The number of active connection.",
          nullptr, nullptr),
      relayLacceptedConn("relayLacceptedConn", *this, 9, kReadWrite,
          "The number of accepted connections.",
          nullptr, nullptr),
      relayLrejectedConn("relayLrejectedConn", *this, 10, kReadWrite,
          "The number of rejected connections.",
          nullptr, nullptr),
      relayLowner("relayLowner", *this, 11, kReadOnly,
          "The name of the relay client requesting this listener to be created.",
          nullptr, nullptr),
      relayLname("relayLname", *this, 12, kReadOnly,
          "The name of section in the map file or the name of the the relay "
          "client requesting this listener to be created.",
          nullptr, nullptr),
      relayLindex("relayLindex", *this, 13, kReadOnly,
          "The peer's index.",
          nullptr, nullptr),
      relayLdescription("relayLdescription", *this, 14, kReadOnly,
          "The description of this listener.",
          nullptr, nullptr) {
    relayLaddress.UseAsIndex(true);
    relayLport.UseAsIndex(true);
    table.UpdateChildren();
}

RelayConnEntry::RelayConnEntry(char const* name, NyMibTable& table, int subId)
    : NyMibTableEntry(name, table, subId,
                      "Each entry corresponds to one listening socket.",
                      nullptr, "RelayConnEntry"),
      relayCstatus("relayCstatus", *this, 1, kReadWrite,
          "The status of this connection. Setting this object to the value "
          "invalid(2) has the effect of invaliding the corresponding entry in the"
          " relayConnTable.  It is an  implementation-specific matter as to "
          "whether the agent removes an invalidated entry from the table.",
          Labels(kRelayCstatusValues), nullptr),
      relayClocalAddress("relayClocalAddress", *this, 2, kReadOnly,
          "A local IP address of this connection.",
          nullptr, nullptr),
      relayClocalPort("relayClocalPort", *this, 3, kReadOnly,
          "The local port number of this connection.",
          nullptr, nullptr),
      relayCremAddress("relayCremAddress", *this, 4, kReadOnly,
          "A rem IP address of this connection.",
          nullptr, nullptr),
      relayCremPort("relayCremPort", *this, 5, kReadOnly,
          "The rem port number of this connection.",
          nullptr, nullptr),
      relayClinkedWith("relayClinkedWith", *this, 6, kReadOnly,
          "The instance number of connection entry this connection is linked "
          "with.",
          nullptr, nullptr),
      relayCupTime("relayCupTime", *this, 7, kReadOnly,
          "The elapsed time since this connection was established.",
          nullptr, nullptr),
      relayCidleTime("relayCidleTime", *this, 8, kReadOnly,
          "The elapsed time since the last time the data was read or written.",
          nullptr, nullptr),
      relayCreceived("relayCreceived", *this, 9, kReadWrite,
          "The number of bytes received.",
          nullptr, nullptr),
      relayCsent("relayCsent", *this, 10, kReadWrite,
          "The number of bytes sent.",
          nullptr, nullptr),
      relayCowner("relayCowner", *this, 11, kReadOnly,
          "The name of the relay client requesting this connection to be created.",
          nullptr, nullptr),
      relayCindex("relayCindex", *this, 12, kReadOnly,
          "The peer's index.",
          nullptr, nullptr) {
    relayClocalAddress.UseAsIndex(true);
    relayClocalPort.UseAsIndex(true);
    relayCremAddress.UseAsIndex(true);
    relayCremPort.UseAsIndex(true);
    table.UpdateChildren();
}

RelayPortRangeEntry::RelayPortRangeEntry(char const* name, NyMibTable& table, int subId)
    : NyMibTableEntry(name, table, subId,
                      "Each entry corresponds to one range of ports opened in the firewall.",
                      nullptr, "RelayPortRangeEntry"),
      relayRstatus("relayRstatus", *this, 1, kReadWrite,
          "The port range status. Setting this object to the value invalid(2) has"
          " the effect of invaliding the corresponding entry in the "
          "relayPortRangeTable.  It is an  implementation-specific matter as to "
          "whether the agent removes an invalidated entry from the table.",
          Labels(kRelayRstatusValues), nullptr),
      relayRlowPort("relayRlowPort", *this, 2, kReadWrite,
          "The first open port.",
          nullptr, nullptr),
      relayRhighPort("relayRhighPort", *this, 3, kReadWrite,
          "The last open port.",
          nullptr, nullptr),
      relayRname("relayRname", *this, 4, kReadOnly,
          "The name of section in the map file.",
          nullptr, nullptr) {
    relayRlowPort.UseAsIndex(true);
    relayRhighPort.UseAsIndex(true);
    table.UpdateChildren();
}

RelayNatRangeEntry::RelayNatRangeEntry(char const* name, NyMibTable& table, int subId)
    : NyMibTableEntry(name, table, subId,
                      "Each entry corresponds to one range of network address translation "
                      "group in the internal firewall.",
                      nullptr, "RelayNatRangeEntry"),
      relayNstatus("relayNstatus", *this, 1, kReadWrite,
          "The network address translation range status. Setting this object to "
          "the value invalid(2) has the effect of invaliding the corresponding "
          "entry in the relayNatRangeTable.  It is an  implementation-specific "
          "matter as to whether the agent removes an invalidated entry from the "
          "table.",
          Labels(kRelayNstatusValues), nullptr),
      relayNinternalIp("relayNinternalIp", *this, 2, kReadWrite,
          "The first internal IP address in this NAT range.",
          nullptr, nullptr),
      relayNexternalIp("relayNexternalIp", *this, 3, kReadWrite,
          "The first external IP address in this NAT range.",
          nullptr, nullptr),
      relayNlength("relayNlength", *this, 4, kReadWrite,
          "The length of this NAT range. Default value is 1.",
          nullptr, nullptr),
      relayNname("relayNname", *this, 5, kReadOnly,
          "The name of section in the map file.",
          nullptr, nullptr) {
    relayNinternalIp.UseAsIndex(true);
    table.UpdateChildren();
}
