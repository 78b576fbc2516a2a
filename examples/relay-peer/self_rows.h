// self_rows.h - the system table row and the service table row with which
// relay-peer describes itself.
#ifndef RELAY_PEER_SELF_ROWS_H
#define RELAY_PEER_SELF_ROWS_H

#include <cstdint>
#include <string>
#include <vector>

#include "vlmmib.h"

namespace relay {

struct SelfInfo {
    int32_t sysInstance = 1;   // vlmSysInstance: the product instance on this machine
    int32_t svcInstance = 1;   // vlmSvcInstance: this service's instance
    std::string name;          // vlmSvcName
    std::string owner;         // vlmSysOwnerName, vlmSvcAccount
    std::string version;       // vlmSysVersion
    int32_t pid = 0;           // vlmSvcPid
    std::string path;          // vlmSvcPath
    std::string params;        // vlmSvcParams
};

// vlmSvcOperState values.
constexpr int32_t kOperRunning = 2;
constexpr int32_t kOperStarting = 4;
constexpr int32_t kOperStopping = 5;

// Both rows, filled at construction; the caller holds the MIB mutex when it
// changes them later (SetOperState), as for any change of the tree.
class SelfRows {
public:
    SelfRows(VlmMibRoot& mib, const SelfInfo& info);

    void SetOperState(int32_t state) { svc.vlmSvcOperState.value() = state; }

    VlmSysTableEntry sys;
    VlmSvcTableEntry svc;
};

// The instance arcs of a service row: the name as a length-prefixed string
// index, then the service instance and the system instance.
std::vector<uint32_t> ServiceInstance(const std::string& name, int32_t svcInstance, int32_t sysInstance);

// What the process knows of itself.
std::string CurrentUserName();
std::string ExecutablePath();
// The arguments joined by blanks, with the value of every option named in
// `secret` replaced by "****": the row is readable by any manager.
std::string PublicParams(int argc, char** argv, const std::vector<std::string>& secret);

} // namespace relay

#endif
