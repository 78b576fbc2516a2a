// The AgentX codec: both byte orders, the internet prefix at its edges,
// padding, every value syntax, and damaged PDUs refused with the library's
// exception without a read past the data.  Round trips of every PDU type and
// truncated or spoilt PDUs are the agentx_pdu fuzz target's, whose seeds are
// replayed in every build.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "agentx/pdus.h"
#include "nysnmpmsgs.h"
#include "support/caught.h"

namespace {

const char* const kLeaf = "1.3.6.1.4.1.32473.99.1";

NySnmpVar Binding(const char* oid, const std::function<void(NySnmpValue&)>& set)
{
    NySnmpVar var;
    var.Oid().Assign(oid);
    set(var.Value());
    return var;
}

// Decodes from a heap block of exactly the octets given, so that a read past
// them is caught by the address sanitizer.
uint32_t DecodeId(const Bytes& wire)
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[wire.size() + (wire.empty() ? 1 : 0)]);
    std::copy(wire.begin(), wire.end(), exact.get());
    NyAgentxPdu pdu;
    unsigned int rem = static_cast<unsigned int>(wire.size());
    return IdOf(Caught([&] { pdu.FromWire(exact.get(), &rem); }));
}

} // namespace

TEST(AgentxCodec, LittleEndianSendersAreRead)
{
    NyAgentxPdu get = Request(NYAGENTX_GETNEXT, 7, 11, 4);
    AddRange(get, kLeaf, "", true);
    NyAgentxPdu response = Request(NYAGENTX_RESPONSE, 7, 11, 4);
    response.error = 3;
    response.index = 1;
    response.vars.Append(Binding(kLeaf, [](NySnmpValue& v) { v.SetInt32(-5); }));
    NyAgentxPdu test = Request(NYAGENTX_TESTSET, 7, 12, 5);
    test.vars.Append(Binding(kLeaf, [](NySnmpValue& v) { v.SetCntr64({1, 2}); }));
    test.vars.Append(Binding("1.3.6.1.4.1.32473.99.2", [](NySnmpValue& v) {
        v.SetOctets({3, reinterpret_cast<unsigned char*>(const_cast<char*>("abc"))});
    }));
    struct Case {
        NyAgentxPdu* pdu;
        std::vector<size_t> words32, words16;
    } cases[] = {
        {&get, {4, 8, 12, 16}, {}},
        {&response, {0, 16, 20, 24, 28, 32}, {4, 6, 8}},
        {&test, {8, 12, 16, 20, 24, 28, 40, 44, 48, 52, 56}, {0, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.pdu->type));
        const Bytes network = Encode(*c.pdu);
        NyAgentxPdu back = Decode(LittleEndian(network, c.words32, c.words16));
        EXPECT_EQ(back.flags & NYAGENTX_FLAG_NETWORK_BYTE_ORDER, 0);
        EXPECT_EQ(Encode(back), network); // answered in network byte order
    }
}

TEST(AgentxCodec, InternetPrefixAtItsEdges)
{
    struct Case {
        const char* oid;
        const char* head; // n_subid, prefix, include, reserved
    } cases[] = {
        {"1.3.6.1.4.1.32473", "02 04 00 00"},
        {"1.3.6.1.2", "00 02 00 00"},         // the prefix alone
        {"1.3.6.1", "04 00 00 00"},           // too short to compress
        {"1.3.6.1.0.5", "06 00 00 00"},       // 0 is no prefix
        {"1.3.6.1.255.7", "01 FF 00 00"},
        {"1.3.6.1.256.7", "06 00 00 00"},     // above one octet
        {"1.3.6.2.4.1", "06 00 00 00"},       // not below internet
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.oid);
        NyAgentxPdu caps = Request(NYAGENTX_REMOVEAGENTCAPS, 1, 0, 1);
        caps.oid.Assign(c.oid);
        const Bytes wire = Encode(caps);
        EXPECT_EQ(ToHex(wire.data() + NYAGENTX_HEADER_SIZE, 4), c.head);
        EXPECT_STREQ(Decode(wire).oid.AsString(), c.oid);
    }
}

TEST(AgentxCodec, OctetStringsArePaddedToFourOctets)
{
    for (size_t length = 0; length < 9; ++length) {
        NyAgentxPdu open = Request(NYAGENTX_OPEN, 0, 0, 1);
        open.description.assign(length, 'x');
        const Bytes wire = Encode(open);
        // timeout word, empty identifier, length word, text rounded up
        EXPECT_EQ(wire.size(), NYAGENTX_HEADER_SIZE + 12 + (length + 3) / 4 * 4) << length;
        EXPECT_EQ(Decode(wire).description, open.description);
    }
}

