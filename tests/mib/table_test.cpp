// Tables and rows: the identifiers of columns, row order, and what a refused
// instance leaves behind.
#include <memory>

#include <gtest/gtest.h>

#include "tree.h"

namespace {

struct TableFixture : Tree {
    NyMibObject two{"two", top, 2, 289, kNoAccess};
    NyMibTable table{"table", two, 1, "A table.", nullptr, "TableEntry"};
};

TEST_F(TableFixture, ColumnIdentifiersFollowTheRowsInstance)
{
    NyMibTableEntry row("entry", table, 1);
    MibInt c2("c2", row, 2, kReadOnly), c1("c1", row, 1, kReadOnly);
    EXPECT_EQ(Id(&c1), "1.3.6.1.4.1.7.2.1.1.1"); // as constructed, no instance
    row.NyMibObject::UpdateChildren();           // the base version passes rows over
    EXPECT_EQ(Id(&c1), "1.3.6.1.4.1.7.2.1.1.1");
    table.UpdateChildren();
    EXPECT_EQ(Id(&c2), "1.3.6.1.4.1.7.2.1.1.2.0");
    row.SetInstanceNumber(5);
    EXPECT_EQ(Id(&row), "1.3.6.1.4.1.7.2.1.1");
    EXPECT_EQ(Id(&c1), "1.3.6.1.4.1.7.2.1.1.1.5");
    EXPECT_STREQ(c2.OidText(), "1.3.6.1.4.1.7.2.1.1.2.5");
    Arcs pair{10, 1};
    row.SetInstanceNumber(pair.record);
    EXPECT_EQ(Id(&c2), "1.3.6.1.4.1.7.2.1.1.2.10.1");
}

// Arcs above 2^31 - 1 and instances far longer than a hundred characters of
// text are carried exactly into the columns' identifiers and texts.
TEST_F(TableFixture, LongInstancesAndLargeArcsAreKeptExactly)
{
    NyMibTableEntry row("entry", table, 1);
    MibInt c12("c12", row, 12, kReadOnly);
    Arcs big{4294967295u, 2147483648u, 0, 7};
    row.SetInstanceNumber(big.record);
    EXPECT_EQ(Id(&c12), "1.3.6.1.4.1.7.2.1.1.12.4294967295.2147483648.0.7");
    EXPECT_STREQ(c12.OidText(), "1.3.6.1.4.1.7.2.1.1.12.4294967295.2147483648.0.7");

    Arcs longer{4000000000u, 4000000001u, 4000000002u, 4000000003u, 4000000004u, 4000000005u,
                4000000006u, 4000000007u, 4000000008u, 4000000009u, 4000000010u, 4000000011u};
    row.SetInstanceNumber(longer.record);
    ASSERT_EQ(c12.Oid().Length(), 11u + 12u);
    EXPECT_EQ(c12.Oid().SmiOid().ptr[22], 4000000011u);
    EXPECT_EQ(std::string(c12.OidText()), Id(&c12));
}

// A refused instance leaves the row's instance and its columns as they were.
TEST_F(TableFixture, RefusedInstanceChangesNothing)
{
    NyMibTableEntry row("entry", table, 1);
    MibInt c1("c1", row, 1, kReadOnly);
    row.SetInstanceNumber(8);
    NYSMI_OID empty{0, nullptr};
    EXPECT_THROW(row.SetInstanceNumber(empty), NySocketException);
    EXPECT_THROW(row.SetInstanceNumber(-3), NySocketException);
    EXPECT_EQ(Id(&c1), "1.3.6.1.4.1.7.2.1.1.1.8");
    ASSERT_EQ(row.Instance().SmiOid().len, 1u);
    EXPECT_EQ(row.Instance().SmiOid().ptr[0], 8u);
    table.UpdateChildren();
    EXPECT_EQ(Id(&c1), "1.3.6.1.4.1.7.2.1.1.1.8");
    NySnmpOid target("1.3.6.1.4.1.7.2.1");
    EXPECT_EQ(table.FindNext(target), &c1);
}

TEST_F(TableFixture, RowsStayInCreationOrderAndLeaveWhenDestroyed)
{
    Row3 r7(table, kReadOnly, kReadOnly, kReadOnly);
    auto r3 = std::make_unique<Row3>(table, kReadOnly, kReadOnly, kReadOnly);
    Row3 r5(table, kReadOnly, kReadOnly, kReadOnly);
    r7.entry.SetInstanceNumber(7);
    r3->entry.SetInstanceNumber(3);
    r5.entry.SetInstanceNumber(5);
    ASSERT_EQ(table.Children().size(), 3u);
    EXPECT_EQ(table.Children()[1], &r3->entry);
    NyMibTableEntry copy(r7.entry);
    EXPECT_EQ(copy.Instance().SmiOid().ptr[0], 7u);

    NySnmpOid target("1.3.6.1.4.1.7.2.1.1.2");
    EXPECT_EQ(table.FindNext(target), &r3->c2);
    r3.reset();
    EXPECT_EQ(table.Children().size(), 2u);
    EXPECT_EQ(table.FindNext(target), &r5.c2);
}

} // namespace
