// Typed variables: get and set per kind and access, text forms, erase.
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "tree.h"

namespace {

using Vars = Tree;

NySnmpValue Octets(const char* bytes, uint32_t length, uint32_t syntax = 4)
{
    NYSMI_VALUE record{};
    record.syntax = syntax;
    record.value.octets.len = length;
    record.value.octets.ptr = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes));
    return NySnmpValue(record);
}

// Each row: a value offered to a read-write variable of each kind; the
// check result, and whether the commit stores it.
TEST_F(Vars, SetAcceptsValuesOfTheVariablesKindOnly)
{
    MibInt integer("i", top, 1, kReadWrite);
    MibGauge gauge("g", top, 2, kReadWrite);
    MibCounter64 c64("c", top, 3, kReadWrite);
    MibOctets octets("o", top, 4, kReadWrite);
    MibOid oid("d", top, 5, kReadWrite);
    MibNull null("n", top, 6, kReadWrite);
    NyMibObject* vars[] = {&null, &integer, &gauge, &c64, &octets, &oid};

    uint32_t arcs[] = {1, 3, 4000000000u};
    NYSMI_VALUE seq{};
    seq.syntax = 48;
    const std::pair<std::function<void(NySnmpValue&)>, int> cases[] = {
        // the value's setter; the variable (by kind) that takes it, -1 none
        {[](NySnmpValue& v) { v.SetInt32(-9); }, 1}, {[](NySnmpValue& v) { v.SetCntr32(7); }, 2},
        {[](NySnmpValue& v) { v.SetGauge32(8); }, 2}, {[](NySnmpValue& v) { v.SetTimeticks(9); }, 2},
        {[](NySnmpValue& v) { v.SetUInt32(10); }, 2}, {[](NySnmpValue& v) { v.SetCntr64({1, 2}); }, 3},
        {[&](NySnmpValue& v) { v.SetOid({3, arcs}); }, 5}, {[](NySnmpValue& v) { v.SetNull(0); }, 0},
        {[](NySnmpValue& v) { v.SetNoSuchInstance(42); }, 0},
        {[](NySnmpValue& v) { v = Octets("\x0a\x00\x00\x01", 4, 64); }, 4},
        {[&](NySnmpValue& v) { v.Assign(seq); }, -1}, {[](NySnmpValue&) {}, -1},
    };
    for (const auto& [make, kind] : cases) {
        NySnmpValue value;
        make(value);
        for (NyMibObject* var : vars) {
            const int expected = var->ValueKind() == kind ? 0 : 3;
            EXPECT_EQ(var->set(value, false), expected) << value.Syntax() << " on " << var->Name();
            EXPECT_EQ(var->set(value, true), expected) << value.Syntax() << " on " << var->Name();
        }
    }
    EXPECT_EQ(null.value(), 42);
    EXPECT_EQ(integer.value(), -9);
    EXPECT_EQ(gauge.value(), 10u);
    EXPECT_EQ(c64.value(), 0x100000002ull);
    EXPECT_EQ(octets.value(), std::string("\x0a\x00\x00\x01", 4));
    EXPECT_STREQ(oid.c_str(), "1.3.-294967296");
    EXPECT_EQ(oid.value().SmiOid().ptr[2], 4000000000u);
}

TEST_F(Vars, CheckChangesNothingAndAccessIsEnforced)
{
    MibGauge gauge("g", top, 1, kReadWrite);
    MibInt readOnly("r", top, 2, kReadOnly), hidden("h", top, 3, kNoAccess);
    MibInt writeOnly("w", top, 4, kWriteOnly);
    NySnmpValue seven;
    seven.SetCntr32(7);
    EXPECT_EQ(gauge.set(seven, false), 0);
    EXPECT_EQ(gauge.value(), 0u);
    EXPECT_EQ(gauge.set(seven, true), 0);
    EXPECT_EQ(gauge.value(), 7u);
    NySnmpValue five;
    five.SetInt32(5);
    EXPECT_EQ(readOnly.set(five, false), 17);
    EXPECT_EQ(readOnly.set(five, true), 17);
    EXPECT_EQ(hidden.set(five, true), 17);
    EXPECT_EQ(writeOnly.set(five, true), 0);
    EXPECT_EQ(writeOnly.value(), 5);
}

