// Find and FindNext: scalars, the table walk, and a whole walk of a tree.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tree.h"

namespace {

NyMibObject* Next(NyMibObject& node, const std::string& target)
{
    NySnmpOid oid(target.c_str());
    return node.FindNext(oid);
}

NyMibObject* Exact(NyMibObject& node, const std::string& target)
{
    NySnmpOid oid(target.c_str());
    return node.Find(oid);
}

struct Scalars : ::testing::Test {
    NyMibObject root{"1.3.6.1.4.1"};
    NyMibObject g{"g", "1.3.6.1.4.1.5", &root.Children(), 289, kNoAccess};
    MibInt s3{"s3", g, 3, kReadOnly}, s1{"s1", g, 1, kReadOnly}, s2{"s2", g, 2, kReadWrite};
};

TEST_F(Scalars, NextAndExact)
{
    const std::string G = "1.3.6.1.4.1.5";
    EXPECT_EQ(Next(g, G), &s1);
    EXPECT_EQ(Next(g, G + ".1"), &s2);
    EXPECT_EQ(Next(g, G + ".1.0"), &s2);
    EXPECT_EQ(Next(g, G + ".3"), nullptr);
    EXPECT_EQ(Next(g, "1.3.6"), &s1);
    EXPECT_EQ(Exact(g, G + ".2"), &s2);
    EXPECT_EQ(Exact(g, G + ".2.0"), nullptr);
    EXPECT_EQ(Exact(g, G), &g);
    EXPECT_EQ(Exact(g, "1.3.6.1.4.1"), &g); // a prefix finds the shallowest node
    NySnmpOid empty;
    EXPECT_EQ(root.Find(empty), &root);
    EXPECT_EQ(g.Find(empty), nullptr);
}

TEST(MibLookup, UnreadableLeavesArePassedOver)
{
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject g("g", "1.3.6.1.4.1.5", &root.Children(), 289, kNoAccess);
    MibInt s1("s1", g, 1, kReadOnly), s2("s2", g, 2, kWriteOnly), s3("s3", g, 3, kReadOnly);
    MibInt s4("s4", g, 4, kNoAccess), s5("s5", g, 5, 7);
    EXPECT_EQ(Next(g, "1.3.6.1.4.1.5.1"), &s3);
    EXPECT_EQ(Next(g, "1.3.6.1.4.1.5.3"), nullptr);
}

// Table T with rows of instances 2, 10, 1 in that list order; column 1 not
// accessible, columns 2 and 3 readable.
struct Table : ::testing::Test {
    NyMibObject root{"1.3.6.1.4.1"};
    NyMibObject top{"top", "1.3.6.1.4.1.7", &root.Children(), 289, kNoAccess};
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
    struct Case {
        std::string target;
        const NyMibObject* expected;
    } cases[] = {
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
    for (const Case& c : cases)
        EXPECT_EQ(Id(Next(table, c.target)), Id(c.expected)) << c.target;
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

TEST(MibLookup, EmptyTableAnswersNothing)
{
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject top("top", "1.3.6.1.4.1.7", &root.Children(), 289, kNoAccess);
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
    std::vector<NyMibObject*> expected;
    Leaves(&top, expected);
    std::sort(expected.begin(), expected.end(), [](NyMibObject* x, NyMibObject* y) {
        const NYSMI_OID& a = x->Oid().SmiOid();
        const NYSMI_OID& b = y->Oid().SmiOid();
        return std::lexicographical_compare(a.ptr, a.ptr + a.len, b.ptr, b.ptr + b.len);
    });
    ASSERT_EQ(expected.size(), expectedCount);

    std::vector<NyMibObject*> walked;
    NySnmpOid target = top.Oid();
    for (size_t step = 0; step <= expected.size(); ++step) {
        NyMibObject* next = top.FindNext(target);
        if (next == nullptr)
            break;
        walked.push_back(next);
        target = next->Oid();
    }
    EXPECT_EQ(walked, expected);
}

TEST(MibLookup, RepeatedFindNextVisitsEveryReadableLeafOnceInOrder)
{
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject top("top", "1.3.6.1.4.1.7", &root.Children(), 289, kNoAccess);
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
TEST(MibLookup, WalkOverRowsWithDifferentColumns)
{
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject top("top", "1.3.6.1.4.1.7", &root.Children(), 289, kNoAccess);
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

} // namespace
