// The MIB module printer: layout, description cutting, enumerations, INDEX
// clauses, the skipped enterprises node and write failures.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nymib.h"

namespace {

typedef nymibvar<int32_t, 1, 2> Integer;
typedef nymibvar<std::string, 4, 4> OctetString;

// Everything a call writes to a memory stream.
std::string Capture(const std::function<int(FILE*)>& print, int expected = 0) {
    char* data = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&data, &size);
    EXPECT_NE(stream, nullptr);
    EXPECT_EQ(print(stream), expected);
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

std::string PrintOf(NyMibObject& node) {
    return Capture([&](FILE* s) { return node.Print(s); });
}

// An unbuffered stream that takes `limit` bytes and then refuses every write;
// `after` collects what is offered after the first refusal.  A printer that
// stops at the failure offers nothing more, but glibc itself pushes its
// one-byte buffer of an unbuffered stream through once after a failed write.
struct Sink {
    std::string text;
    size_t limit;
    bool failed = false;
    std::string after;
};

ssize_t SinkWrite(void* cookie, const char* data, size_t size) {
    Sink* sink = static_cast<Sink*>(cookie);
    if (sink->failed) {
        sink->after.append(data, size);
        return -1;
    }
    if (sink->text.size() + size > sink->limit) {
        sink->failed = true;
        return -1;
    }
    sink->text.append(data, size);
    return static_cast<ssize_t>(size);
}

FILE* OpenSink(Sink& sink) {
    cookie_io_functions_t io = {};
    io.write = SinkWrite;
    FILE* stream = fopencookie(&sink, "w", io);
    if (stream)
        setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

const NyMibIntValues kUpDown[] = {{"up", 1}, {"down", 2}, {nullptr, 0}};
const NyMibIntValues kNoLabels[] = {{nullptr, 0}};

NyMibIntValues* Labels(const NyMibIntValues* table) { return const_cast<NyMibIntValues*>(table); }

// The demo subtree: a scalar with labels, a table with one row of two
// columns (the first an index), and a trap with one variable.
struct Demo {
    std::vector<NyMibObject*> top;
    NyMibObject products{"products", "1.3.6.1.4.1.32473.9", &top, 289, 0, nullptr, nullptr, nullptr};
    NyMibObject demo{"demo", products, 3, 289, 0, nullptr, nullptr, nullptr};
    Integer demoState{"demoState", demo, 1, 2,
                      "The operational state of the demo service; setting it starts or stops "
                      "the service.",
                      Labels(kUpDown), nullptr};
    NyMibTable demoTable{"demoTable", demo, 2, "A table of demo connections.", nullptr,
                         "DemoEntry"};
    NyMibTableEntry demoEntry{"demoEntry", demoTable, 1, "One demo connection.", nullptr,
                              "DemoEntry"};
    Integer demoIndex{"demoIndex", demoEntry, 1, 1, nullptr, nullptr, nullptr};
    OctetString demoName{"demoName", demoEntry, 2, 1, "The peer name.", nullptr, nullptr};
    NyMibTrap demoAlarm{"demoAlarm", demo, 5, "Sent when a demo connection fails.", nullptr,
                        nullptr};
    Integer demoCode{"demoCode", demoAlarm, 1, 1, nullptr, nullptr, nullptr};

    Demo() {
        demoIndex.UseAsIndex(true);
        demoTable.UpdateChildren();
    }
};

const char kDemoText[] =
    "    demo                 OBJECT IDENTIFIER ::= { products 3 }\n"
    "\n"
    "    demoState            OBJECT-TYPE \n"
    "        SYNTAX           INTEGER{\n"
    "                                 up(1),\n"
    "                                 down(2)\n"
    "                                }\n"
    "        ACCESS           read-write\n"
    "        STATUS           mandatory\n"
    "        DESCRIPTION      \"The operational state of the demo \n"
    "                         service; setting it starts or stops the \n"
    "                         service.\"\n"
    "        ::= { demo 1 }\n"
    "\n"
    "\n"
    "    demoTable            OBJECT-TYPE \n"
    "        SYNTAX           SEQUENCE OF DemoEntry\n"
    "        ACCESS           not-accessible\n"
    "        STATUS           mandatory\n"
    "        DESCRIPTION      \"A table of demo connections.\"\n"
    "        ::= { demo 2 }\n"
    "\n"
    "\n"
    "    demoEntry            OBJECT-TYPE \n"
    "        SYNTAX           DemoEntry\n"
    "        ACCESS           not-accessible\n"
    "        STATUS           mandatory\n"
    "        DESCRIPTION      \"One demo connection.\"\n"
    "        INDEX            { demoIndex }\n"
    "        ::= { demoTable 1 }\n"
    "\n"
    "    DemoEntry    ::= SEQUENCE {\n"
    "                     demoIndex                      INTEGER,\n"
    "                     demoName                       OCTET STRING\n"
    "                     }\n"
    "\n"
    "\n"
    "    demoIndex            OBJECT-TYPE \n"
    "        SYNTAX           INTEGER\n"
    "        ACCESS           read-only\n"
    "        STATUS           mandatory\n"
    "        ::= { demoEntry 1 }\n"
    "\n"
    "    demoName             OBJECT-TYPE \n"
    "        SYNTAX           OCTET STRING\n"
    "        ACCESS           read-only\n"
    "        STATUS           mandatory\n"
    "        DESCRIPTION      \"The peer name.\"\n"
    "        ::= { demoEntry 2 }\n"
    "\n"
    "    demoAlarm            TRAP-TYPE \n"
    "        ENTERPRISE       demo\n"
    "        VARIABLES        {\n"
    "                         demoCode\n"
    "                         }\n"
    "        DESCRIPTION      \"Sent when a demo connection fails.\"\n"
    "        ::= 5\n";

TEST(MibPrinter, WorkedExampleByteForByte) {
    Demo d;
    EXPECT_EQ(PrintOf(d.demo), kDemoText);
}

TEST(MibPrinter, StopsAtTheFirstRefusedWrite) {
    Demo d;
    const std::string full = kDemoText;
    for (size_t limit = 0; limit <= full.size(); ++limit) {
        Sink sink;
        sink.limit = limit;
        FILE* stream = OpenSink(sink);
        ASSERT_NE(stream, nullptr);
        int rc = d.demo.Print(stream);
        std::string after = sink.after;  // fclose may offer glibc's byte again
        std::fclose(stream);
        if (limit < full.size()) {
            ASSERT_EQ(rc, -1) << "limit " << limit;
            ASSERT_LE(after.size(), 1u) << "limit " << limit;
        } else {
            ASSERT_EQ(rc, 0);
            ASSERT_FALSE(sink.failed);
        }
        ASSERT_EQ(full.compare(0, sink.text.size(), sink.text), 0) << "limit " << limit;
    }
}

TEST(MibPrinter, FailingStreamFailsEveryOperation) {
    Demo d;
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(d.demo.Print(full), -1);
    EXPECT_EQ(d.demoTable.Print(full), -1);
    EXPECT_EQ(d.demoEntry.Print(full), -1);
    EXPECT_EQ(d.demoState.Print(full), -1);
    EXPECT_EQ(d.demoAlarm.Print(full), -1);
    EXPECT_EQ(d.demoState.PrintSyntaxName(full, true), -1);
    std::fclose(full);
}

// The description text as printed between its quotes.
std::string DescriptionOf(const char* description) {
    std::vector<NyMibObject*> list;
    NyMibObject node("x", "1.3", &list, 2, 1, description, nullptr, nullptr);
    std::string text = PrintOf(node);
    const std::string open = "DESCRIPTION      \"";
    size_t from = text.find(open);
    if (from == std::string::npos)
        return "<none>";
    from += open.size();
    return text.substr(from, text.find("\"\n", from) - from);
}

TEST(MibPrinter, DescriptionsAreCutAtTheLastBlankWithinForty) {
    const std::string next = "\n" + std::string(25, ' ');
    const std::string a19(19, 'a'), b20(20, 'b'), x39(39, 'x'), w45(45, 'w');
    struct Case {
        std::string description, printed;
    } cases[] = {
        // forty characters with a blank at position 20: cut after the blank
        {a19 + " " + b20, a19 + " " + next + b20},
        // thirty-nine characters are one line whatever their blanks
        {"one two three four five six seven eight", "one two three four five six seven eight"},
        {x39, x39},
        // forty characters without a blank stay one line
        {std::string(40, 'f'), std::string(40, 'f')},
        // a word longer than a line is cut at forty
        {w45, w45.substr(0, 40) + next + "wwwww"},
        // the blank may be the fortieth character
        {x39 + " y", x39 + " " + next + "y"},
        // a blank just past the forty does not count
        {std::string(40, 'a') + " b", std::string(40, 'a') + next + " b"},
        // quotes are written as they stand
        {"say \"hi\"", "say \"hi\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DescriptionOf(c.description.c_str()), c.printed) << c.description;
    EXPECT_EQ(DescriptionOf(nullptr), "<none>");
    EXPECT_EQ(DescriptionOf(""), "<none>");
}

TEST(MibPrinter, NodesWithoutParentArePlacedByTheirIdentifier) {
    std::vector<NyMibObject*> list;
    NyMibObject leaf("lonely", "1.3.6.1.4.1.32473.7", &list, 4, 2, nullptr, nullptr, nullptr);
    EXPECT_EQ(PrintOf(leaf),
              "\n    lonely               OBJECT-TYPE \n"
              "        SYNTAX           OCTET STRING\n"
              "        ACCESS           read-write\n"
              "        STATUS           mandatory\n"
              "        ::= { 1.3.6.1.4.1.32473.7 }\n\n");

    NyMibObject root;
    EXPECT_EQ(PrintOf(root), "    root                 OBJECT IDENTIFIER ::= { 0 }\n");
    NyMibObject branch("branch", "1.3.6.1.4.1.32473", &list, 289, 0, nullptr, nullptr, nullptr);
    NyMibObject twig("aVeryLongNameOfTwentyFiveC", branch, 4, 289, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(PrintOf(branch),
              "    branch               OBJECT IDENTIFIER ::= { 1.3.6.1.4.1.32473 }\n"
              "    aVeryLongNameOfTwentyFiveC OBJECT IDENTIFIER ::= { branch 4 }\n");
}

TEST(MibPrinter, EnterprisesIsSkippedWithItsSubtree) {
    std::vector<NyMibObject*> list;
    NyMibObject enterprises("enterprises", "1.3.6.1.4.1", &list, 289, 0, nullptr, nullptr,
                            nullptr);
    NyMibObject below("below", enterprises, 9, 289, 0, nullptr, nullptr, nullptr);
    Integer leaf("leaf", below, 1, 1, "A leaf.", nullptr, nullptr);
    EXPECT_EQ(PrintOf(enterprises), "");

    NyMibObject top("top", "1.3.6.1.4.1.32473.8", &list, 289, 0, nullptr, nullptr, nullptr);
    Integer scalar("enterprises", top, 1, 1, nullptr, nullptr, nullptr);
    NyMibTable table("enterprises", top, 2, nullptr, nullptr, "EnterprisesEntry");
    NyMibTableEntry row("enterprises", table, 1, nullptr, nullptr, "EnterprisesEntry");
    NyMibTrap trap("enterprises", top, 3, nullptr, nullptr, nullptr);
    for (NyMibObject* node : std::vector<NyMibObject*>{&scalar, &table, &row, &trap})
        EXPECT_EQ(PrintOf(*node), "");
    EXPECT_EQ(PrintOf(top),
              "    top                  OBJECT IDENTIFIER ::= { 1.3.6.1.4.1.32473.8 }\n");
}

TEST(MibPrinter, AccessWords) {
    const struct {
        int access;
        const char* word;
    } cases[] = {{0, "not-accessible"}, {1, "read-only"}, {2, "read-write"},
                 {3, "write-only"},     {4, "not-accessible"}, {-1, "not-accessible"}};
    for (const auto& c : cases) {
        std::vector<NyMibObject*> list;
        NyMibObject node("n", "1.3", &list, 2, c.access, nullptr, nullptr, nullptr);
        EXPECT_NE(PrintOf(node).find(std::string("        ACCESS           ") + c.word + "\n"),
                  std::string::npos)
            << c.access;
    }
}

TEST(MibPrinter, SyntaxWords) {
    const struct {
        unsigned long syntax;
        const char* typeName;
        const char* word;
    } cases[] = {
        {2, nullptr, "INTEGER"},         {3, nullptr, "OCTET BITS"},
        {4, nullptr, "OCTET STRING"},    {5, nullptr, "NULL"},
        {6, nullptr, "OBJECT IDENTIFIER"}, {64, nullptr, "IpAddress"},
        {65, nullptr, "Counter"},        {66, nullptr, "Gauge"},
        {67, nullptr, "TimeTicks"},      {68, nullptr, "Opaque"},
        {69, nullptr, "NSAPADDR"},       {70, nullptr, "CNTR64"},
        {71, nullptr, "UINT32"},         {128, nullptr, "NOSUCHOBJECT"},
        {129, nullptr, "NOSUCHINSTANCE"}, {130, nullptr, "ENDOFMIBVIEW"},
        // variables have a word of their own whatever their type name
        {2, "DisplayString", "INTEGER"},
        {291, nullptr, "AGGREGATE"},     {291, "PairType", "PairType"},
        {289, nullptr, "UNKNOWN"},       {290, "Trap", "Trap"},
        {293, nullptr, "UNKNOWN"},       {7, nullptr, "UNKNOWN"},
        {48, "Wrapped", "Wrapped"},
    };
    for (const auto& c : cases) {
        std::vector<NyMibObject*> list;
        NyMibObject node("n", "1.3", &list, c.syntax, 1, nullptr, Labels(kUpDown), c.typeName);
        EXPECT_EQ(Capture([&](FILE* s) { return node.PrintSyntaxName(s, false); }), c.word)
            << c.syntax;
    }

    std::vector<NyMibObject*> list;
    NyMibObject parent("p", "1.3", &list, 289, 0, nullptr, nullptr, nullptr);
    NyMibTable named("t", parent, 1, nullptr, nullptr, "TEntry");
    NyMibTable unnamed("u", parent, 2, nullptr, nullptr, nullptr);
    EXPECT_EQ(Capture([&](FILE* s) { return named.PrintSyntaxName(s, true); }),
              "SEQUENCE OF TEntry");
    EXPECT_EQ(Capture([&](FILE* s) { return unnamed.PrintSyntaxName(s, true); }), "SEQUENCE");
}

TEST(MibPrinter, EnumerationBlocks) {
    std::vector<NyMibObject*> list;
    NyMibObject parent("p", "1.3", &list, 289, 0, nullptr, nullptr, nullptr);
    Integer labelled("labelled", parent, 1, 1, nullptr, Labels(kUpDown), nullptr);
    Integer empty("empty", parent, 2, 1, nullptr, Labels(kNoLabels), nullptr);
    Integer plain("plain", parent, 3, 1, nullptr, nullptr, nullptr);
    const std::string pad(33, ' ');

    EXPECT_EQ(Capture([&](FILE* s) { return labelled.PrintSyntaxName(s, true); }),
              "INTEGER{\n" + pad + "up(1),\n" + pad + "down(2)\n" + std::string(32, ' ') + "}");
    EXPECT_EQ(Capture([&](FILE* s) { return labelled.PrintSyntaxName(s, false); }), "INTEGER");
    EXPECT_EQ(Capture([&](FILE* s) { return empty.PrintSyntaxName(s, true); }),
              "INTEGER{\n" + std::string(32, ' ') + "}");
    EXPECT_EQ(Capture([&](FILE* s) { return plain.PrintSyntaxName(s, true); }), "INTEGER");
    EXPECT_NE(PrintOf(plain).find("SYNTAX           INTEGER\n        ACCESS"), std::string::npos);
}

TEST(MibPrinter, RowsAndAggregates) {
    std::vector<NyMibObject*> list;
    NyMibObject top("top", "1.3.6.1.4.1.32473.6", &list, 289, 0, nullptr, nullptr, nullptr);
    NyMibTable table("tbl", top, 1, nullptr, nullptr, nullptr);
    NyMibTableEntry row("tblEntry", table, 1, nullptr, nullptr, nullptr);
    Integer first("first", row, 1, 1, nullptr, nullptr, nullptr);
    OctetString second("second", row, 2, 1, nullptr, nullptr, nullptr);
    Integer third("third", row, 3, 1, nullptr, nullptr, nullptr);
    third.UseAsIndex(true);
    first.UseAsIndex(true);
    table.UpdateChildren();

    // A row without a type name: no SEQUENCE type, but its columns; the
    // index names come in column order, not in marking order.
    std::string text = PrintOf(table);
    EXPECT_EQ(text.find("::= SEQUENCE"), std::string::npos);
    EXPECT_NE(text.find("SYNTAX           SEQUENCE\n"), std::string::npos);
    EXPECT_NE(text.find("        INDEX            { first, third }\n"), std::string::npos);
    EXPECT_NE(text.find("    first                OBJECT-TYPE"), std::string::npos);
    EXPECT_NE(text.find("    third                OBJECT-TYPE"), std::string::npos);
    EXPECT_EQ(text.substr(0, 2), "\n\n");

    // An aggregate lists its value children in its SEQUENCE type and skips
    // plain nodes and nested aggregates there, but prints them all.
    NyMibSequence pair("pair", top, 2, 291, 1, "Two values.", nullptr, "PairType");
    Integer left("left", pair, 1, 1, nullptr, nullptr, nullptr);
    NyMibObject marker("marker", pair, 2, 289, 0, nullptr, nullptr, nullptr);
    NyMibSequence inner("inner", pair, 3, 291, 1, nullptr, nullptr, nullptr);
    OctetString right("right", pair, 4, 1, nullptr, nullptr, nullptr);
    right.UseAsIndex(true);
    const std::string member(21, ' ');
    EXPECT_EQ(PrintOf(pair),
              "\n\n    pair                 OBJECT-TYPE \n"
              "        SYNTAX           PairType\n"
              "        ACCESS           read-only\n"
              "        STATUS           mandatory\n"
              "        DESCRIPTION      \"Two values.\"\n"
              "        INDEX            { right }\n"
              "        ::= { top 2 }\n"
              "\n    PairType     ::= SEQUENCE {\n" +
                  member + "left                           INTEGER,\n" + member +
                  "right                          OCTET STRING\n" + std::string(20, ' ') +
                  " }\n\n"
                  "\n    left                 OBJECT-TYPE \n"
                  "        SYNTAX           INTEGER\n"
                  "        ACCESS           read-only\n"
                  "        STATUS           mandatory\n"
                  "        ::= { pair 1 }\n"
                  "    marker               OBJECT IDENTIFIER ::= { pair 2 }\n"
                  "\n\n    inner                OBJECT-TYPE \n"
                  "        SYNTAX           AGGREGATE\n"
                  "        ACCESS           read-only\n"
                  "        STATUS           mandatory\n"
                  "        ::= { pair 3 }\n"
                  "\n    right                OBJECT-TYPE \n"
                  "        SYNTAX           OCTET STRING\n"
                  "        ACCESS           read-only\n"
                  "        STATUS           mandatory\n"
                  "        ::= { pair 4 }\n");
}

TEST(MibPrinter, TrapWithoutVariables) {
    std::vector<NyMibObject*> list;
    NyMibObject top("top", "1.3.6.1.4.1.32473.5", &list, 289, 0, nullptr, nullptr, nullptr);
    NyMibTrap quiet("quiet", top, 7, nullptr, nullptr, nullptr);
    EXPECT_EQ(PrintOf(quiet),
              "\n    quiet                TRAP-TYPE \n"
              "        ENTERPRISE       top\n"
              "        ::= 7\n");
}

TEST(MibPrinter, NullStreamIsStandardOutput) {
    std::vector<NyMibObject*> list;
    NyMibObject node("toStdout", "1.3.6.1.4.1.32473.4", &list, 289, 0, nullptr, nullptr, nullptr);
    testing::internal::CaptureStdout();
    int rc = node.Print(nullptr);
    std::fflush(stdout);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "    toStdout             OBJECT IDENTIFIER ::= { 1.3.6.1.4.1.32473.4 }\n");
}

} // namespace
