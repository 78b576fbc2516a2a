// The product MIB and the relay MIB: shape of the tree, identifiers of rows
// and columns, and lookups over a tree with rows in every table.
#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "relaymib.h"

namespace {

std::vector<uint32_t> Arcs(const NyMibObject* node) {
    const NYSMI_OID& oid = node->Oid().SmiOid();
    return std::vector<uint32_t>(oid.ptr, oid.ptr + oid.len);
}

// "name:subId" of each node of a list, or of its index columns only.
std::string Listing(const std::vector<NyMibObject*>& list, bool indexOnly = false) {
    std::string text;
    for (NyMibObject* node : list) {
        if (!indexOnly || node->IsAnIndex())
            text += std::string(text.empty() ? "" : " ") + node->Name() + ":" +
                    std::to_string(node->SubId());
    }
    return text;
}

void Collect(NyMibObject& node, std::vector<NyMibObject*>& out) {
    out.push_back(&node);
    for (NyMibObject* child : node.Children())
        Collect(*child, out);
}

TEST(ProductMib, TreeShape) {
    VlmMibRoot mib;
    ASSERT_EQ(mib.Children(), std::vector<NyMibObject*>{&mib.enterprises});
    EXPECT_STREQ(mib.enterprises.OidText(), "1.3.6.1.4.1");
    // vlmInstance (3) is built before vlmSysTraps (2)
    EXPECT_EQ(Listing(mib.velmora.Children()), "vlmSysTable:1 vlmSysTraps:2 vlmInstance:3");
    EXPECT_EQ(Listing(mib.vlmApps.Children()),
              "vlmAppFront:1 vlmAppDispatch:2 vlmAppDivider:3 vlmAppOutbound:4 vlmAppRetry:5 "
              "vlmAppInbound:6 vlmAppVault:7 vlmAppRestore:8 vlmAppProbe:9 vlmAppSubagent:10 "
              "vlmAppSupervisor:11 vlmAppSorter:12 vlmAppCore:13 vlmAppBridge:14 vlmAppHost:15 "
              "vlmAppShell:16");
    NySnmpOid core("1.3.6.1.4.1.32473.1.1.3.2.13");
    EXPECT_EQ(mib.Find(core), &mib.vlmAppCore);

    for (VlmSysTrap* trap : {&mib.vlmTrapSvcDown, &mib.vlmTrapSvcUp, &mib.vlmTrapAppError}) {
        EXPECT_EQ(trap->Parent(), &mib.vlmSysTraps);
        EXPECT_EQ(Listing(trap->Children()),
                  "vlmTrapAppName:1 vlmTrapAppInstance:2 vlmTrapSysInstanceIdx:3 "
                  "vlmTrapThreadId:4 vlmTrapMsgId:5 vlmTrapFacilityName:6 vlmTrapFacilityId:7 "
                  "vlmTrapErrorCode:8 vlmTrapErrorText:9 vlmTrapSnmpPort:10");
    }
    EXPECT_EQ(Arcs(&mib.vlmTrapAppError.vlmTrapSnmpPort),
              (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 32473, 1, 1, 2, 3, 10}));

    VlmSvcTableEntry svc("vlmSvcEntry", mib.vlmSvcTable, 1);
    svc.SetInstanceNumber(7);
    EXPECT_EQ(Arcs(&svc.vlmSvcPid),
              (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 32473, 1, 1, 3, 1, 1, 4, 7}));
    VlmSysTableEntry sys("vlmSysEntry", mib.vlmSysTable, 1);
    EXPECT_STREQ(sys.vlmSysVersion.OidText(), "1.3.6.1.4.1.32473.1.1.1.1.4.0");
    // one label table, but only the system row may be written
    EXPECT_EQ(sys.vlmSysValidEntry.IntValues(), svc.vlmSvcValidEntry.IntValues());
    EXPECT_EQ(sys.vlmSysValidEntry.Access(), 2);
    EXPECT_EQ(svc.vlmSvcValidEntry.Access(), 1);
}

