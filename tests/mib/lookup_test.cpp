// Find and FindNext: scalars, the table walk, a whole walk of a tree, and
// lookups that allocate nothing however many rows and nodes they pass.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <tuple>
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

// Scalars 1 to 3 readable (built out of order), then leaves FindNext passes
// over: write-only, not accessible, an unknown access code, then 7 readable.
struct Scalars : ::testing::Test {
    NyMibObject root{"1.3.6.1.4.1"};
    NyMibObject g{"g", "1.3.6.1.4.1.5", &root.Children(), 289, kNoAccess};
    MibInt s3{"s3", g, 3, kReadOnly}, s1{"s1", g, 1, kReadOnly}, s2{"s2", g, 2, kReadWrite};
    MibInt w4{"w4", g, 4, kWriteOnly}, n5{"n5", g, 5, kNoAccess}, x6{"x6", g, 6, 7}, s7{"s7", g, 7, kReadOnly};
};

TEST_F(Scalars, NextAndExact)
{
    const std::string G = "1.3.6.1.4.1.5";
    const std::tuple<bool, std::string, const NyMibObject*> cases[] = {
        // FindNext?, target, expected
        {true, G, &s1}, {true, G + ".1", &s2}, {true, G + ".1.0", &s2}, {true, G + ".3", &s7},
        {true, G + ".7", nullptr}, {true, "1.3.6", &s1}, {false, G + ".2", &s2}, {false, G + ".2.0", nullptr},
        {false, G, &g}, {false, "1.3.6.1.4.1", &g}, // a prefix finds the shallowest node
    };
    for (const auto& [next, target, expected] : cases)
        EXPECT_EQ(next ? Next(g, target) : Exact(g, target), expected) << next << " " << target;
    NySnmpOid empty;
    EXPECT_EQ(root.Find(empty), &root);
    EXPECT_EQ(g.Find(empty), nullptr);
}

// Table T with rows of instances 2, 10, 1 in that list order; column 1 not
// accessible, columns 2 and 3 readable.
struct Table : Tree {
    NyMibTable table{"t", top, 2};
    MibInt after{"after", top, 3, kReadOnly};
    Row3 r2{table, kNoAccess, kReadOnly, kReadOnly};
    Row3 r10{table, kNoAccess, kReadOnly, kReadOnly};
    Row3 r1{table, kNoAccess, kReadOnly, kReadOnly};
    const std::string T = "1.3.6.1.4.1.7.2";
    void SetUp() override
    {
        r2.entry.SetInstanceNumber(2);
        r10.entry.SetInstanceNumber(10);
        r1.entry.SetInstanceNumber(1);
    }
};

TEST_F(Table, WalkGoesColumnByColumnInInstanceOrder)
{
    const std::pair<std::string, const NyMibObject*> cases[] = {
        {T, &r1.c2},
        {"1.3.6.1.4.1.7", &r1.c2},     // before the table
        {"1.3", &r1.c2},               // a prefix of it
        {T + ".1", &r1.c2},            // the entry, no column
        {T + ".1.2", &r1.c2},          // a column, no instance
        {T + ".1.2.1", &r2.c2},
        {T + ".1.2.2", &r10.c2},
        {T + ".1.2.10", &r1.c3},
        {T + ".1.3.10", nullptr},
        {T + ".1.9.1", nullptr},       // column arc past the last column
        {T + ".2.2.1", nullptr},       // entry arc past the rows'
        {"1.3.6.1.4.1.7.3", nullptr},  // past the table
        {T + ".0.3.1", &r1.c2},        // entry arc below the rows'
        {T + ".1.1.5", &r1.c2},        // inside the unreadable column
        {T + ".1.2.4294967295", &r1.c3},
    };
    for (const auto& [target, expected] : cases)
        EXPECT_EQ(Id(Next(table, target)), Id(expected)) << target;
    EXPECT_EQ(Next(top, T + ".1.3.10"), &after);
    EXPECT_EQ(Exact(top, T + ".1.3.10"), &r10.c3);
    EXPECT_EQ(Exact(top, T + ".1"), &r2.entry); // the first row in list order
}

TEST_F(Table, InstancesOfDifferentLengthsAndSlices)
{
    Arcs twoFive{2, 5};
    r10.entry.SetInstanceNumber(twoFive.record);
    EXPECT_EQ(Next(table, T + ".1.2.2"), &r10.c2);   // 2 -> 2.5 -> 1 of column 3
    EXPECT_EQ(Next(table, T + ".1.2.2.5"), &r1.c3);

    Arcs a{127, 0, 0, 1, 161, 10, 0, 0, 2, 80}, b{127, 0, 0, 1, 162, 1, 1, 1, 1, 1},
        c{127, 0, 0, 2, 7, 1, 1, 1, 1, 1};
    r2.entry.SetInstanceNumber(b.record);
    r10.entry.SetInstanceNumber(c.record);
    r1.entry.SetInstanceNumber(a.record);
    EXPECT_EQ(Next(table, T + ".1.2.127.0.0.1"), &r1.c2); // the slice's first row
    EXPECT_EQ(Next(table, T + ".1.2.127.0.0.1.161.10.0.0.2.80"), &r2.c2);
    EXPECT_EQ(Next(table, T + ".1.2.127.0.0.1.999"), &r10.c2);
}

