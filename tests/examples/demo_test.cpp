// scripts/demo.sh, run briefly on the binaries of this build: it must show
// rows of the relay tables and the traps of relay-peer, over SMUX and over
// AgentX.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/agent.h"

namespace {

// The output of one snmptable run: from its title up to the next table or
// the next heading of the demo.
std::string Section(const std::string& text, const std::string& title)
{
    const size_t start = text.find(title);
    if (start == std::string::npos)
        return std::string();
    const size_t end = std::min(text.find("SNMP table", start + 1), text.find("== ", start));
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST(Demo, ShowsTheRelayTablesAndTheTraps)
{
    const std::string binaries = NYSNMP_BINARY_DIR;
    for (const std::string& tool : std::vector<std::string>{"/usr/sbin/snmpd", "/usr/sbin/snmptrapd", "/usr/bin/snmptable",
                                    "/usr/bin/snmpset", "/usr/bin/snmpwalk", "/usr/bin/snmpget",
                                    binaries + "/examples/relay-peer", binaries + "/tools/nymib-print"})
        if (::access(tool.c_str(), X_OK) != 0)
            GTEST_SKIP() << tool << " not installed (packages snmpd, snmp, snmptrapd) or not built";

    CommandResult r = RunCommand("/bin/bash", {std::string(NYSNMP_SOURCE_DIR) + "/scripts/demo.sh", "--seconds", "3"},
                                 240000, {"DEMO_BUILD_DIR=" + binaries, "DEMO_NO_BUILD=1"});
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const size_t second = r.out.find("part 2: relay-peer as an AgentX subagent");
    ASSERT_NE(second, std::string::npos) << r.out;
    for (const std::string& part : {r.out.substr(0, second), r.out.substr(second)}) {
        // snmptable, with the columns named from the module nymib-print wrote.
        const std::string listeners = Section(part, "SNMP table: VELMORA-MIB::relayListenerTable");
        ASSERT_FALSE(listeners.empty()) << part;
        EXPECT_NE(listeners.find("status"), std::string::npos) << listeners;
        EXPECT_NE(listeners.find(" listening "), std::string::npos) << listeners;
        EXPECT_NE(listeners.find("127.0.0.1"), std::string::npos) << listeners;
        const std::string conns = Section(part, "SNMP table: VELMORA-MIB::relayConnTable");
        EXPECT_NE(conns.find(" connected "), std::string::npos) << conns;
        const std::string services = Section(part, "SNMP table: VELMORA-MIB::vlmSvcTable");
        EXPECT_NE(services.find("relay-peer"), std::string::npos) << services;

        // The traps, named from the module, with their text.
        const std::string traps = Section(part, "traps received by snmptrapd");
        EXPECT_NE(traps.find("vlmTrapSvcUp     \"relay-peer started\""), std::string::npos) << traps;
        EXPECT_NE(traps.find("vlmTrapSvcDown   \"relay-peer stopped\""), std::string::npos) << traps;
    }
}

} // namespace
