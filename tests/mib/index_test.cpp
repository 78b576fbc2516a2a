// The indexed table lookups and the incremental renewal of identifiers
// against plain references: a pre-order search for Find, the smallest
// readable column past the target for FindNext, and identifiers derived
// afresh from the tree, over random tables whose rows come, go and are
// renumbered.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mib/node_parts.h"
#include "tree.h"

namespace {

// A node's identifier as lookups see it, read without making its Oid().
struct Ident {
    NySnmpOid oid;
    explicit Ident(const NyMibObject& node) { nymib::Access::CopyIdentifier(node, oid); }
    const NYSMI_OID& arcs() const { return oid.SmiOid(); }
};

int Order(const NYSMI_OID& a, const NYSMI_OID& b)
{
    for (uint32_t i = 0; i < a.len && i < b.len; ++i) {
        if (a.ptr[i] != b.ptr[i])
            return a.ptr[i] < b.ptr[i] ? -1 : 1;
    }
    return a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
}

bool BeginsWith(const NYSMI_OID& oid, const NYSMI_OID& prefix)
{
    if (oid.len < prefix.len)
        return false;
    for (uint32_t i = 0; i < prefix.len; ++i) {
        if (oid.ptr[i] != prefix.ptr[i])
            return false;
    }
    return true;
}

std::string Dotted(const NYSMI_OID& oid)
{
    std::string text;
    for (uint32_t i = 0; i < oid.len; ++i)
        text += (i ? "." : "") + std::to_string(oid.ptr[i]);
    return text;
}

// Find: the first node in pre-order whose identifier begins with the target.
NyMibObject* RefFind(NyMibObject& node, const NYSMI_OID& target)
{
    if (BeginsWith(Ident(node).arcs(), target))
        return &node;
    for (NyMibObject* child : node.Children()) {
        if (NyMibObject* found = RefFind(*child, target))
            return found;
    }
    return nullptr;
}

bool Readable(const NyMibObject& node)
{
    return node.Syntax() < 289 && (node.Access() == kReadOnly || node.Access() == kReadWrite);
}

// FindNext on a table: of all readable columns of all rows that follow the
// target, the least; of equal ones the first in tree order.  Nothing when
// the target lies past the table.
NyMibObject* RefTableNext(NyMibObject& table, const NYSMI_OID& target)
{
    const Ident table_(table);
    const NYSMI_OID& self = table_.arcs();
    NYSMI_OID head{target.len < self.len ? target.len : self.len, target.ptr};
    NYSMI_OID own{head.len, self.ptr};
    if (Order(own, head) < 0)
        return nullptr;
    NyMibObject* best = nullptr;
    for (NyMibObject* row : table.Children()) {
        for (NyMibObject* column : row->Children()) {
            if (!Readable(*column) || Order(Ident(*column).arcs(), target) <= 0)
                continue;
            if (best == nullptr || Order(Ident(*column).arcs(), Ident(*best).arcs()) < 0)
                best = column;
        }
    }
    return best;
}

// FindNext from any node: a readable leaf past the target, a table's next
// column, or the first answer of the children in list order.
NyMibObject* RefNext(NyMibObject& node, const NYSMI_OID& target)
{
    if (Readable(node) && Order(Ident(node).arcs(), target) > 0)
        return &node;
    if (node.Syntax() == 292)
        return RefTableNext(node, target);
    for (NyMibObject* child : node.Children()) {
        NyMibObject* next = RefNext(*child, target);
        if (next != nullptr && next->Syntax() < 289)
            return next;
    }
    return nullptr;
}

// Rows of four columns: 1 not accessible, 2 and 4 readable, 3 write-only.
struct Row {
    NyMibTableEntry entry;
    MibInt c1, c2, c3, c4;
    Row(NyMibTable& table, int subId)
        : entry("entry", table, subId), c1("c1", entry, 1, kNoAccess), c2("c2", entry, 2, kReadOnly),
          c3("c3", entry, 3, kWriteOnly), c4("c4", entry, 4, kReadWrite)
    {
        table.UpdateChildren();
    }
};

struct Random : Tree {
    NyMibObject before{"before", top, 1, 289, kNoAccess};
    MibInt scalar{"scalar", before, 1, kReadOnly};
    NyMibTable table{"t", top, 2};
    MibInt after{"after", top, 3, kReadOnly};
    std::vector<std::unique_ptr<Row>> rows;
    std::mt19937 random{20261206};

    uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(random() % n); }

    // Short instances over few values: equal instances, and instances that
    // begin with others (1 and 1.2), come up often.
    Arcs AnInstance()
    {
        switch (1 + Pick(3)) {
        case 1: return Arcs{Pick(4)};
        case 2: return Arcs{Pick(4), Pick(3)};
        default: return Arcs{Pick(4), Pick(3), Pick(3)};
        }
    }

    void Change()
    {
        const uint32_t what = Pick(10);
        if (what < 4 || rows.size() < 3) {
            rows.emplace_back(new Row(table, Pick(8) == 0 ? 2 : 1));
            if (Pick(5) != 0) {
                Arcs instance = AnInstance();
                rows.back()->entry.SetInstanceNumber(instance.record);
            }
        } else if (what < 7) {
            rows.erase(rows.begin() + Pick(static_cast<uint32_t>(rows.size())));
        } else {
            Arcs instance = AnInstance();
            rows[Pick(static_cast<uint32_t>(rows.size()))]->entry.SetInstanceNumber(instance.record);
        }
    }

    // Targets in and around the table: its own prefix with up to five more
    // small arcs, and a few outside it.
    std::vector<uint32_t> ATarget()
    {
        std::vector<uint32_t> arcs{1, 3, 6, 1, 4, 1, 7};
        switch (Pick(12)) {
        case 0: return {1, 3, 6};
        case 1: return {1, 3, 6, 1, 4, 1, 7, 2};
        case 2: return {1, 3, 6, 1, 4, 1, 7, 3};
        case 3: return {1, 3, 6, 1, 4, 1, 8};
        default: break;
        }
        arcs.push_back(2);
        const uint32_t more = Pick(6);
        for (uint32_t i = 0; i < more; ++i)
            arcs.push_back(i == 0 ? Pick(3) : i == 1 ? Pick(6) : Pick(4));
        return arcs;
    }

    void CheckLookups(int round)
    {
        for (int k = 0; k < 40; ++k) {
            std::vector<uint32_t> arcs = ATarget();
            NYSMI_OID record{static_cast<uint32_t>(arcs.size()), arcs.data()};
            NySnmpOid target(record);
            const std::string text = Id(&table) + " round " + std::to_string(round) + " target " +
                                     std::string(target.AsString());
            ASSERT_EQ(top.Find(target), RefFind(top, record)) << text;
            ASSERT_EQ(table.FindNext(target), RefTableNext(table, record)) << text;
            ASSERT_EQ(top.FindNext(target), RefNext(top, record)) << text;
        }
    }

    // Every identifier as it would be derived afresh: rows under the table,
    // columns row.column.instance, the text the arcs in dotted form.  The
    // Oid() objects and texts are asked for at random moments only, so that
    // lookups run over made and unmade ones alike, and what was made earlier
    // must have followed every change since.
    void CheckIdentifiers(int round)
    {
        for (const auto& row : rows) {
            const std::string entry = Dotted(Ident(table).arcs()) + "." + std::to_string(row->entry.SubId());
            ASSERT_EQ(Dotted(Ident(row->entry).arcs()), entry) << round;
            if (Pick(4) == 0) {
                ASSERT_EQ(row->entry.OidText(), entry) << round;
            }
            for (NyMibObject* column : row->entry.Children()) {
                const std::string expected = entry + "." + std::to_string(column->SubId()) + "." +
                                             Dotted(row->entry.Instance().SmiOid());
                ASSERT_EQ(Dotted(Ident(*column).arcs()), expected) << round;
                if (Pick(3) == 0) {
                    ASSERT_EQ(Id(column), expected) << round;
                }
                if (Pick(3) == 0) {
                    ASSERT_EQ(column->OidText(), expected) << round;
                }
                if (Pick(6) == 0) {
                    ASSERT_EQ(column->BaseOidText(), entry) << round;
                }
            }
        }
    }
};

