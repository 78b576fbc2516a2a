// NySnmpOid: dotted text, ordering, copies and BER form.
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"

namespace {

TEST(NySnmpOidText, Parsing)
{
    struct Row { const char* text; uint32_t length; const char* dotted; } rows[] = {
        {"1.3.6.1.4.1", 6, "1.3.6.1.4.1"},
        {".1.3", 3, "0.1.3"},  // leading dot
        {"1.3.", 3, "1.3.0"},  // trailing dot
        {"1..3", 3, "1.0.3"},  // doubled dot
        {".", 2, "0.0"},
        {"7", 1, "7"},
        {"1.2147483647", 2, "1.2147483647"},
        {"1.4294967295", 2, "1.-1"}, // stored exactly, shown as a signed number
        {"1.0004", 2, "1.4"},
    };
    for (const Row& row : rows) {
        NySnmpOid oid(row.text);
        EXPECT_EQ(oid.Length(), row.length) << row.text;
        EXPECT_STREQ(oid.AsString(), row.dotted);
    }
    NySnmpOid big("1.4294967295");
    EXPECT_EQ(big.Fields()[1], 4294967295u);
}

TEST(NySnmpOidText, Refused)
{
    const char* by = "NySnmpOid::Assign(const char*)";
    struct Row { const char* text; uint32_t id; const char* message; } rows[] = {
        {"1.3.x.4", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 5 of 1.3.x.4"},
        {"1. 3", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 3 of 1. 3"},
        {"1.-3", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 3 of 1.-3"},
        {"+1", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 1 of +1"},
        // a component beyond 32 bits is refused at the digit that overflows
        {"1.42949672950", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 13 of 1.42949672950"},
        {"1.4294967296", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 12 of 1.4294967296"},
        {"", NYSNMP_BAD_VALUE, "Bad value passed to the method NySnmpOid::Assign(const char*)"},
        {nullptr, NYSNMP_INVALID_ARG, "Invalid argument passed to the method NySnmpOid::Assign(const char*)"},
    };
    for (const Row& row : rows) {
        NySnmpOid oid("1.3.6");
        EXPECT_TRUE(Throws([&] { oid.Assign(row.text); }, row.id, by, row.message));
        EXPECT_EQ(oid.Length(), 0u); // left empty
        EXPECT_EQ(oid.Fields(), nullptr);
        EXPECT_STREQ(oid.AsString(), "");
    }
}

TEST(NySnmpOidCopy, DeepAndRefusingEmpty)
{
    uint32_t ids[] = {1, 3, 6};
    NySnmpOid oid(NYSMI_OID{3, ids});
    ids[2] = 9;
    EXPECT_STREQ(oid.AsString(), "1.3.6");
    const char* by = "NySnmpOid::Assign(NYSMI_OID)";
    EXPECT_TRUE(Throws([&] { oid.Assign(NYSMI_OID{0, ids}); }, NYSNMP_BAD_VALUE, by,
                       "Bad value passed to the method NySnmpOid::Assign(NYSMI_OID)"));
    EXPECT_EQ(oid.Length(), 0u);
    oid.Assign(NYSMI_OID{3, ids});
    EXPECT_TRUE(Throws([&] { oid.Assign(NYSMI_OID{3, nullptr}); }, NYSNMP_BAD_VALUE, by));
    EXPECT_EQ(oid.Fields(), nullptr);
    // Assigning the object's own record or text keeps it intact.
    oid.Assign("1.3.6.1");
    oid.Assign(oid.SmiOid());
    oid.Assign(oid.AsString());
    EXPECT_STREQ(oid.AsString(), "1.3.6.1");

    NySnmpOid source("1.3.6.1");
    NySnmpOid copy(source);
    NySnmpOid assigned;
    assigned = source;
    EXPECT_NE(copy.Fields(), source.Fields());
    EXPECT_NE(assigned.Fields(), source.Fields());
    source.Assign("2.5");
    EXPECT_STREQ(copy.AsString(), "1.3.6.1");
    EXPECT_STREQ(assigned.AsString(), "1.3.6.1");

    NySnmpOid empty;
    EXPECT_TRUE(Throws([&] { NySnmpOid bad(empty); }, NYSNMP_BAD_VALUE, "NySnmpOid::Assign(NYSMI_OID)"));
    assigned = empty;
    EXPECT_EQ(assigned.Length(), 0u);
    NySnmpOid& self = copy;
    copy = self;
    EXPECT_STREQ(copy.AsString(), "1.3.6.1");
}

TEST(NySnmpOidOrder, Compare)
{
    const std::tuple<const char*, const char*, int, int> rows[] = {
        // a, b, count of arcs compared (0: all), expected
        {"1.3.6", "1.3.6.1", 0, -1}, {"1.3.6.1", "1.3.6", 0, 1}, {"1.3.6", "1.3.6", 0, 0},
        {"1.3.6.1", "1.3.6", 3, 0}, {"1.3.6", "1.3.6.1", 4, -1}, {"1.3.6", "1.3.6", 5, 1},
        {"1.3.6.1", "1.3.6", 4, 1}, {"1.3.7", "1.3.6.1", 0, 1}, {"1.3.7", "1.3.6.1", 2, 0},
        {"1.3.7", "1.3.6.1", 3, 1}, {"1.3.7", "1.3.6.1", 9, 1},
        {"1.4294967295", "1.1", 0, 1}, {"1.1", "1.4294967295", 2, -1}, // unsigned order
        {"1.3", "1.3.6", -1, -1}, // a negative count reads as a huge one
    };
    for (const auto& [a, b, n, expected] : rows)
        EXPECT_EQ(NySnmpOid(a).Compare(NySnmpOid(b), n), expected) << a << " vs " << b << " n=" << n;
    NySnmpOid empty, some("1");
    EXPECT_EQ(empty.Compare(some, 0), -1);
    EXPECT_EQ(empty.Compare(empty, 0), 0);
}

TEST(NySnmpOidAsn, EncodeAndDecode)
{
    NySnmpOid oid("1.3.6.1.4.1");
    EXPECT_EQ(Encode(oid, 16), "06 05 2B 06 01 04 01");
    NySnmpOid back("9.9");
    EXPECT_EQ(Decode(back, "06 03 2B 06 01 FF"), 5u);
    EXPECT_STREQ(back.AsString(), "1.3.6.1");

    // The wrong tag is reported after decoding; the content is kept.
    const Bytes octets = Hex("04 01 2B");
    unsigned int rem = 3;
    EXPECT_TRUE(Throws([&] { back.FromAsn(octets.data(), &rem); }, NYSNMP_EXPECTED_SYNTAX, "NySnmpOid::FromAsn",
                       "Expected syntax 0x06, found 0x04"));
    EXPECT_STREQ(back.AsString(), "1.3");

    // A cut-off element leaves the object empty and the count untouched.
    const Bytes cut = Hex("06 03 2B 06");
    rem = 4;
    EXPECT_TRUE(Throws([&] { back.FromAsn(cut.data(), &rem); }, NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnOid"));
    EXPECT_EQ(back.Length(), 0u);
    EXPECT_EQ(rem, 4u);
}

// An identifier decoded again and again: longer and shorter names, one
// beyond the stack area of the decoder, a failure in between.
TEST(NySnmpOidAsn, DecodedAgainAndAgain)
{
    auto named = [](uint32_t count, uint32_t step) {
        std::string text = "1.3";
        for (uint32_t i = 2; i < count; ++i)
            text += "." + std::to_string((i * step) % 300000);
        return text;
    };
    const std::string names[] = {named(25, 7), named(3, 1), named(60, 1001), named(100, 3), named(2, 1),
                                 named(128, 99991), named(25, 13)};
    NySnmpOid oid;
    for (int round = 0; round < 2; ++round) {
        for (const std::string& name : names) {
            NySnmpOid source(name.c_str());
            const Bytes octets = Hex(Encode(source, 4096));
            EXPECT_EQ(Decode(oid, octets), octets.size());
            EXPECT_EQ(oid.AsString(), name);
            EXPECT_EQ(oid.Compare(source, 0), 0);
        }
        const Bytes cut = Hex("06 05 2B 06 01 04");
        EXPECT_TRUE(Throws([&] { Decode(oid, cut); }, NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnOid"));
        EXPECT_EQ(oid.Length(), 0u);
        EXPECT_EQ(oid.Fields(), nullptr);
    }
}

} // namespace
