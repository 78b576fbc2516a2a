// The product MIB and the relay MIB: shape of the tree, identifiers of rows
// and columns, and lookups over a tree with rows in every table.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "relaymib.h"
#include "vlmmib.h"

namespace {

std::vector<uint32_t> Arcs(const NyMibObject* node) {
    const NYSMI_OID& oid = node->Oid().SmiOid();
    return std::vector<uint32_t>(oid.ptr, oid.ptr + oid.len);
}

std::vector<std::string> Names(const std::vector<NyMibObject*>& list) {
    std::vector<std::string> names;
    for (const NyMibObject* node : list)
        names.push_back(node->Name());
    return names;
}

std::vector<std::string> IndexNames(NyMibObject& row) {
    std::vector<std::string> names;
    for (NyMibObject* column : row.Children()) {
        if (column->IsAnIndex())
            names.push_back(column->Name());
    }
    return names;
}

std::vector<int32_t> SubIds(const std::vector<NyMibObject*>& list) {
    std::vector<int32_t> ids;
    for (const NyMibObject* node : list)
        ids.push_back(node->SubId());
    return ids;
}

std::vector<int32_t> OneTo(int32_t n) {
    std::vector<int32_t> ids;
    for (int32_t i = 1; i <= n; ++i)
        ids.push_back(i);
    return ids;
}

// Every node of a subtree in pre-order.
void Collect(NyMibObject& node, std::vector<NyMibObject*>& out) {
    out.push_back(&node);
    for (NyMibObject* child : node.Children())
        Collect(*child, out);
}

std::string SyntaxWithLabels(NyMibObject& node) {
    char* data = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&data, &size);
    EXPECT_EQ(node.PrintSyntaxName(stream, true), 0);
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

TEST(ProductMib, EnterpriseBranch) {
    NyvoraMibRoot root;
    EXPECT_STREQ(root.Name(), "root");
    EXPECT_STREQ(root.BaseOidText(), "1.3.6.1.4.1");
    ASSERT_EQ(root.Children(), std::vector<NyMibObject*>{&root.enterprises});
    EXPECT_EQ(root.enterprises.Parent(), nullptr);
    EXPECT_STREQ(root.enterprises.OidText(), "1.3.6.1.4.1");
    EXPECT_STREQ(root.nyvora.OidText(), "1.3.6.1.4.1.32473");
    EXPECT_EQ(Arcs(&root.software), (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 32473, 1}));
}

TEST(ProductMib, BranchesComeInSubIdOrder) {
    VlmMibRoot mib;
    // vlmInstance (3) is built before vlmSysTraps (2)
    EXPECT_EQ(Names(mib.velmora.Children()),
              (std::vector<std::string>{"vlmSysTable", "vlmSysTraps", "vlmInstance"}));
    EXPECT_EQ(SubIds(mib.velmora.Children()), OneTo(3));
    EXPECT_EQ(Names(mib.vlmApps.Children()),
              (std::vector<std::string>{
                  "vlmAppFront", "vlmAppDispatch", "vlmAppDivider", "vlmAppOutbound",
                  "vlmAppRetry", "vlmAppInbound", "vlmAppVault", "vlmAppRestore", "vlmAppProbe",
                  "vlmAppSubagent", "vlmAppSupervisor", "vlmAppSorter", "vlmAppCore",
                  "vlmAppBridge", "vlmAppHost", "vlmAppShell"}));
    EXPECT_EQ(SubIds(mib.vlmApps.Children()), OneTo(16));
    EXPECT_TRUE(mib.vlmAppBridge.Children().empty());
    EXPECT_STREQ(mib.vlmSvcTable.OidText(), "1.3.6.1.4.1.32473.1.1.3.1");

    NySnmpOid core("1.3.6.1.4.1.32473.1.1.3.2.13");
    EXPECT_EQ(mib.Find(core), &mib.vlmAppCore);
}

