// PDUs: wire vectors of every shape (SNMP and SMUX, including what net-snmp's
// snmpd sends its peers), copies, the length probe, and
// truncated, mutated and random input.
#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"

namespace {

// Requests as net-snmp's snmpd (5.9) forwarded them to an SMUX peer that had
// registered 1.3.6.1.4.1.32473.99.1: snmpget, then snmpset (a Get first).
const char kSnmpdGet[] = "A0 82 00 20 02 01 01 02 01 00 02 01 00 30 82 00 13 30 82 00 0F "
                         "06 0B 2B 06 01 04 01 81 FD 59 63 01 00 05 00";
const char kSnmpdSet[] = "A3 82 00 21 02 01 02 02 01 00 02 01 00 30 82 00 14 30 82 00 10 "
                         "06 0B 2B 06 01 04 01 81 FD 59 63 01 00 02 01 07";
// A Trap-PDU with one binding.
const char kTrap[] = "A4 20 06 05 2B 06 01 04 01 40 04 7F 00 00 01 02 01 06 02 01 01 43 01 64 "
                     "30 08 30 06 06 01 2B 02 01 01";

// The header fields as "type requestId errorStatus errorIndex params vars".
std::string Fields(NySnmpPdu& pdu)
{
    char text[96];
    std::snprintf(text, sizeof text, "%X %d %d %d %u %u", pdu.PduType(), pdu.RequestId(), pdu.ErrorStatus(),
                  pdu.ErrorIndex(), pdu.Params().Size(), pdu.Vars().Size());
    return text;
}

// Every SNMP shape decodes; a fault throws (with the exact text where given) and
// keeps what was read before it.
TEST(PduDecode, SnmpShapes)
{
    struct Row { const char* hex; const char* fields; uint32_t error = 0; const char* text = nullptr; } rows[] = {
        {"A2 82 00 0D 02 01 05 02 01 00 02 01 00 30 82 00 00", "A2 5 0 0 0 0"},
        {kSnmpdGet, "A0 1 0 0 0 1"},
        {kSnmpdSet, "A3 2 0 0 0 1"},
        {"A5 0B 02 01 07 02 01 00 02 01 0A 30 00", "A5 7 0 10 0 0"},
        {"A6 0B 02 01 07 02 01 01 02 01 02 30 00", "A6 0 0 0 3 0"},
        {"A8 0B 02 01 07 02 01 01 02 01 02 30 00", "A8 0 0 0 3 0"},
        {kTrap, "A4 0 0 0 5 1"},
        // error-index not an INTEGER; two integers only; SNMPv2-Trap; no binding list
        {"A0 0B 02 01 01 02 01 00 04 01 00 30 00", "A0 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        {"A0 08 02 01 01 02 01 00 30 00", "A0 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        {"A7 0B 02 01 01 02 01 00 02 01 00 30 00", "A7 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        {"A2 09 02 01 05 02 01 00 02 01 00", "A2 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU},
        {"A2 0B 02 01 05 02 01 00 02 01 00 A0 00", "A2 0 0 0 3 0", NYSNMP_EXPECTED_SYNTAX,
         "Expected syntax 0x30, found 0xA0"},
        {"", "0 0 0 0 0 0", NYSNMP_INCOMPLETE_PDU, "Incomplete PDU received"},
        // a fault inside the second binding: what came before stays
        {"A0 1A 02 01 01 02 01 00 02 01 00 30 0F 30 06 06 01 2B 02 01 01 30 05 06 01 2B 07 00", "A0 0 0 0 3 1",
         NYSNMP_UNSUPPORTED_SYNTAX},
    };
    for (const Row& row : rows) {
        NySnmpPdu pdu;
        const Bytes in = Hex(row.hex);
        if (row.error == 0)
            EXPECT_EQ(Decode(pdu, in), in.size()) << row.hex;
        else
            EXPECT_TRUE(
                Throws([&] { Decode(pdu, in); }, row.error, row.text ? "NySnmpPdu::FromAsn" : nullptr, row.text))
                << row.hex;
        EXPECT_EQ(Fields(pdu), row.fields) << row.hex;
    }
    NySnmpPdu pdu;
    unsigned int rem = 3;
    EXPECT_TRUE(Throws([&] { pdu.FromAsn(nullptr, &rem); }, NYSNMP_INVALID_ARG, "NySnmpPdu::FromAsn",
                       "Invalid argument passed to the method NySnmpPdu::FromAsn"));
}

// SMUX shapes: octets consumed (simple PDUs are measured by the caller, so 0),
// the count of Params, and the one value in Params or the SOut value; `rem` 0
// hands over all of the octets.
TEST(PduDecode, SmuxShapes)
{
    struct Row { const char* hex; unsigned int rem; uint32_t error; unsigned int params, consumed; int32_t value; };
    const Row rows[] = {
        {"44 01 00", 0, 0, 1, 0, 0},
        {"44 01 01", 0, 0, 1, 0, 1},
        {"44 01", 0, 0, 0, 0, 1},
        {"41 01 05", 0, 0, 1, 0, 5},
        {"43 01 05", 0, 0, 1, 0, 5},
        {"43 01 FF", 0, 0, 1, 0, 255},
        {"43 04 00 00 00 00", 0, 0, 1, 0, 0}, // snmpd's RRspPDU, as captured
        {"43 04 00 00 00 05", 0, 0, 1, 0, 5},
        {"43 04 FF FF FF FF", 0, 0, 1, 0, 255},
        {"43 02 01 00", 0, 0, 1, 0, 256},
        {"43 04 00 00 00 05 44 01 00", 0, 0, 1, 0, 5},
        {"43 04 00 00 00 05", 4, 0, 1, 0, 0}, // content cut off: the third octet
        {"43 00", 0, NYSNMP_INCOMPLETE_PDU, 0, 0, 0},
        {"43 05 00 00 00 00 05", 0, NYSNMP_INCOMPLETE_PDU, 0, 0, 0},
        {"45 01 00", 0, 0, 0, 0, 0},
        {"60 82 00 17 02 01 00 06 05 2B 06 01 04 01 04 03 61 62 63 04 06 73 65 63 72 65 74", 0, 0, 4, 27, 0},
        {"62 82 00 0B 06 03 2B 06 01 02 01 FF 02 01 01", 0, 0, 3, 15, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hex);
        NySnmpPdu pdu;
        const Bytes in = Hex(row.hex);
        if (row.error != 0) {
            EXPECT_TRUE(Throws([&] { Decode(pdu, in); }, row.error, "NySnmpPdu::FromAsn"));
            continue;
        }
        EXPECT_EQ(Decode(pdu, in, row.rem ? row.rem : in.size()), row.consumed);
        ASSERT_EQ(pdu.Params().Size(), row.params);
        EXPECT_EQ(pdu.PduType(), in[0]);
        if (in[0] == 0x44) { EXPECT_EQ(pdu.SOutValue(), row.value); }
        if (row.params == 1) { EXPECT_EQ(pdu.Params().Get(1)->SmiValue().value.int32, row.value); }
    }
}

// Random PDUs of every shape go round in the round-trip test; the ClosePDU
// built as a full PDU keeps its numbers and an empty list.
TEST(PduEncode, CloseAsAFullPdu)
{
    NySnmpPdu close(0x41, 0, 0, 0, NySnmpVbl());
    EXPECT_EQ(Encode(close), "41 82 00 0D 02 01 00 02 01 00 02 01 00 30 82 00 00");
}

TEST(PduEncode, EveryShortBufferThrows)
{
    NySnmpPdu pdu;
    Bytes in = Hex(kSnmpdSet);
    Decode(pdu, in);
    for (size_t room = 0; room < in.size(); ++room) // exact buffers: a write past them is caught
        EXPECT_THROW(Encode(pdu, room), NySocketException) << room;
    unsigned int rem = 0;
    EXPECT_TRUE(Throws([&] { pdu.AsAsn(in.data(), &rem, 0); }, NYSNMP_INVALID_ARG, "NySnmpPdu::AsAsn",
                       "Invalid argument passed to the method NySnmpPdu::AsAsn"));
}

TEST(PduCopy, OwnershipFollowsEachOperation)
{
    NySnmpPdu trap;
    Decode(trap, kSnmpdSet);
    trap.SetPduType(0xA4);
    trap.Params().Append(*new NySnmpValue(trap.Vars().Get(1)->Value()));

    NySnmpPdu copied(trap); // copy construction leaves Params behind
    EXPECT_EQ(copied.Params().Size(), 0u);
    EXPECT_EQ(copied.RequestId(), 2);
    EXPECT_NE(copied.Vars().Get(1), trap.Vars().Get(1));

    NySnmpPdu assigned;
    EXPECT_EQ(assigned.Assign(trap), 0);
    EXPECT_EQ(assigned.Params().Size(), 1u);
    EXPECT_EQ(assigned.Set(0xA2, 1, 0, 0, trap.Vars()), 0); // appends behind what is there
    EXPECT_EQ(assigned.Vars().Size(), 2u);

    NySnmpPdu target;
    target = assigned;
    NySnmpPdu& same = target;
    target = same;
    assigned.Erase();
    EXPECT_EQ(target.Vars().Size(), 2u);
    EXPECT_EQ(target.Params().Size(), 1u);
    EXPECT_NE(target.Params().Get(1), trap.Params().Get(1));
    EXPECT_STREQ(target.Vars().Get(2)->Value().AsString(), "7");
}

TEST(PduLength, Probe)
{
    struct Row { const char* hex; int length; uint32_t error = 0; } rows[] = {
        {"30", 0}, {"41 03", 5}, {"30 82 00", 0}, {"30 82 01 10", 0x114}, {"30 84 00 00", 0},
        {"30 84 00 00 01 00", 0x106}, {"30 84 7F FF FF F9", INT_MAX},
        {"30 84 7F FF FF FF", INT_MAX}, // would not fit an int
        {"30 85 00 00", 0}, {"30 80", 0, NYSNMP_ZERO_LONG_LENGTH},
        {"30 85 00 00 00 00 01", 0, NYSNMP_LONG_LENGTH_TOO_BIG}, {"30 84 80 00 00 00", 0, NYSNMP_NEGATIVE_LENGTH},
    };
    for (const Row& row : rows) {
        const Bytes in = Hex(row.hex);
        const auto probe = [&] { return NySnmpPdu::AsnPktLen(in.data(), static_cast<unsigned int>(in.size())); };
        if (row.error != 0)
            EXPECT_TRUE(Throws(probe, row.error, nullptr)) << row.hex;
        else
            EXPECT_EQ(probe(), row.length) << row.hex;
    }
    EXPECT_EQ(NySnmpPdu::AsnPktLen(nullptr, 10), -1);
}

// Truncated, mutated and random octets: every decoder either succeeds or
// throws the library's exception, reads nothing past the data (the buffers
// are exact for the sanitizers) and leaks nothing.
TEST(PduDecode, HostileInput)
{
    std::vector<Bytes> corpus = {Hex(kSnmpdGet), Hex(kSnmpdSet), Hex("44 01 00"), Hex("43 04 00 00 00 00"),
                                 Hex("41 01 05"), Hex(kTrap)};
    auto attempt = [](const Bytes& data, size_t size) {
        Bytes exact(data.begin(), data.begin() + size);
        exact.reserve(1);
        for (int decoder = 0; decoder < 4; ++decoder) {
            unsigned int rem = static_cast<unsigned int>(size);
            NySnmpPdu pdu;
            NySnmpVbl vbl;
            NySnmpValueSeq seq;
            try {
                switch (decoder) {
                case 0: pdu.FromAsn(exact.data(), &rem); break;
                case 1: vbl.FromAsn(exact.data(), &rem); break;
                case 2: seq.FromAsn(exact.data(), &rem); break;
                default: NySnmpPdu::AsnPktLen(exact.data(), rem); break;
                }
                EXPECT_LE(rem, size);
            } catch (const NySocketException&) {
            }
        }
    };
    for (const Bytes& item : corpus) {
        for (size_t size = 0; size <= item.size(); ++size)
            attempt(item, size);
        for (size_t at = 0; at < item.size(); ++at) {
            for (unsigned char octet : {0x00, 0x01, 0x05, 0x30, 0x7F, 0x80, 0x81, 0x82, 0x84, 0xA0, 0xFF}) {
                Bytes mutated = item;
                mutated[at] = octet;
                attempt(mutated, mutated.size());
            }
        }
    }
    std::mt19937 random(20261206);
    const unsigned char starts[] = {0x30, 0xA0, 0xA2, 0xA4, 0x41, 0x43, 0x44, 0x60, 0x62};
    for (int round = 0; round < 20000; ++round) {
        Bytes data(random() % 48);
        for (unsigned char& octet : data)
            octet = static_cast<unsigned char>(random() % 4 == 0 ? random() % 8 : random());
        if (!data.empty())
            data[0] = starts[random() % sizeof starts];
        attempt(data, data.size());
    }
}

// The numbers of a request or response are read in one step where they have
// their usual form.  Whatever the octets, the outcome must be the one the
// value-by-value reading gives, which an InformRequest (0xA6) still takes:
// its Params keep the numbers, and from them follows what a GetRequest,
// GetNextRequest, Response, SetRequest or GetBulkRequest of the same octets
// must give.
struct Outcome {
    bool threw = false;
    uint32_t id = 0;
    std::string thrownBy, text;
    unsigned int rem = 0;
    long consumed = -1;
    std::string fields, vars;
};

std::string VarsHex(NySnmpVbl& vbl)
{
    std::string hex;
    for (NySnmpVar* var : vbl.VarList()) {
        Bytes out(65536);
        unsigned int rem = static_cast<unsigned int>(out.size());
        try {
            const unsigned char* end = var->AsAsn(out.data(), &rem);
            hex += ToHex(out.data(), static_cast<size_t>(end - out.data())) + " | ";
        } catch (const NySocketException&) {
            hex += "(unencodable) | ";
        }
    }
    return hex;
}

Outcome DecodeAs(const Bytes& data, unsigned char type)
{
    Bytes exact(data);
    if (!exact.empty())
        exact[0] = type;
    exact.reserve(1);
    Outcome out;
    NySnmpPdu pdu;
    out.rem = static_cast<unsigned int>(exact.size());
    try {
        out.consumed = pdu.FromAsn(exact.data(), &out.rem) - exact.data();
    } catch (const NySocketException& e) {
        out.threw = true;
        out.id = static_cast<uint32_t>(e.Id());
        out.thrownBy = e.ThrownBy();
        out.text = e.Text();
    }
    // The numbers and the list sizes; the type is the first octet either way.
    out.fields = Fields(pdu);
    out.fields.erase(0, out.fields.find(' '));
    out.vars = VarsHex(pdu.Vars());
    if (!out.threw && type == 0xA6) {
        // What a request or response makes of the same Params.
        std::vector<NySnmpValue*>& params = pdu.Params().ValueList();
        bool numbers = params.size() >= 3;
        for (size_t i = 0; numbers && i < 3; ++i)
            numbers = params[i]->Syntax() == 0x02;
        if (numbers) {
            char text[96];
            std::snprintf(text, sizeof text, " %d %d %d 0 %u", params[0]->SmiValue().value.int32,
                          params[1]->SmiValue().value.int32, params[2]->SmiValue().value.int32, pdu.Vars().Size());
            out.fields = text;
        } else {
            out = Outcome{};
            out.threw = true;
            out.id = NYSNMP_INCOMPLETE_PDU;
            out.thrownBy = "NySnmpPdu::FromAsn";
            out.fields = " 0 0 0 0 0";
        }
    }
    return out;
}

void ExpectSameAsValueByValue(const Bytes& data)
{
    const Outcome reference = DecodeAs(data, 0xA6);
    for (unsigned char type : {0xA0, 0xA1, 0xA2, 0xA3, 0xA5}) {
        Outcome got = DecodeAs(data, type);
        char typeText[8];
        std::snprintf(typeText, sizeof typeText, "%X", type);
        const std::string where = ToHex(data.data(), data.size()) + " as " + typeText;
        ASSERT_EQ(got.threw, reference.threw) << where;
        if (got.threw) {
            EXPECT_EQ(got.id, reference.id) << where;
            EXPECT_EQ(got.thrownBy, reference.thrownBy) << where;
            if (reference.id != NYSNMP_INCOMPLETE_PDU) {
                EXPECT_EQ(got.text, reference.text) << where;
            }
        } else {
            EXPECT_EQ(got.rem, reference.rem) << where;
            EXPECT_EQ(got.consumed, reference.consumed) << where;
        }
        EXPECT_EQ(got.fields, reference.fields) << where;
        EXPECT_EQ(got.vars, reference.vars) << where;
    }
}

TEST(PduDecode, RequestNumbersReadAsValueByValue)
{
    NySnmpVbl ten;
    for (int i = 0; i < 10; ++i) {
        NySnmpValue value;
        if (i % 2 == 0)
            value.SetInt32(-1000 * i);
        else
            value.SetOctets(Octets("service relay owner1"));
        char name[96];
        std::snprintf(name, sizeof name, "1.3.6.1.4.1.32473.1.1.3.2.14.3.1.%d.10.20.30.40.40000.192.168.10.1.1024",
                      i + 1);
        ten.Append(NySnmpVar(NySnmpOid(name), value));
    }
    NySnmpPdu response(0xA2, 123456, 0, 0, ten);
    const Bytes tenOctets = Hex(Encode(response));
    const std::vector<Bytes> bases = {
        Hex(kSnmpdGet), Hex(kSnmpdSet), tenOctets,
        // short-form and one-octet lengths, negative and four-octet numbers
        Hex("A2 15 02 04 80 00 00 00 02 01 FF 02 02 00 80 30 08 30 06 06 01 2B 02 01 07"),
        Hex("A2 81 12 02 01 01 02 01 00 02 01 00 30 81 08 30 06 06 01 2B 02 01 07"),
        // a number in long form, a fourth value, an OCTET STRING in place of a number
        Hex("A2 13 02 81 01 01 02 01 00 02 01 00 30 08 30 06 06 01 2B 02 01 07"),
        Hex("A2 15 02 01 01 02 01 00 02 01 00 02 01 09 30 08 30 06 06 01 2B 02 01 07"),
        Hex("A2 12 02 01 01 04 01 00 02 01 00 30 08 30 06 06 01 2B 02 01 07"),
        // the PDU's length ends with the numbers; the list follows outside it
        Hex("A2 09 02 01 01 02 01 00 02 01 00 30 08 30 06 06 01 2B 02 01 07"),
        // an empty number, a five-octet one, no binding list at all
        Hex("A2 11 02 00 02 01 00 02 01 00 30 08 30 06 06 01 2B 02 01 07"),
        Hex("A2 16 02 05 00 FF FF FF FF 02 01 00 02 01 00 30 08 30 06 06 01 2B 02 01 07"),
        Hex("A2 09 02 01 01 02 01 00 02 01 00"),
    };
    for (const Bytes& base : bases) {
        for (size_t size = 0; size <= base.size(); ++size)
            ExpectSameAsValueByValue(Bytes(base.begin(), base.begin() + static_cast<long>(size)));
        // Mutations of the first 24 octets: the header, the numbers and the
        // start of the binding list.
        for (size_t at = 1; at < base.size() && at < 24; ++at) {
            for (unsigned char octet : {0x00, 0x01, 0x02, 0x04, 0x05, 0x30, 0x7F, 0x80, 0x81, 0x82, 0x84, 0xFF}) {
                Bytes mutated = base;
                mutated[at] = octet;
                ExpectSameAsValueByValue(mutated);
            }
        }
    }
    std::mt19937 random(20261206);
    for (int round = 0; round < 3000; ++round) {
        Bytes data(2 + random() % 30);
        for (unsigned char& octet : data)
            octet = static_cast<unsigned char>(random() % 3 == 0 ? random() % 4 : random());
        data[1] = static_cast<unsigned char>(data.size() - 2 - random() % 3);
        ExpectSameAsValueByValue(data);
    }
}

} // namespace