TEST(AgentxCodec, EveryValueSyntaxTravels)
{
    unsigned char four[] = {10, 0, 0, 1};
    uint32_t arcs[] = {1, 3, 6, 1, 4, 1, 32473};
    auto empty = [](uint32_t syntax) {
        return [syntax](NySnmpValue& v) {
            NYSMI_VALUE record{};
            record.syntax = syntax;
            v.Assign(record);
        };
    };
    struct Case {
        std::function<void(NySnmpValue&)> set;
        uint32_t arrives; // the syntax it is read back as
    } cases[] = {
        {[](NySnmpValue& v) { v.SetInt32(-1); }, 0x02},
        {[&](NySnmpValue& v) { v.SetOctets({3, four}); }, 0x04},
        {empty(0x04), 0x04},  // a Set to ""
        {empty(0x44), 0x44},
        {[&](NySnmpValue& v) { v.SetBits({1, four}); }, 0x04},
        {[&](NySnmpValue& v) { v.SetNsapAddr({2, four}); }, 0x04},
        {[](NySnmpValue& v) { v.SetNull(0); }, 0x05},
        {[&](NySnmpValue& v) { v.SetOid({7, arcs}); }, 0x06},
        {[&](NySnmpValue& v) { v.SetIpAddr({4, four}); }, 0x40},
        {[](NySnmpValue& v) { v.SetCntr32(4000000000u); }, 0x41},
        {[](NySnmpValue& v) { v.SetGauge32(7); }, 0x42},
        {[](NySnmpValue& v) { v.SetUInt32(8); }, 0x42},
        {[](NySnmpValue& v) { v.SetTimeticks(9); }, 0x43},
        {[&](NySnmpValue& v) { v.SetOpaque({4, four}); }, 0x44},
        {[](NySnmpValue& v) { v.SetCntr64({0xFFFFFFFFu, 1}); }, 0x46},
        {[](NySnmpValue& v) { v.SetNoSuchObject(0); }, 0x80},
        {[](NySnmpValue& v) { v.SetNoSuchInstance(0); }, 0x81},
        {[](NySnmpValue& v) { v.SetEndOfMibView(0); }, 0x82},
    };
    for (const Case& c : cases) {
        NyAgentxPdu notify = Request(NYAGENTX_NOTIFY, 1, 0, 1);
        NySnmpVar sent = Binding(kLeaf, c.set);
        notify.vars.Append(sent);
        NyAgentxPdu back = Decode(Encode(notify));
        ASSERT_EQ(back.vars.Size(), 1u);
        NySnmpValue& value = back.vars.VarList()[0]->Value();
        SCOPED_TRACE(sent.Value().AsString());
        EXPECT_EQ(value.Syntax(), c.arrives);
        const NYSMI_VALUE& a = value.SmiValue();
        const NYSMI_VALUE& b = sent.Value().SmiValue();
        if (c.arrives == 0x04) // BITS and NsapAddress arrive as plain octets
            EXPECT_EQ(Bytes(a.value.octets.ptr, a.value.octets.ptr + a.value.octets.len),
                      Bytes(b.value.octets.ptr, b.value.octets.ptr + b.value.octets.len));
        else
            EXPECT_STREQ(value.AsString(), sent.Value().AsString());
    }
}

TEST(AgentxCodec, DamagedPdusAreRefused)
{
    const std::string header = "01 %T 10 00 00000007 0000000B 00000004 %L ";
    struct Case {
        const char* type;
        const char* payload;
        uint32_t id;
        const char* fault;
    } cases[] = {
        {"05", "", NYAGENTX_BAD_HEADER, "version 2"},
        {"05", "000000", NYAGENTX_MALFORMED, "payload not a multiple of four"},
        {"63", "", NYAGENTX_MALFORMED, "unknown type"},
        {"05", "81000000", NYAGENTX_MALFORMED, "129 sub-identifiers"},
        {"05", "02040000 00000001", NYAGENTX_MALFORMED, "identifier cut short"},
        {"0C", "0004 0000 00000000 FFFFFFFF", NYAGENTX_MALFORMED, "octet string of 4 GiB"},
        {"0C", "0040 0000 00000000 00000003 0A000100", NYAGENTX_MALFORMED, "IpAddress of three octets"},
        {"0C", "0009 0000 00000000", NYAGENTX_MALFORMED, "unknown value type"},
        {"0C", "0002 0000 00000000", NYAGENTX_MALFORMED, "Integer without its value"},
        {"0C", "0005 0000 00000000", NYAGENTX_MALFORMED, "binding without a name"},
        {"06", "00000000 00000000", NYAGENTX_MALFORMED, "search range without a start"},
        {"02", "05000000 00000000", NYAGENTX_MALFORMED, "octets after a Close"},
        {"03", "00 7F 03 00 02040000 00000001 00000002", NYAGENTX_MALFORMED, "range_subid past the subtree"},
        {"12", "00000000 0000", NYAGENTX_MALFORMED, "Response cut in its error field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        std::string text = header;
        text.replace(text.find("%T"), 2, c.type);
        const Bytes payload = Hex(c.payload);
        char length[16];
        std::snprintf(length, sizeof length, "%08zX", payload.size());
        text.replace(text.find("%L"), 2, length);
        Bytes wire = Hex(text);
        wire.insert(wire.end(), payload.begin(), payload.end());
        if (std::string(c.fault) == "version 2")
            wire[0] = 2;
        EXPECT_EQ(DecodeId(wire), c.id);
    }
}
