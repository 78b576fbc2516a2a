// Find and FindNext.  The table lookups, whole walks and the incremental
// renewal of identifiers are checked against plain references (a pre-order
// search for Find, the least readable column past the target for FindNext,
// the sorted readable leaves for a walk, identifiers derived afresh) over
// random tables whose rows come, go and are renumbered, between scalars, a
// trap and an aggregate; indexed lookups allocate nothing and agree when
// several threads make the index at once.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tree.h"

#if defined(__SANITIZE_ADDRESS__)
#define NYSNMP_COUNT_ALLOCATIONS 0 // the sanitizer owns operator new
#else
#define NYSNMP_COUNT_ALLOCATIONS 1
namespace {
thread_local long g_allocations = 0;
}
void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

#define TBL "1.3.6.1.4.1.7.2"

bool BeginsWith(const NYSMI_OID& oid, const NYSMI_OID& prefix)
{
    return oid.len >= prefix.len && std::equal(prefix.ptr, prefix.ptr + prefix.len, oid.ptr);
}

bool Readable(const NyMibObject& node)
{
    return node.Syntax() < 289 && (node.Access() == kReadOnly || node.Access() == kReadWrite);
}

// Find: the first node in pre-order whose identifier begins with the target.
NyMibObject* RefFind(NyMibObject& node, const NYSMI_OID& target)
{
    if (BeginsWith(node.Oid().SmiOid(), target))
        return &node;
    for (NyMibObject* child : node.Children())
        if (NyMibObject* found = RefFind(*child, target))
            return found;
    return nullptr;
}

// FindNext on a table: of all readable columns of all rows that follow the
// target, the least; of equal ones the first in tree order.  Nothing when
// the target lies past the table.
NyMibObject* RefTableNext(NyMibObject& table, const NYSMI_OID& target)
{
    const NYSMI_OID& self = table.Oid().SmiOid();
    const uint32_t n = std::min(target.len, self.len);
    if (Before({n, self.ptr}, {n, target.ptr}))
        return nullptr;
    NyMibObject* best = nullptr;
    for (NyMibObject* row : table.Children())
        for (NyMibObject* column : row->Children())
            if (Readable(*column) && Before(target, column->Oid().SmiOid()) &&
                (best == nullptr || Before(column->Oid().SmiOid(), best->Oid().SmiOid())))
                best = column;
    return best;
}

