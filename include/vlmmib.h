// vlmmib.h - the enterprise root and the Velmora product MIB.
//
// Constructing a VlmMibRoot builds the whole product subtree in memory:
//
//   enterprises            1.3.6.1.4.1
//     nyvora               .32473
//       software           .32473.1
//         velmora          .32473.1.1
//           vlmSysTable    .32473.1.1.1   (rows: VlmSysTableEntry)
//           vlmSysTraps    .32473.1.1.2   (vlmTrapSvcDown 1, vlmTrapSvcUp 2, vlmTrapAppError 3)
//           vlmInstance    .32473.1.1.3
//             vlmSvcTable  .32473.1.1.3.1 (rows: VlmSvcTableEntry)
//             vlmApps      .32473.1.1.3.2 (one node per application, 1 to 16)
//
// The host program creates one row object per table row under the table,
// gives it its instance with SetInstanceNumber and keeps the column values
// current through the public members (value()), holding the session's MIB
// mutex while it does so.  Rows enter their table's list, so they must be
// destroyed before the tree that holds the table.
#ifndef VLMMIB_H
#define VLMMIB_H

#include <cstdint>
#include <string>

#include "nyexport.h"
#include "nymib.h"
#include "nysnmp.h"

// The column types of the product tables.
typedef nymibvar<int32_t, 1, 2> VlmMibInteger;
typedef nymibvar<std::string, 4, 4> VlmMibOctetString;
typedef nymibvar<std::string, 4, 64> VlmMibIpAddress;
typedef nymibvar<uint32_t, 2, 65> VlmMibCounter;
typedef nymibvar<uint32_t, 2, 67> VlmMibTimeTicks;

// The tree root (base OID text 1.3.6.1.4.1) with the enterprise branch.
class NYSNMP_API NyvoraMibRoot : public NyMibObject {
public:
    NyvoraMibRoot();

    NyMibObject enterprises;  // 1.3.6.1.4.1, listed by the root without a parent
    NyMibObject nyvora;       // enterprises 32473
    NyMibObject software;     // nyvora 1
};

// A product trap with its ten variables, set by the host program before it
// sends the trap.
class NYSNMP_API VlmSysTrap : public NyMibTrap {
public:
    VlmSysTrap(char const* name, NyMibObject& parent, int subId, char const* description,
               NyMibIntValues* intValues, char const* typeName);

    VlmMibOctetString vlmTrapAppName;      // 1
    VlmMibInteger vlmTrapAppInstance;      // 2
    VlmMibInteger vlmTrapSysInstanceIdx;   // 3
    VlmMibInteger vlmTrapThreadId;         // 4
    VlmMibInteger vlmTrapMsgId;            // 5
    VlmMibInteger vlmTrapFacilityId;       // 7
    VlmMibInteger vlmTrapErrorCode;        // 8
    VlmMibOctetString vlmTrapFacilityName; // 6
    VlmMibOctetString vlmTrapErrorText;    // 9
    VlmMibInteger vlmTrapSnmpPort;         // 10
};

class NYSNMP_API VlmMibRoot : public NyvoraMibRoot {
public:
    VlmMibRoot();

    NyMibObject velmora;       // software 1
    NyMibTable vlmSysTable;    // velmora 1
    NyMibObject vlmInstance;   // velmora 3
    NyMibObject vlmSysTraps;   // velmora 2
    NyMibTable vlmSvcTable;    // vlmInstance 1
    NyMibObject vlmApps;       // vlmInstance 2
    NyMibObject vlmAppFront;       // vlmApps 1
    NyMibObject vlmAppDispatch;    // 2
    NyMibObject vlmAppDivider;     // 3
    NyMibObject vlmAppOutbound;    // 4
    NyMibObject vlmAppRetry;       // 5
    NyMibObject vlmAppInbound;     // 6
    NyMibObject vlmAppVault;       // 7
    NyMibObject vlmAppRestore;     // 8
    NyMibObject vlmAppProbe;       // 9
    NyMibObject vlmAppSubagent;    // 10
    NyMibObject vlmAppSupervisor;  // 11
    NyMibObject vlmAppSorter;      // 12
    NyMibObject vlmAppCore;        // 13
    NyMibObject vlmAppBridge;      // 14, parent of the relay tables
    NyMibObject vlmAppHost;        // 15
    NyMibObject vlmAppShell;       // 16
    VlmSysTrap vlmTrapSvcDown;     // vlmSysTraps 1
    VlmSysTrap vlmTrapSvcUp;       // vlmSysTraps 2
    VlmSysTrap vlmTrapAppError;    // vlmSysTraps 3
};

// One row of vlmSysTable (type VLMSysEntry), indexed by vlmSysInstance.
class NYSNMP_API VlmSysTableEntry : public NyMibTableEntry {
public:
    VlmSysTableEntry(char const* name, NyMibTable& table, int subId);

    VlmMibInteger vlmSysInstance;        // 1, index
    VlmMibOctetString vlmSysOwnerName;   // 3
    VlmMibInteger vlmSysValidEntry;      // 2, invalid(1) valid(2)
    VlmMibOctetString vlmSysVersion;     // 4
};

// One row of vlmSvcTable (type VLMSvcEntry), indexed by vlmSvcName,
// vlmSvcInstance and vlmSysInstanceIdx.
class NYSNMP_API VlmSvcTableEntry : public NyMibTableEntry {
public:
    VlmSvcTableEntry(char const* name, NyMibTable& table, int subId);

    VlmMibOctetString vlmSvcName;        // 1, index
    VlmMibInteger vlmSvcInstance;        // 2, index
    VlmMibInteger vlmSysInstanceIdx;     // 3, index
    VlmMibInteger vlmSvcPid;             // 4
    VlmMibInteger vlmSvcValidEntry;      // 5, invalid(1) valid(2)
    VlmMibInteger vlmSvcOperState;       // 6, inactive(1) .. resuming(7)
    VlmMibInteger vlmSvcStartupMode;     // 7, disabled(1) manual(2) automatic(3)
    VlmMibInteger vlmSvcControl;         // 8, stop(1) start(2)
    VlmMibInteger vlmSvcRestartCount;    // 9
    VlmMibOctetString vlmSvcAccount;     // 10
    VlmMibOctetString vlmSvcPath;        // 11
    VlmMibOctetString vlmSvcParams;      // 12
};

#endif // VLMMIB_H