TEST_F(Tree, EmptyTableAnswersNothing)
{
    NyMibTable table("t", top, 2);
    for (const char* target : {"1.3", "1.3.6.1.4.1.7.2", "1.3.6.1.4.1.7.2.1.1.1", "1.4"})
        EXPECT_EQ(Next(table, target), nullptr) << target;
}

// Collects the readable value leaves of a subtree, the test's own way.
void Leaves(NyMibObject* node, std::vector<NyMibObject*>& out)
{
    if ((node->Syntax() & 0x20) == 0 && (node->Access() == 1 || node->Access() == 2))
        out.push_back(node);
    for (NyMibObject* child : node->Children())
        Leaves(child, out);
}

// Walks `top` by repeated FindNext from its own identifier and compares the
// objects met with the readable leaves sorted by identifier.
void ExpectWholeWalk(NyMibObject& top, size_t expectedCount)
{
    std::vector<NyMibObject*> expected, walked;
    Leaves(&top, expected);
    std::sort(expected.begin(), expected.end(), [](NyMibObject* x, NyMibObject* y) {
        const NYSMI_OID &a = x->Oid().SmiOid(), &b = y->Oid().SmiOid();
        return std::lexicographical_compare(a.ptr, a.ptr + a.len, b.ptr, b.ptr + b.len);
    });
    ASSERT_EQ(expected.size(), expectedCount);
    NySnmpOid target = top.Oid();
    for (NyMibObject* next = top.FindNext(target); next != nullptr && walked.size() <= expected.size();
         next = top.FindNext(target)) {
        walked.push_back(next);
        target = next->Oid();
    }
    EXPECT_EQ(walked, expected);
}

TEST_F(Tree, RepeatedFindNextVisitsEveryReadableLeafOnceInOrder)
{
    NyMibObject group("group", top, 1, 289, kNoAccess);
    MibInt g1("g1", group, 1, kReadOnly), g2("g2", group, 2, kWriteOnly);
    MibOctets g3("g3", group, 3, kReadWrite);
    NyMibTable table("t", top, 2);
    std::vector<std::unique_ptr<Row3>> rows;
    std::vector<Arcs> instances = {{9}, {3, 1}, {4294967295u}, {3}, {0}, {3, 0, 7}, {12}};
    for (Arcs& instance : instances) {
        rows.push_back(std::make_unique<Row3>(table, kReadOnly, kNoAccess, kReadWrite));
        rows.back()->entry.SetInstanceNumber(instance.record);
    }
    NyMibTrap trap("alarm", top, 3);
    MibCounter t1("t1", trap, 1, kReadOnly);
    NyMibSequence aggregate("agg", top, 4, 291, kNoAccess, nullptr, nullptr, "Agg");
    MibGauge a1("a1", aggregate, 1, kReadOnly);
    ExpectWholeWalk(top, 2 + 2 * instances.size() + 2);
}

// Rows whose columns are numbered sparsely and differ from row to row.
TEST_F(Tree, WalkOverRowsWithDifferentColumns)
{
    NyMibTable table("t", top, 2);
    NyMibTableEntry a("a", table, 1), b("b", table, 1), c("c", table, 1);
    MibInt a2("a2", a, 2, kReadOnly), a5("a5", a, 5, kReadOnly), a9("a9", a, 9, kNoAccess),
        a14("a14", a, 14, kReadOnly);
    MibInt b5("b5", b, 5, kReadOnly), b9("b9", b, 9, kReadOnly);
    MibInt c1("c1", c, 1, kReadOnly), c20("c20", c, 20, kReadOnly);
    a.SetInstanceNumber(4);
    b.SetInstanceNumber(2);
    c.SetInstanceNumber(3);
    ExpectWholeWalk(top, 7);
    EXPECT_EQ(Next(table, "1.3.6.1.4.1.7.2.1.9.3"), &a14);
    EXPECT_EQ(Next(table, "1.3.6.1.4.1.7.2.1.3.9"), &b5);
}

#if NYSNMP_COUNT_ALLOCATIONS
TEST_F(Tree, FindAndFindNextDoNotAllocateOnceIndexed)
{
    MibInt scalar("s", top, 1, kReadOnly);
    NyMibTable table("t", top, 2);
    std::vector<std::unique_ptr<Row3>> rows;
    for (int i = 0; i < 50; ++i) {
        rows.push_back(std::make_unique<Row3>(table, kNoAccess, kReadOnly, kReadOnly));
        rows.back()->entry.SetInstanceNumber((i * 17) % 50);
    }
    NySnmpOid start("1.3.6.1.4.1.7"), middle("1.3.6.1.4.1.7.2.1.2.25"), past("1.3.6.1.4.1.8");
    NySnmpOid exact("1.3.6.1.4.1.7.2.1.3.49");
    top.FindNext(middle); // the first lookup in a table builds the table's index
    const long before = g_allocations;
    NyMibObject *next = top.FindNext(start), *inside = top.FindNext(middle), *none = top.FindNext(past);
    NyMibObject* found = top.Find(exact);
    EXPECT_EQ(g_allocations - before, 0);
    NySnmpOid probe("1.3"); // the counter does see the library's allocations
    EXPECT_GT(g_allocations, before);
    EXPECT_EQ(next, &scalar);
    EXPECT_EQ(Id(inside), "1.3.6.1.4.1.7.2.1.2.26");
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Id(found), "1.3.6.1.4.1.7.2.1.3.49");
}
#endif

} // namespace
