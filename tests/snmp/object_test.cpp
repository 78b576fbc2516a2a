// Message formatting, catalog binding and system texts of the base object.
#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"

namespace {

// A catalog that answers one id with a fixed text and records what it saw.
struct FixedCatalog : NYNls {
    uint32_t id, lastLanguage = 0, lastArgId = 0;
    const char *text, *lastDefault = nullptr, *lastInsert1 = nullptr;
    FixedCatalog(uint32_t answered, const char* answer) : id(answered), text(answer) {}
    const char* Lookup(uint32_t asked, uint32_t language, const uintptr_t* args) override
    {
        lastLanguage = language;
        lastArgId = static_cast<uint32_t>(args[0]);
        lastDefault = reinterpret_cast<const char*>(args[1]);
        lastInsert1 = reinterpret_cast<const char*>(args[2]);
        return asked == id ? text : nullptr;
    }
};

TEST(NySnmpObjectFormat, ExpansionRules)
{
    NySnmpObject object;
    EXPECT_STREQ(object.FormatText(NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, "NySnmpVbl::AsAsn"),
                 "Invalid argument passed to the method NySnmpVbl::AsAsn");
    EXPECT_STREQ(object.FormatText(NYSNMP_INDEX_OUT_OF_RANGE, NYSNMP_INDEX_OUT_OF_RANGE_TEXT, -5),
                 "Index -5 is out range");
    // A referenced insert that is empty drops the marker only.
    EXPECT_STREQ(object.FormatText(1, "a%2b%1c", "X"), "abXc");
    // %% is one percent sign; markers may repeat; inserts are not expanded again.
    EXPECT_STREQ(object.FormatText(1, "100%% %1%1", "%2", "no"), "100% %2%2");
    // Two-digit markers up to 12; %13 is %1 followed by '3'.
    EXPECT_STREQ(object.FormatText(1, "%10|%11|%12|%13", "one", "", "", "", "", "", "", "", "", "ten",
                                   "eleven", "twelve"),
                 "ten|eleven|twelve|one3");
    // A null default text with no catalog gives the empty text.
    EXPECT_STREQ(object.FormatText(1, nullptr), "");
    // A null insert pointer is treated as empty rather than crashing.
    EXPECT_STREQ(object.FormatText(1, "[%1]", nullptr), "[]");
}

TEST(NySnmpObjectFormat, CatalogIsUsedOnlyWhenItHasAText)
{
    FixedCatalog catalog(0xC0090001u, "Argument incorrect dans %1");
    NySnmpObject object(&catalog, 1036);
    EXPECT_STREQ(object.FormatText(0xC0090001u, NYSNMP_INVALID_ARG_TEXT, "X::Y"), "Argument incorrect dans X::Y");
    EXPECT_EQ(catalog.lastLanguage, 1036u);
    EXPECT_EQ(catalog.lastArgId, 0xC0090001u);
    EXPECT_STREQ(catalog.lastDefault, NYSNMP_INVALID_ARG_TEXT);
    EXPECT_STREQ(catalog.lastInsert1, "X::Y");
    // Null answer: default text.
    EXPECT_STREQ(object.FormatText(0xC0090003u, "Out of memory"), "Out of memory");

    FixedCatalog empty(0xC0090003u, "");
    NySnmpObject withEmpty(&empty, 1024);
    EXPECT_STREQ(withEmpty.FormatText(0xC0090003u, "Out of memory"), "Out of memory");

    // Id 0 never takes the catalog's text, even when the catalog has one.
    FixedCatalog zero(0, "from catalog");
    NySnmpObject withZero(&zero, 1024);
    EXPECT_STREQ(withZero.FormatText(0, "default"), "default");
}

TEST(NySnmpObjectFormat, BufferGrowsAndResultsSurviveCopies)
{
    NySnmpObject object;
    std::string longInsert(5000, 'x');
    const char* first = object.FormatText(1, "%1", longInsert.c_str());
    EXPECT_EQ(std::strlen(first), 5000u);
    const char* second = object.FormatText(1, "short");
    EXPECT_EQ(first, second) << "a shorter message reuses the grown buffer";
    EXPECT_STREQ(second, "short");

    NySnmpObject copy;
    copy = object;
    const char* mine = object.FormatText(1, "mine");
    const char* theirs = copy.FormatText(1, "theirs");
    EXPECT_NE(mine, theirs);
    EXPECT_STREQ(mine, "mine");
    {
        NySnmpObject temporary(object);
        temporary.FormatText(1, "temporary");
    }
    EXPECT_STREQ(mine, "mine");
}

TEST(NySnmpObjectFormat, CopyKeepsCatalogAssignmentKeepsErrorText)
{
    FixedCatalog catalog(7, "seven");
    NySnmpObject source(&catalog, 9);
    source.SetErrorText("last error");
    NySnmpObject copied(source);
    EXPECT_STREQ(copied.FormatText(7, "x"), "seven");
    EXPECT_STREQ(copied.ErrorText(), "") << "copy construction starts with no error text";
    NySnmpObject assigned;
    assigned = source;
    EXPECT_STREQ(assigned.ErrorText(), "last error");
    EXPECT_EQ(assigned.Language(), 9u);
    // The error text is never null, also after a null one was set.
    ASSERT_NE(NySnmpObject().ErrorText(), nullptr);
    assigned.SetErrorText(nullptr);
    EXPECT_STREQ(assigned.ErrorText(), "");
    EXPECT_EQ(assigned.ErrorTextSize(), 0u);
}

TEST(NySnmpObjectSystem, KnownAndUnknownCodes)
{
    NySnmpObject object;
    EXPECT_STREQ(object.SysErrorMsg(ECONNREFUSED), std::strerror(ECONNREFUSED));
    EXPECT_STREQ(object.SysErrorMsg(99999), "");
    EXPECT_STREQ(object.SysErrorMsg(0xFFFFFFFFu), "");
}

// The native numbers the exceptions carry (every Throws check compares with
// this mapping, so it is pinned here; NyRaise's texts are checked throughout).
TEST(NySnmpObjectRaise, NativeNumbers)
{
    EXPECT_EQ(NySnmpNativeError(NYSNMP_INVALID_ARG), 10022);
    EXPECT_EQ(NySnmpNativeError(NYSNMP_INDEX_OUT_OF_RANGE), 12);
}

} // namespace
