// SNMP messages: wire form, leading values as received, malformed input,
// copies that own what they hold.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"

namespace {

const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";

// 0xA0 GetRequest, request id 1, sysDescr.0 = NULL.
const char* const kGetPdu = "A0 82 00 1D 02 01 01 02 01 00 02 01 00"
                            " 30 82 00 10 30 82 00 0C 06 08 2B 06 01 02 01 01 01 00 05 00";
// Version 0, community "orchid", that PDU.
const std::string kGet = std::string("30 82 00 2C 02 01 00 04 06 6F 72 63 68 69 64 ") + kGetPdu;

TEST(NySnmpMsgWire, DefaultsAndBuiltMessages)
{
    // Version 0 and community "orchid" unless told otherwise.
    NySnmpMsg empty;
    EXPECT_EQ(Encode(empty), "30 82 00 1C 02 01 00 04 06 6F 72 63 68 69 64"
                                    " 00 82 00 0D 02 01 00 02 01 00 02 01 00 30 82 00 00");

    NySnmpMsg get(0, nullptr, Request(0xA0, 1, {kSysDescr}));
    EXPECT_EQ(Encode(get), kGet);

    get.SetVersion(1);
    get.SetCommunityName("public");
    EXPECT_EQ(Encode(get).substr(0, 44), "30 82 00 2C 02 01 01 04 06 70 75 62 6C 69 63");
    get.SetCommunityName(nullptr);
    EXPECT_STREQ(get.CommunityName(), "orchid");

    // Any version is written as it stands.
    get.SetVersion(-1);
    EXPECT_EQ(Encode(get).substr(12, 8), "02 01 FF");
}

TEST(NySnmpMsgWire, DecodedValuesAreWrittenBackAsReceived)
{
    // SNMPv2c, community "pub\0x" (a zero octet inside), GetRequest.
    const Bytes wire = Hex(std::string("30 82 00 2B 02 01 01 04 05 70 75 62 00 78 ") + kGetPdu);
    NySnmpMsg message;
    EXPECT_EQ(Decode(message, wire), wire.size());
    EXPECT_EQ(message.Version(), 1);
    EXPECT_STREQ(message.CommunityName(), "pub");  // the text stops at the zero octet
    ASSERT_EQ(message.Params().Size(), 2u);
    EXPECT_EQ(message.Params().Get(1)->Syntax(), 2u);
    EXPECT_EQ(message.Params().Get(2)->SmiValue().value.octets.len, 5u);
    EXPECT_EQ(Encode(message), ToHex(wire)); // the PDU too

    // The leading values win over the fields until they are dropped.
    message.SetCommunityName("other");
    message.SetVersion(0);
    EXPECT_EQ(Encode(message), ToHex(wire));
    message.Params().Destroy();
    EXPECT_EQ(Encode(message).substr(12, 29), "02 01 00 04 05 6F 74 68 65 72");

    // The community's stored length is written, zero octets included.
    NySnmpMsg again;
    Decode(again, wire);
    again.Params().Destroy();
    EXPECT_EQ(Encode(again), ToHex(wire));
}

TEST(NySnmpMsgWire, ArgumentErrors)
{
    NySnmpMsg message;
    unsigned char buffer[8];
    unsigned int none = 0, rem = 8;
    const char* asAsn = "Invalid argument passed to the method NySnmpMsg::AsAsn";
    const char* fromAsn = "Invalid argument passed to the method NySnmpMsg::FromAsn";
    EXPECT_TRUE(Throws([&] { message.AsAsn(buffer, &none); }, NYSNMP_INVALID_ARG, "NySnmpMsg::AsAsn", asAsn));
    EXPECT_TRUE(Throws([&] { message.AsAsn(nullptr, &rem); }, NYSNMP_INVALID_ARG, "NySnmpMsg::AsAsn", asAsn));
    EXPECT_TRUE(Throws([&] { message.AsAsn(buffer, nullptr); }, NYSNMP_INVALID_ARG, "NySnmpMsg::AsAsn", asAsn));
    EXPECT_TRUE(Throws([&] { message.FromAsn(nullptr, &rem); }, NYSNMP_INVALID_ARG, "NySnmpMsg::FromAsn", fromAsn));
    EXPECT_TRUE(Throws([&] { message.FromAsn(buffer, nullptr); }, NYSNMP_INVALID_ARG, "NySnmpMsg::FromAsn", fromAsn));
}

TEST(NySnmpMsgWire, ShortOutputBufferThrowsAndStaysInside)
{
    NySnmpMsg message(1, "public", Request(0xA1, 77, {kSysDescr}));
    const size_t needed = Hex(Encode(message)).size();
    // Where the room ends exactly before an inner element, that element sees a
    // zero count, which the inner encoders refuse as an invalid argument.
    for (size_t room = 1; room < needed; ++room)
        EXPECT_TRUE(Throws([&] { Encode(message, room); }, NYSNMP_BUFFER_TOO_SHORT, nullptr) ||
                    Throws([&] { Encode(message, room); }, NYSNMP_INVALID_ARG, nullptr))
            << room;
}

TEST(NySnmpMsgDecode, MalformedMessages)
{
    const std::string get = kGetPdu;
    // An incomplete message, with its exact text, or another fault.
    struct Row { std::string hex; uint32_t id; const char* why; } rows[] = {
        {"30 00", NYSNMP_INCOMPLETE_MSG, "no values at all"},
        {"30 03 02 01 00", NYSNMP_INCOMPLETE_MSG, "version only"},
        {"30 0B 02 01 00 04 06 6F 72 63 68 69 64", NYSNMP_INCOMPLETE_MSG, "no PDU"},
        {"30 27 02 01 00 02 01 07 " + get, NYSNMP_INCOMPLETE_MSG, "community is an INTEGER"},
        {"30 29 04 03 61 62 63 02 01 00 " + get, NYSNMP_INCOMPLETE_MSG, "values swapped"},
        {"30 29 41 01 00 04 03 61 62 63 " + get, NYSNMP_INCOMPLETE_MSG, "version is a Counter32"},
        {"30 03 30 01 00", NYSNMP_INCOMPLETE_MSG, "a SEQUENCE where the version belongs"},
        {kGet.substr(0, kGet.size() - 3), NYSNMP_SEQ_TOO_LONG, "last octet missing"},
        {"30 80 02 01 00", NYSNMP_ZERO_LONG_LENGTH, "indefinite length"},
        {"30 85 00 00 00 00 05", NYSNMP_LONG_LENGTH_TOO_BIG, "five length octets"},
        {"30 19 02 01 00 04 03 61 62 63 A7 82 00 0D 02 01 01 02 01 00 02 01 00 30 82 00 00", NYSNMP_INCOMPLETE_PDU,
         "SNMPv2-Trap body is refused"},
        {"30 15 02 01 00 04 03 61 62 63 A0 0B 02 01 01 02 01 00 02 01 00 A1 00", NYSNMP_EXPECTED_SYNTAX,
         "no binding list in the PDU"},
        {"30 09 02 01 00 07 00 A0 82 00 00", NYSNMP_UNSUPPORTED_SYNTAX, "unknown value tag"},
        {"30 07 02 05 00 00 00 00 01", NYSNMP_INT_TOO_BIG, "five-octet version"},
    };
    for (const Row& row : rows) {
        NySnmpMsg message;
        message.SetCommunityName("kept?");
        const bool incomplete = row.id == NYSNMP_INCOMPLETE_MSG;
        EXPECT_TRUE(Throws([&] { Decode(message, row.hex); }, row.id, incomplete ? "NySnmpMsg::FromAsn" : nullptr,
                           incomplete ? "Incomplete SNMP message received" : nullptr))
            << row.why;
        // Nothing half-decoded is left to be written back by the next AsAsn.
        EXPECT_EQ(message.Params().Size(), 0u) << row.why;
    }
}

TEST(NySnmpMsgDecode, LenientWhereTheWireAllowsIt)
{
    // The outer tag is not checked, and octets after the PDU are left unread.
    NySnmpMsg message;
    EXPECT_EQ(Decode(message, "31" + kGet.substr(2) + " 00 00"), 0x30u);
    EXPECT_EQ(message.Pdu().RequestId(), 1);
    // Short length forms decode as well as the library's own 0x82 form.
    EXPECT_EQ(Decode(message, "30 19 02 01 00 04 01 63 A2 11 02 01 09 02 01 00 02 01 00 30 06 30 04 06 00 05 00"),
              0x1Bu);
    EXPECT_EQ(message.Pdu().PduType(), 0xA2);
    EXPECT_EQ(message.Pdu().RequestId(), 9);
    EXPECT_STREQ(message.CommunityName(), "c");
}

TEST(NySnmpMsgDecode, TruncatedAndCorruptedInputNeverReadsPastTheData)
{
    const Bytes wire = Hex(kGet);
    for (size_t n = 0; n < wire.size(); ++n) {
        NySnmpMsg message;
        EXPECT_THROW(Decode(message, wire, n), NySocketException) << n;
    }
    std::mt19937 random(1227);
    for (int round = 0; round < 3000; ++round) {
        Bytes corrupt = wire;
        for (int flips = 1 + round % 3; flips > 0; --flips)
            corrupt[random() % corrupt.size()] = static_cast<unsigned char>(random());
        NySnmpMsg message;
        try {
            EXPECT_LE(Decode(message, corrupt), corrupt.size());
        } catch (const NySocketException&) {
            EXPECT_EQ(message.Params().Size(), 0u);
        }
    }
}

TEST(NySnmpMsgCopy, CopiesOwnParamsAndPdu)
{
    NySnmpMsg decoded;
    Decode(decoded, Hex(std::string("30 82 00 2C 02 01 01 04 06 70 75 62 6C 69 63 ") + kGetPdu));
    sockaddr raw{};
    raw.sa_family = AF_INET;
    decoded.Sender().SetSockAddr(raw);
    decoded.Receiver().SetSocket(reinterpret_cast<const NyAsyncSocket*>(0x10));

    NySnmpMsg copy(decoded);
    NySnmpMsg assigned(0, "x", Request(0xA3, 5, {"1.3.6.1"}));
    assigned.Params().Append(*new NySnmpValue());
    assigned = decoded;
    for (NySnmpMsg* m : {&copy, &assigned}) {
        EXPECT_EQ(Encode(*m), Encode(decoded));
        ASSERT_EQ(m->Params().Size(), 2u);
        EXPECT_NE(m->Params().Get(1), decoded.Params().Get(1));
        EXPECT_NE(m->Pdu().Vars().Get(1), decoded.Pdu().Vars().Get(1));
        EXPECT_EQ(m->Sender().SockAddr().sa_family, AF_INET);
        EXPECT_EQ(m->Receiver().Socket(), reinterpret_cast<const NyAsyncSocket*>(0x10));
    }
    NySnmpMsg& alias = assigned;
    assigned = alias;
    EXPECT_EQ(assigned.Params().Size(), 2u);

    // Erase resets the message but keeps both endpoints.
    decoded.Erase();
    EXPECT_EQ(decoded.Version(), 0);
    EXPECT_STREQ(decoded.CommunityName(), "orchid");
    EXPECT_EQ(decoded.Params().Size(), 0u);
    EXPECT_EQ(decoded.Pdu().Vars().Size(), 0u);
    EXPECT_EQ(decoded.Receiver().Socket(), reinterpret_cast<const NyAsyncSocket*>(0x10));
    EXPECT_EQ(copy.Pdu().Vars().Size(), 1u);
}

TEST(NySnmpMsgCopy, TrapHeaderSurvivesEveryWayIn)
{
    // A Trap-PDU: enterprise 1.3.6.1.4.1.32473, agent 127.0.0.1, generic 6,
    // specific 3, time-stamp 100, no bindings.
    const std::string pdu = "A4 82 00 1D 06 08 2B 06 01 04 01 81 FD 59 40 04 7F 00 00 01 02 01 06 02 01 03 43 01 64"
                            " 30 82 00 00";
    const std::string expected = "30 82 00 2C 02 01 00 04 06 70 75 62 6C 69 63 " + pdu;
    NySnmpPdu trap;
    Decode(trap, pdu);
    ASSERT_EQ(trap.Params().Size(), 5u);

    NySnmpMsg viaSet;
    EXPECT_EQ(viaSet.Set(0, "public", trap), 0);
    NySnmpMsg viaSetPdu;
    viaSetPdu.SetCommunityName("public");
    viaSetPdu.SetPdu(trap);
    NySnmpMsg viaConstructor(0, "public", trap);
    NySnmpMsg viaCopy(viaConstructor);
    for (NySnmpMsg* m : {&viaSet, &viaSetPdu, &viaConstructor, &viaCopy})
        EXPECT_EQ(Encode(*m), expected);

    NySnmpMsg decoded;
    Decode(decoded, Hex(expected));
    EXPECT_EQ(decoded.Pdu().Params().Size(), 5u);
    EXPECT_EQ(NySnmpMsg::AsnPktLen(Hex(expected).data(), 4), 0x2C + 4);
}

}  // namespace
