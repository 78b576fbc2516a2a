// The enterprise root and the Velmora product MIB.
#include "vlmmib.h"

#include "mibs/build.h"

using namespace nymibs;

namespace {

// vlmSysValidEntry and vlmSvcValidEntry share one label table.
const NyMibIntValues kValidEntryValues[] = {{"invalid", 1}, {"valid", 2}, {nullptr, 0}};
const NyMibIntValues kVlmSvcOperStateValues[] = {
    {"inactive", 1}, {"running", 2},    {"paused", 3},   {"starting", 4},
    {"stopping", 5}, {"suspending", 6}, {"resuming", 7}, {nullptr, 0}};
const NyMibIntValues kVlmSvcStartupModeValues[] = {
    {"disabled", 1}, {"manual", 2}, {"automatic", 3}, {nullptr, 0}};
// The description also speaks of suspend and resume; the object only ever
// took stop and start.
const NyMibIntValues kVlmSvcControlValues[] = {{"stop", 1}, {"start", 2}, {nullptr, 0}};

} // namespace

NyvoraMibRoot::NyvoraMibRoot()
    : NyMibObject("1.3.6.1.4.1"),
      enterprises("enterprises", BaseOidText(), &Children(), kRegistration,
                  kNotAccessible, nullptr, nullptr, nullptr),
      nyvora("nyvora", enterprises, 32473, kRegistration, kNotAccessible, nullptr, nullptr,
             nullptr),
      software("software", nyvora, 1, kRegistration, kNotAccessible, nullptr, nullptr,
               nullptr) {
    UpdateChildren();
}

VlmSysTrap::VlmSysTrap(char const* name, NyMibObject& parent, int subId,
                       char const* description, NyMibIntValues* intValues,
                       char const* typeName)
    : NyMibTrap(name, parent, subId, description, intValues, typeName),
      vlmTrapAppName("vlmTrapAppName", *this, 1, kReadOnly,
          "The name of the application.",
          nullptr, nullptr),
      vlmTrapAppInstance("vlmTrapAppInstance", *this, 2, kReadOnly,
          "The unique identifier of the instance of application to which this row"
          " corresponds.",
          nullptr, nullptr),
      vlmTrapSysInstanceIdx("vlmTrapSysInstanceIdx", *this, 3, kReadOnly,
          "The unique identifier of the instance of Velmora to which this "
          "application instance belongs.",
          nullptr, nullptr),
      vlmTrapThreadId("vlmTrapThreadId", *this, 4, kReadOnly,
          "The 32-bit hexadecimal unique error message ID.",
          nullptr, nullptr),
      vlmTrapMsgId("vlmTrapMsgId", *this, 5, kReadOnly,
          "The 32-bit hexadecimal unique error message ID.",
          nullptr, nullptr),
      vlmTrapFacilityId("vlmTrapFacilityId", *this, 7, kReadOnly,
          "The ID of facility that detected an error condition.",
          nullptr, nullptr),
      vlmTrapErrorCode("vlmTrapErrorCode", *this, 8, kReadOnly,
          "The error code unique within the facility.",
          nullptr, nullptr),
      vlmTrapFacilityName("vlmTrapFacilityName", *this, 6, kReadOnly,
          "The name of facility that detected an error condition.",
          nullptr, nullptr),
      vlmTrapErrorText("vlmTrapErrorText", *this, 9, kReadOnly,
          "The full text of the error message.",
          nullptr, nullptr),
      vlmTrapSnmpPort("vlmTrapSnmpPort", *this, 10, kReadOnly,
          "The SNMP port of Velmora.",
          nullptr, nullptr) {}

