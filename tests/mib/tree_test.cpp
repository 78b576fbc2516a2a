// Building the tree: placement among siblings, identifiers of rows and
// columns, copies and destruction; the typed variables' get and set.
#include <cstring>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "snmp/check.h"
#include "tree.h"

namespace {

using List = std::vector<int32_t>;

TEST_F(Tree, SiblingsAscendBySubIdInConstructionOrderOnTies)
{
    NyMibObject c3("c3", top, 3, 289, kNoAccess), c1("c1", top, 1, 289, kNoAccess);
    NyMibObject c2("c2", top, 2, 289, kNoAccess), c1b("c1b", top, 1, 289, kNoAccess);
    EXPECT_EQ(SubIds(top.Children()), (List{1, 1, 2, 3}));
    EXPECT_EQ(top.Children()[1], &c1b);
    EXPECT_STREQ(c2.OidText(), "1.3.6.1.4.1.7.2");
    // Top-level nodes are appended as they come; a list holding such parentless
    // members still takes children by sub-identifier.
    NyMibObject second(nullptr, "1.3.6.1.2", &root.Children(), 289, kNoAccess);
    NyMibObject b("b", root, 5, 289, kNoAccess), a("a", root, 2, 289, kNoAccess);
    EXPECT_EQ(SubIds(root.Children()), (List{0, 0, 2, 5}));
    EXPECT_EQ(root.Children()[1], &second);
    // A bad sub-identifier throws and leaves the parent untouched.
    EXPECT_THROW(NyMibObject("bad", c2, -1, 289, kNoAccess), NySocketException);
    EXPECT_THROW(NyMibObject("bad", "1.3.x", &c2.Children(), 289, kNoAccess), NySocketException);
    EXPECT_TRUE(c2.Children().empty());
}

// Destruction takes out exactly its own entry; copies enter no list, and a
// copy or an assigned node whose source's list is gone leaves cleanly.
TEST_F(Tree, CopiesAndDestruction)
{
    NyMibObject a("a", top, 1, 289, kNoAccess), c("c", top, 3, 289, kNoAccess);
    std::unique_ptr<NyMibObject> copy;
    {
        NyMibObject b("b", top, 2, 289, kNoAccess);
        NyMibObject child("child", b, 1, 289, kNoAccess);
        copy = std::make_unique<NyMibObject>(child);
        NyMibObject assigned("assigned", top, 4, 289, kNoAccess);
        assigned = child;
        EXPECT_STREQ(assigned.Name(), "child");
        EXPECT_EQ(top.Children().size(), 4u);
    }
    EXPECT_EQ(SubIds(top.Children()), (List{1, 3}));
    copy.reset();
    NyMibObject rootCopy(root); // an empty identifier may be copied
    MibOid leaf("leaf", rootCopy, 1, kReadOnly);
    MibOid leafCopy(leaf);
    leafCopy = leaf;
    EXPECT_EQ(Id(&leafCopy), "0.1");
}

// Columns answer for the row's instance, arcs above 2^31 - 1 and instances far
// longer than a hundred characters kept exactly; a refused instance changes nothing.
TEST_F(Tree, ColumnIdentifiersFollowTheRowsInstance)
{
    NyMibObject two("two", top, 2, 289, kNoAccess);
    NyMibTable table("table", two, 1, "A table.", nullptr, "TableEntry");
    NyMibTableEntry row("entry", table, 1);
    MibInt c12("c12", row, 12, kReadOnly), c1("c1", row, 1, kReadOnly);
    EXPECT_EQ(Id(&c1), "1.3.6.1.4.1.7.2.1.1.1"); // as constructed, no instance
    table.UpdateChildren();
    EXPECT_EQ(Id(&c1), "1.3.6.1.4.1.7.2.1.1.1.0");
    row.SetInstanceNumber(5);
    EXPECT_STREQ(c12.OidText(), "1.3.6.1.4.1.7.2.1.1.12.5");
    Arcs big{4294967295u, 2147483648u, 0, 7};
    row.SetInstanceNumber(big.record);
    EXPECT_EQ(Id(&c12), "1.3.6.1.4.1.7.2.1.1.12.4294967295.2147483648.0.7");
    EXPECT_STREQ(c12.OidText(), "1.3.6.1.4.1.7.2.1.1.12.4294967295.2147483648.0.7");
    Arcs longer{4000000000u, 4000000001u, 4000000002u, 4000000003u, 4000000004u, 4000000005u,
                4000000006u, 4000000007u, 4000000008u, 4000000009u, 4000000010u, 4000000011u};
    row.SetInstanceNumber(longer.record);
    EXPECT_EQ(std::string(c12.OidText()), Id(&c12));
    NYSMI_OID empty{0, nullptr};
    EXPECT_THROW(row.SetInstanceNumber(empty), NySocketException);
    EXPECT_THROW(row.SetInstanceNumber(-3), NySocketException);
    table.UpdateChildren();
    EXPECT_EQ(std::string(c1.OidText()), Id(&c1));
    EXPECT_EQ(row.Instance().SmiOid().ptr[11], 4000000011u);
}

// ---- variables ------------------------------------------------------------------

// A value offered to a variable of each kind: only a writable variable of
// its kind takes it, in the test and in the commit; the test phase stores
// nothing; an empty identifier (it could not be read again) and octets
// without their bytes are refused.  Octets are handed out whole, zero octets
// included (the text stops at the first); an identifier variable without a
// value cannot be read.
TEST_F(Tree, VariablesTakeOnlyWhatTheyCanStore)
{
    MibInt integer("i", top, 1, kReadWrite), readOnly("r", top, 7, kReadOnly), hidden("h", top, 8, kNoAccess);
    MibInt writeOnly("w", top, 9, kWriteOnly);
    MibGauge gauge("g", top, 2, kReadWrite);
    MibCounter64 c64("c", top, 3, kReadWrite);
    MibOctets octets("o", top, 4, kReadWrite);
    MibOid oid("d", top, 5, kReadWrite);
    MibNull null("n", top, 6, kReadWrite);
    NyMibObject* vars[] = {&null, &integer, &gauge, &c64, &octets, &oid, &readOnly, &hidden, &writeOnly};
    uint32_t arcs[] = {1, 3, 4000000000u};
    const std::pair<std::function<void(NySnmpValue&)>, int> cases[] = {
        // the value's setter; the kind of variable that takes it, -1 none
        {[](NySnmpValue& v) { v.SetInt32(-9); }, 1}, {[](NySnmpValue& v) { v.SetCntr32(7); }, 2},
        {[](NySnmpValue& v) { v.SetTimeticks(9); }, 2}, {[](NySnmpValue& v) { v.SetUInt32(10); }, 2},
        {[](NySnmpValue& v) { v.SetCntr64({1, 2}); }, 3}, {[&](NySnmpValue& v) { v.SetOid({3, arcs}); }, 5},
        {[](NySnmpValue& v) { v.SetNoSuchInstance(42); }, 0},
        {[](NySnmpValue& v) { v.Assign(Record(64, Octets(std::string("\x0a\x00\x00\x01", 4)))); }, 4},
        {[](NySnmpValue& v) { v.Assign(Record(48, Octets("ab"))); }, -1}, {[](NySnmpValue&) {}, -1},
    };
    for (const auto& [make, kind] : cases) {
        NySnmpValue value;
        make(value);
        for (NyMibObject* var : vars) {
            const bool writable = var->Access() == kReadWrite || var->Access() == kWriteOnly;
            const int expected = !writable ? 17 : var->ValueKind() == kind ? 0 : 3;
            EXPECT_EQ(var->set(value, false), expected) << value.Syntax() << " on " << var->Name();
            EXPECT_EQ(var->set(value, true), expected) << value.Syntax() << " on " << var->Name();
        }
    }
    EXPECT_EQ(null.value(), 42);
    EXPECT_EQ(integer.value(), -9);
    EXPECT_EQ(writeOnly.value(), -9);
    EXPECT_EQ(gauge.value(), 10u);
    EXPECT_EQ(c64.value(), 0x100000002ull);
    EXPECT_EQ(octets.value(), std::string("\x0a\x00\x00\x01", 4));
    EXPECT_EQ(oid.value().SmiOid().ptr[2], 4000000000u);

    NySnmpValue seven;
    seven.SetCntr32(7);
    EXPECT_EQ(gauge.set(seven, false), 0);
    EXPECT_EQ(gauge.value(), 10u);
    EXPECT_EQ(oid.set(NySnmpValue(Record(6)), true), 3);
    NySnmpValue holder;
    holder.SmiValue() = Record(4, {3, nullptr}); // claims bytes it has not
    EXPECT_EQ(octets.set(holder, true), 3);
    holder.SmiValue().syntax = 0;
    EXPECT_EQ(octets.set(NySnmpValue(Record(4, Octets(""))), true), 0);

    NySnmpValue value;
    octets.value().assign("ab\0cd", 5);
    EXPECT_EQ(octets.get(value), 0);
    ASSERT_EQ(value.SmiValue().value.octets.len, 5u);
    EXPECT_EQ(std::memcmp(value.SmiValue().value.octets.ptr, "ab\0cd", 5), 0);
    EXPECT_STREQ(octets.c_str(), "ab");
    EXPECT_THROW(MibOid("unset", top, 10, kReadOnly).get(value), NySocketException);
}

} // namespace
