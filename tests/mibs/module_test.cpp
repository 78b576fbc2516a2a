// The product MIB.  nymib-print writes the stored module byte for byte (so
// every name, identifier, syntax, access, INDEX clause and description of
// the tree is pinned there), net-snmp loads it and maps the names (demo.sh
// shows tables named from it); lookups run over a tree with rows in every table.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "relaymib.h"
#include "support/agent.h"

namespace {

const std::string kTool = std::string(NYSNMP_BINARY_DIR) + "/tools/nymib-print";
const std::string kData = NYSNMP_TEST_DATA_DIR;
const std::string kModule = kData + "/module/VELMORA-MIB";

TEST(NymibPrint, WritesTheStoredModule)
{
    if (::access(kTool.c_str(), X_OK) != 0)
        GTEST_SKIP() << "nymib-print not built";
    CommandResult r = RunCommand(kTool, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, ReadFile(kModule)) << "the product MIB changed: update " << kModule << " if that was meant";
    r = RunCommand(kTool, {"-m", "OTHER-MIB"});
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "OTHER-MIB DEFINITIONS ::= BEGIN");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-x"}, {"-o"}, {"-m", ""}})
        EXPECT_EQ(RunCommand(kTool, args).status, 2) << args[0];
    r = RunCommand(kTool, {"-o", "/dev/full"}); // a full disk is an error, not a short module
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
}

TEST(MibModule, NetSnmpLoadsItAndMapsTheNames)
{
    TempDir dir;
    // No configuration or caches outside the private directory; the cache
    // directories exist beforehand, so that no run reports making them.
    std::filesystem::create_directories(dir.File("cert_indexes"));
    std::filesystem::create_directories(dir.File("mib_indexes"));
    const std::vector<std::string> env = {"SNMPCONFPATH=" + dir.Path(), "SNMP_PERSISTENT_DIR=" + dir.Path(), "MIBDIRS="};
    auto translate = [&](const std::vector<std::string>& args) {
        std::vector<std::string> all{"-M", std::string(NYSNMP_SOURCE_DIR) + "/mibs:" + kData + "/module", "-m", "VELMORA-MIB"};
        all.insert(all.end(), args.begin(), args.end());
        return RunCommand("snmptranslate", all, 20000, env);
    };
    const std::pair<const char*, const char*> names[] = {
        {"vlmSvcPid", ".1.3.6.1.4.1.32473.1.1.3.1.1.4"},
        {"vlmTrapSvcUp", ".1.3.6.1.4.1.32473.1.1.2.0.2"}, // SMIv1: enterprise.0.specific
        {"relayCstatus", ".1.3.6.1.4.1.32473.1.1.3.2.14.3.1.1"},
        {"relayNinternalIp", ".1.3.6.1.4.1.32473.1.1.3.2.14.5.1.2"},
    };
    for (const auto& [name, oid] : names) {
        CommandResult r = translate({"-On", std::string("VELMORA-MIB::") + name});
        EXPECT_EQ(r.out + r.err, std::string(oid) + "\n") << name;
    }
    EXPECT_EQ(translate({".1.3.6.1.4.1.32473.1.1.3.2.14.3.1.10"}).out, "VELMORA-MIB::relayCsent\n");
    CommandResult r = translate({"-Td", "VELMORA-MIB::relayPstatus"});
    EXPECT_NE(r.out.find("{valid(1), invalid(2), connecting(3)}"), std::string::npos) << r.out << r.err;
}

std::vector<uint32_t> Arcs(const NyMibObject* node)
{
    const NYSMI_OID& oid = node->Oid().SmiOid();
    return std::vector<uint32_t>(oid.ptr, oid.ptr + oid.len);
}

void Collect(NyMibObject& node, std::vector<NyMibObject*>& out)
{
    out.push_back(&node);
    for (NyMibObject* child : node.Children())
        Collect(*child, out);
}

void Instance(NyMibTableEntry& row, std::initializer_list<uint32_t> arcs)
{
    std::vector<uint32_t> copy(arcs);
    NYSMI_OID record = {static_cast<uint32_t>(copy.size()), copy.data()};
    row.SetInstanceNumber(record);
}

// Every node found by its identifier, every readable leaf met once in order by a walk.
TEST(ProductMib, LookupsOverEveryTable)
{
    RelayMib mib;
    VlmSysTableEntry sys3{"vlmSysEntry", mib.vlmSysTable, 1}, sys1{"vlmSysEntry", mib.vlmSysTable, 1};
    VlmSvcTableEntry svcB{"vlmSvcEntry", mib.vlmSvcTable, 1}, svcA{"vlmSvcEntry", mib.vlmSvcTable, 1};
    RelayPeerEntry peer9{"relayPeerEntry", mib.relayPeerTable, 1}, peer5{"relayPeerEntry", mib.relayPeerTable, 1};
    RelayListenerEntry listener{"relayListenerEntry", mib.relayListenerTable, 1};
    RelayConnEntry conn2{"relayConnEntry", mib.relayConnTable, 1}, conn1{"relayConnEntry", mib.relayConnTable, 1};
    RelayPortRangeEntry range{"relayPortRangeEntry", mib.relayPortRangeTable, 1};
    RelayNatRangeEntry nat{"relayNatRangeEntry", mib.relayNatRangeTable, 1};
    sys3.SetInstanceNumber(3);
    sys1.SetInstanceNumber(1);
    Instance(svcB, {2, 'b', 'b', 1, 1});
    Instance(svcA, {2, 'a', 'a', 4, 1});
    peer9.SetInstanceNumber(9);
    peer5.SetInstanceNumber(5);
    Instance(listener, {127, 0, 0, 1, 7000});
    Instance(conn2, {127, 0, 0, 1, 7001, 10, 0, 0, 2, 443});
    Instance(conn1, {127, 0, 0, 1, 7000, 10, 0, 0, 2, 80});
    Instance(range, {5000, 5100});
    Instance(nat, {10, 0, 0, 1});

    std::vector<NyMibObject*> nodes, leaves, walked;
    Collect(mib, nodes);
    for (NyMibObject* node : nodes) {
        if (node != &mib && node->Syntax() != 293) { // a row's identifier finds the first row
            NySnmpOid target(node->Oid());
            EXPECT_EQ(mib.Find(target), node) << node->OidText();
        }
        if ((node->Syntax() & 0x20) == 0 && (node->Access() == 1 || node->Access() == 2))
            leaves.push_back(node);
    }
    std::sort(leaves.begin(), leaves.end(), [](NyMibObject* a, NyMibObject* b) { return Arcs(a) < Arcs(b); });
    ASSERT_EQ(leaves.size(), 30u + 2 * 4 + 2 * 12 + 2 * 5 + 14 + 2 * 12 + 4 + 5);
    NySnmpOid target("1.3.6.1.4.1.32473");
    for (NyMibObject* next = mib.FindNext(target); next && walked.size() <= leaves.size(); next = mib.FindNext(target)) {
        walked.push_back(next);
        target = next->Oid();
    }
    EXPECT_EQ(walked, leaves);

}

} // namespace
