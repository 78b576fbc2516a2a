// relaymib.h - the relay tables of the Velmora product MIB.
//
// RelayMib is the product MIB (VlmMibRoot) with five tables under
// vlmAppBridge (1.3.6.1.4.1.32473.1.1.3.2.14):
//
//   relayPeerTable       .14.1  rows: RelayPeerEntry
//   relayListenerTable   .14.2  rows: RelayListenerEntry
//   relayConnTable       .14.3  rows: RelayConnEntry
//   relayPortRangeTable  .14.4  rows: RelayPortRangeEntry
//   relayNatRangeTable   .14.5  rows: RelayNatRangeEntry
//
// IpAddress columns hold the four address octets, not dotted text.
#ifndef RELAYMIB_H
#define RELAYMIB_H

#include "nyexport.h"
#include "nymib.h"
#include "nysnmp.h"
#include "vlmmib.h"

class NYSNMP_API RelayMib : public VlmMibRoot {
public:
    RelayMib();

    NyMibTable relayPeerTable;       // vlmAppBridge 1
    NyMibTable relayListenerTable;   // vlmAppBridge 2
    NyMibTable relayConnTable;       // vlmAppBridge 3
    NyMibTable relayPortRangeTable;  // vlmAppBridge 4
    NyMibTable relayNatRangeTable;   // vlmAppBridge 5
};

// One row of relayPeerTable (type RelayPeerEntry), indexed by relayPindex.
class NYSNMP_API RelayPeerEntry : public NyMibTableEntry {
public:
    RelayPeerEntry(char const* name, NyMibTable& table, int subId);

    VlmMibOctetString relayPindex;          // 1, index
    VlmMibOctetString relayPidentity;       // 2
    VlmMibOctetString relayPdescription;    // 3
    VlmMibInteger relayPstatus;             // 4
    VlmMibInteger relayPactiveConn;         // 5
};

// One row of relayListenerTable (type RelayListenerEntry), indexed by relayLaddress, relayLport.
class NYSNMP_API RelayListenerEntry : public NyMibTableEntry {
public:
    RelayListenerEntry(char const* name, NyMibTable& table, int subId);

    VlmMibInteger relayLstatus;             // 1
    VlmMibIpAddress relayLaddress;          // 2, index
    VlmMibInteger relayLport;               // 3, index
    VlmMibInteger relayLtype;               // 4
    VlmMibInteger relayLaccess;             // 5
    VlmMibOctetString relayLfwdAddress;     // 6
    VlmMibInteger relayLfwdPort;            // 7
    VlmMibInteger relayLactiveConn;         // 8
    VlmMibInteger relayLacceptedConn;       // 9
    VlmMibInteger relayLrejectedConn;       // 10
    VlmMibOctetString relayLowner;          // 11
    VlmMibOctetString relayLname;           // 12
    VlmMibOctetString relayLindex;          // 13
    VlmMibOctetString relayLdescription;    // 14
};

// One row of relayConnTable (type RelayConnEntry), indexed by relayClocalAddress, relayClocalPort, relayCremAddress, relayCremPort.
class NYSNMP_API RelayConnEntry : public NyMibTableEntry {
public:
    RelayConnEntry(char const* name, NyMibTable& table, int subId);

    VlmMibInteger relayCstatus;             // 1
    VlmMibIpAddress relayClocalAddress;     // 2, index
    VlmMibInteger relayClocalPort;          // 3, index
    VlmMibIpAddress relayCremAddress;       // 4, index
    VlmMibInteger relayCremPort;            // 5, index
    VlmMibOctetString relayClinkedWith;     // 6
    VlmMibTimeTicks relayCupTime;           // 7
    VlmMibTimeTicks relayCidleTime;         // 8
    VlmMibCounter relayCreceived;           // 9
    VlmMibCounter relayCsent;               // 10
    VlmMibOctetString relayCowner;          // 11
    VlmMibOctetString relayCindex;          // 12
};

// One row of relayPortRangeTable (type RelayPortRangeEntry), indexed by relayRlowPort, relayRhighPort.
class NYSNMP_API RelayPortRangeEntry : public NyMibTableEntry {
public:
    RelayPortRangeEntry(char const* name, NyMibTable& table, int subId);

    VlmMibInteger relayRstatus;             // 1
    VlmMibInteger relayRlowPort;            // 2, index
    VlmMibInteger relayRhighPort;           // 3, index
    VlmMibOctetString relayRname;           // 4
};

// One row of relayNatRangeTable (type RelayNatRangeEntry), indexed by relayNinternalIp.
class NYSNMP_API RelayNatRangeEntry : public NyMibTableEntry {
public:
    RelayNatRangeEntry(char const* name, NyMibTable& table, int subId);

    VlmMibInteger relayNstatus;             // 1
    VlmMibIpAddress relayNinternalIp;       // 2, index
    VlmMibIpAddress relayNexternalIp;       // 3
    VlmMibInteger relayNlength;             // 4
    VlmMibOctetString relayNname;           // 5
};
#endif // RELAYMIB_H
