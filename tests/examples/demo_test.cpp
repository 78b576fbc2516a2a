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
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const size_t second = r.out.find("part 2: relay-peer as an AgentX subagent");
    ASSERT_NE(second, std::string::npos) << r.out;
    // snmptable, with the columns named from the module nymib-print wrote; the
    // traps, named from the module, with their text.
    const std::string listeners = "SNMP table: VELMORA-MIB::relayListenerTable", traps = "traps received by snmptrapd";
    const std::pair<std::string, std::string> shows[] = {
        {listeners, "status"}, {listeners, " listening "}, {listeners, "127.0.0.1"},
        {"SNMP table: VELMORA-MIB::relayConnTable", " connected "},
        {"SNMP table: VELMORA-MIB::vlmSvcTable", "relay-peer"},
        {traps, "vlmTrapSvcUp     \"relay-peer started\""}, {traps, "vlmTrapSvcDown   \"relay-peer stopped\""},
    };
    for (const std::string& part : {r.out.substr(0, second), r.out.substr(second)})
        for (const auto& [title, text] : shows)
            EXPECT_NE(Section(part, title).find(text), std::string::npos) << title << " lacks " << text << "\n" << part;
}

} // namespace