TEST_F(Random, IndexedLookupsMatchTheReferenceWhileRowsChange)
{
    for (int round = 0; round < 300; ++round) {
        Change();
        CheckIdentifiers(round);
        CheckLookups(round);
        if (HasFatalFailure())
            return;
    }
    // Down to nothing and up again: the index follows every row out and in.
    while (!rows.empty()) {
        rows.erase(rows.begin() + Pick(static_cast<uint32_t>(rows.size())));
        CheckLookups(-1);
        if (HasFatalFailure())
            return;
    }
    NySnmpOid start("1.3.6.1.4.1.7.2");
    EXPECT_EQ(table.FindNext(start), nullptr);
    EXPECT_EQ(top.FindNext(start), &after);
}

#define TBL "1.3.6.1.4.1.7.2"

// Thousands of rows come, are renumbered and go in random order, before and
// after the index is made (entries in many blocks that fill, lend to their
// neighbours, split and merge): a walk still meets every readable column in
// instance order, and every column is found by its identifier.
TEST_F(Tree, BigTableWalksInOrderWhileRowsChange)
{
    NyMibTable table("t", top, 2);
    std::vector<std::unique_ptr<Row3>> rows;
    uint32_t fresh = 0; // instances never repeat: a walk meets each one
    auto renumber = [&fresh](Row3& row) {
        const uint32_t v = (++fresh * 7919u) % 100003u;
        Arcs instance{v / 317, v % 317};
        row.entry.SetInstanceNumber(instance.record);
    };
    std::mt19937 random{11};
    for (int i = 0; i < 3000; ++i) {
        rows.push_back(std::make_unique<Row3>(table, kReadOnly, kNoAccess, kReadOnly));
        renumber(*rows.back());
        if (i == 1000) {
            ASSERT_NE(Next(table, TBL), nullptr); // the index follows from here on
        }
    }
    for (int i = 0; i < 3000; ++i) {
        const size_t at = random() % rows.size();
        if (i % 3 == 0)
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
        else
            renumber(*rows[at]);
    }
    std::vector<Row3*> order;
    for (const auto& row : rows)
        order.push_back(row.get());
    std::sort(order.begin(), order.end(), [](Row3* a, Row3* b) {
        return Order(a->entry.Instance().SmiOid(), b->entry.Instance().SmiOid()) < 0;
    });
    std::vector<NyMibObject*> expected, walked;
    for (auto column : {&Row3::c1, &Row3::c3}) {
        for (Row3* row : order)
            expected.push_back(&(row->*column));
    }
    NySnmpOid target(TBL);
    while (NyMibObject* next = table.FindNext(target)) {
        walked.push_back(next);
        nymib::Access::CopyIdentifier(*next, target);
    }
    EXPECT_EQ(walked, expected);
    for (const auto& row : rows) {
        for (NyMibObject* column : {&row->c1, &row->c2, &row->c3}) {
            Ident id(*column);
            ASSERT_EQ(top.Find(id.oid), column);
        }
    }
}

// Renewal that skips what has not changed must still reach whatever did.
TEST_F(Tree, RenewalReachesEveryChangedNode)
{
    NyMibTable table("t", top, 2);
    Row3 a(table, kReadOnly, kReadOnly, kReadOnly);
    Row3 b(table, kReadOnly, kReadOnly, kReadOnly);
    a.entry.SetInstanceNumber(5);
    b.entry.SetInstanceNumber(6);
    ASSERT_EQ(Next(table, TBL), &a.c1); // the table is indexed from here on

    // A column added to a row that has its instance already: the next
    // renewal of the table gives it the instance, and lookups see it.
    MibInt late("late", b.entry, 4, kReadOnly);
    EXPECT_EQ(late.OidText(), std::string(TBL ".1.4"));
    table.UpdateChildren();
    EXPECT_EQ(late.OidText(), std::string(TBL ".1.4.6"));
    EXPECT_EQ(Id(&late), TBL ".1.4.6");
    EXPECT_EQ(Next(table, TBL ".1.3.6"), &late);

    // A column renewed on its own falls back to row.column; the table's next
    // renewal puts the instance back, from any level above.
    a.c2.UpdateOid();
    EXPECT_EQ(Id(&a.c2), TBL ".1.2");
    EXPECT_EQ(Exact(top, TBL ".1.2"), &a.c2);
    root.UpdateChildren();
    EXPECT_EQ(Id(&a.c2), TBL ".1.2.5");
    EXPECT_EQ(a.c2.OidText(), std::string(TBL ".1.2.5"));
    EXPECT_EQ(Exact(top, TBL ".1.2.5"), &a.c2);

    // Renewing an unchanged tree changes nothing.
    root.UpdateChildren();
    table.UpdateChildren();
    EXPECT_EQ(Id(&b.c3), TBL ".1.3.6");
    EXPECT_EQ(Next(table, TBL ".1.2.5"), &b.c2);
}