// FindNext from any node: a readable leaf past the target, a table's next
// column, or the first answer of the children in list order.
NyMibObject* RefNext(NyMibObject& node, const NYSMI_OID& target)
{
    if (Readable(node) && Before(target, node.Oid().SmiOid()))
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

// Rows of four columns: 1 not accessible, 2 and 4 readable, 3 write-only;
// in some rows the last column is 14, so that rows differ in their columns.
struct Row {
    NyMibTableEntry entry;
    MibInt c1, c2, c3, c4;
    Row(NyMibTable& table, int subId, bool sparse)
        : entry("entry", table, subId), c1("c1", entry, 1, kNoAccess), c2("c2", entry, 2, kReadOnly),
          c3("c3", entry, 3, kWriteOnly), c4("c4", entry, sparse ? 14 : 4, kReadWrite)
    {
        table.UpdateChildren();
    }
};

// A table between scalars, some of which FindNext passes over (write-only,
// not accessible, an unknown access code), then a trap's and an aggregate's
// variables.
struct Random : Tree {
    NyMibObject before{"before", top, 1, 289, kNoAccess};
    MibInt s3{"s3", before, 3, kReadOnly}, s1{"s1", before, 1, kReadWrite}, w4{"w4", before, 4, kWriteOnly};
    MibInt n5{"n5", before, 5, kNoAccess}, x6{"x6", before, 6, 7}, s7{"s7", before, 7, kReadOnly};
    NyMibTable table{"t", top, 2};
    MibInt after{"after", top, 3, kReadOnly};
    NyMibTrap trap{"alarm", top, 4};
    MibCounter t1{"t1", trap, 1, kReadOnly};
    NyMibSequence aggregate{"agg", top, 5, 291, kNoAccess, nullptr, nullptr, "Agg"};
    MibGauge a1{"a1", aggregate, 1, kReadOnly};
    std::vector<std::unique_ptr<Row>> rows;
    std::mt19937 random{20261206};

    uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(random() % n); }
    // Small arcs and the largest one, so that equal instances, instances that
    // begin with others (1 and 1.2) and arcs above 2^31 come up often.
    uint32_t Arc(uint32_t n) { return Pick(8) == 0 ? 4294967295u : Pick(n); }

    Arcs AnInstance()
    {
        switch (Pick(3)) {
        case 0: return Arcs{Arc(4)};
        case 1: return Arcs{Arc(4), Arc(3)};
        default: return Arcs{Arc(4), Arc(3), Arc(3)};
        }
    }

    void Change()
    {
        const uint32_t what = Pick(10);
        if (what < 4 || rows.size() < 3) {
            rows.emplace_back(new Row(table, Pick(8) == 0 ? 2 : 1, Pick(4) == 0));
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
    // arcs, and a few outside it.
    std::vector<uint32_t> ATarget()
    {
        switch (Pick(12)) {
        case 0: return Pick(2) ? std::vector<uint32_t>{1, 3, 6} : std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 7, 1, Pick(8)};
        case 1: return {1, 3, 6, 1, 4, 1, 7, 3};
        case 2: return {1, 3, 6, 1, 4, 1, 8};
        default: break;
        }
        std::vector<uint32_t> arcs{1, 3, 6, 1, 4, 1, 7, 2};
        for (uint32_t i = 0, more = Pick(6); i < more; ++i)
            arcs.push_back(i == 0 ? Pick(3) : i == 1 ? Pick(6) : Arc(4));
        return arcs;
    }

    void Check(int round)
    {
        for (const auto& row : rows) {
            const std::string entry = Id(&table) + "." + std::to_string(row->entry.SubId());
            for (NyMibObject* column : row->entry.Children()) {
                const std::string expected =
                    entry + "." + std::to_string(column->SubId()) + DottedArcs(row->entry.Instance().SmiOid());
                ASSERT_EQ(Id(column), expected) << round;
                ASSERT_EQ(column->OidText(), expected) << round;
            }
        }
        for (int k = 0; k < 40; ++k) {
            std::vector<uint32_t> arcs = ATarget();
            NYSMI_OID record{static_cast<uint32_t>(arcs.size()), arcs.data()};
            NySnmpOid target(record);
            const std::string text = "round " + std::to_string(round) + " target " + target.AsString();
            ASSERT_EQ(top.Find(target), RefFind(top, record)) << text;
            ASSERT_EQ(table.FindNext(target), RefTableNext(table, record)) << text;
            ASSERT_EQ(top.FindNext(target), RefNext(top, record)) << text;
        }
        // A whole walk meets every readable leaf once, in identifier order.
        const std::vector<NyMibObject*> leaves = ReadableLeaves(top);
        ASSERT_EQ(Walk(top, top.Oid(), leaves.size()), leaves) << round;
    }
};

TEST_F(Random, IndexedLookupsMatchTheReferenceWhileRowsChange)
{
    for (int round = 0; round < 300 && !HasFatalFailure(); ++round) {
        Change();
        Check(round);
    }
    // Down to nothing: the index follows every row out.
    while (!rows.empty() && !HasFatalFailure()) {
        rows.erase(rows.begin() + Pick(static_cast<uint32_t>(rows.size())));
        Check(-1);
    }
    EXPECT_EQ(Next(top, TBL), &after);
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
    // A column added to a row that has its instance: the table's next renewal gives it the instance.
    MibInt late("late", b.entry, 4, kReadOnly);
    table.UpdateChildren();
    EXPECT_EQ(late.OidText(), std::string(TBL ".1.4.6"));
    EXPECT_EQ(Next(table, TBL ".1.3.6"), &late);
    // A column renewed on its own falls back to row.column; a renewal from any
    // level above puts the instance back.
    a.c2.UpdateOid();
    EXPECT_EQ(Exact(top, TBL ".1.2"), &a.c2);
    root.UpdateChildren();
    EXPECT_EQ(a.c2.OidText(), std::string(TBL ".1.2.5"));
    EXPECT_EQ(Exact(top, TBL ".1.2.5"), &a.c2);
    // Nodes made under a trap and a parentless top get identifiers as derived from the text.
    NyMibObject mid("mid", top, 4294967, 289, kNoAccess);
    NyMibTrap trap("trap", mid, 3);
    MibInt var("var", trap, 2147483647, kReadOnly);
    EXPECT_EQ(NySnmpOid(var.OidText()).Compare(var.Oid(), 0), 0);
    EXPECT_EQ(Id(&var), "1.3.6.1.4.1.7.4294967.3.2147483647");
}

// Nodes below a column, and columns whose identifier was changed through
// Oid() behind the tree's back: lookups still answer like a plain search, and
// nothing of the index outlives the nodes (the sanitizer build sees it).
TEST_F(Tree, UnusualColumnsAreSearchedLikeAnyOther)
{
    NyMibTable table("t", top, 2);
    auto a = std::make_unique<Row3>(table, kReadOnly, kReadOnly, kReadOnly);
    auto b = std::make_unique<Row3>(table, kReadOnly, kReadOnly, kReadOnly);
    a->entry.SetInstanceNumber(1);
    b->entry.SetInstanceNumber(2);
    ASSERT_EQ(Exact(top, TBL ".1.2.2"), &b->c2); // indexed from here on
    // A node under column 3 of row a, named to begin with b's column 2: a's
    // subtree comes first in pre-order.
    auto below = std::make_unique<MibInt>("below", a->c3, 9, kReadOnly);
    below->Oid().Assign(TBL ".1.2.2.5");
    EXPECT_EQ(Exact(top, TBL ".1.2.2"), below.get());
    below.reset();
    EXPECT_EQ(Exact(top, TBL ".1.2.2"), &b->c2);
    // Column 1 of row b moved out of the table by hand; the row's next
    // renewal puts it back in order.
    b->c1.Oid().Assign(TBL ".0.5");
    EXPECT_NE(Next(table, TBL), nullptr);
    b->entry.SetInstanceNumber(0);
    EXPECT_EQ(Next(table, TBL), &b->c1);
    b.reset();
    EXPECT_EQ(Next(table, TBL), &a->c1);
    a.reset();
    EXPECT_EQ(Next(table, TBL), nullptr);
    // Such a column met when the index is made is searched on its own.
    NyMibTable second("second", top, 4);
    auto c = std::make_unique<Row3>(second, kReadOnly, kReadOnly, kReadOnly);
    c->c2.Oid().Assign("1.3.6.1.4.1.7.4.0.5");
    EXPECT_EQ(Next(second, "1.3.6.1.4.1.7.4"), &c->c2);
    EXPECT_EQ(Exact(top, "1.3.6.1.4.1.7.4.0.5"), &c->c2);
    c.reset();
    EXPECT_EQ(Next(second, "1.3.6.1.4.1.7.4"), nullptr);
}

// The first lookups of a table made from several threads at once agree, and
// once the index exists no lookup allocates, however many rows it passes.
TEST_F(Tree, IndexedLookupsFromThreadsAgreeAndDoNotAllocate)
{
    NyMibTable table("t", top, 2);
    std::vector<std::unique_ptr<Row3>> rows;
    for (int i = 0; i < 300; ++i) {
        rows.push_back(std::make_unique<Row3>(table, kNoAccess, kReadOnly, kReadOnly));
        rows.back()->entry.SetInstanceNumber((i * 7) % 300);
    }
    const struct { const char* target; bool exact; const char* answer; } lookups[] = {
        {"1.3.6.1.4.1.7", false, TBL ".1.2.0"}, {TBL ".1.2.150", false, TBL ".1.2.151"},
        {TBL ".1.3.299", true, TBL ".1.3.299"}, {"1.3.6.1.4.1.8", false, "-"}};
    std::vector<NySnmpOid> targets[5]; // four threads, then one more round here
    for (std::vector<NySnmpOid>& list : targets)
        for (const auto& lookup : lookups)
            list.emplace_back(lookup.target);
    NyMibObject* found[5][4] = {};
    auto lookUp = [&](int t) {
        for (int i = 0; i < 4; ++i)
            found[t][i] = lookups[i].exact ? top.Find(targets[t][i]) : top.FindNext(targets[t][i]);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(lookUp, t);
    for (std::thread& thread : threads)
        thread.join();
#if NYSNMP_COUNT_ALLOCATIONS
    const long before = g_allocations;
    lookUp(4);
    EXPECT_EQ(g_allocations - before, 0);
    NySnmpOid probe("1.3"); // the counter does see the library's allocations
    EXPECT_GT(g_allocations, before);
#else
    lookUp(4);
#endif
    for (int t = 0; t < 5; ++t)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Id(found[t][i]), lookups[i].answer) << t;
}

} // namespace
