// The MIB module printer: layout, description cutting, enumerations, INDEX
// clauses, the skipped enterprises node and write failures.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/agent.h"
#include "tree.h"

namespace {

std::string Capture(const std::function<int(FILE*)>& print) {
    char* data = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&data, &size);
    EXPECT_EQ(print(stream), 0);
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

std::string PrintOf(NyMibObject& node) { return Capture([&](FILE* s) { return node.Print(s); }); }

// An unbuffered stream that takes `limit` bytes and then refuses every write;
// `after` collects what is offered after the first refusal.  A printer that
// stops at the failure offers nothing more, but glibc itself pushes its
// one-byte buffer of an unbuffered stream through once after a failed write.
struct Sink { std::string text, after; size_t limit; bool failed = false; };

ssize_t SinkWrite(void* cookie, const char* data, size_t size) {
    Sink* sink = static_cast<Sink*>(cookie);
    if (sink->failed || sink->text.size() + size > sink->limit) {
        if (sink->failed)
            sink->after.append(data, size);
        sink->failed = true;
        return -1;
    }
    sink->text.append(data, size);
    return static_cast<ssize_t>(size);
}

NyMibIntValues kUpDown[] = {{"up", 1}, {"down", 2}, {nullptr, 0}};
NyMibIntValues kNoLabels[] = {{nullptr, 0}};

// The demo subtree: a scalar with labels, a table with one row of two
// columns (the first an index), and a trap with one variable.
struct Demo {
    std::vector<NyMibObject*> top;
    NyMibObject products{"products", "1.3.6.1.4.1.32473.9", &top, 289, 0};
    NyMibObject demo{"demo", products, 3, 289, 0};
    MibInt demoState{"demoState", demo, 1, 2,
                     "The operational state of the demo service; setting it starts or stops the service.", kUpDown};
    NyMibTable demoTable{"demoTable", demo, 2, "A table of demo connections.", nullptr, "DemoEntry"};
    NyMibTableEntry demoEntry{"demoEntry", demoTable, 1, "One demo connection.", nullptr, "DemoEntry"};
    MibInt demoIndex{"demoIndex", demoEntry, 1, 1};
    MibOctets demoName{"demoName", demoEntry, 2, 1, "The peer name."};
    NyMibTrap demoAlarm{"demoAlarm", demo, 5, "Sent when a demo connection fails."};
    MibInt demoCode{"demoCode", demoAlarm, 1, 1};
    Demo() {
        demoIndex.UseAsIndex(true);
        demoTable.UpdateChildren();
    }
};

// The worked example byte for byte, and a stop at the first refused write.
TEST(MibPrinter, DemoWholeAndCutShort) {
    Demo d;
    const std::string full = ReadFile(std::string(NYSNMP_TEST_DATA_DIR) + "/printer/demo.txt");
    ASSERT_EQ(full.size(), 1813u);
    EXPECT_EQ(PrintOf(d.demo), full);
    const cookie_io_functions_t io{nullptr, SinkWrite, nullptr, nullptr};
    for (size_t limit = 0; limit <= full.size(); ++limit) {
        Sink sink{"", "", limit};
        FILE* stream = fopencookie(&sink, "w", io);
        ASSERT_NE(stream, nullptr);
        setvbuf(stream, nullptr, _IONBF, 0);
        int rc = d.demo.Print(stream);
        std::string after = sink.after; // fclose may offer glibc's byte again
        std::fclose(stream);
        ASSERT_EQ(rc, limit < full.size() ? -1 : 0) << "limit " << limit;
        ASSERT_LE(after.size(), 1u) << "limit " << limit;
        ASSERT_EQ(full.compare(0, sink.text.size(), sink.text), 0) << "limit " << limit;
    }
}

TEST(MibPrinter, DescriptionsAreCutAtTheLastBlankWithinForty) {
    const std::string next = "\n" + std::string(25, ' ');
    const std::string a19(19, 'a'), b20(20, 'b'), x39(39, 'x'), w45(45, 'w');
    const std::string cases[][2] = {
        {a19 + " " + b20, a19 + " " + next + b20}, // forty, blank at position 20
        {"one two three four five six seven eight", "one two three four five six seven eight"},
        {std::string(40, 'f'), std::string(40, 'f')},   // forty without a blank
        {w45, w45.substr(0, 40) + next + "wwwww"},     // longer word: cut at forty
        {x39 + " y", x39 + " " + next + "y"},           // the blank is the fortieth
        {std::string(40, 'a') + " b", std::string(40, 'a') + next + " b"}, // just past
        {"say \"hi\"", "say \"hi\""},                   // quotes as they stand
    };
    for (const auto& c : cases) {
        std::vector<NyMibObject*> list;
        NyMibObject node("x", "1.3", &list, 2, 1, c[0].c_str());
        // (the whole layout around it is the demo's)
        EXPECT_NE(PrintOf(node).find("\n        DESCRIPTION      \"" + c[1] + "\"\n        ::= { 1.3 }\n"), std::string::npos)
            << c[0];
    }
}

TEST(MibPrinter, IdentifiersAndTheSkippedEnterprises) {
    std::vector<NyMibObject*> list;
    NyMibObject root;
    EXPECT_EQ(PrintOf(root), "    root                 OBJECT IDENTIFIER ::= { 0 }\n");
    NyMibObject enterprises("enterprises", "1.3.6.1.4.1", &list, 289, 0);
    NyMibObject below("below", enterprises, 9, 289, 0);
    NyMibObject twig("aVeryLongNameOfTwentyFiveC", below, 4, 289, 0);
    MibInt scalar("enterprises", below, 5, 1);
    NyMibTable table("enterprises", below, 6, nullptr, nullptr, "EnterprisesEntry");
    NyMibTableEntry row("enterprises", table, 1, nullptr, nullptr, "EnterprisesEntry");
    NyMibTrap trap("enterprises", below, 7);
    EXPECT_EQ(PrintOf(below), "    below                OBJECT IDENTIFIER ::= { enterprises 9 }\n"
                              "    aVeryLongNameOfTwentyFiveC OBJECT IDENTIFIER ::= { below 4 }\n");
    for (NyMibObject* node : std::vector<NyMibObject*>{&enterprises, &table, &row})
        EXPECT_EQ(PrintOf(*node), "");
}

// Beyond what the demo and the product module show: an empty label list, a
// row without a type name, index names in column order (not marking order),
// an aggregate's SEQUENCE type without plain nodes and aggregates.
TEST(MibPrinter, EnumerationsRowsAndAggregates) {
    std::vector<NyMibObject*> list;
    NyMibObject top("top", "1.3.6", &list, 289, 0);
    MibInt empty("empty", top, 2, 1, nullptr, kNoLabels);
    EXPECT_EQ(Capture([&](FILE* s) { return empty.PrintSyntaxName(s, true); }), "INTEGER{\n" + std::string(32, ' ') + "}");
    NyMibTable table("tbl", top, 3);
    NyMibTableEntry row("tblEntry", table, 1);
    MibInt first("first", row, 1, 1), third("third", row, 3, 1);
    third.UseAsIndex(true);
    first.UseAsIndex(true);
    const std::string text = PrintOf(table);
    EXPECT_EQ(text.find("::= SEQUENCE"), std::string::npos);
    EXPECT_EQ(text.rfind("\n\n    tbl                  OBJECT-TYPE \n        SYNTAX           SEQUENCE\n", 0), 0u);
    EXPECT_NE(text.find("        INDEX            { first, third }\n"), std::string::npos);
    NyMibSequence pair("pair", top, 4, 291, 1, nullptr, nullptr, "PairType");
    MibInt left("left", pair, 1, 1);
    NyMibObject marker("marker", pair, 2, 289, 0);
    NyMibSequence inner("inner", pair, 3, 291, 1);
    EXPECT_NE(PrintOf(pair).find("\n    PairType     ::= SEQUENCE {\n" + std::string(21, ' ') +
                                 "left                           INTEGER\n" + std::string(20, ' ') + " }\n\n"),
              std::string::npos);
}

} // namespace
