// Value sequences, bindings and binding lists: ownership, cursor, copies,
// wire vectors and the decoders' errors.
#include <string>
#include <thread>
#include <typeinfo>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"

namespace {

NySnmpValue* Int(int32_t v)
{
    auto* value = new NySnmpValue;
    value->SetInt32(v);
    return value;
}

NySnmpVar Binding(const char* oid, int32_t v)
{
    NySnmpValue value;
    value.SetInt32(v);
    return NySnmpVar(NySnmpOid(oid), value);
}

TEST(ValueSeq, AdoptsAndAssigns)
{
    NySnmpValueSeq seq;
    NySnmpValue* first = Int(1);
    NySnmpValue* second = Int(2);
    EXPECT_EQ(seq.Append(*first), 0);
    EXPECT_EQ(seq.Set(0, *second), 0); // position 0 appends, adopting
    EXPECT_EQ(seq.Get(1), first);
    EXPECT_EQ(seq.Get(2), second);

    NySnmpValue given;
    given.SetInt32(7);
    EXPECT_EQ(seq.Set(1, given), 0); // replaces the contents; `given` stays ours
    EXPECT_EQ(seq.Get(1), first);
    EXPECT_EQ(first->SmiValue().value.int32, 7);
    EXPECT_EQ(seq.Set(1, *first), 0); // itself: nothing to do, nothing lost
    EXPECT_EQ(first->SmiValue().value.int32, 7);

    EXPECT_EQ(seq.Set(3, given), static_cast<int>(NYSNMP_INDEX_OUT_OF_RANGE));
    EXPECT_EQ(seq.Delete(0), static_cast<int>(NYSNMP_INDEX_OUT_OF_RANGE));
    EXPECT_EQ(seq.Delete(3), static_cast<int>(NYSNMP_INDEX_OUT_OF_RANGE));
    EXPECT_EQ(seq.Delete(1), 0);
    EXPECT_EQ(seq.Size(), 1u);
    EXPECT_EQ(seq.Get(1), second);
}

TEST(ValueSeq, Cursor)
{
    NySnmpValueSeq seq;
    EXPECT_EQ(seq.GetFirst(), nullptr);
    NySnmpValue* one = Int(1);
    NySnmpValue* two = Int(2);
    seq.Append(*one);
    EXPECT_EQ(seq.GetNext(), one); // the empty GetFirst left the cursor at 0
    seq.Append(*two);
    EXPECT_EQ(seq.GetFirst(), one);
    EXPECT_EQ(seq.GetNext(), two);
    EXPECT_EQ(seq.GetNext(), nullptr);
    EXPECT_EQ(seq.Get(2), two);
    EXPECT_EQ(seq.GetNext(), two);
    EXPECT_EQ(seq.Get(3), nullptr);
    EXPECT_EQ(seq.GetNext(), nullptr); // Get out of range kept the cursor
}

TEST(Lists, CopiesAreDeepAndKeepExistingElements)
{
    NySnmpValue text;
    unsigned char abc[] = {'a', 'b', 'c'};
    text.SetOctets(NYSMI_OCTETS{3, abc});
    NySnmpValueSeq seq(*Int(1));
    seq.Append(*new NySnmpValue(text));
    NySnmpValueSeq copy(seq);
    EXPECT_EQ(copy.Copy(copy), 0); // into itself: doubles, ends
    ASSERT_EQ(copy.Size(), 4u);
    EXPECT_NE(copy.Get(2)->SmiValue().value.octets.ptr, seq.Get(2)->SmiValue().value.octets.ptr);

    NySnmpValueSeq assigned(*Int(9));
    assigned = seq;
    NySnmpValueSeq& alias = assigned;
    assigned = alias;
    seq.Get(2)->SetInt32(5);
    EXPECT_EQ(Encode(assigned), "02 01 01 04 03 61 62 63");

    NySnmpVar var = Binding("1.3.6.1", 5);
    NySnmpVbl vbl(var);
    EXPECT_NE(vbl.Get(1), &var); // the binding list keeps a copy
    EXPECT_EQ(vbl.Set(0, var), 0);
    NySnmpVbl other(Binding("1.3", 1));
    EXPECT_EQ(other.Copy(vbl), 0);
    NySnmpVbl& same = other;
    other = same;
    NySnmpVbl target;
    target = other;
    vbl.Get(1)->Value().SetInt32(6);
    EXPECT_EQ(Encode(target), "30 82 00 22 30 82 00 06 06 01 2B 02 01 01 30 82 00 08 06 03 2B 06 01 02 01 05 "
                              "30 82 00 08 06 03 2B 06 01 02 01 05");
}

TEST(Vbl, SetAndDeleteOutOfRange)
{
    NySnmpVbl vbl(Binding("1.3.6.1", 5));
    EXPECT_EQ(vbl.Set(1, Binding("1.3.6.2", 6)), 0);
    EXPECT_EQ(vbl.Get(1)->Oid().Length(), 4u);
    EXPECT_TRUE(Throws([&] { vbl.Set(2, Binding("1.3", 0)); }, NYSNMP_INDEX_OUT_OF_RANGE, " NySnmpVbl::Set",
                       "Index 2 is out range"));
    EXPECT_TRUE(Throws([&] { vbl.Delete(0); }, NYSNMP_INDEX_OUT_OF_RANGE, " NySnmpVbl::Delete",
                       "Index 0 is out range"));
    EXPECT_EQ(vbl.Delete(1), 0);
    EXPECT_EQ(vbl.Size(), 0u);
}

TEST(Lists, WireVectors)
{
    NySnmpVbl empty;
    EXPECT_EQ(Encode(empty), "30 82 00 00");
    EXPECT_EQ(Decode(empty, "30 82 00 00"), 4u);
    EXPECT_EQ(empty.Size(), 0u);
    unsigned int zero = 0;
    const unsigned char octet = 0x30;
    EXPECT_EQ(empty.FromAsn(&octet, &zero), &octet);

    NySnmpValueSeq seq;
    EXPECT_EQ(Decode(seq, "30 82 00 0C 02 01 05 04 03 61 62 63 30 82 00 00"), 12u);
    ASSERT_EQ(seq.Size(), 2u);
    EXPECT_STREQ(seq.Get(2)->AsString(), "abc");

    // Octets after the value inside a binding are skipped as a whole.
    NySnmpVbl vbl;
    EXPECT_EQ(Decode(vbl, "30 12 30 08 06 01 2B 02 01 07 FF FF 30 06 06 01 2C 02 01 08"), 20u);
    ASSERT_EQ(vbl.Size(), 2u);
    EXPECT_EQ(vbl.Get(2)->Value().SmiValue().value.int32, 8);
}

TEST(Lists, DecoderErrors)
{
    // list: 0 value sequence, 1 binding list; kept: elements decoded before the fault stay
    struct Row { const char* hex; int list; uint32_t id; const char *thrownBy, *text; uint32_t kept = 0; } rows[] = {
        {"30 03 A0 01 00", 1, NYSNMP_EXPECTED_SYNTAX, "NySnmpVar::FromAsn", "Expected syntax 0x30, found 0xA0"},
        {"31 00", 1, NYSNMP_EXPECTED_SYNTAX, "NySnmpVbl::FromAsn", "Expected syntax 0x30, found 0x31"},
        {"30 04 30 05 06 01", 1, NYSNMP_SEQ_TOO_LONG, "NySnmpVar::FromAsn", nullptr},   // binding too long
        {"30 05 30 03 06 01", 1, NYSNMP_FIELD_TOO_LONG, "NySnmpVbl::FromAsn", nullptr}, // list too long
        {"A0 05 02 01 00", 0, NYSNMP_SEQ_TOO_LONG, "NySnmpValueSeq::FromAsn", nullptr},
        {"30 03 07 01 00", 0, NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::FromAsn", "Unsupported value syntax 7"},
        // the second binding carries an unknown syntax
        {"30 10 30 06 06 01 2B 02 01 01 30 06 06 01 2B 07 01 00", 1, NYSNMP_UNSUPPORTED_SYNTAX,
         "NySnmpValue::FromAsn", nullptr, 1},
    };
    for (const Row& row : rows) {
        NySnmpValueSeq seq;
        NySnmpVbl vbl;
        EXPECT_TRUE(Throws([&] { row.list ? Decode(vbl, row.hex) : Decode(seq, row.hex); }, row.id, row.thrownBy,
                           row.text))
            << row.hex;
        EXPECT_EQ(row.list ? vbl.Size() : seq.Size(), row.kept) << row.hex;
    }
    NySnmpVbl vbl;
    unsigned int rem = 4;
    unsigned char buffer[4] = {};
    NySnmpValueSeq seq;
    NySnmpVar var;
    EXPECT_TRUE(Throws([&] { vbl.FromAsn(nullptr, &rem); }, NYSNMP_INVALID_ARG, "NySnmpVbl::FromAsn",
                       "Invalid argument passed to the method NySnmpVbl::FromAsn"));
    EXPECT_TRUE(Throws([&] { seq.FromAsn(buffer, nullptr); }, NYSNMP_INVALID_ARG, "NySnmpValueSeq::FromAsn"));
    rem = 0;
    EXPECT_TRUE(Throws([&] { vbl.AsAsn(buffer, &rem); }, NYSNMP_INVALID_ARG, "NySnmpVbl::AsAsn"));
    EXPECT_TRUE(Throws([&] { var.AsAsn(buffer, &rem); }, NYSNMP_INVALID_ARG, "NySnmpVar::AsAsn"));
    rem = 3;
    EXPECT_TRUE(Throws([&] { vbl.AsAsn(buffer, &rem); }, NYSNMP_BUFFER_TOO_SHORT, nullptr));
}

TEST(Vbl, ContentBeyondTwoLengthOctetsIsRefused)
{
    NySnmpValue value;
    value.SetOctets(Octets(std::string(40000, 'x')));
    NySnmpVbl vbl(NySnmpVar(NySnmpOid("1.3"), value));
    vbl.Append(*vbl.Get(1));
    EXPECT_TRUE(Throws([&] { Encode(vbl, 100000); }, NYSNMP_LENGTH_TOO_LONG, "NySnmpVbl::AsAsn"));
}

// Bindings of one decode are taken up again by later ones (on the same
// thread).  Whatever the earlier bindings went through, the decoded ones
// are like new: names and values of this PDU only, no catalog, language or
// error text, and Vars() holds objects of the class itself.
class CountingNls : public NYNls {
public:
    const char* Lookup(uint32_t, uint32_t, const uintptr_t*) override { return nullptr; }
};

class MarkedVar : public NySnmpVar {
public:
    using NySnmpVar::NySnmpVar;
    int mark = 7;
};

std::string PduWith(const std::vector<std::pair<std::string, std::string>>& bindings)
{
    NySnmpVbl vbl;
    for (const auto& [name, text] : bindings) {
        NySnmpValue value;
        if (text.empty())
            value.SetInt32(static_cast<int32_t>(name.size()));
        else
            value.SetOctets(Octets(text));
        vbl.Append(NySnmpVar(NySnmpOid(name.c_str()), value));
    }
    NySnmpPdu pdu(0xA2, 9, 0, 0, vbl);
    return Encode(pdu);
}

TEST(Vbl, DecodedBindingsAreLikeNewOnes)
{
    const std::string first = PduWith({{"1.3.6.1.4.1.32473.1.1.3.2.14.3.1.1.10.20.30.40.40000.192.168.10.1.1024", ""},
                                       {"1.3.6.1.2", "owner"},
                                       {"1.3.6.1.4.1.32473.1.1.3.2.14.3.1.11.10.20.30.40.40000.192.168.10.1.1024",
                                        std::string(300, 'o')}});
    const std::string second = PduWith({{"1.3.9", "a"}, {"1.3.6.1.4.1.32473.1.1.3.2.14.3.1.7.1.2.3.4.5.6.7.8.9.10.11.12", ""},
                                        {"1.3", ""}, {"2.39.4294967295", "bc"}});
    CountingNls catalog;
    for (int round = 0; round < 6; ++round) {
        NySnmpPdu pdu;
        const std::string& wire = round % 2 == 0 ? first : second;
        Decode(pdu, wire);
        ASSERT_EQ(Encode(pdu), wire) << round;
        for (NySnmpVar* var : pdu.Vars().VarList()) {
            EXPECT_EQ(typeid(*var), typeid(NySnmpVar));
            for (NySnmpObject* part : {static_cast<NySnmpObject*>(var), static_cast<NySnmpObject*>(&var->Oid()),
                                       static_cast<NySnmpObject*>(&var->Value())}) {
                EXPECT_EQ(part->Catalog(), nullptr) << round;
                EXPECT_EQ(part->Language(), NySnmpObject::DefaultLanguage) << round;
                EXPECT_STREQ(part->ErrorText(), "") << round;
            }
        }
        // What a host may do to the bindings before they go.
        std::vector<NySnmpVar*>& vars = pdu.Vars().VarList();
        vars[0]->SetErrorText("first");
        vars[1]->Oid().SetErrorText("name");
        if (round % 3 == 0)
            vars[2]->Value().SetErrorText("value");
        else
            static_cast<NySnmpObject&>(*vars[2]) = NySnmpObject(&catalog, 7);
        static_cast<NySnmpObject&>(vars[1]->Value()) = NySnmpObject(nullptr, 9);
        pdu.Vars().Append(NySnmpVar(*vars[0]));
        NySnmpValue one;
        one.SetInt32(1);
        vars.push_back(new MarkedVar(NySnmpOid("1.3.6"), one));
    }
}

// A thread that decodes leaves nothing behind when it ends.
TEST(Vbl, DecodingThreadsEnd)
{
    const std::string wire = PduWith({{"1.3.6.1.4.1.32473.1", "x"}, {"1.3.6.1.4.1.32473.2", ""}});
    for (int i = 0; i < 4; ++i) {
        std::thread worker([&] {
            for (int n = 0; n < 50; ++n) {
                NySnmpPdu pdu;
                Decode(pdu, wire);
                EXPECT_EQ(pdu.Vars().Size(), 2u);
            }
        });
        worker.join();
    }
}

} // namespace