TEST(ProductMib, TrapsCarryTenVariablesInSubIdOrder) {
    VlmMibRoot mib;
    EXPECT_EQ(mib.vlmSysTraps.Children(),
              (std::vector<NyMibObject*>{&mib.vlmTrapSvcDown, &mib.vlmTrapSvcUp,
                                         &mib.vlmTrapAppError}));
    for (VlmSysTrap* trap : {&mib.vlmTrapSvcDown, &mib.vlmTrapSvcUp, &mib.vlmTrapAppError}) {
        EXPECT_EQ(trap->Syntax(), 290u);
        ASSERT_EQ(SubIds(trap->Children()), OneTo(10)) << trap->Name();
        // declared out of order: FacilityId and ErrorCode before FacilityName
        EXPECT_EQ(trap->Children()[5], &trap->vlmTrapFacilityName);
        std::vector<uint32_t> prefix = Arcs(trap);
        for (NyMibObject* variable : trap->Children()) {
            std::vector<uint32_t> expected = prefix;
            expected.push_back(static_cast<uint32_t>(variable->SubId()));
            EXPECT_EQ(Arcs(variable), expected) << variable->Name();
            EXPECT_EQ(variable->Access(), 1);
        }
    }
    EXPECT_STREQ(mib.vlmTrapAppError.OidText(), "1.3.6.1.4.1.32473.1.1.2.3");
}

TEST(ProductMib, RowsGiveTheirColumnsTheInstance) {
    VlmMibRoot mib;
    VlmSvcTableEntry svc("vlmSvcEntry", mib.vlmSvcTable, 1);
    svc.SetInstanceNumber(7);
    EXPECT_STREQ(svc.vlmSvcPid.OidText(), "1.3.6.1.4.1.32473.1.1.3.1.1.4.7");
    EXPECT_EQ(Arcs(&svc.vlmSvcPid),
              (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 32473, 1, 1, 3, 1, 1, 4, 7}));
    EXPECT_EQ(IndexNames(svc),
              (std::vector<std::string>{"vlmSvcName", "vlmSvcInstance", "vlmSysInstanceIdx"}));
    EXPECT_EQ(SubIds(svc.Children()), OneTo(12));

    VlmSysTableEntry sys("vlmSysEntry", mib.vlmSysTable, 1);
    EXPECT_STREQ(sys.vlmSysVersion.OidText(), "1.3.6.1.4.1.32473.1.1.1.1.4.0");
    EXPECT_EQ(IndexNames(sys), std::vector<std::string>{"vlmSysInstance"});
    EXPECT_EQ(SubIds(sys.Children()), OneTo(4));
    EXPECT_EQ(sys.Children()[1], &sys.vlmSysValidEntry);

    // the same labels, but only the system row may be written
    EXPECT_EQ(sys.vlmSysValidEntry.IntValues(), svc.vlmSvcValidEntry.IntValues());
    EXPECT_EQ(sys.vlmSysValidEntry.Access(), 2);
    EXPECT_EQ(svc.vlmSvcValidEntry.Access(), 1);
    const std::string pad(33, ' '), close = std::string(32, ' ') + "}";
    EXPECT_EQ(SyntaxWithLabels(svc.vlmSvcControl),
              "INTEGER{\n" + pad + "stop(1),\n" + pad + "start(2)\n" + close);
}

TEST(RelayMib, BridgeHoldsTheFiveTablesAndNothingElseChanges) {
    RelayMib relay;
    EXPECT_EQ(relay.vlmAppBridge.Children(),
              (std::vector<NyMibObject*>{&relay.relayPeerTable, &relay.relayListenerTable,
                                         &relay.relayConnTable, &relay.relayPortRangeTable,
                                         &relay.relayNatRangeTable}));
    EXPECT_STREQ(relay.relayNatRangeTable.OidText(), "1.3.6.1.4.1.32473.1.1.3.2.14.5");
    for (NyMibObject* table : relay.vlmAppBridge.Children())
        EXPECT_EQ(table->Syntax(), 292u) << table->Name();

    std::vector<NyMibObject*> plain, withRelay;
    VlmMibRoot product;
    Collect(product, plain);
    Collect(relay, withRelay);
    std::vector<std::pair<std::string, std::string>> a, b;
    for (NyMibObject* node : plain)
        a.emplace_back(node->Name(), node->OidText());
    for (NyMibObject* node : withRelay) {
        if (std::string(node->OidText()).rfind("1.3.6.1.4.1.32473.1.1.3.2.14.", 0) != 0)
            b.emplace_back(node->Name(), node->OidText());
    }
    EXPECT_EQ(a, b);
}

