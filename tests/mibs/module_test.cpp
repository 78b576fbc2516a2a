// The product MIB.  nymib-print writes the stored module byte for byte (so
// every name, identifier, syntax, access, INDEX clause and description of
// the tree is pinned there; that net-snmp names every object of it is checked
// by scripts/install-check.sh, and demo.sh shows tables named from it);
// lookups run over a tree with rows in every table.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mib/tree.h"
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
    r = RunCommand(kTool, {"-o", "/dev/full"}); // a full disk is an error, not a short module
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
}

void Collect(NyMibObject& node, std::vector<NyMibObject*>& out)
{
    out.push_back(&node);
    for (NyMibObject* child : node.Children())
        Collect(*child, out);
}

void Instance(NyMibTableEntry& row, Arcs arcs) { row.SetInstanceNumber(arcs.record); }

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

    std::vector<NyMibObject*> nodes;
    Collect(mib, nodes);
    for (NyMibObject* node : nodes)
        if (node != &mib && node->Syntax() != 293) { // a row's identifier finds the first row
            NySnmpOid target(node->Oid());
            EXPECT_EQ(mib.Find(target), node) << node->OidText();
        }
    const std::vector<NyMibObject*> leaves = ReadableLeaves(mib);
    ASSERT_EQ(leaves.size(), 30u + 2 * 4 + 2 * 12 + 2 * 5 + 14 + 2 * 12 + 4 + 5);
    EXPECT_EQ(Walk(mib, NySnmpOid("1.3.6.1.4.1.32473"), leaves.size()), leaves);
}

} // namespace
