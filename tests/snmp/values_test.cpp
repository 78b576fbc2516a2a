// Identifiers, values, value sequences and binding lists: text forms, order,
// BER form, copies that own what they hold, and objects decoded again and
// again into the arrays they already hold; message texts; endpoint addresses.
#include <netinet/in.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <typeinfo>

#include <gtest/gtest.h>

#include "snmp/check.h"

namespace {

TEST(Oid, TextAndOrder)
{
    struct Row { const char* text; const char* dotted; uint32_t id = 0; const char* message = nullptr; } rows[] = {
        {"1.3.6.1.4.1", "1.3.6.1.4.1"}, {".1.3", "0.1.3"}, {"1.3.", "1.3.0"}, {"1..3", "1.0.3"}, {"1.0004", "1.4"},
        {"1.4294967295", "1.-1"}, // stored exactly, shown as a signed number
        {"1.3.x.4", "", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 5 of 1.3.x.4"}, {"1.-3", "", NYSNMP_BAD_SUBID},
        // a component beyond 32 bits is refused at the digit that overflows
        {"1.4294967296", "", NYSNMP_BAD_SUBID, "Invalid sub-identifier at position 12 of 1.4294967296"},
        {"", "", NYSNMP_BAD_VALUE}, {nullptr, "", NYSNMP_INVALID_ARG},
    };
    for (const Row& row : rows) {
        NySnmpOid oid("1.3.6");
        if (row.id != 0)
            EXPECT_TRUE(Throws([&] { oid.Assign(row.text); }, row.id, "NySnmpOid::Assign(const char*)", row.message));
        else
            oid.Assign(row.text);
        EXPECT_STREQ(oid.AsString(), row.dotted); // a refused text leaves it empty
    }

    const std::tuple<const char*, const char*, int, int> order[] = {
        // a, b, count of arcs compared (0: all), expected
        {"1.3.6", "1.3.6.1", 0, -1}, {"1.3.6.1", "1.3.6", 0, 1}, {"1.3.6", "1.3.6", 0, 0}, {"1.3.6.1", "1.3.6", 3, 0},
        {"1.3.6", "1.3.6.1", 4, -1}, {"1.3.6", "1.3.6", 5, 1}, {"1.3.7", "1.3.6.1", 2, 0}, {"1.3.7", "1.3.6.1", 9, 1},
        {"1.4294967295", "1.1", 0, 1}, {"1.1", "1.4294967295", 2, -1}, // unsigned order
        {"1.3", "1.3.6", -1, -1}, // a negative count reads as a huge one
    };
    for (const auto& [a, b, n, expected] : order)
        EXPECT_EQ(NySnmpOid(a).Compare(NySnmpOid(b), n), expected) << a << " vs " << b << " n=" << n;
    EXPECT_EQ(NySnmpOid().Compare(NySnmpOid("1"), 0), -1);
}

// A value that counts the calls of its Erase, which every decode makes.
class ErasingValue : public NySnmpValue {
public:
    void Erase() override
    {
        ++erased;
        NySnmpValue::Erase();
    }
    int erased = 0;
};

// The wire forms, decoded one after the other into the same value (longer and
// shorter contents, other kinds between, every proper prefix refused as cut
// off): the name and text; where `written`, the form the library writes back,
// and where a setter is given, the value it sets is written so too.
TEST(Value, WireForms)
{
    using Set = std::function<void(NySnmpValue&)>;
    const std::string abc = "abc", ip5("\x0A\x00\x00\x01\xFF", 5);
    uint32_t ids[] = {1, 3, 6, 1, 4, 1};
    struct Row { const char *hex, *name, *text; bool written; Set set = nullptr; } rows[] = {
        {"02 01 FB", "int32", "-5", 1, [](auto& v) { v.SetInt(-5); }}, {"02 01 00", "int32", "0", 1},
        {"02 01 FF", "int32", "-1", 1}, {"02 01 7F", "int32", "127", 1}, {"02 02 00 80", "int32", "128", 1},
        {"02 01 80", "int32", "-128", 1}, {"02 02 FF 7F", "int32", "-129", 1}, {"02 00", "int32", "0", 0},
        {"02 04 80 00 00 00", "int32", "-2147483648", 1}, {"02 84 00 00 00 04 80 00 00 00", "int32", "-2147483648", 0},
        {"41 05 00 FF FF FF FF", "cntr32", "-1", 1}, {"41 01 00", "cntr32", "0", 1}, {"41 02 00 80", "cntr32", "128", 1},
        {"41 05 00 80 00 00 00", "cntr32", "-2147483648", 1, [](auto& v) { v.SetCntr32(0x80000000u); }},
        {"42 01 FF", "gauge32", "-1", 0}, // a negative INTEGER's bits
        {"42 02 00 80", "gauge32", "128", 1, [](auto& v) { v.SetGauge32(0x80); }},
        {"47 05 00 FF FF FF FF", "uint32", "-1", 1, [](auto& v) { v.SetUInt32(4294967295u); }},
        {"43 01 64", "timeticks", "100", 1, [](auto& v) { v.SetTimeticks(100); }},
        {"46 09 00 FF FF FF FF FF FF FF FF", "cntr64", "18446744073709551615", 1, [](auto& v) { v.SetCntr64({~0u, ~0u}); }},
        {"46 05 01 00 00 00 00", "cntr64", "4294967296", 1},
        {"04 06 61 62 63 64 65 66", "octets", "abcdef", 1}, {"04 01 7A", "octets", "z", 1}, {"04 00", "octets", "", 1},
        {"04 03 61 62 63", "octets", "abc", 1, [&](auto& v) { v.SetOctets(Octets(abc)); }},
        {"04 81 03 61 62 63", "octets", "abc", 0},
        {"44 03 61 62 63", "opaque", "61 62 63 ", 1, [&](auto& v) { v.SetOpaque(Octets(abc)); }},
        {"03 03 61 62 63", "bits", "61 62 63 ", 1, [&](auto& v) { v.SetBits(Octets(abc)); }},
        {"45 03 61 62 63", "nsapaddr", "61 62 63 ", 1, [&](auto& v) { v.SetNsapAddr(Octets(abc)); }},
        {"40 04 7F 00 00 01", "ipaddr", "127.0.0.1", 1},
        {"40 05 0A 00 00 01 FF", "ipaddr", "10.0.0.1.255", 1, [&](auto& v) { v.SetIpAddr(Octets(ip5)); }},
        {"30 03 02 01 05", "sequence", "02 01 05 ", 1},
        {"06 05 2B 06 01 04 01", "oid", "1.3.6.1.4.1", 1, [&](auto& v) { v.SetOid({6, ids}); }},
        {"06 00", "oid", "0.0", 0}, {"06 01 78", "oid", "3.0", 1}, {"06 01 4F", "oid", "1.39", 1},
        {"06 01 50", "oid", "2.0", 1}, {"06 06 2B 8F FF FF FF 7F", "oid", "1.3.-1", 1},
        {"05 00", "null", "null", 1, [](auto& v) { v.SetNull(0); }}, {"05 02 AA BB", "null", "null", 0}, // skipped unread
        {"80 00", "NoSuchObject", "null", 1, [](auto& v) { v.SetNoSuchObject(0); }},
        {"81 00", "NoSuchInstance", "null", 1, [](auto& v) { v.SetNoSuchInstance(0); }},
        {"82 00", "EndOfMibView", "null", 1, [](auto& v) { v.SetEndOfMibView(0); }},
    };
    ErasingValue value;
    value.SetOctets(Octets("held before"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hex);
        const Bytes wire = Hex(row.hex);
        EXPECT_EQ(Decode(value, wire), wire.size());
        EXPECT_STREQ(value.SyntaxName(), row.name);
        EXPECT_STREQ(value.AsString(), row.text);
        const NYSMI_OCTETS& octets = value.SmiValue().value.octets;
        EXPECT_TRUE(value.Syntax() != 0x04 || octets.ptr[octets.len] == 0); // a C string too
        if (row.written) { EXPECT_EQ(Encode(value), row.hex); }
        if (row.set) {
            NySnmpValue set;
            set.SetOctets(Octets("old data is released"));
            row.set(set);
            EXPECT_EQ(Encode(set), row.hex);
        }
        for (size_t n = 0; n < wire.size(); ++n)
            EXPECT_THROW(Decode(value, wire, n), NySocketException) << " cut to " << n;
    }
    EXPECT_GE(value.erased, static_cast<int>(std::size(rows)));
}

// Refused: decoding faults and setters of empty contents.  The syntax left
// (4: unchanged, 0: emptied); the value takes a new one afterwards.
TEST(Value, Refused)
{
    using Call = std::function<void(NySnmpValue&)>;
    auto decode = [](const char* hex) -> Call { return [hex](NySnmpValue& v) { Decode(v, hex); }; };
    uint32_t ids[] = {1};
    struct Row { Call call; uint32_t id; const char *by, *text; uint32_t syntax; } rows[] = {
        {decode("07 00"), NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::FromAsn", "Unsupported value syntax 7", 4},
        {decode(""), NYSNMP_FIELD_TOO_LONG, "NySnmpValue::FromAsn", nullptr, 4},
        {decode("04 05 61 62"), NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnOctets", nullptr, 0},
        {decode("04 84 7F FF FF FF 00"), NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnOctets", nullptr, 0}, // near 2^31
        {decode("06 02 2B 86"), NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnOid", nullptr, 0}, // a continuation bit last
        {decode("02 05 00 00 00 00 00"), NYSNMP_INT_TOO_BIG, "NySnmpValue::ParseAsnInt", nullptr, 0},
        {decode("41 05 01 00 00 00 00"), NYSNMP_INT_TOO_BIG, "NySnmpValue::ParseAsnUInt", nullptr, 0},
        {decode("46 09 01 00 00 00 00 00 00 00 00"), NYSNMP_INT_TOO_BIG, "NySnmpValue::ParseAsnCntr64", nullptr, 0},
        {decode("43 84"), NYSNMP_FIELD_TOO_LONG, "NySnmpValue::ParseAsnLength", nullptr, 0},
        {decode("02 80"), NYSNMP_ZERO_LONG_LENGTH, "NySnmpValue::ParseAsnLength", nullptr, 0}, // indefinite
        {decode("02 85 00 00 00 00 01"), NYSNMP_LONG_LENGTH_TOO_BIG, "NySnmpValue::ParseAsnLength", nullptr, 0},
        {decode("04 84 80 00 00 00"), NYSNMP_NEGATIVE_LENGTH, "NySnmpValue::ParseAsnLength", nullptr, 0},
        {[](auto& v) { v.SetOctets({0, nullptr}); }, NYSNMP_BAD_VALUE, "NySnmpValue::SetStringMember", nullptr, 0},
        {[&](auto& v) { v.SetOid({0, ids}); }, NYSNMP_BAD_VALUE, "NySnmpValue::SetOid", nullptr, 0},
        {[](auto& v) { v.Assign(Record(4, {5, nullptr})); }, NYSNMP_BAD_VALUE, "NySnmpValue::Assign", nullptr, 0},
    };
    for (const Row& row : rows) {
        NySnmpValue value;
        value.SetOctets(Octets("replaced"));
        EXPECT_TRUE(Throws([&] { row.call(value); }, row.id, row.by, row.text)) << row.by;
        EXPECT_EQ(value.Syntax(), row.syntax) << row.by;
        Decode(value, "04 03 71 72 73");
        EXPECT_STREQ(value.AsString(), "qrs");
    }
    NySnmpValue none; // never set: no text, no BER form, no copy
    EXPECT_TRUE(Throws([&] { none.AsString(); }, NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::AsString",
                       "Unsupported value syntax 0"));
    EXPECT_THROW(Encode(none), NySocketException);
    EXPECT_THROW(NySnmpValue{none}, NySocketException);
    EXPECT_TRUE(Throws([&] { none.Assign(Record(99)); }, NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::Assign"));
}

// Copies own what they hold; a value or identifier set from its own record
// or text stays intact; empty ones are taken by Assign only.  (Identifiers of
// 2 to 128 arcs are decoded again and again into the bindings earlier rounds
// leave behind in RoundTrip.PdusInMessages.)
TEST(Value, CopiesOwnWhatTheyHold)
{
    uint32_t ids[] = {1, 3, 6};
    NySnmpOid oid(NYSMI_OID{3, ids}), empty;
    ids[2] = 9;
    oid.Assign(oid.SmiOid());
    oid.Assign(oid.AsString());
    NySnmpOid copy(oid), assigned;
    assigned = oid;
    oid.Assign("2.5");
    EXPECT_STREQ(copy.AsString(), "1.3.6");
    EXPECT_STREQ(assigned.AsString(), "1.3.6");
    EXPECT_THROW(NySnmpOid{empty}, NySocketException);
    EXPECT_TRUE(Throws([&] { oid.Assign(NYSMI_OID{3, nullptr}); }, NYSNMP_BAD_VALUE, "NySnmpOid::Assign(NYSMI_OID)"));
    EXPECT_EQ(oid.Fields(), nullptr);

    std::string text = "abcdef";
    NySnmpValue value(Record(4, Octets(text)));
    text[0] = 'X';
    value.SetOpaque(value.SmiValue().value.octets);
    value.Assign(value.SmiValue());
    NySnmpValue valueCopy(value), valueAssigned;
    valueAssigned = value;
    value.SetInt(1);
    EXPECT_STREQ(valueCopy.AsString(), "61 62 63 64 65 66 ");
    EXPECT_STREQ(valueAssigned.AsString(), "61 62 63 64 65 66 ");
    value.Assign(Record(6));
    EXPECT_EQ(Encode(value), "06 01 00");

    // Decoded again: the wrong tag is reported after decoding, the content
    // kept; a cut-off element empties it.
    EXPECT_TRUE(Throws([&] { Decode(oid, "04 01 2B"); }, NYSNMP_EXPECTED_SYNTAX, "NySnmpOid::FromAsn",
                       "Expected syntax 0x06, found 0x04"));
    EXPECT_STREQ(oid.AsString(), "1.3");
    EXPECT_THROW(Decode(oid, "06 05 2B 06 01 04"), NySocketException);
    EXPECT_EQ(oid.Fields(), nullptr);
}

// ---- value sequences and binding lists --------------------------------------

NySnmpVar Binding(const char* oid, int32_t v)
{
    NySnmpValue value;
    value.SetInt32(v);
    return NySnmpVar(NySnmpOid(oid), value);
}

TEST(Lists, SequenceAdoptsBindingListCopies)
{
    NySnmpValueSeq seq;
    auto* first = new NySnmpValue(Binding("1", 1).Value());
    EXPECT_EQ(seq.Set(0, *first), 0); // position 0 appends, adopting
    NySnmpValue given = Binding("1", 7).Value();
    EXPECT_EQ(seq.Set(1, given), 0);  // replaces the contents; `given` stays ours
    EXPECT_EQ(seq.Set(1, *first), 0); // itself: nothing lost
    EXPECT_EQ(seq.Get(1), first);
    EXPECT_EQ(first->SmiValue().value.int32, 7);
    EXPECT_EQ(seq.Set(2, given), static_cast<int>(NYSNMP_INDEX_OUT_OF_RANGE));
    EXPECT_EQ(seq.Copy(seq), 0); // into itself: doubles, ends
    EXPECT_EQ(seq.Size(), 2u);

    NySnmpVar var = Binding("1.3.6.1", 5);
    NySnmpVbl vbl(var), other(Binding("1.3", 1)), target;
    EXPECT_EQ(other.Copy(vbl), 0);
    NySnmpVbl& same = other;
    other = same;
    target = other;
    vbl.Get(1)->Value().SetInt32(6);
    EXPECT_EQ(Encode(target), "30 82 00 16 30 82 00 06 06 01 2B 02 01 01 30 82 00 08 06 03 2B 06 01 02 01 05");
    EXPECT_TRUE(Throws([&] { vbl.Set(2, var); }, NYSNMP_INDEX_OUT_OF_RANGE, " NySnmpVbl::Set", "Index 2 is out range"));
}

TEST(Lists, WireFormAndDecoderErrors)
{
    NySnmpValueSeq seq;
    EXPECT_EQ(Decode(seq, "30 82 00 0C 02 01 05 04 03 61 62 63 30 82 00 00"), 12u);
    EXPECT_STREQ(seq.Get(2)->AsString(), "abc");
    // Octets after the value inside a binding are skipped as a whole.
    NySnmpVbl vbl;
    EXPECT_EQ(Decode(vbl, "30 12 30 08 06 01 2B 02 01 07 FF FF 30 06 06 01 2C 02 01 08"), 20u);
    EXPECT_EQ(vbl.Get(2)->Value().SmiValue().value.int32, 8);
    // list: 0 value sequence, 1 binding list; kept: elements decoded before the fault stay
    struct Row { const char* hex; int list; uint32_t id; const char* by; uint32_t kept = 0; } rows[] = {
        {"30 03 A0 01 00", 1, NYSNMP_EXPECTED_SYNTAX, "NySnmpVar::FromAsn"},
        {"31 00", 1, NYSNMP_EXPECTED_SYNTAX, "NySnmpVbl::FromAsn"},
        {"30 04 30 05 06 01", 1, NYSNMP_SEQ_TOO_LONG, "NySnmpVar::FromAsn"},   // binding too long
        {"30 05 30 03 06 01", 1, NYSNMP_FIELD_TOO_LONG, "NySnmpVbl::FromAsn"}, // list too long
        {"A0 05 02 01 00", 0, NYSNMP_SEQ_TOO_LONG, "NySnmpValueSeq::FromAsn"},
        {"30 10 30 06 06 01 2B 02 01 01 30 06 06 01 2B 07 01 00", 1, NYSNMP_UNSUPPORTED_SYNTAX, "NySnmpValue::FromAsn", 1},
    };
    for (const Row& row : rows) {
        NySnmpValueSeq values;
        NySnmpVbl bindings;
        EXPECT_TRUE(Throws([&] { row.list ? Decode(bindings, row.hex) : Decode(values, row.hex); }, row.id, row.by))
            << row.hex;
        EXPECT_EQ(row.list ? bindings.Size() : values.Size(), row.kept) << row.hex;
    }
    NySnmpValue big;
    big.SetOctets(Octets(std::string(40000, 'x')));
    NySnmpVbl twice(NySnmpVar(NySnmpOid("1.3"), big));
    twice.Append(*twice.Get(1));
    EXPECT_TRUE(Throws([&] { Encode(twice, 100000); }, NYSNMP_LENGTH_TOO_LONG, "NySnmpVbl::AsAsn"));
}

// A catalog that has one text, and one for id 0 that must never be asked for.
struct FixedCatalog : NYNls {
    uint32_t lastLanguage = 0;
    const char* Lookup(uint32_t asked, uint32_t language, const uintptr_t*) override
    {
        lastLanguage = language;
        return asked == 0xC0090001u ? "Argument incorrect dans %1" : asked == 0 ? "from catalog" : nullptr;
    }
};

// Bindings of one decode are taken up again by later ones on the same
// thread.  Whatever the earlier ones went through, decoded bindings are like
// new: no catalog or error text, of the class itself.  (That they hold what
// was decoded, whatever they held before, RoundTrip.PdusInMessages shows.)
TEST(Lists, DecodedBindingsAreLikeNewOnes)
{
    NySnmpVbl vbl(Binding("1.3.6.1.4.1.32473.1", 1));
    vbl.Append(NySnmpVar(NySnmpOid("1.3.6.1.2"), Record(4, Octets(std::string(300, 'o')))));
    NySnmpPdu sent(0xA2, 9, 0, 0, vbl);
    const std::string wire = Encode(sent);
    FixedCatalog catalog;
    for (int round = 0; round < 4; ++round) {
        NySnmpPdu pdu;
        Decode(pdu, wire);
        ASSERT_EQ(Encode(pdu), wire) << round;
        std::vector<NySnmpVar*>& vars = pdu.Vars().VarList();
        for (NySnmpVar* var : vars) {
            EXPECT_EQ(typeid(*var), typeid(NySnmpVar));
            for (NySnmpObject* part : {static_cast<NySnmpObject*>(var), static_cast<NySnmpObject*>(&var->Value())}) {
                EXPECT_EQ(part->Catalog(), nullptr) << round;
                EXPECT_STREQ(part->ErrorText(), "") << round;
            }
        }
        // What a host may do to the bindings before they go.
        vars[0]->Value().SetErrorText("value");
        static_cast<NySnmpObject&>(*vars.back()) = NySnmpObject(&catalog, 7);
        struct Marked : NySnmpVar {
            using NySnmpVar::NySnmpVar;
        };
        vars.push_back(new Marked(NySnmpOid("1.3.6"), vars[0]->Value()));
    }
    // A thread that decodes leaves nothing behind when it ends (the leak check sees it).
    std::thread([&] { NySnmpPdu pdu; Decode(pdu, wire); }).join();
}

// ---- message texts and endpoint addresses ------------------------------------

TEST(Object, FormatText)
{
    NySnmpObject object;
    EXPECT_STREQ(object.FormatText(1, "a%2b%1c", "X"), "abXc");                // an empty insert
    EXPECT_STREQ(object.FormatText(1, "100%% %1%1", "%2", "no"), "100% %2%2"); // inserts are not expanded
    EXPECT_STREQ(object.FormatText(1, "%10|%12|%13", "one", "", "", "", "", "", "", "", "", "ten", "", "twelve"),
                 "ten|twelve|one3");
    EXPECT_STREQ(object.FormatText(1, nullptr), "");
    EXPECT_STREQ(object.FormatText(1, "[%1]", nullptr), "[]");
    const std::string longInsert(5000, 'x');
    EXPECT_EQ(std::strlen(object.FormatText(1, "%1", longInsert.c_str())), 5000u);
    FixedCatalog catalog;
    NySnmpObject translated(&catalog, 1036), copied(translated);
    EXPECT_STREQ(copied.FormatText(0xC0090001u, NYSNMP_INVALID_ARG_TEXT, "X::Y"), "Argument incorrect dans X::Y");
    EXPECT_EQ(catalog.lastLanguage, 1036u);
    EXPECT_STREQ(translated.FormatText(0xC0090003u, "Out of memory"), "Out of memory"); // no text: the default
    EXPECT_STREQ(translated.FormatText(0, "default"), "default");                        // id 0 is never translated
}

// Dotted hosts need no lookup (inet_addr's short forms included); names go to
// the resolver; bad arguments keep the old address, a refused name clears it.
TEST(Entity, AddressFromPortAndHost)
{
    const struct { unsigned int port; const char* host; const char* address; uint32_t id = 0; } rows[] = {
        {7199, "1.2.3", "02 00 1C 1F 01 02 00 03"}, {7199, "localhost", "02 00 1C 1F 7F 00 00 01"},
        {65536 + 161, "10.0.0.1", "02 00 00 A1 0A 00 00 01", NYSOCK_INVALID_ARG},
        {161, "no..such.invalid", "00 00 00 00 00 00 00 00", NYSOCK_GETHOSTBYNAME},
    };
    for (const auto& row : rows) {
        NySnmpEntity entity;
        entity.SetSockAddr(161, "10.0.0.1");
        if (row.id == 0)
            EXPECT_EQ(entity.SetSockAddr(row.port, row.host), 0);
        else
            EXPECT_TRUE(Throws([&] { entity.SetSockAddr(row.port, row.host); }, row.id, "NySnmpEntity::SetSockAddr"));
        const sockaddr& address = entity.SockAddr();
        EXPECT_EQ(ToHex(reinterpret_cast<const unsigned char*>(&address), sizeof address),
                  std::string(row.address) + " 00 00 00 00 00 00 00 00") << row.port;
    }
}

} // namespace