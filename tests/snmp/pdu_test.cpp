// PDUs and messages: wire vectors of every shape (SNMP and SMUX, including
// what net-snmp's snmpd sends its peers), the length probe, short buffers,
// copies, and the fast reading of request numbers against the general path.
// (Truncated, mutated and random input is the fuzz targets' part.)
#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "snmp/check.h"

namespace {

// Requests as net-snmp's snmpd (5.9) forwarded them to an SMUX peer that had
// registered 1.3.6.1.4.1.32473.99.1: snmpget, then snmpset.
const char kSnmpdGet[] = "A0 82 00 20 02 01 01 02 01 00 02 01 00 30 82 00 13 30 82 00 0F "
                         "06 0B 2B 06 01 04 01 81 FD 59 63 01 00 05 00";
const char kSnmpdSet[] = "A3 82 00 21 02 01 02 02 01 00 02 01 00 30 82 00 14 30 82 00 10 "
                         "06 0B 2B 06 01 04 01 81 FD 59 63 01 00 02 01 07";

// "type requestId errorStatus errorIndex params vars", each leading value's
// text, and an SOutPDU's value.
std::string Fields(NySnmpPdu& pdu)
{
    char text[96];
    std::snprintf(text, sizeof text, "%X %d %d %d %u %u", pdu.PduType(), pdu.RequestId(), pdu.ErrorStatus(),
                  pdu.ErrorIndex(), pdu.Params().Size(), pdu.Vars().Size());
    std::string fields = text;
    for (NySnmpValue* value : pdu.Params().ValueList())
        fields += std::string(" =") + value->AsString();
    return pdu.PduType() == 0x44 ? fields + " sout=" + std::to_string(pdu.SOutValue()) : fields;
}

// Every shape, SNMP and SMUX, decodes: the octets consumed (an SMUX PDU other
// than Open and RReq is measured by the caller: 0) and the fields; a fault
// throws and keeps what was read before it.  `size` hands over that many octets.
TEST(Pdu, Shapes)
{
    struct Row { const char* hex; const char* fields; uint32_t error = 0; unsigned int size = 0; } rows[] = {
        {"A2 82 00 0D 02 01 05 02 01 00 02 01 00 30 82 00 00", "17 A2 5 0 0 0 0"},
        {kSnmpdGet, "36 A0 1 0 0 0 1"},
        {kSnmpdSet, "37 A3 2 0 0 0 1"},
        {"A5 0B 02 01 07 02 01 00 02 01 0A 30 00", "13 A5 7 0 10 0 0"},
        {"A6 0B 02 01 07 02 01 01 02 01 02 30 00", "13 A6 0 0 0 3 0 =7 =1 =2"},
        {"A4 20 06 05 2B 06 01 04 01 40 04 7F 00 00 01 02 01 06 02 01 01 43 01 64 30 08 30 06 06 01 2B 02 01 01",
         "34 A4 0 0 0 5 1 =1.3.6.1.4.1 =127.0.0.1 =6 =1 =100"},
        // SNMPv2-Trap (requests without their numbers: see RequestNumbersReadAsValueByValue)
        {"A7 0B 02 01 01 02 01 00 02 01 00 30 00", "A7 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        {"A2 0B 02 01 05 02 01 00 02 01 00 A0 00", "A2 0 0 0 3 0 =5 =0 =0", NYSNMP_EXPECTED_SYNTAX},
        {"", "0 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        // a fault inside the second binding: the numbers stay as values
        {"A0 1A 02 01 01 02 01 00 02 01 00 30 0F 30 06 06 01 2B 02 01 01 30 05 06 01 2B 07 00",
         "A0 0 0 0 3 1 =1 =0 =0", NYSNMP_UNSUPPORTED_SYNTAX},
        {"44 01 01", "0 44 0 0 0 1 0 =1 sout=1"},
        {"44 01", "0 44 0 0 0 0 0 sout=1"}, // no number: a rollback
        {"43 01 FF", "0 43 0 0 0 1 0 =255"},
        {"43 04 00 00 00 05", "0 43 0 0 0 1 0 =5"}, // snmpd's RRspPDU, as captured
        {"43 04 FF FF FF FF", "0 43 0 0 0 1 0 =255"},
        {"43 02 01 00", "0 43 0 0 0 1 0 =256"},
        {"43 04 00 00 00 05 44 01 00", "0 43 0 0 0 1 0 =5"},
        {"43 04 00 00 00 05", "0 43 0 0 0 1 0 =0", 0, 4}, // content cut off: the third octet
        {"43 00", "43 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        {"43 05 00 00 00 00 05", "43 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        {"60 82 00 17 02 01 00 06 05 2B 06 01 04 01 04 03 61 62 63 04 06 73 65 63 72 65 74",
         "27 60 0 0 0 4 0 =0 =1.3.6.1.4.1 =abc =secret"},
        {"62 82 00 0B 06 03 2B 06 01 02 01 FF 02 01 01", "15 62 0 0 0 3 0 =1.3.6.1 =-1 =1"},
    };
    for (const Row& row : rows) {
        NySnmpPdu pdu;
        const Bytes in = Hex(row.hex);
        std::string consumed;
        if (row.error == 0)
            consumed = std::to_string(Decode(pdu, in, row.size ? row.size : in.size())) + " ";
        else
            EXPECT_TRUE(Throws([&] { Decode(pdu, in); }, row.error, nullptr)) << row.hex;
        EXPECT_EQ(consumed + Fields(pdu), row.fields) << row.hex;
    }
}

TEST(Pdu, LengthProbe)
{
    struct Row { const char* hex; int length; uint32_t error = 0; } rows[] = {
        {"30", 0}, {"41 03", 5}, {"30 82 00", 0}, {"30 82 01 10", 0x114}, {"30 84 00 00 01 00", 0x106},
        {"30 84 7F FF FF FF", INT_MAX}, // would not fit an int
        {"30 80", 0, NYSNMP_ZERO_LONG_LENGTH}, {"30 85 00 00 00 00 01", 0, NYSNMP_LONG_LENGTH_TOO_BIG},
    };
    for (const Row& row : rows) {
        const Bytes in = Hex(row.hex);
        const auto probe = [&] { return NySnmpPdu::AsnPktLen(in.data(), static_cast<unsigned int>(in.size())); };
        EXPECT_TRUE(row.error ? Throws(probe, row.error, nullptr) : ::testing::AssertionResult(probe() == row.length))
            << row.hex;
    }
}

// The numbers of a request or response are read in one step where they have
// their usual form.  Whatever the octets, the outcome must be the one the
// value-by-value reading gives, which an InformRequest (0xA6) still takes:
// its Params keep the numbers, and from them follows what a GetRequest,
// GetNextRequest, Response, SetRequest or GetBulkRequest of the same octets
// must give.
std::string Outcome(Bytes data, unsigned char type)
{
    if (!data.empty())
        data[0] = type;
    NySnmpPdu pdu;
    std::string out;
    try {
        out = "consumed " + std::to_string(Decode(pdu, data));
    } catch (const NySocketException& e) {
        out = "threw " + std::to_string(static_cast<uint32_t>(e.Id())) + " " + e.ThrownBy();
    }
    std::string fields = Fields(pdu);
    fields.erase(0, fields.find(' '));
    const std::vector<NySnmpValue*>& p = pdu.Params().ValueList();
    if (type == 0xA6 && out[0] == 'c') {
        // What a request or response makes of the same Params.
        if (p.size() < 3 || p[0]->Syntax() != 2 || p[1]->Syntax() != 2 || p[2]->Syntax() != 2)
            return "threw " + std::to_string(NYSNMP_INCOMPLETE_PDU) + " NySnmpPdu::FromAsn 0 0 0 0 0";
        fields = std::string(" ") + p[0]->AsString() + " " + p[1]->AsString() + " " + p[2]->AsString() + " 0 " +
                 std::to_string(pdu.Vars().Size());
    }
    return out + fields + Bindings(pdu.Vars());
}

TEST(Pdu, RequestNumbersReadAsValueByValue)
{
    NySnmpVbl ten;
    for (int i = 1; i <= 10; ++i)
        ten.Append(NySnmpVar(NySnmpOid(("1.3.6.1.4.1.32473.1.1.3.2.14.3.1." + std::to_string(i) +
                                        ".10.20.30.40.40000.192.168.10.1.1024").c_str()), Record(2)));
    NySnmpPdu response(0xA2, 123456, 0, 0, ten);
    const std::string list = " 30 08 30 06 06 01 2B 02 01 07";
    const std::vector<Bytes> bases = {
        Hex(kSnmpdGet), Hex(kSnmpdSet), Hex(Encode(response)),
        // negative and four-octet numbers; one-octet length forms
        Hex("A2 15 02 04 80 00 00 00 02 01 FF 02 02 00 80" + list),
        Hex("A2 81 12 02 01 01 02 01 00 02 01 00 30 81 08 30 06 06 01 2B 02 01 07"),
        // a number in long form, a fourth value, an OCTET STRING in place of a number
        Hex("A2 13 02 81 01 01 02 01 00 02 01 00" + list), Hex("A2 15 02 01 01 02 01 00 02 01 00 02 01 09" + list),
        Hex("A2 12 02 01 01 04 01 00 02 01 00" + list),
        // the PDU's length ends with the numbers; an empty and a five-octet number
        Hex("A2 09 02 01 01 02 01 00 02 01 00" + list), Hex("A2 11 02 00 02 01 00 02 01 00" + list),
        Hex("A2 16 02 05 00 FF FF FF FF 02 01 00 02 01 00" + list),
    };
    auto same = [](const Bytes& data) {
        const std::string reference = Outcome(data, 0xA6);
        for (unsigned char type : {0xA0, 0xA1, 0xA2, 0xA3, 0xA5})
            ASSERT_EQ(Outcome(data, type), reference) << ToHex(data) << " as " << int(type);
    };
    for (const Bytes& base : bases) {
        for (size_t size = 0; size <= base.size(); ++size)
            same(Bytes(base.begin(), base.begin() + static_cast<long>(size)));
        for (size_t at = 1; at < base.size() && at < 24; ++at) { // the header, the numbers, the list's start
            for (unsigned char octet : {0x00, 0x01, 0x02, 0x04, 0x05, 0x30, 0x7F, 0x80, 0x81, 0x82, 0x84, 0xFF}) {
                Bytes mutated = base;
                mutated[at] = octet;
                same(mutated);
            }
        }
    }
    std::mt19937 random(20261206);
    for (int round = 0; round < 3000; ++round) {
        Bytes data(2 + random() % 30);
        for (unsigned char& octet : data)
            octet = static_cast<unsigned char>(random() % 3 == 0 ? random() % 4 : random());
        data[1] = static_cast<unsigned char>(data.size() - 2 - random() % 3);
        same(data);
    }
}

// ---- messages -----------------------------------------------------------------

// 0xA0 GetRequest, request id 1, sysDescr.0 = NULL; as a message of version
// 0 and community "orchid".
const std::string kGetPdu = "A0 82 00 1D 02 01 01 02 01 00 02 01 00 30 82 00 10 30 82 00 0C 06 08 2B 06 01 02 01 "
                            "01 01 00 05 00";
const std::string kGet = "30 82 00 2C 02 01 00 04 06 6F 72 63 68 69 64 " + kGetPdu;

TEST(Message, WireForm)
{
    NySnmpPdu close(0x41, 0, 0, 0, NySnmpVbl());
    EXPECT_EQ(Encode(close), "41 82 00 0D 02 01 00 02 01 00 02 01 00 30 82 00 00");
    NySnmpMsg empty;
    EXPECT_EQ(Encode(empty), "30 82 00 1C 02 01 00 04 06 6F 72 63 68 69 64 00 82 00 0D 02 01 00 02 01 00 02 01 00 "
                             "30 82 00 00");
    NySnmpMsg get(0, nullptr, Request(0xA0, 1, {"1.3.6.1.2.1.1.1.0"}));
    EXPECT_EQ(Encode(get), kGet);
    get.SetVersion(-1);
    get.SetCommunityName("public");
    EXPECT_EQ(Encode(get).substr(12, 32), "02 01 FF 04 06 70 75 62 6C 69 63");
    for (size_t room = 1; room < Hex(kGet).size(); ++room)
        EXPECT_THROW(Encode(get, room), NySocketException) << room;

    // SNMPv2c, community "pub\0x" (a zero octet inside): written back as received.
    const Bytes wire = Hex("30 82 00 2B 02 01 01 04 05 70 75 62 00 78 " + kGetPdu);
    NySnmpMsg message;
    EXPECT_EQ(Decode(message, wire), wire.size());
    EXPECT_EQ(message.Version(), 1);
    EXPECT_STREQ(message.CommunityName(), "pub"); // the text stops at the zero octet
    // The leading values win over the fields until they are dropped.
    message.SetCommunityName("other");
    EXPECT_EQ(Encode(message), ToHex(wire));
    message.Params().Destroy();
    EXPECT_EQ(Encode(message).substr(12, 29), "02 01 01 04 05 6F 74 68 65 72");
    NySnmpMsg again;
    Decode(again, wire);
    again.Params().Destroy();
    EXPECT_EQ(Encode(again), ToHex(wire)); // the stored community, zero octet included

    // Lenient where the wire allows: the outer tag is not checked, octets
    // after the PDU are left unread.  (net-snmp's short length forms are read
    // in Interop.ToolsSendRequestsThatDecodeAndTakeOurAnswer.)
    EXPECT_EQ(Decode(message, "31" + kGet.substr(2) + " 00 00"), 0x30u);
}

TEST(Message, MalformedMessages)
{
    struct Row { std::string hex; uint32_t id; const char* why; } rows[] = {
        {"30 00", NYSNMP_INCOMPLETE_MSG, "no values at all"},
        {"30 0B 02 01 00 04 06 6F 72 63 68 69 64", NYSNMP_INCOMPLETE_MSG, "no PDU"},
        {"30 27 02 01 00 02 01 07 " + kGetPdu, NYSNMP_INCOMPLETE_MSG, "community is an INTEGER"},
        {"30 29 04 03 61 62 63 02 01 00 " + kGetPdu, NYSNMP_INCOMPLETE_MSG, "values swapped"},
        {"30 03 30 01 00", NYSNMP_INCOMPLETE_MSG, "a SEQUENCE where the version belongs"},
        {kGet.substr(0, kGet.size() - 3), NYSNMP_SEQ_TOO_LONG, "last octet missing"},
        {"30 80 02 01 00", NYSNMP_ZERO_LONG_LENGTH, "indefinite length"},
        {"30 19 02 01 00 04 03 61 62 63 A7 82 00 0D 02 01 01 02 01 00 02 01 00 30 82 00 00", NYSNMP_INCOMPLETE_PDU,
         "SNMPv2-Trap body is refused"},
        {"30 09 02 01 00 07 00 A0 82 00 00", NYSNMP_UNSUPPORTED_SYNTAX, "unknown value tag"},
    };
    for (const Row& row : rows) {
        NySnmpMsg message;
        EXPECT_TRUE(Throws([&] { Decode(message, row.hex); }, row.id, nullptr)) << row.why;
        // Nothing half-decoded is left to be written back by the next AsAsn.
        EXPECT_EQ(message.Params().Size(), 0u) << row.why;
    }
}

// Copies own what they hold.  A PDU's copy construction leaves Params
// behind; Set appends behind the bindings there.  A Trap-PDU (enterprise
// 1.3.6.1.4.1.32473, agent 127.0.0.1, generic 6, specific 3, time-stamp 100):
// its header survives every way into a message.
TEST(Message, CopiesOwnWhatTheyHold)
{
    NySnmpPdu pdu;
    Decode(pdu, kSnmpdSet);
    pdu.SetPduType(0xA4);
    pdu.Params().Append(*new NySnmpValue(pdu.Vars().Get(1)->Value()));
    NySnmpPdu copied(pdu), assigned, target;
    EXPECT_EQ(Fields(copied), "A4 2 0 0 0 1");
    EXPECT_EQ(assigned.Assign(pdu), 0);
    EXPECT_EQ(assigned.Set(0xA2, 1, 0, 0, pdu.Vars()), 0);
    target = assigned;
    NySnmpPdu& same = target;
    target = same;
    assigned.Erase();
    EXPECT_EQ(Fields(target), "A2 1 0 0 1 2 =7");
    EXPECT_NE(target.Params().Get(1), pdu.Params().Get(1));
    EXPECT_STREQ(target.Vars().Get(2)->Value().AsString(), "7");

    const std::string trapPdu = "A4 82 00 1D 06 08 2B 06 01 04 01 81 FD 59 40 04 7F 00 00 01 02 01 06 02 01 03 43 01 64"
                                " 30 82 00 00";
    const std::string expected = "30 82 00 2C 02 01 00 04 06 70 75 62 6C 69 63 " + trapPdu;
    NySnmpPdu trap;
    Decode(trap, trapPdu);
    NySnmpMsg viaSet, viaSetPdu, viaConstructor(0, "public", trap), decoded;
    viaSet.Set(0, "public", trap);
    viaSetPdu.SetCommunityName("public");
    viaSetPdu.SetPdu(trap);
    Decode(decoded, expected);
    NySnmpMsg copy(decoded), message(0, "x", Request(0xA3, 5, {"1.3.6.1"}));
    message = decoded;
    NySnmpMsg& alias = message;
    message = alias;
    decoded.Erase(); // resets the message
    EXPECT_STREQ(decoded.CommunityName(), "orchid");
    for (NySnmpMsg* m : {&viaSet, &viaSetPdu, &viaConstructor, &copy, &message})
        EXPECT_EQ(Encode(*m), expected);
}

} // namespace