#define VLM_NODE(member, parent, subId)                                                       \
    member(#member, parent, subId, kRegistration, kNotAccessible, nullptr, nullptr, nullptr)

VlmMibRoot::VlmMibRoot()
    : NyvoraMibRoot(),
      VLM_NODE(velmora, software, 1),
      vlmSysTable("vlmSysTable", velmora, 1, "The Velmora System table - basic information.",
                  nullptr, "VLMSysEntry"),
      VLM_NODE(vlmInstance, velmora, 3),
      VLM_NODE(vlmSysTraps, velmora, 2),
      vlmSvcTable("vlmSvcTable", vlmInstance, 1,
                  "The Velmora Service table - basic information.", nullptr, "VLMSvcEntry"),
      VLM_NODE(vlmApps, vlmInstance, 2),
      VLM_NODE(vlmAppFront, vlmApps, 1),
      VLM_NODE(vlmAppDispatch, vlmApps, 2),
      VLM_NODE(vlmAppDivider, vlmApps, 3),
      VLM_NODE(vlmAppOutbound, vlmApps, 4),
      VLM_NODE(vlmAppRetry, vlmApps, 5),
      VLM_NODE(vlmAppInbound, vlmApps, 6),
      VLM_NODE(vlmAppVault, vlmApps, 7),
      VLM_NODE(vlmAppRestore, vlmApps, 8),
      VLM_NODE(vlmAppProbe, vlmApps, 9),
      VLM_NODE(vlmAppSubagent, vlmApps, 10),
      VLM_NODE(vlmAppSupervisor, vlmApps, 11),
      VLM_NODE(vlmAppSorter, vlmApps, 12),
      VLM_NODE(vlmAppCore, vlmApps, 13),
      VLM_NODE(vlmAppBridge, vlmApps, 14),
      VLM_NODE(vlmAppHost, vlmApps, 15),
      VLM_NODE(vlmAppShell, vlmApps, 16),
      vlmTrapSvcDown("vlmTrapSvcDown", vlmSysTraps, 1,
                     "This trap indicates that the specified service has stopped.", nullptr,
                     nullptr),
      vlmTrapSvcUp("vlmTrapSvcUp", vlmSysTraps, 2,
                   "This trap indicates that the specified service has started.", nullptr,
                   nullptr),
      vlmTrapAppError("vlmTrapAppError", vlmSysTraps, 3,
                      "This trap contains information about an exception detected by the "
                      "specified application.",
                      nullptr, nullptr) {
    UpdateChildren();
}

#undef VLM_NODE

VlmSysTableEntry::VlmSysTableEntry(char const* name, NyMibTable& table, int subId)
    : NyMibTableEntry(name, table, subId,
                      "Each entry corresponds to one instance of Velmora running on the system.",
                      nullptr, "VLMSysEntry"),
      vlmSysInstance("vlmSysInstance", *this, 1, kReadOnly,
          "The unique identifier of the instance of Velmora to which this row "
          "corresponds.",
          nullptr, nullptr),
      vlmSysOwnerName("vlmSysOwnerName", *this, 3, kReadOnly,
          "The name of the user who started this instance of Velmora.",
          nullptr, nullptr),
      vlmSysValidEntry("vlmSysValidEntry", *this, 2, kReadWrite,
          "Setting this value to invalid indicates that this entry is not valid.",
          Labels(kValidEntryValues), nullptr),
      vlmSysVersion("vlmSysVersion", *this, 4, kReadOnly,
          "The version of this instance of Velmora.",
          nullptr, nullptr) {
    vlmSysInstance.UseAsIndex(true);
    table.UpdateChildren();
}

VlmSvcTableEntry::VlmSvcTableEntry(char const* name, NyMibTable& table, int subId)
    : NyMibTableEntry(name, table, subId, "Each entry corresponds to one application of Velmora.",
                      nullptr, "VLMSvcEntry"),
      vlmSvcName("vlmSvcName", *this, 1, kReadOnly,
          "The name of the application.",
          nullptr, nullptr),
      vlmSvcInstance("vlmSvcInstance", *this, 2, kReadOnly,
          "The unique identifier of the instance of application to which this row"
          " corresponds.",
          nullptr, nullptr),
      vlmSysInstanceIdx("vlmSysInstanceIdx", *this, 3, kReadOnly,
          "The unique identifier of the instance of Velmora to which this "
          "application instance belongs.",
          nullptr, nullptr),
      vlmSvcPid("vlmSvcPid", *this, 4, kReadOnly,
          "The process ID of the instance of application. This value is valid "
          "only when the application is running",
          nullptr, nullptr),
      vlmSvcValidEntry("vlmSvcValidEntry", *this, 5, kReadOnly,
          "Setting this value to invalid indicates that this entry is not valid.",
          Labels(kValidEntryValues), nullptr),
      vlmSvcOperState("vlmSvcOperState", *this, 6, kReadOnly,
          "The operational state of the application",
          Labels(kVlmSvcOperStateValues), nullptr),
      vlmSvcStartupMode("vlmSvcStartupMode", *this, 7, kReadWrite,
          "The startup mode of the application",
          Labels(kVlmSvcStartupModeValues), nullptr),
      vlmSvcControl("vlmSvcControl", *this, 8, kReadWrite,
          "Setting this value to start will start this instance of application. "
          "Setting this value to stop will stop this instance of application. "
          "Setting this value to susppend will suspend this instance of "
          "application until this value changes to resume.",
          Labels(kVlmSvcControlValues), nullptr),
      vlmSvcRestartCount("vlmSvcRestartCount", *this, 9, kReadOnly,
          "The counter of restart attemtps for services with automatic startup "
          "mode",
          nullptr, nullptr),
      vlmSvcAccount("vlmSvcAccount", *this, 10, kReadOnly,
          "The log on account name used by this service.",
          nullptr, nullptr),
      vlmSvcPath("vlmSvcPath", *this, 11, kReadOnly,
          "The path to executable.",
          nullptr, nullptr),
      vlmSvcParams("vlmSvcParams", *this, 12, kReadWrite,
          "The startup parameters.",
          nullptr, nullptr) {
    vlmSvcName.UseAsIndex(true);
    vlmSvcInstance.UseAsIndex(true);
    vlmSysInstanceIdx.UseAsIndex(true);
    table.UpdateChildren();
}
