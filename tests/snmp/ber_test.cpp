// BER builders: lengths and identifiers, identifiers against a plain base-128
// encoder at every buffer size, and the argument, value and size errors.  (The
// numbers' and strings' vectors go both ways through the values in values_test.)
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "snmp/check.h"

namespace {

using V = NySnmpValue;
using Builder = std::function<unsigned char*(unsigned char*, unsigned int*)>;
#define BUILD(expr) [=]([[maybe_unused]] unsigned char* p, [[maybe_unused]] unsigned int* r) { return expr; }

Builder Oid(std::vector<uint32_t> ids)
{
    return [=](unsigned char* p, unsigned int* r) {
        NYSMI_OID o{static_cast<uint32_t>(ids.size()), ids.empty() ? nullptr : const_cast<uint32_t*>(ids.data())};
        return V::BuildAsnOid(p, r, 0x06, &o, sizeof o);
    };
}
Builder Length(unsigned int l) { return BUILD(V::BuildAsnLength(p, r, l)); }

// Runs a builder on `room` octets (exactly sized, so a write past them is caught).
std::string Build(const Builder& build, unsigned int room = 0x20000)
{
    std::vector<unsigned char> buffer(room);
    unsigned int rem = room;
    const auto written = static_cast<unsigned int>(build(buffer.data(), &rem) - buffer.data());
    EXPECT_EQ(rem, room - written);
    return ToHex(buffer.data(), written);
}

TEST(BerBuild, LengthsHeadersAndShortIdentifiers)
{
    const std::pair<Builder, const char*> rows[] = {
        {Length(127), "7F"}, {Length(128), "81 80"}, {Length(255), "81 FF"}, {Length(256), "82 01 00"},
        {Length(65535), "82 FF FF"}, {BUILD(V::BuildAsnHeader(p, r, 0xA2, 300)), "A2 82 01 2C"},
        {Oid({}), "06 01 00"}, {Oid({1}), "06 01 28"},
        {Oid({5, 2}), "06 02 81 4A"}, // a first arc above 2 is not range-checked: 5.2 is 202
    };
    for (const auto& [build, hex] : rows)
        EXPECT_EQ(Build(build), hex);
    EXPECT_EQ(Build(Oid(std::vector<uint32_t>(128, 1))).substr(0, 8), "06 7F 29"); // 128 positions, 127 octets
    // A sequence header fills exactly the four octets reserved for it.
    EXPECT_EQ(Build(BUILD(V::BuildAsnSequence(p, r, 0x30, 65535)), 4), "30 82 FF FF");
}

// Identifiers against a plain base-128 encoder, at every size of a
// sub-identifier and around 128 content octets (where the length takes a
// second octet), each with every buffer size up to the one it needs.
TEST(BerBuild, IdentifiersAtEverySizeAndBufferSize)
{
    auto reference = [](const std::vector<uint32_t>& ids) {
        Bytes content;
        for (size_t i = 1; i < ids.size(); ++i) {
            const uint32_t v = i == 1 ? ids[0] * 40 + ids[1] : ids[i];
            for (int shift = 28; shift > 0; shift -= 7) // the leading groups, each with the continuation bit
                if (v >> shift)
                    content.push_back(static_cast<unsigned char>(0x80 | ((v >> shift) & 0x7F)));
            content.push_back(v & 0x7F);
        }
        const std::string length = (content.size() >= 0x80 ? "81 " : "") + ToHex({static_cast<unsigned char>(content.size())});
        return "06 " + length + " " + ToHex(content);
    };
    std::vector<std::vector<uint32_t>> cases;
    for (uint32_t edge : {0u, 127u, 128u, 16383u, 16384u, (1u << 21) - 1, 1u << 21, (1u << 28) - 1, 1u << 28,
                          0xFFFFFFFFu})
        cases.push_back({1, 3, 6, edge, 7, edge});
    for (uint32_t n = 62; n <= 64; ++n) { // 125 to 130 content octets of two-octet arcs
        std::vector<uint32_t> ids{1, 3};
        ids.resize(n + 2, 200);
        cases.push_back(ids);
        ids.push_back(5);
        cases.push_back(ids);
    }
    for (const std::vector<uint32_t>& ids : cases) {
        const std::string expected = reference(ids);
        ASSERT_EQ(Build(Oid(ids)), expected);
        for (unsigned int room = 1; room < Hex(expected).size(); ++room)
            EXPECT_TRUE(Throws([&] { Build(Oid(ids), room); }, NYSNMP_BUFFER_TOO_SHORT, "NySnmpValue::BuildAsnLength"))
                << expected << " in " << room;
    }
}

TEST(BerBuild, Errors)
{
    const int32_t i = 1, big = 0x100;
    NYSMI_OCTETS noData{3, nullptr};
    NYSMI_OID none{0, nullptr}, noArray{2, nullptr};
    struct Row { Builder call; uint32_t id; const char* by; unsigned int room = 256; } rows[] = {
        {BUILD(V::BuildAsnInt(nullptr, r, 2, &i, 4)), NYSNMP_INVALID_ARG, "BuildAsnInt"},
        {BUILD(V::BuildAsnInt(p, r, 2, &i, 8)), NYSNMP_INVALID_ARG, "BuildAsnInt"}, // wrong size
        {BUILD(V::BuildAsnOid(p, r, 6, &none, 8)), NYSNMP_INVALID_ARG, "BuildAsnOid"},
        {BUILD(V::BuildAsnOctets(p, r, 4, &noData, 16)), NYSNMP_BAD_VALUE, "BuildAsnOctets"},
        {BUILD(V::BuildAsnOid(p, r, 6, &noArray, 16)), NYSNMP_BAD_VALUE, "BuildAsnOid"},
        {Oid(std::vector<uint32_t>(129, 1)), NYSNMP_OID_TOO_LONG, "BuildAsnOid"},
        {Oid({1, 40}), NYSNMP_BAD_SECOND_SUBID, "BuildAsnOid"},
        {Length(65536), NYSNMP_LENGTH_TOO_LONG, "BuildAsnLength"},
        {BUILD(V::BuildAsnSequence(p, r, 0x30, 65536)), NYSNMP_LENGTH_TOO_LONG, "BuildAsnSequence"},
        {BUILD(V::BuildAsnInt(p, r, 2, &big, 4)), NYSNMP_BUFFER_TOO_SHORT, "BuildAsnLength", 3},
        // the tag takes the last octet: a short buffer, not a bad argument
        {BUILD(V::BuildAsnNull(p, r, 5)), NYSNMP_BUFFER_TOO_SHORT, "BuildAsnLength", 1},
        {BUILD(V::BuildAsnNull(p, r, 5)), NYSNMP_INVALID_ARG, "BuildAsnHeader", 0},
        {BUILD(V::BuildAsnSequence(p, r, 0x30, 0)), NYSNMP_BUFFER_TOO_SHORT, "BuildAsnSequence", 3},
        {Length(128), NYSNMP_BUFFER_TOO_SHORT, "BuildAsnLength", 1},
    };
    for (const Row& row : rows) {
        unsigned char buf[256] = {};
        unsigned int rem = row.room;
        const std::string by = std::string("NySnmpValue::") + row.by;
        EXPECT_TRUE(Throws([&] { row.call(buf, &rem); }, row.id, by.c_str())) << by << " " << row.room;
    }
}

} // namespace