// An empty identifier could not be handed out again, and an octet record
// without its bytes has nothing to store.
TEST_F(Vars, SetRefusesValuesThatCannotBeStored)
{
    MibOid oid("d", top, 1, kReadWrite);
    MibOctets octets("o", top, 2, kReadWrite);
    NYSMI_VALUE record{};
    record.syntax = 6;
    NySnmpValue noArcs(record);
    EXPECT_EQ(oid.set(noArcs, true), 3);
    record.syntax = 4;
    record.value.octets.len = 3;
    NySnmpValue holder;
    holder.SmiValue() = record; // a record that claims bytes it has not
    EXPECT_EQ(octets.set(holder, true), 3);
    holder.SmiValue().syntax = 0;
    EXPECT_EQ(octets.set(Octets("", 0), true), 0);
    EXPECT_TRUE(octets.value().empty());
}

TEST_F(Vars, GetAnswersWithTheVariablesSyntaxAndTextForms)
{
    MibInt integer("i", top, 1, kReadOnly);
    MibCounter64 c64("c", top, 2, kReadOnly);
    MibOctets octets("o", top, 3, kReadOnly);
    MibIpAddr ip("a", top, 4, kReadOnly);
    MibOid oid("d", top, 5, kReadOnly);
    MibNoSuchInstance absent("x", top, 6, kReadOnly);
    NySnmpValue value;
    value.SetOctets({3, reinterpret_cast<unsigned char*>(const_cast<char*>("old"))});

    EXPECT_EQ(integer.get(value), 0);
    EXPECT_EQ(value.Syntax(), 2u);
    EXPECT_EQ(value.SmiValue().value.int32, 0);
    EXPECT_STREQ(integer.c_str(), "0");

    c64.value() = 1ull << 32;
    EXPECT_EQ(c64.get(value), 0);
    EXPECT_EQ(value.SmiValue().value.cntr64.high, 1u);
    EXPECT_EQ(value.SmiValue().value.cntr64.low, 0u);
    EXPECT_STREQ(c64.c_str(), "4294967296");

    EXPECT_EQ(octets.get(value), 0);
    EXPECT_EQ(value.Syntax(), 4u);
    EXPECT_EQ(value.SmiValue().value.octets.len, 0u);
    EXPECT_EQ(value.SmiValue().value.octets.ptr, nullptr);
    octets.value().assign("ab\0cd", 5);
    EXPECT_EQ(octets.get(value), 0);
    ASSERT_EQ(value.SmiValue().value.octets.len, 5u);
    EXPECT_EQ(std::memcmp(value.SmiValue().value.octets.ptr, "ab\0cd", 5), 0);
    EXPECT_STREQ(octets.c_str(), "ab");

    ip.value() = std::string("\x7f\x00\x00\x01", 4);
    EXPECT_EQ(ip.get(value), 0);
    EXPECT_STREQ(value.AsString(), "127.0.0.1");

    EXPECT_THROW(oid.get(value), NySocketException);
    oid.value().Assign("1.3.6");
    EXPECT_EQ(oid.get(value), 0);
    EXPECT_STREQ(value.AsString(), "1.3.6");
    oid.erase();
    EXPECT_STREQ(oid.c_str(), "");
    EXPECT_EQ(oid.value().Length(), 0u);

    EXPECT_EQ(absent.get(value), 0);
    EXPECT_EQ(value.Syntax(), 129u);

    MibCounter counter("c", top, 7, kReadOnly);
    MibNull null("n", top, 8, kReadOnly);
    counter.value() = 4294967295u;
    EXPECT_STREQ(counter.c_str(), "-1");
    integer.value() = -2147483647 - 1;
    EXPECT_STREQ(integer.c_str(), "-2147483648");
    EXPECT_STREQ(null.c_str(), "");
    null.value() = 'A';
    EXPECT_STREQ(null.c_str(), "A");
    integer.erase();
    EXPECT_EQ(integer.value(), 0);
}

} // namespace
