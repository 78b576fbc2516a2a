// Round trips as a property: messages holding PDUs of every shape with random
// binding lists of values of all seventeen syntaxes come back from their wire form with the
// same content (compared by syntax and value, never by pointer), and what the
// library wrote it writes again octet for octet after reading it.  Fixed
// seeds; every failure names its round.  (The SMUX shapes are vectors in
// pdu_test; the fuzz targets run the round trip from the other side.)
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"
#include "support/content.h"

namespace {

constexpr uint32_t kAllSyntaxes[] = {2, 3, 4, 5, 6, 48, 64, 65, 66, 67, 68, 69, 70, 71, 128, 129, 130};

class Generator {
public:
    explicit Generator(uint32_t seed) : m_rng(seed) {}

    uint32_t Below(uint32_t n) { return m_rng() % n; }

    // Numbers near the points where the encoded width changes, and anywhere.
    uint32_t Number()
    {
        const uint32_t shift = Below(33);
        const uint32_t v = shift == 32 ? m_rng() : (1u << shift) - Below(3);
        return Below(2) ? v : ~v;
    }

    // Lengths around the short and long length forms, empty included.
    std::string Text()
    {
        static const uint32_t sizes[] = {0, 1, 4, 127, 128, 255, 256, 300};
        std::string s(Below(3) ? Below(40) : sizes[Below(8)], '\0');
        for (char& c : s)
            c = static_cast<char>(m_rng());
        return s;
    }

    // 2 to 128 arcs; the first two as BER can carry them together.
    std::vector<uint32_t> Arcs()
    {
        std::vector<uint32_t> ids(2 + Below(Below(4) ? 12 : 127));
        ids[0] = Below(4) ? Below(3) : Below(100000);
        ids[1] = Below(40);
        for (size_t i = 2; i < ids.size(); ++i)
            ids[i] = Number();
        return ids;
    }

    void Fill(NySnmpValue& value, uint32_t syntax)
    {
        NYSMI_VALUE record{};
        record.syntax = syntax;
        std::string text;
        std::vector<uint32_t> arcs;
        switch (syntax) {
        case 2:
            record.value.int32 = static_cast<int32_t>(Number());
            break;
        case 65: case 66: case 67: case 71:
            record.value.uint32 = Number();
            break;
        case 70:
            record.value.cntr64 = {Number(), Number()};
            break;
        case 3: case 4: case 48: case 64: case 68: case 69:
            // Assign, unlike the setters, takes an empty string too.
            text = Text();
            record.value.octets = {static_cast<uint32_t>(text.size()),
                                   reinterpret_cast<unsigned char*>(text.empty() ? nullptr : &text[0])};
            break;
        case 6:
            arcs = Arcs();
            record.value.oid = {static_cast<uint32_t>(arcs.size()), arcs.data()};
            break;
        default:
            break;  // NULL and the exception values carry no content on the wire
        }
        value.Assign(record);
    }

    NySnmpVbl Bindings()
    {
        NySnmpVbl vbl;
        for (uint32_t n = Below(6); n > 0; --n) {
            const std::vector<uint32_t> arcs = Arcs();
            NySnmpValue value;
            Fill(value, kAllSyntaxes[Below(17)]);
            vbl.Append(NySnmpVar(NySnmpOid(NYSMI_OID{static_cast<uint32_t>(arcs.size()),
                                                     const_cast<uint32_t*>(arcs.data())}), value));
        }
        return vbl;
    }

private:
    std::mt19937 m_rng;
};

// PDUs of every shape with random binding lists (about 130 values of each
// syntax), in messages of both versions and a random community.
TEST(RoundTrip, PdusInMessages)
{
    Generator gen(1901);
    const int32_t numbered[] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA5};
    for (int round = 0; round < 900; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        NySnmpPdu pdu;
        const uint32_t shape = gen.Below(8);
        if (shape < 5) {
            // Request id, error status (non-repeaters) and error index
            // (max-repetitions) travel as the three INTEGERs.
            pdu.Set(numbered[shape], static_cast<int32_t>(gen.Number()), static_cast<int32_t>(gen.Number()),
                    static_cast<int32_t>(gen.Number()), gen.Bindings());
        } else {
            // Trap, Inform and Report keep their leading values in Params.
            const int32_t others[] = {0xA4, 0xA6, 0xA8};
            pdu.SetPduType(others[shape - 5]);
            // A decoder reading leading values stops at SEQUENCE and at every
            // context-class tag, so those are not among them.
            const uint32_t leading[] = {2, 3, 4, 5, 6, 64, 65, 66, 67, 68, 69, 70, 71};
            for (uint32_t n = 1 + gen.Below(5); n > 0; --n) {
                auto* value = new NySnmpValue;
                gen.Fill(*value, leading[gen.Below(13)]);
                pdu.Params().Append(*value);
            }
            pdu.SetVbl(gen.Bindings());
        }
        // Passed as a C string, so it ends at its first zero octet.
        const std::string community = gen.Text() + "c";
        NySnmpMsg out(static_cast<int32_t>(gen.Below(2)), community.c_str(), pdu);
        const Bytes wire = Hex(Encode(out)); // Encode checks the count left against the end
        NySnmpMsg in;
        ASSERT_EQ(Decode(in, wire), wire.size());
        EXPECT_EQ(in.Version(), out.Version());
        EXPECT_STREQ(in.CommunityName(), out.CommunityName());
        ASSERT_TRUE(SamePdu(in.Pdu(), out.Pdu())) << ToHex(wire);
        EXPECT_EQ(Encode(in), ToHex(wire));
        // The text form depends on the content only, also in a copy.
        for (size_t i = 0; i < in.Pdu().Vars().VarList().size(); ++i)
            EXPECT_STREQ(NySnmpValue(in.Pdu().Vars().VarList()[i]->Value()).AsString(),
                         out.Pdu().Vars().VarList()[i]->Value().AsString());
    }
}

}  // namespace
