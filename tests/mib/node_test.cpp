// Construction of the tree: placement among siblings, identifiers, copies
// and destruction.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tree.h"

namespace {

using List = std::vector<int32_t>;

TEST(MibNode, RootAndTopLevelNodes)
{
    NyMibObject root("1.3.6.1.4.1");
    EXPECT_STREQ(root.Name(), "root");
    EXPECT_STREQ(root.OidText(), "0");
    EXPECT_STREQ(root.BaseOidText(), "1.3.6.1.4.1");
    EXPECT_EQ(root.Oid().Length(), 0u);
    EXPECT_STREQ(NyMibObject().BaseOidText(), "0");

    NyMibObject first("first", root.BaseOidText(), &root.Children(), 289, kNoAccess);
    NyMibObject second(nullptr, "1.3.6.1.2", &root.Children(), 289, kNoAccess);
    EXPECT_EQ(Id(&first), "1.3.6.1.4.1");
    EXPECT_STREQ(second.Name(), "unkown");
    EXPECT_EQ(first.Parent(), nullptr);
    // Appended as they come, no ordering.
    ASSERT_EQ(root.Children().size(), 2u);
    EXPECT_EQ(root.Children()[1], &second);
    // A plain node holds no value: get and set refuse, the value untouched.
    NySnmpValue value;
    value.SetInt32(9);
    EXPECT_EQ(first.get(value), 3);
    EXPECT_EQ(value.SmiValue().value.int32, 9);
    EXPECT_EQ(first.set(value, true), 3);
    // A children list that already holds parentless members (entered by the
    // list constructor) still takes children by sub-identifier.
    NyMibObject b("b", root, 5, 289, kNoAccess), a("a", root, 2, 289, kNoAccess);
    EXPECT_EQ(SubIds(root.Children()), (List{0, 0, 2, 5}));
    EXPECT_EQ(root.Children()[1], &second);
}

TEST_F(Tree, SiblingsAscendBySubIdInConstructionOrderOnTies)
{
    NyMibObject c3("c3", top, 3, 289, kNoAccess), c1("c1", top, 1, 289, kNoAccess);
    NyMibObject c2("c2", top, 2, 289, kNoAccess), c1b("c1b", top, 1, 289, kNoAccess);
    EXPECT_EQ(SubIds(top.Children()), (List{1, 1, 2, 3}));
    EXPECT_EQ(top.Children()[0], &c1);
    EXPECT_EQ(top.Children()[1], &c1b);
    EXPECT_STREQ(c2.OidText(), "1.3.6.1.4.1.7.2");
    EXPECT_EQ(c2.Oid().Length(), 8u);
    EXPECT_STREQ(c2.BaseOidText(), "1.3.6.1.4.1.7");
}

TEST_F(Tree, DestructionLeavesExactlyItsOwnEntry)
{
    NyMibObject a("a", top, 1, 289, kNoAccess), c("c", top, 3, 289, kNoAccess);
    {
        auto b = std::make_unique<NyMibObject>("b", top, 2, 289, kNoAccess);
        NyMibObject copy(*b); // a copy enters no list and leaves none
        EXPECT_EQ(copy.Parent(), &top);
        EXPECT_EQ(SubIds(top.Children()), (List{1, 2, 3}));
    }
    EXPECT_EQ(SubIds(top.Children()), (List{1, 3}));
}

// A copy whose source's list is gone, and an assigned node, leave cleanly.
TEST_F(Tree, CopiesAndAssignmentsOutliveTheirSourcesLists)
{
    std::unique_ptr<NyMibObject> copy;
    {
        NyMibObject parent("parent", top, 1, 289, kNoAccess);
        NyMibObject child("child", parent, 1, 289, kNoAccess);
        copy = std::make_unique<NyMibObject>(child);
        NyMibObject assigned("assigned", top, 2, 289, kNoAccess);
        assigned = child;
        EXPECT_STREQ(assigned.Name(), "child");
    }
    EXPECT_TRUE(top.Children().empty());
    copy.reset(); // would read the destroyed parent's list if it kept it
}

TEST(MibNode, CopyOfNodesWithEmptyIdentifierAndBinding)
{
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject rootCopy(root);
    EXPECT_EQ(rootCopy.Oid().Length(), 0u);
    MibOid leaf("leaf", rootCopy, 1, kReadOnly);
    MibOid leafCopy(leaf);
    EXPECT_EQ(leafCopy.value().Length(), 0u);
    EXPECT_EQ(leafCopy.TrapVar().Oid().Length(), 0u);
    leafCopy = leaf;
    EXPECT_EQ(Id(&leafCopy), "0.1");
}

// Texts are copied and shared: the caller's buffer may change or go, and
// nodes given equal texts (whatever their names) hold one copy.
TEST_F(Tree, TextsAreSharedCopies)
{
    {
        std::string description = "A column of the table.";
        MibInt a("col", top, 1, kReadOnly, description.c_str());
        description.assign("Something else entirely, and longer than before.");
        const std::string same = "A column of the table.";
        MibInt b("col", top, 2, kReadOnly, same.c_str());
        NyMibTable table("table", top, 3, same.c_str(), nullptr, "TableEntry");
        NyMibObject copy(table);
        EXPECT_STREQ(a.Description(), "A column of the table.");
        EXPECT_EQ(a.Description(), b.Description());
        EXPECT_EQ(a.Name(), b.Name());
        EXPECT_EQ(table.Description(), a.Description());
        EXPECT_EQ(copy.EntryTypeName(), table.TypeName());
        EXPECT_STREQ(table.EntryTypeName(), "TableEntry");
        EXPECT_STREQ(a.EntryTypeName(), "");
        EXPECT_STREQ(NyMibObject("x", top, 4, 289, kNoAccess).TypeName(), "");
        MibInt c("col", top, 5, kReadOnly, "Another.");
        c = a;
        EXPECT_EQ(c.Description(), a.Description());
    }
}

TEST_F(Tree, BadSubIdThrowsAndLeavesParentUntouched)
{
    EXPECT_THROW(NyMibObject("bad", top, -1, 289, kNoAccess), NySocketException);
    EXPECT_THROW(NyMibObject("bad", "1.3.x", &top.Children(), 289, kNoAccess), NySocketException);
    EXPECT_TRUE(top.Children().empty());
}

} // namespace