TEST(RelayMib, RowShapes) {
    RelayMib mib;
    RelayPeerEntry peer("relayPeerEntry", mib.relayPeerTable, 1);
    RelayListenerEntry listener("relayListenerEntry", mib.relayListenerTable, 1);
    RelayConnEntry conn("relayConnEntry", mib.relayConnTable, 1);
    RelayPortRangeEntry range("relayPortRangeEntry", mib.relayPortRangeTable, 1);
    RelayNatRangeEntry nat("relayNatRangeEntry", mib.relayNatRangeTable, 1);

    const struct {
        NyMibTableEntry* row;
        const char* type;
        int columns;
        std::vector<std::string> index;
        std::vector<uint32_t> indexSyntax;
    } rows[] = {
        {&peer, "RelayPeerEntry", 5, {"relayPindex"}, {4}},
        {&listener, "RelayListenerEntry", 14, {"relayLaddress", "relayLport"}, {64, 2}},
        {&conn, "RelayConnEntry", 12,
         {"relayClocalAddress", "relayClocalPort", "relayCremAddress", "relayCremPort"},
         {64, 2, 64, 2}},
        {&range, "RelayPortRangeEntry", 4, {"relayRlowPort", "relayRhighPort"}, {2, 2}},
        {&nat, "RelayNatRangeEntry", 5, {"relayNinternalIp"}, {64}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.row->Syntax(), 293u);
        EXPECT_STREQ(r.row->EntryTypeName(), r.type);
        EXPECT_EQ(SubIds(r.row->Children()), OneTo(r.columns)) << r.type;
        EXPECT_EQ(IndexNames(*r.row), r.index) << r.type;
        std::vector<uint32_t> syntaxes;
        for (NyMibObject* column : r.row->Children()) {
            if (column->IsAnIndex())
                syntaxes.push_back(column->Syntax());
        }
        EXPECT_EQ(syntaxes, r.indexSyntax) << r.type;
    }

    const struct {
        NyMibObject* column;
        uint32_t syntax;
        int access;
    } columns[] = {
        {&listener.relayLfwdAddress, 4, 2}, // an address, but an OCTET STRING
        {&conn.relayCreceived, 65, 2},      {&conn.relayCsent, 65, 2},
        {&conn.relayCupTime, 67, 1},        {&conn.relayCidleTime, 67, 1},
        {&nat.relayNexternalIp, 64, 2},     {&range.relayRlowPort, 2, 2},
    };
    for (const auto& c : columns) {
        EXPECT_EQ(c.column->Syntax(), c.syntax) << c.column->Name();
        EXPECT_EQ(c.column->Access(), c.access) << c.column->Name();
    }

    const std::string pad(33, ' '), close = std::string(32, ' ') + "}";
    EXPECT_EQ(SyntaxWithLabels(peer.relayPstatus), "INTEGER{\n" + pad + "valid(1),\n" + pad +
                                                       "invalid(2),\n" + pad +
                                                       "connecting(3)\n" + close);
}

// The relay MIB with rows in every table, instances of one to ten arcs.
struct Populated {
    RelayMib mib;
    VlmSysTableEntry sys3{"vlmSysEntry", mib.vlmSysTable, 1};
    VlmSysTableEntry sys1{"vlmSysEntry", mib.vlmSysTable, 1};
    VlmSysTableEntry sys2{"vlmSysEntry", mib.vlmSysTable, 1};
    VlmSvcTableEntry svcB{"vlmSvcEntry", mib.vlmSvcTable, 1};
    VlmSvcTableEntry svcA{"vlmSvcEntry", mib.vlmSvcTable, 1};
    RelayPeerEntry peer9{"relayPeerEntry", mib.relayPeerTable, 1};
    RelayPeerEntry peer5{"relayPeerEntry", mib.relayPeerTable, 1};
    RelayListenerEntry listener1{"relayListenerEntry", mib.relayListenerTable, 1};
    RelayListenerEntry listener2{"relayListenerEntry", mib.relayListenerTable, 1};
    RelayConnEntry conn2{"relayConnEntry", mib.relayConnTable, 1};
    RelayConnEntry conn1{"relayConnEntry", mib.relayConnTable, 1};
    RelayPortRangeEntry range1{"relayPortRangeEntry", mib.relayPortRangeTable, 1};
    RelayPortRangeEntry range2{"relayPortRangeEntry", mib.relayPortRangeTable, 1};
    RelayNatRangeEntry nat1{"relayNatRangeEntry", mib.relayNatRangeTable, 1};

