// The AgentX codec: both byte orders, the internet prefix at its edges,
// padding, the values written in another syntax or empty, and damaged PDUs
// refused with the library's exception without a read past the data.  Round trips of every PDU type and
// truncated or spoilt PDUs are the agentx_pdu fuzz target's, whose seeds are
// replayed in every build.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>

#include "agentx/pdus.h"
#include "nysnmpmsgs.h"
#include "support/agent.h"
#include "support/caught.h"
#include "support/content.h"

// A little-endian sender's PDUs read as their network-order twins: the
// pairs among the agentx_pdu fuzz target's seeds.
TEST(AgentxCodec, LittleEndianSendersAreRead)
{
    for (const char* name : {"get", "getnext", "getbulk", "testset-kinds", "response"}) {
        SCOPED_TRACE(name);
        const std::string seed = NYSNMP_SOURCE_DIR "/fuzz/corpus/agentx_pdu/hand-" + std::string(name);
        const std::string le = ReadFile(seed + "-le"), be = ReadFile(seed + "-be");
        const NyAgentxPdu pdu = Decode(Bytes(le.begin(), le.end()));
        EXPECT_EQ(pdu.flags & NYAGENTX_FLAG_NETWORK_BYTE_ORDER, 0);
        EXPECT_EQ(Encode(pdu), Bytes(be.begin(), be.end()));
    }
}

// The internet prefix compressed exactly where it fits, and text padded to
// whole four-octet words: each case's description is as long as its index.
TEST(AgentxCodec, InternetPrefixAtItsEdgesAndPadding)
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
    for (size_t length = 0; length < std::size(cases); ++length) {
        const Case& c = cases[length];
        SCOPED_TRACE(c.oid);
        NyAgentxPdu caps = Request(NYAGENTX_ADDAGENTCAPS, 1, 0, 1);
        caps.oid.Assign(c.oid);
        caps.description.assign(length, 'x');
        const Bytes wire = Encode(caps);
        EXPECT_EQ(ToHex(wire.data() + NYAGENTX_HEADER_SIZE, 4), c.head);
        // the identifier's head and words, the length word, the text rounded up
        EXPECT_EQ(wire.size(), NYAGENTX_HEADER_SIZE + 4 + 4 * wire[NYAGENTX_HEADER_SIZE] + 4 + (length + 3) / 4 * 4);
        NyAgentxPdu back = Decode(wire);
        EXPECT_STREQ(back.oid.AsString(), c.oid);
        EXPECT_EQ(back.description, caps.description);
    }
}

// The values the library holds that AgentX writes in another syntax or
// that no snmpd scenario carries (those are compared there with what the
// SMUX session gives, and every syntax read from the fuzz seeds is written
// back octet for octet).
TEST(AgentxCodec, MappedAndEmptyValuesTravel)
{
    unsigned char four[] = {10, 0, 0, 1};
    using Set = std::function<void(NySnmpValue&)>;
    auto octets = [&](NySnmpValue& v) { v.SetOctets({3, four}); };
    auto empty = [](uint32_t syntax) -> Set {
        return [syntax](NySnmpValue& v) {
            NYSMI_VALUE record{};
            record.syntax = syntax;
            v.Assign(record);
        };
    };
    struct Case {
        Set sent, arrives; // no `arrives`: as it was sent
    } cases[] = {
        {empty(0x04), {}},  // a Set to ""
        {empty(0x44), {}},
        {[&](NySnmpValue& v) { v.SetOpaque({4, four}); }, {}},
        {[&](NySnmpValue& v) { v.SetBits({3, four}); }, octets},
        {[&](NySnmpValue& v) { v.SetNsapAddr({3, four}); }, octets},
        {[](NySnmpValue& v) { v.SetUInt32(8); }, [](NySnmpValue& v) { v.SetGauge32(8); }},
        {[](NySnmpValue& v) { v.SetNull(0); }, {}},
        {[](NySnmpValue& v) { v.SetCntr64({0xFFFFFFFFu, 1}); }, {}},
    };
    for (const Case& c : cases) {
        NySnmpVar sent;
        sent.Oid().Assign("1.3.6.1.4.1.32473.99.1");
        c.sent(sent.Value());
        NySnmpVar expected = sent;
        if (c.arrives)
            c.arrives(expected.Value());
        NyAgentxPdu notify = Request(NYAGENTX_NOTIFY, 1, 0, 1);
        notify.vars.Append(sent);
        SCOPED_TRACE(notify.vars.VarList()[0]->Value().AsString());
        const NyAgentxPdu back = Decode(Encode(notify));
        EXPECT_TRUE(back.vars.Size() == 1 && SameVar(*back.vars.VarList()[0], expected));
    }
}

TEST(AgentxCodec, DamagedPdusAreRefused)
{
    struct Case {
        const char* head; // version, type
        const char* payload;
        uint32_t id;
        const char* fault;
    } cases[] = {
        {"02 05", "", NYAGENTX_BAD_HEADER, "version 2"},
        {"01 05", "000000", NYAGENTX_MALFORMED, "payload not a multiple of four"},
        {"01 63", "", NYAGENTX_MALFORMED, "unknown type"},
        {"01 05", "81000000", NYAGENTX_MALFORMED, "129 sub-identifiers"},
        {"01 05", "02040000 00000001", NYAGENTX_MALFORMED, "identifier cut short"},
        {"01 0C", "0004 0000 00000000 FFFFFFFF", NYAGENTX_MALFORMED, "octet string of 4 GiB"},
        {"01 0C", "0040 0000 00000000 00000003 0A000100", NYAGENTX_MALFORMED, "IpAddress of three octets"},
        {"01 0C", "0009 0000 00000000", NYAGENTX_MALFORMED, "unknown value type"},
        {"01 0C", "0002 0000 00000000", NYAGENTX_MALFORMED, "Integer without its value"},
        {"01 0C", "0005 0000 00000000", NYAGENTX_MALFORMED, "binding without a name"},
        {"01 06", "00000000 00000000", NYAGENTX_MALFORMED, "search range without a start"},
        {"01 02", "05000000 00000000", NYAGENTX_MALFORMED, "octets after a Close"},
        {"01 03", "00 7F 03 00 02040000 00000001 00000002", NYAGENTX_MALFORMED, "range_subid past the subtree"},
        {"01 12", "00000000 0000", NYAGENTX_MALFORMED, "Response cut in its error field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Bytes wire = Hex(std::string(c.head) + " 10 00 00000007 0000000B 00000004 00000000 " + c.payload);
        wire[19] = static_cast<unsigned char>(wire.size() - NYAGENTX_HEADER_SIZE); // the payload length
        // From a heap block of exactly these octets, so that a read past them
        // is caught by the address sanitizer.
        const Bytes exact(wire.begin(), wire.end());
        NyAgentxPdu pdu;
        unsigned int rem = static_cast<unsigned int>(exact.size());
        EXPECT_EQ(IdOf(Caught([&] { pdu.FromWire(exact.data(), &rem); })), c.id);
    }
}
