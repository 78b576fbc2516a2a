// NySnmpValue: setters, text forms, BER form, copies and error cases.
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"

namespace {

TEST(NySnmpValueSet, TextAndWireForms)
{
    const std::string abc = "abc";
    const std::string ip4 = std::string("\x0A\x00\x00\x01", 4);
    const std::string ip5 = std::string("\x0A\x00\x00\x01\xFF", 5);
    uint32_t ids[] = {1, 3, 6, 1};
    struct Row { std::function<void(NySnmpValue&)> set; uint32_t syntax; const char *name, *text, *hex; } rows[] = {
        {[](auto& v) { v.SetInt(-5); }, 2, "int32", "-5", "02 01 FB"},
        {[](auto& v) { v.SetInt32(INT32_MIN); }, 2, "int32", "-2147483648", "02 04 80 00 00 00"},
        {[](auto& v) { v.SetUInt32(4294967295u); }, 71, "uint32", "-1", "47 05 00 FF FF FF FF"},
        {[](auto& v) { v.SetCntr32(7); }, 65, "cntr32", "7", "41 01 07"},
        {[](auto& v) { v.SetGauge32(0x80); }, 66, "gauge32", "128", "42 02 00 80"},
        {[](auto& v) { v.SetTimeticks(100); }, 67, "timeticks", "100", "43 01 64"},
        {[](auto& v) { v.SetCntr64({1, 0}); }, 70, "cntr64", "4294967296", "46 05 01 00 00 00 00"},
        {[](auto& v) { v.SetCntr64({~0u, ~0u}); }, 70, "cntr64", "18446744073709551615",
         "46 09 00 FF FF FF FF FF FF FF FF"},
        {[&](auto& v) { v.SetOctets(Octets(abc)); }, 4, "octets", "abc", "04 03 61 62 63"},
        {[&](auto& v) { v.SetOpaque(Octets(abc)); }, 68, "opaque", "61 62 63 ", "44 03 61 62 63"},
        {[&](auto& v) { v.SetBits(Octets(abc)); }, 3, "bits", "61 62 63 ", "03 03 61 62 63"},
        {[&](auto& v) { v.SetNsapAddr(Octets(abc)); }, 69, "nsapaddr", "61 62 63 ", "45 03 61 62 63"},
        {[&](auto& v) { v.SetIpAddr(Octets(ip4)); }, 64, "ipaddr", "10.0.0.1", "40 04 0A 00 00 01"},
        {[&](auto& v) { v.SetIpAddr(Octets(ip5)); }, 64, "ipaddr", "10.0.0.1.255", "40 05 0A 00 00 01 FF"},
        {[&](auto& v) { v.SetOid({4, ids}); }, 6, "oid", "1.3.6.1", "06 03 2B 06 01"},
        {[](auto& v) { v.SetNull(0); }, 5, "null", "null", "05 00"},
        {[](auto& v) { v.SetNoSuchObject(0); }, 128, "NoSuchObject", "null", "80 00"},
        {[](auto& v) { v.SetNoSuchInstance(0); }, 129, "NoSuchInstance", "null", "81 00"},
        {[](auto& v) { v.SetEndOfMibView(0); }, 130, "EndOfMibView", "null", "82 00"},
    };
    for (const Row& row : rows) {
        NySnmpValue value;
        value.SetOctets(Octets("old data is released"));
        row.set(value);
        EXPECT_EQ(value.Syntax(), row.syntax);
        EXPECT_STREQ(value.SyntaxName(), row.name);
        EXPECT_STREQ(value.AsString(), row.text);
        EXPECT_EQ(Encode(value), row.hex) << row.name;
    }
}

TEST(NySnmpValueSet, RefusedValuesLeaveItEmpty)
{
    uint32_t ids[] = {1, 3};
    struct Row { std::function<void(NySnmpValue&)> set; uint32_t id; const char *by, *text; } rows[] = {
        {[](auto& v) { v.SetOctets({0, nullptr}); }, NYSNMP_BAD_VALUE, "NySnmpValue::SetStringMember",
         "Bad value passed to the method NySnmpValue::SetStringMember"},
        {[](auto& v) { v.SetIpAddr(Octets("")); }, NYSNMP_BAD_VALUE, "NySnmpValue::SetStringMember", nullptr},
        {[](auto& v) { v.SetBits({3, nullptr}); }, NYSNMP_BAD_VALUE, "NySnmpValue::SetStringMember", nullptr},
        {[&](auto& v) { v.SetOid({0, ids}); }, NYSNMP_BAD_VALUE, "NySnmpValue::SetOid",
         "Bad value passed to the method NySnmpValue::SetOid"},
        {[](auto& v) { v.SetOid({2, nullptr}); }, NYSNMP_BAD_VALUE, "NySnmpValue::SetOid", nullptr},
        {[](auto& v) { v.Assign(Record(99)); }, NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::Assign",
         "Unsupported value syntax 99"},
        // a record claiming octets it does not point to
        {[](auto& v) { v.Assign(Record(4, {5, nullptr})); }, NYSNMP_BAD_VALUE, "NySnmpValue::Assign",
         "Bad value passed to the method NySnmpValue::Assign"},
    };
    for (const Row& row : rows) {
        NySnmpValue value;
        value.SetInt(3);
        EXPECT_TRUE(Throws([&] { row.set(value); }, row.id, row.by, row.text));
        EXPECT_EQ(value.SmiValue().value.octets.ptr, nullptr);
        EXPECT_EQ(value.SmiValue().value.octets.len, 0u);
    }
    // Assign of an unsupported code keeps the code, with a zero value.
    NySnmpValue value;
    EXPECT_THROW(value.Assign(Record(99)), NySocketException);
    EXPECT_EQ(value.Syntax(), 99u);
}

TEST(NySnmpValueCopy, DeepCopies)
{
    std::string text = "abc";
    uint32_t ids[] = {1, 3, 6, 1};
    NySnmpValue value(Record(4, Octets(text)));
    text[0] = 'X';
    EXPECT_STREQ(value.AsString(), "abc");

    // Empty octet strings and identifiers are accepted here.
    value.Assign(Record(4));
    EXPECT_EQ(Encode(value), "04 00");
    value.Assign(Record(6));
    EXPECT_EQ(Encode(value), "06 01 00");
    EXPECT_TRUE(Throws([&] { value.AsString(); }, NYSNMP_BAD_VALUE, "NySnmpOid::Assign(NYSMI_OID)"));

    NYSMI_VALUE oid{};
    oid.syntax = 6;
    oid.value.oid = {4, ids};
    value.Assign(oid);
    ids[0] = 2;
    EXPECT_STREQ(value.AsString(), "1.3.6.1");

    // A value set from its own data or record stays intact.
    value.Assign(value.SmiValue());
    EXPECT_STREQ(value.AsString(), "1.3.6.1");
    value.SetOid(value.SmiValue().value.oid);
    EXPECT_STREQ(value.AsString(), "1.3.6.1");
    value.SetOctets(Octets("abcdef"));
    value.SetOpaque(value.SmiValue().value.octets);
    EXPECT_STREQ(value.AsString(), "61 62 63 64 65 66 ");

    NySnmpValue source;
    source.SetOctets(Octets("abc"));
    NySnmpValue copy(source);
    NySnmpValue assigned;
    assigned.SetCntr32(5);
    assigned = source;
    EXPECT_NE(copy.SmiValue().value.octets.ptr, source.SmiValue().value.octets.ptr);
    EXPECT_NE(assigned.SmiValue().value.octets.ptr, source.SmiValue().value.octets.ptr);
    source.SetInt(1);
    EXPECT_STREQ(copy.AsString(), "abc");
    EXPECT_STREQ(assigned.AsString(), "abc");

    // A value never set: no text, no BER form, no copy; assigning it empties.
    NySnmpValue none;
    EXPECT_EQ(none.Syntax(), 0u);
    EXPECT_STREQ(none.SyntaxName(), "unknown");
    EXPECT_TRUE(Throws([&] { none.AsString(); }, NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::AsString",
                       "Unsupported value syntax 0"));
    unsigned char buffer[8];
    unsigned int rem = sizeof buffer;
    EXPECT_TRUE(Throws([&] { none.AsAsn(buffer, &rem); }, NYSNMP_UNSUPPORTED_SYNTAX, " NySnmpValue::AsAsn"));
    EXPECT_TRUE(Throws([&] { none.AsAsn(nullptr, &rem); }, NYSNMP_INVALID_ARG, " NySnmpValue::AsAsn",
                       "Invalid argument passed to the method  NySnmpValue::AsAsn"));
    EXPECT_TRUE(Throws([&] { NySnmpValue bad(none); }, NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::Assign",
                       "Unsupported value syntax 0"));
    assigned = none;
    EXPECT_EQ(assigned.Syntax(), 0u);
    NySnmpValue& self = copy;
    copy = self;
    EXPECT_STREQ(copy.AsString(), "abc");
}

// Decoding over a value holding octets: the consumed count and the text, or the
// error, the syntax left (4: unchanged, 0: emptied) and the count untouched.
TEST(NySnmpValueAsn, Decode)
{
    // id 0: decodes
    struct Row { const char* hex; uint32_t id; const char *nameOrBy, *text; uint32_t consumedOrSyntax; } rows[] = {
        {"30 03 02 01 05", 0, "sequence", "02 01 05 ", 5},
        {"02 01 FB 05 00", 0, "int32", "-5", 3},
        {"41 05 00 FF FF FF FF", 0, "cntr32", "-1", 7},
        {"46 05 01 00 00 00 00", 0, "cntr64", "4294967296", 7},
        {"04 03 61 62 63", 0, "octets", "abc", 5},
        {"04 00", 0, "octets", "", 2},
        {"40 04 7F 00 00 01", 0, "ipaddr", "127.0.0.1", 6},
        {"06 03 2B 06 01", 0, "oid", "1.3.6.1", 5},
        {"81 00", 0, "NoSuchInstance", "null", 2},
        {"05 02 AA BB", 0, "null", "null", 4},
        {"07 00", NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::FromAsn", "Unsupported value syntax 7", 4},
        {"", NYSNMP_FIELD_TOO_LONG, "NySnmpValue::FromAsn", nullptr, 4},                 // no tag at all
        {"04 05 61 62", NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnOctets", nullptr, 0}, // content cut off
        {"02 05 00 00 00 00 00", NYSNMP_INT_TOO_BIG, "NySnmpValue::ParseAsnInt", nullptr, 0},
        {"06 02 2B 86", NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnOid", nullptr, 0},
        {"43 84", NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnLength", nullptr, 0},
    };
    for (const Row& row : rows) {
        Bytes wire = Hex(row.hex);
        wire.shrink_to_fit(); // exactly sized, so a stray read is caught
        const unsigned char* start = wire.empty() ? reinterpret_cast<const unsigned char*>("") : wire.data();
        NySnmpValue value;
        value.SetOctets(Octets("replaced"));
        unsigned int rem = static_cast<unsigned int>(wire.size());
        if (row.id == 0) {
            EXPECT_EQ(value.FromAsn(start, &rem), start + row.consumedOrSyntax) << row.hex;
            EXPECT_EQ(rem, wire.size() - row.consumedOrSyntax);
            EXPECT_STREQ(value.SyntaxName(), row.nameOrBy);
            EXPECT_STREQ(value.AsString(), row.text);
        } else {
            EXPECT_TRUE(Throws([&] { value.FromAsn(start, &rem); }, row.id, row.nameOrBy, row.text)) << row.hex;
            EXPECT_EQ(value.Syntax(), row.consumedOrSyntax);
            EXPECT_EQ(rem, wire.size());
        }
    }
    NySnmpValue value;
    unsigned int rem = 1;
    EXPECT_TRUE(Throws([&] { value.FromAsn(nullptr, &rem); }, NYSNMP_INVALID_ARG, "NySnmpValue::FromAsn"));
}

// One value decoded again and again: octets longer and shorter than the
// ones it holds, other kinds in between, a failure that leaves it empty.  A
// class derived from NySnmpValue sees its Erase called for every decode.
class ErasingValue : public NySnmpValue {
public:
    void Erase() override
    {
        ++erased;
        NySnmpValue::Erase();
    }
    int erased = 0;
};

TEST(NySnmpValueAsn, DecodedAgainAndAgain)
{
    const std::pair<const char*, const char*> steps[] = {
        {"04 03 61 62 63", "abc"},
        {"04 06 61 62 63 64 65 66", "abcdef"},
        {"04 01 7A", "z"},
        {"40 04 0A 00 00 01", "10.0.0.1"},
        {"04 00", ""},
        {"04 02 78 79", "xy"},
        {"02 01 07", "7"},
        {"04 04 77 78 79 7A", "wxyz"},
        {"04 05 61 62", nullptr}, // cut off: the value is empty afterwards
        {"04 03 71 72 73", "qrs"},
    };
    // Set values own exactly their octets, decoded ones one more.
    NySnmpValue value;
    value.SetOctets(Octets("abc"));
    ErasingValue derived;
    derived.SetOctets(Octets("abc"));
    int decodes = 0;
    for (const auto& [hex, text] : steps) {
        Bytes wire = Hex(hex);
        wire.shrink_to_fit();
        for (NySnmpValue* target : {&value, static_cast<NySnmpValue*>(&derived)}) {
            unsigned int rem = static_cast<unsigned int>(wire.size());
            if (text == nullptr) {
                EXPECT_TRUE(Throws([&] { target->FromAsn(wire.data(), &rem); }, NYSNMP_FIELD_TOO_LONG,
                                   "NySnmpValue::ParseAsnOctets"));
                EXPECT_EQ(target->Syntax(), 0u);
                EXPECT_EQ(target->SmiValue().value.octets.ptr, nullptr);
                continue;
            }
            EXPECT_EQ(target->FromAsn(wire.data(), &rem), wire.data() + wire.size()) << hex;
            EXPECT_EQ(rem, 0u);
            EXPECT_STREQ(target->AsString(), text) << hex;
            const NYSMI_VALUE& record = target->SmiValue();
            if (record.syntax == 0x04) {
                EXPECT_EQ(record.value.octets.ptr[record.value.octets.len], 0) << hex; // a C string too
            }
        }
        ++decodes;
    }
    EXPECT_GE(derived.erased, decodes);
}

// Random octets never crash the decoder: a value or the library's exception.
TEST(NySnmpValueAsn, RandomInput)
{
    std::mt19937 rng(99);
    const unsigned char tags[] = {0x02, 0x03, 0x04, 0x05, 0x06, 0x30, 0x40, 0x41, 0x46, 0x47, 0x80, 0x07};
    for (int round = 0; round < 5000; ++round) {
        std::vector<unsigned char> data(1 + rng() % 10);
        for (auto& octet : data)
            octet = static_cast<unsigned char>(rng());
        data[0] = tags[rng() % sizeof tags];
        data.shrink_to_fit();
        NySnmpValue value;
        unsigned int rem = static_cast<unsigned int>(data.size());
        try {
            const unsigned char* end = value.FromAsn(data.data(), &rem);
            EXPECT_EQ(rem, data.size() - static_cast<size_t>(end - data.data()));
            value.AsString();
        } catch (const NySocketException&) {
            EXPECT_EQ(rem, data.size());
        }
    }
}

} // namespace
