// BER primitives: wire vectors both ways, identifiers against a plain
// base-128 encoder at every buffer size, every proper prefix of a vector
// refused as cut off, and the argument, value and size errors.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "snmp/check.h"

namespace {

using V = NySnmpValue;
using Builder = std::function<unsigned char*(unsigned char*, unsigned int*)>;
#define BUILD(expr) [=]([[maybe_unused]] unsigned char* p, [[maybe_unused]] unsigned int* r) { return expr; }

Builder Int(int32_t v) { return BUILD(V::BuildAsnInt(p, r, 0x02, &v, sizeof v)); }
Builder UInt(uint32_t v) { return BUILD(V::BuildAsnUInt(p, r, 0x41, &v, sizeof v)); }
Builder Cntr64(uint32_t high, uint32_t low)
{
    const NYSMI_CNTR64 c{high, low};
    return BUILD(V::BuildAsnCntr64(p, r, 0x46, &c, sizeof c));
}
Builder Str(std::string text)
{
    return [=](unsigned char* p, unsigned int* r) {
        const NYSMI_OCTETS o = Octets(text);
        return V::BuildAsnOctets(p, r, 0x04, &o, sizeof o);
    };
}
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

std::vector<uint32_t> Arcs(uint32_t count)
{
    std::vector<uint32_t> ids(count);
    for (uint32_t i = 0; i < count; ++i)
        ids[i] = 1 + i % 30;
    return ids;
}

TEST(BerBuild, WireVectors)
{
    const std::pair<Builder, const char*> rows[] = {
        {Int(0), "02 01 00"}, {Int(-1), "02 01 FF"}, {Int(127), "02 01 7F"}, {Int(128), "02 02 00 80"},
        {Int(-129), "02 02 FF 7F"}, {Int(-128), "02 01 80"}, {Int(INT32_MIN), "02 04 80 00 00 00"},
        {UInt(4294967295u), "41 05 00 FF FF FF FF"}, {UInt(0x80000000u), "41 05 00 80 00 00 00"},
        {UInt(0x80), "41 02 00 80"}, {UInt(0), "41 01 00"},
        {Cntr64(0xFFFFFFFFu, 0xFFFFFFFFu), "46 09 00 FF FF FF FF FF FF FF FF"}, {Cntr64(1, 0), "46 05 01 00 00 00 00"},
        {Str("abc"), "04 03 61 62 63"}, {Str(""), "04 00"},
        {Oid({1, 3, 6, 1, 4, 1}), "06 05 2B 06 01 04 01"}, {Oid({}), "06 01 00"}, {Oid({1}), "06 01 28"},
        {Oid({5, 2}), "06 02 81 4A"}, // a first arc above 2 is not range-checked: 5.2 is 202
        {Length(127), "7F"}, {Length(128), "81 80"}, {Length(255), "81 FF"}, {Length(256), "82 01 00"},
        {Length(65535), "82 FF FF"}, {BUILD(V::BuildAsnHeader(p, r, 0xA2, 300)), "A2 82 01 2C"},
        {BUILD(V::BuildAsnNull(p, r, 0x80)), "80 00"},
    };
    for (const auto& [build, hex] : rows)
        EXPECT_EQ(Build(build), hex);
    EXPECT_EQ(Build(Oid(Arcs(128))).substr(0, 8), "06 7F 2A"); // 128 positions, 127 octets
    // A sequence header fills exactly the four octets reserved for it.
    EXPECT_EQ(Build(BUILD(V::BuildAsnSequence(p, r, 0x30, 65535)), 4), "30 82 FF FF");
}

// Identifiers against a plain base-128 encoder, at every size of a
// sub-identifier and around 128 content octets (where the length takes a
// second octet), each with every buffer size up to the one it needs.
TEST(BerBuild, IdentifiersAtEverySizeAndBufferSize)
{
    auto reference = [](const std::vector<uint32_t>& ids) {
        std::vector<uint32_t> values{ids[0] * 40 + ids[1]};
        values.insert(values.end(), ids.begin() + 2, ids.end());
        Bytes content;
        for (uint32_t v : values) {
            Bytes groups{static_cast<unsigned char>(v & 0x7F)};
            for (v >>= 7; v != 0; v >>= 7)
                groups.insert(groups.begin(), static_cast<unsigned char>(0x80 | (v & 0x7F)));
            content.insert(content.end(), groups.begin(), groups.end());
        }
        Bytes element{0x06};
        if (content.size() >= 0x80)
            element.push_back(0x81);
        element.push_back(static_cast<unsigned char>(content.size()));
        element.insert(element.end(), content.begin(), content.end());
        return ToHex(element);
    };
    std::vector<std::vector<uint32_t>> cases;
    for (uint32_t edge : {0u, 127u, 128u, 16383u, 16384u, (1u << 21) - 1, 1u << 21, (1u << 28) - 1, 1u << 28,
                          0xFFFFFFFFu})
        cases.push_back({1, 3, 6, edge, 7, edge});
    for (uint32_t arc : {5u, 200u, 0xF0000000u}) { // 1, 2 and 5 octets each, to 126..129 content octets
        const uint32_t width = arc < 128 ? 1 : arc < 16384 ? 2 : 5;
        for (uint32_t octets = 126; octets <= 129; ++octets) {
            std::vector<uint32_t> ids{1, 3};
            for (uint32_t left = octets - 1; left > 0;) {
                const bool whole = left >= width;
                ids.push_back(whole ? arc : 5);
                left -= whole ? width : 1;
            }
            if (ids.size() <= 128)
                cases.push_back(ids);
        }
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
        {Oid(Arcs(129)), NYSNMP_OID_TOO_LONG, "BuildAsnOid"},
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

// ---- parsers --------------------------------------------------------------

enum class P { Length, Sequence, Int, UInt, Cntr64, Octets, Oid, Null };

// Parses `data` from an exactly sized heap block (so a read past the end is
// caught) and renders the result as "tag:value/consumed".
std::string Parse(P parser, const Bytes& data)
{
    std::unique_ptr<unsigned char[]> block(new unsigned char[data.size() + 1]);
    std::copy(data.begin(), data.end(), block.get());
    unsigned int rem = static_cast<unsigned int>(data.size()), l = 0;
    const unsigned char* end = nullptr;
    uint32_t tag = 0, u = 0;
    int32_t i = 0;
    NYSMI_CNTR64 c{};
    NYSMI_OCTETS o{};
    NYSMI_OID id{};
    std::string out;
    try {
        switch (parser) {
        case P::Length: end = V::ParseAsnLength(block.get(), &rem, l); out = std::to_string(l); break;
        case P::Sequence: end = V::ParseAsnSequence(block.get(), &rem, tag, l); out = std::to_string(l); break;
        case P::Int: end = V::ParseAsnInt(block.get(), &rem, tag, i); out = std::to_string(i); break;
        case P::UInt: end = V::ParseAsnUInt(block.get(), &rem, tag, u); out = std::to_string(u); break;
        case P::Cntr64:
            end = V::ParseAsnCntr64(block.get(), &rem, tag, c);
            out = std::to_string((uint64_t{c.high} << 32) | c.low);
            break;
        case P::Octets:
            end = V::ParseAsnOctets(block.get(), &rem, tag, o);
            EXPECT_EQ(o.ptr[o.len], 0); // always zero-terminated
            out = ToHex(o.ptr, o.len);
            ::operator delete(o.ptr);
            break;
        case P::Oid:
            end = V::ParseAsnOid(block.get(), &rem, tag, id);
            for (uint32_t k = 0; k < id.len; ++k)
                out += (k ? "." : "") + std::to_string(id.ptr[k]);
            ::operator delete(id.ptr);
            break;
        case P::Null: end = V::ParseAsnNull(block.get(), &rem, tag); break;
        }
    } catch (...) {
        EXPECT_EQ(rem, data.size()); // a failing parser leaves the count alone
        throw;
    }
    EXPECT_EQ(rem, data.size() - static_cast<size_t>(end - block.get()));
    return (parser == P::Length ? "" : std::to_string(tag) + ":") + out + "/" + std::to_string(end - block.get());
}

// Each vector, and every proper prefix of the vectors read whole refused as cut off.
TEST(BerParse, WireVectorsAndTheirPrefixes)
{
    struct Row { P parser; const char* hex; const char* result; } rows[] = {
        {P::Length, "81 80", "128/2"}, {P::Length, "84 00 00 01 00", "256/5"}, {P::Length, "05 AA", "5/1"},
        {P::Sequence, "30 82 00 05", "48:5/4"}, // content length is not compared here
        {P::Int, "02 01 FB", "2:-5/3"}, {P::Int, "02 00", "2:0/2"}, {P::Int, "02 04 80 00 00 00", "2:-2147483648/6"},
        {P::Int, "02 01 80", "2:-128/3"}, {P::Int, "02 84 00 00 00 04 80 00 00 00", "2:-2147483648/10"},
        {P::UInt, "41 05 00 FF FF FF FF", "65:4294967295/7"},
        {P::UInt, "41 01 FF", "65:4294967295/3"}, // a negative INTEGER's bits
        {P::Cntr64, "46 09 00 FF FF FF FF FF FF FF FF", "70:18446744073709551615/11"},
        {P::Cntr64, "46 05 01 00 00 00 00", "70:4294967296/7"},
        {P::Octets, "04 81 03 61 62 63", "4:61 62 63/6"}, {P::Octets, "04 00", "4:/2"},
        {P::Oid, "06 05 2B 06 01 04 01", "6:1.3.6.1.4.1/7"}, {P::Oid, "06 00", "6:0.0/2"},
        {P::Oid, "06 01 78", "6:3.0/3"}, {P::Oid, "06 01 4F", "6:1.39/3"}, {P::Oid, "06 01 50", "6:2.0/3"},
        {P::Oid, "06 06 2B 8F FF FF FF 7F", "6:1.3.4294967295/8"},
        {P::Oid, "04 01 2B", "4:1.3/3"}, // the tag is the caller's business
        {P::Null, "82 02 AA BB", "130:/4"}, // content skipped unread
    };
    for (const Row& row : rows) {
        const Bytes full = Hex(row.hex);
        EXPECT_EQ(Parse(row.parser, full), row.result) << row.hex;
        if (std::string(row.result).find("/" + std::to_string(full.size())) == std::string::npos)
            continue;
        for (size_t n = 0; n < full.size(); ++n)
            EXPECT_TRUE(Throws([&] { Parse(row.parser, Bytes(full.begin(), full.begin() + long(n))); },
                               NYSNMP_FIELD_TOO_LONG, nullptr))
                << row.hex << " cut to " << n;
    }
}

TEST(BerParse, Errors)
{
    struct Row { P parser; const char* hex; uint32_t id; } rows[] = {
        {P::Length, "80", NYSNMP_ZERO_LONG_LENGTH}, // indefinite
        {P::Length, "85 00 00 00 00 01", NYSNMP_LONG_LENGTH_TOO_BIG},
        {P::Length, "84 80 00 00 00", NYSNMP_NEGATIVE_LENGTH},
        {P::Int, "02 05 00 00 00 00 01", NYSNMP_INT_TOO_BIG}, {P::Int, "02 05", NYSNMP_INT_TOO_BIG},
        {P::UInt, "41 05 01 00 00 00 00", NYSNMP_INT_TOO_BIG},
        {P::Cntr64, "46 09 01 00 00 00 00 00 00 00 00", NYSNMP_INT_TOO_BIG},
        {P::Octets, "04 84 7F FF FF FF 00", NYSNMP_FIELD_TOO_LONG}, // a length near 2^31
        {P::Oid, "06 02 2B 86", NYSNMP_FIELD_TOO_LONG}, // the last octet has its continuation bit
        {P::Null, "05 01", NYSNMP_FIELD_TOO_LONG},
    };
    for (const Row& row : rows)
        EXPECT_TRUE(Throws([&] { Parse(row.parser, Hex(row.hex)); }, row.id, nullptr)) << row.hex;
}

} // namespace