// A node built under a parentless top-level node, and a trap that renews its
// parent, get the same identifiers as a full derivation from the text.
TEST_F(Tree, DerivedIdentifiersMatchTheirText)
{
    NyMibObject mid("mid", top, 4294967, 289, kNoAccess);
    MibInt leaf("leaf", mid, 2147483647, kReadOnly);
    NyMibTrap trap("trap", mid, 3);
    MibInt var("var", trap, 1, kReadOnly);
    const NyMibObject* nodes[] = {&mid, &leaf, &trap, &var};
    for (const NyMibObject* node : nodes) {
        NySnmpOid parsed(node->OidText());
        EXPECT_EQ(parsed.Compare(node->Oid(), 0), 0) << node->OidText();
    }
    EXPECT_EQ(Id(&leaf), "1.3.6.1.4.1.7.4294967.2147483647");
    NyMibObject bare("bare"); // a root of its own: "0", no arcs
    NyMibObject child("child", bare, 5, 289, kNoAccess);
    EXPECT_EQ(Id(&child), "0.5");
    EXPECT_EQ(child.OidText(), std::string("0.5"));
}

// Nodes below a column, and a column whose identifier was changed through
// Oid() behind the tree's back: lookups still answer like a plain search,
// and nothing of the index outlives the nodes (the sanitizer build sees it).
TEST_F(Tree, UnusualColumnsAreSearchedLikeAnyOther)
{
    NyMibTable table("t", top, 2);
    auto a = std::make_unique<Row3>(table, kReadOnly, kReadOnly, kReadOnly);
    auto b = std::make_unique<Row3>(table, kReadOnly, kReadOnly, kReadOnly);
    a->entry.SetInstanceNumber(1);
    b->entry.SetInstanceNumber(2);
    ASSERT_EQ(Exact(top, TBL ".1.2.2"), &b->c2); // indexed from here on

    // A node under column 3 of row a, its identifier moved to begin with
    // b's column 2: a's subtree comes first in pre-order.
    auto below = std::make_unique<MibInt>("below", a->c3, 9, kReadOnly);
    below->Oid().Assign(TBL ".1.2.2.5");
    EXPECT_EQ(Exact(top, TBL ".1.2.2"), below.get());
    below.reset();
    EXPECT_EQ(Exact(top, TBL ".1.2.2"), &b->c2);

    // Column 1 of row b moved out of the table by hand: the tree does not
    // know, but its index must neither crash nor keep the node after it is
    // gone; the row's next renewal puts the column back in order.
    b->c1.Oid().Assign(TBL ".0.5");
    EXPECT_NE(Next(table, TBL), nullptr);
    b->entry.SetInstanceNumber(0);
    EXPECT_EQ(Next(table, TBL), &b->c1);
    EXPECT_EQ(Next(table, TBL ".1.3.1"), nullptr);
    b->entry.SetInstanceNumber(2);
    EXPECT_EQ(Next(table, TBL ".1.3.1"), &b->c3);
    b.reset();
    EXPECT_EQ(Next(table, TBL), &a->c1);
    EXPECT_EQ(Next(table, TBL ".1.3.1"), nullptr);
    a.reset();
    EXPECT_EQ(Next(table, TBL), nullptr);

    // Such a column met when the index is made is searched on its own.
    NyMibTable second("second", top, 4);
    auto c = std::make_unique<Row3>(second, kReadOnly, kReadOnly, kReadOnly);
    c->c2.Oid().Assign("1.3.6.1.4.1.7.4.0.5");
    EXPECT_EQ(Next(second, "1.3.6.1.4.1.7.4"), &c->c2);
    EXPECT_EQ(Exact(top, "1.3.6.1.4.1.7.4.0.5"), &c->c2);
    EXPECT_EQ(Next(second, "1.3.6.1.4.1.7.4.0.5"), &c->c1);
    c.reset();
    EXPECT_EQ(Next(second, "1.3.6.1.4.1.7.4"), nullptr);
}