    template <class Row>
    static void Instance(Row& row, std::initializer_list<uint32_t> arcs) {
        std::vector<uint32_t> copy(arcs);
        NYSMI_OID record = {static_cast<uint32_t>(copy.size()), copy.data()};
        row.SetInstanceNumber(record);
    }

    Populated() {
        sys3.SetInstanceNumber(3);
        sys1.SetInstanceNumber(1);
        sys2.SetInstanceNumber(2);
        Instance(svcB, {2, 'b', 'b', 1, 1});
        Instance(svcA, {2, 'a', 'a', 4, 1});
        peer9.SetInstanceNumber(9);
        peer5.SetInstanceNumber(5);
        Instance(listener1, {127, 0, 0, 1, 7000});
        Instance(listener2, {127, 0, 0, 1, 7001});
        Instance(conn2, {127, 0, 0, 1, 7001, 10, 0, 0, 2, 443});
        Instance(conn1, {127, 0, 0, 1, 7000, 10, 0, 0, 2, 80});
        Instance(range1, {5000, 5100});
        Instance(range2, {6000, 6100});
        Instance(nat1, {10, 0, 0, 1});
    }
};

TEST(RelayMib, FindReachesEveryNodeByItsIdentifier) {
    Populated p;
    std::vector<NyMibObject*> nodes;
    Collect(p.mib.nyvora, nodes);
    for (NyMibObject* node : nodes) {
        NySnmpOid target(node->Oid());
        NyMibObject* found = p.mib.Find(target);
        // a row identifier finds the first row of its table
        if (node->Syntax() == 293)
            EXPECT_EQ(found, node->Parent()->Children().front()) << node->OidText();
        else
            EXPECT_EQ(found, node) << node->OidText();
    }
    NySnmpOid pid("1.3.6.1.4.1.32473.1.1.3.1.1.4.2.97.97.4.1");
    EXPECT_EQ(p.mib.Find(pid), &p.svcA.vlmSvcPid);
    NySnmpOid sent("1.3.6.1.4.1.32473.1.1.3.2.14.3.1.10.127.0.0.1.7001.10.0.0.2.443");
    EXPECT_EQ(p.mib.Find(sent), &p.conn2.relayCsent);
    NySnmpOid missing("1.3.6.1.4.1.32473.1.1.3.1.1.4.3");
    EXPECT_EQ(p.mib.Find(missing), nullptr);
}

TEST(RelayMib, FindNextWalksEveryReadableLeafInOrder) {
    Populated p;
    std::vector<NyMibObject*> nodes, leaves;
    Collect(p.mib, nodes);
    for (NyMibObject* node : nodes) {
        if ((node->Syntax() & 0x20) == 0 && (node->Access() == 1 || node->Access() == 2))
            leaves.push_back(node);
    }
    std::sort(leaves.begin(), leaves.end(),
              [](NyMibObject* a, NyMibObject* b) { return Arcs(a) < Arcs(b); });
    // 30 trap variables and the columns of 14 rows
    ASSERT_EQ(leaves.size(), 30u + 3 * 4 + 2 * 12 + 2 * 5 + 2 * 14 + 2 * 12 + 2 * 4 + 5);

    std::vector<NyMibObject*> walked;
    NySnmpOid target("1.3.6.1.4.1.32473");
    for (size_t i = 0; i <= leaves.size(); ++i) {
        NyMibObject* next = p.mib.FindNext(target);
        if (!next)
            break;
        walked.push_back(next);
        target = next->Oid();
    }
    ASSERT_EQ(walked.size(), leaves.size());
    for (size_t i = 0; i < leaves.size(); ++i)
        ASSERT_EQ(walked[i], leaves[i]) << i << ": " << walked[i]->OidText();

    // the first column of a table starts at its smallest instance
    NySnmpOid sysTable("1.3.6.1.4.1.32473.1.1.1");
    EXPECT_EQ(p.mib.FindNext(sysTable), &p.sys1.vlmSysInstance);
    NySnmpOid past("1.3.6.1.4.1.32474");
    EXPECT_EQ(p.mib.FindNext(past), nullptr);
}

} // namespace