TEST(RelayMib, BridgeHoldsTheFiveTablesAndNothingElseChanges) {
    RelayMib relay;
    EXPECT_EQ(Listing(relay.vlmAppBridge.Children()),
              "relayPeerTable:1 relayListenerTable:2 relayConnTable:3 relayPortRangeTable:4 "
              "relayNatRangeTable:5");
    VlmMibRoot product;
    std::vector<NyMibObject*> plain, withRelay;
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
    RelayListenerEntry listener{"relayListenerEntry", mib.relayListenerTable, 1};
    RelayConnEntry conn2{"relayConnEntry", mib.relayConnTable, 1};
    RelayConnEntry conn1{"relayConnEntry", mib.relayConnTable, 1};
    RelayPortRangeEntry range{"relayPortRangeEntry", mib.relayPortRangeTable, 1};
    RelayNatRangeEntry nat{"relayNatRangeEntry", mib.relayNatRangeTable, 1};

    static void Instance(NyMibTableEntry& row, std::initializer_list<uint32_t> arcs) {
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
        Instance(listener, {127, 0, 0, 1, 7000});
        Instance(conn2, {127, 0, 0, 1, 7001, 10, 0, 0, 2, 443});
        Instance(conn1, {127, 0, 0, 1, 7000, 10, 0, 0, 2, 80});
        Instance(range, {5000, 5100});
        Instance(nat, {10, 0, 0, 1});
    }
};

TEST(RelayMib, RowsIndexColumnsAndSyntaxes) {
    Populated p;
    const std::pair<NyMibTableEntry*, const char*> rows[] = {
        {&p.sys1, "vlmSysInstance:1"},
        {&p.svcA, "vlmSvcName:1 vlmSvcInstance:2 vlmSysInstanceIdx:3"},
        {&p.peer5, "relayPindex:1"},
        {&p.listener, "relayLaddress:2 relayLport:3"},
        {&p.conn1, "relayClocalAddress:2 relayClocalPort:3 relayCremAddress:4 relayCremPort:5"},
        {&p.range, "relayRlowPort:2 relayRhighPort:3"},
        {&p.nat, "relayNinternalIp:2"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Listing(row.first->Children(), true), row.second) << row.first->Name();
    EXPECT_EQ(p.nat.relayNinternalIp.Syntax(), 64u);
    EXPECT_EQ(p.listener.relayLfwdAddress.Syntax(), 4u); // an address, but OCTET STRING
}

TEST(RelayMib, FindAndFindNextOverEveryTable) {
    Populated p;
    std::vector<NyMibObject*> nodes, leaves;
    Collect(p.mib, nodes);
    for (NyMibObject* node : nodes) {
        if (node == &p.mib)
            continue; // the root has no identifier
        NySnmpOid target(node->Oid());
        if (node->Syntax() != 293) { // a row's identifier finds the first row
            EXPECT_EQ(p.mib.Find(target), node) << node->OidText();
        }
        if ((node->Syntax() & 0x20) == 0 && (node->Access() == 1 || node->Access() == 2))
            leaves.push_back(node);
    }
    NySnmpOid sent("1.3.6.1.4.1.32473.1.1.3.2.14.3.1.10.127.0.0.1.7001.10.0.0.2.443");
    EXPECT_EQ(p.mib.Find(sent), &p.conn2.relayCsent);

    // 30 trap variables and the columns of 13 rows, walked in identifier order
    std::sort(leaves.begin(), leaves.end(),
              [](NyMibObject* a, NyMibObject* b) { return Arcs(a) < Arcs(b); });
    ASSERT_EQ(leaves.size(), 30u + 3 * 4 + 2 * 12 + 2 * 5 + 14 + 2 * 12 + 4 + 5);
    std::vector<NyMibObject*> walked;
    NySnmpOid target("1.3.6.1.4.1.32473");
    for (size_t i = 0; i <= leaves.size(); ++i) {
        NyMibObject* next = p.mib.FindNext(target);
        if (!next)
            break;
        walked.push_back(next);
        target = next->Oid();
    }
    EXPECT_EQ(walked, leaves);
}

} // namespace