// A renumbered row moves in the walk at once; a row of a second entry
// sub-identifier walks after all rows of the first.
TEST_F(Tree, RenumberedRowsMoveInTheWalk)
{
    NyMibTable table("t", top, 2);
    Row3 a(table, kNoAccess, kReadOnly, kNoAccess);
    Row3 b(table, kNoAccess, kReadOnly, kNoAccess);
    a.entry.SetInstanceNumber(1);
    b.entry.SetInstanceNumber(2);
    ASSERT_EQ(Next(table, TBL), &a.c2);
    a.entry.SetInstanceNumber(3);
    EXPECT_EQ(Next(table, TBL), &b.c2);
    EXPECT_EQ(Next(table, TBL ".1.2.1"), &b.c2);
    EXPECT_EQ(Next(table, TBL ".1.2.2"), &a.c2);
    b.entry.SetInstanceNumber(3); // equal instances: the first row in the list first
    EXPECT_EQ(Next(table, TBL), &a.c2);
    EXPECT_EQ(Exact(top, TBL ".1.2.3"), &a.c2);

    NyMibTableEntry other("other", table, 2);
    MibInt column("column", other, 1, kReadOnly);
    table.UpdateChildren();
    other.SetInstanceNumber(0);
    EXPECT_EQ(Next(table, TBL ".1.9"), &column);
    EXPECT_EQ(Id(&column), TBL ".2.1.0");
}

// Reading only reads the tree, so threads may look up and ask at once: the
// first of them makes the table's index, each text, Oid(), Instance() and
// trap binding, and every thread gets the very same ones (the sanitizer
// build sees a loser's copy freed, not leaked).
TEST_F(Tree, FirstUseFromSeveralThreadsAgrees)
{
    NyMibTable table("t", top, 2);
    std::vector<std::unique_ptr<Row3>> rows;
    for (int i = 0; i < 300; ++i) {
        rows.push_back(std::make_unique<Row3>(table, kReadOnly, kReadOnly, kReadOnly));
        rows.back()->entry.SetInstanceNumber((i * 7) % 300);
    }
    constexpr int kThreads = 4;
    struct Seen {
        NyMibObject* found[3];
        const void* parts[300][9]; // per row: Instance(), then four parts of c1 and of c3
    };
    std::vector<Seen> seen(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            seen[t].found[0] = Next(table, TBL);
            seen[t].found[1] = Next(top, TBL ".1.2.150");
            seen[t].found[2] = Exact(top, TBL ".1.3.299");
            // Half the threads go through the rows backwards, to meet the others.
            for (int k = 0; k < 300; ++k) {
                const int r = t % 2 ? 299 - k : k;
                const void** part = seen[t].parts[r];
                *part++ = &rows[r]->entry.Instance();
                for (NyMibObject* column : {&rows[r]->c1, &rows[r]->c3}) {
                    *part++ = column->OidText();
                    *part++ = column->BaseOidText();
                    *part++ = &column->Oid();
                    *part++ = &column->TrapVar();
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(Id(seen[t].found[0]), TBL ".1.1.0");
        EXPECT_EQ(Id(seen[t].found[1]), TBL ".1.2.151");
        EXPECT_EQ(Id(seen[t].found[2]), TBL ".1.3.299");
        EXPECT_EQ(std::memcmp(seen[t].parts, seen[0].parts, sizeof seen[0].parts), 0) << "thread " << t;
    }
    EXPECT_STREQ(rows[5]->c3.OidText(), TBL ".1.3.35");
    EXPECT_STREQ(rows[5]->c3.BaseOidText(), TBL ".1");
}

} // namespace
