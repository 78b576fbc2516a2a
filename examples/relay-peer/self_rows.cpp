// The rows with which relay-peer describes itself.
#include "self_rows.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>

#include "relay_rows.h"

namespace relay {
namespace {

// The rows mirror the process; a manager cannot change them through a Set.
void RefuseSets(NyMibTableEntry& entry)
{
    for (NyMibObject* column : entry.Children()) {
        if (column->Access() == 2 || column->Access() == 3)
            column->SetUserEvents(kEventBeforeSet, 0, nullptr);
    }
}

} // namespace

std::vector<uint32_t> ServiceInstance(const std::string& name, int32_t svcInstance, int32_t sysInstance)
{
    std::vector<uint32_t> arcs;
    arcs.push_back(static_cast<uint32_t>(name.size()));
    for (unsigned char c : name)
        arcs.push_back(c);
    arcs.push_back(static_cast<uint32_t>(svcInstance));
    arcs.push_back(static_cast<uint32_t>(sysInstance));
    return arcs;
}

SelfRows::SelfRows(VlmMibRoot& mib, const SelfInfo& info)
    : sys("vlmSysEntry", mib.vlmSysTable, 1), svc("vlmSvcEntry", mib.vlmSvcTable, 1)
{
    sys.vlmSysInstance.value() = info.sysInstance;
    sys.vlmSysOwnerName.value() = info.owner;
    sys.vlmSysValidEntry.value() = 2;  // valid
    sys.vlmSysVersion.value() = info.version;
    sys.SetInstanceNumber(info.sysInstance);
    RefuseSets(sys);

    svc.vlmSvcName.value() = info.name;
    svc.vlmSvcInstance.value() = info.svcInstance;
    svc.vlmSysInstanceIdx.value() = info.sysInstance;
    svc.vlmSvcPid.value() = info.pid;
    svc.vlmSvcValidEntry.value() = 2;      // valid
    svc.vlmSvcOperState.value() = kOperStarting;
    svc.vlmSvcStartupMode.value() = 2;     // manual: started by hand or by a script
    svc.vlmSvcControl.value() = 2;         // start
    svc.vlmSvcRestartCount.value() = 0;
    svc.vlmSvcAccount.value() = info.owner;
    svc.vlmSvcPath.value() = info.path;
    svc.vlmSvcParams.value() = info.params;
    std::vector<uint32_t> arcs = ServiceInstance(info.name, info.svcInstance, info.sysInstance);
    NYSMI_OID instance{static_cast<uint32_t>(arcs.size()), arcs.data()};
    svc.SetInstanceNumber(instance);
    RefuseSets(svc);
}

std::string CurrentUserName()
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    const uid_t uid = getuid();
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return std::to_string(uid);
}

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return std::string();
    return std::string(buffer, static_cast<size_t>(length));
}

std::string PublicParams(int argc, char** argv, const std::vector<std::string>& secret)
{
    std::string text;
    bool hideNext = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (hideNext) {
            arg = "****";
            hideNext = false;
        } else {
            for (const std::string& option : secret) {
                if (arg == option)
                    hideNext = true;
                else if (arg.compare(0, option.size() + 1, option + "=") == 0)
                    arg = option + "=****";
                else if (option.size() == 2 && option[1] != '-' && arg.size() > 2 &&
                         arg.compare(0, 2, option) == 0)
                    arg = option + "****";  // -wVALUE
            }
        }
        if (!text.empty())
            text += ' ';
        text += arg;
    }
    return text;
}

} // namespace relay
