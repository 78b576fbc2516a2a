// Registration and request processing against a fake agent on loopback: the
// PDUs are written and read at wire level, so every rule of the exchange and
// every fault the real agent cannot produce can be staged, down to a
// connection reset while a Set waits for its SOutPDU.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smux/peer.h"

namespace {

// A session connected to the fake agent, opened, with the host tree registered.
struct Serving : ::testing::Test {
    FakeAgent agent;
    HostTree tree;
    NySnmpManager manager;
    NotingSession session{manager};
    ServiceLoop loop{session};
    Bytes registration; // the last RReqPDU sent

    void SetUp() override
    {
        ASSERT_EQ(session.Init(0, agent.Port(), "127.0.0.1"), 0);
        ASSERT_TRUE(agent.Accept());
        ASSERT_EQ(session.Open("1.3.6.1.4.1.32473", "nysnmp tests", "secret"), 0);
        ASSERT_EQ(ReadPdu(agent)[0], 0x60);
        int priority = -1;
        ASSERT_EQ(Register(tree.base, priority, 2), 0);
        ASSERT_EQ(priority, 0);
    }
    void TearDown() override
    {
        loop.Stop();
        session.End();
    }

    // The agent's answer goes out first.
    int Register(NyMibObject& node, int& priority, int operation, const char* answer = "43 01 00")
    {
        EXPECT_TRUE(agent.Write(Hex(answer)));
        int result = session.Register(node, priority, operation);
        registration = ReadPdu(agent);
        return result;
    }
    // Takes the next PDU from the stream (bounded); false when none came.
    bool Take(NySnmpPdu& pdu)
    {
        for (int i = 0; i < 20; ++i) {
            const int n = session.Receive(pdu, 1);
            if (n != 0)
                return n > 0;
        }
        return false;
    }
    // Hands the agent's PDU to the session and returns the answer, if any.
    std::string Exchange(const Bytes& request, int answerMs = 2000)
    {
        EXPECT_TRUE(agent.Write(request));
        NySnmpPdu pdu;
        if (!Take(pdu))
            return "(not taken)";
        session.Respond(pdu);
        return Describe(answerMs > 0 ? ReadPdu(agent, answerMs) : Bytes{});
    }
    std::string Commit(const char* sout = "44 01 00") { return Exchange(Hex(sout), 300); }
};

TEST_F(Serving, GetAndGetNextAnswers)
{
    tree.queue.SetUserEvents(1, 77, nullptr);
    const struct { const char* why; int32_t type; std::vector<std::string> oids; const char* answer; } rows[] = {
        {"no bindings", 0xA0, {}, "A2 #9 0/0:"},
        {"scalars of several syntaxes", 0xA0, {B ".1", B ".2", B ".3", B ".6", B ".7", B ".8"},
         "A2 #9 0/0: " B ".1=int32:-42 " B ".2=octets:nysnmp test host " B ".3=cntr32:-294967296 " B
         ".6=oid:1.3.6.1.4.1.32473.1 " B ".7=ipaddr:127.0.0.1 " B ".8=cntr64:4294967298"},
        {"column instance", 0xA0, {B ".11.1.2.2"}, "A2 #9 0/0: " B ".11.1.2.2=octets:second"},
        {"unknown second binding: the request comes back", 0xA0, {B ".1", B ".99"},
         "A2 #9 2/2: " B ".1=null:null " B ".99=null:null"},
        {"scalar with an instance arc", 0xA0, {B ".1.0"}, "A2 #9 2/1: " B ".1.0=null:null"},
        {"column without its instance", 0xA0, {B ".11.1.2"}, "A2 #9 2/1: " B ".11.1.2=null:null"},
        {"a row", 0xA0, {B ".11.1"}, "A2 #9 6/1: " B ".11.1=null:null"},
        {"write-only", 0xA0, {B ".9"}, "A2 #9 6/1: " B ".9=null:null"},
        {"not-accessible index column", 0xA0, {B ".11.1.1.1"}, "A2 #9 6/1: " B ".11.1.1.1=null:null"},
        {"reads as noSuchInstance", 0xA0, {B ".10"}, "A2 #9 2/1: " B ".10=null:null"},
        {"outside every registration", 0xA0, {"1.3.6.1.2.1.1.1.0"}, "A2 #9 2/1: 1.3.6.1.2.1.1.1.0=null:null"},
        {"read hook sees the user parameter", 0xA0, {B ".4"}, "A2 #9 0/0: " B ".4=gauge32:17"},
        {"next of the base", 0xA1, {B}, "A2 #9 0/0: " B ".1=int32:-42"},
        {"next skips the write-only and the absent node", 0xA1, {B ".8"}, "A2 #9 0/0: " B ".11.1.2.1=octets:first"},
        {"next walks down a column in instance order", 0xA1, {B ".11.1.2.2"}, "A2 #9 0/0: " B ".11.1.2.3=octets:third"},
        {"next leaves the table", 0xA1, {B ".11.1.3.3"}, "A2 #9 0/0: " B ".12=octets:carpe diem"},
        {"next past the last object", 0xA1, {B ".12"}, "A2 #9 2/1: " B ".12=null:null"},
        {"bulk is refused", 0xA5, {B ".1"}, "A2 #9 2/1: " B ".1=null:null"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Exchange(Ask(row.type, 9, row.oids)), row.answer) << row.why;
    EXPECT_EQ(session.Notes(), std::vector<std::string>{"OnMibGet hostQueue 77"});
    // The read hook refuses: its status and the index of the binding come back.
    tree.name.SetUserEvents(1, 0, nullptr);
    session.getAnswer = 5;
    EXPECT_EQ(Exchange(Ask(0xA0, 3, {B ".1", B ".2"})), "A2 #3 5/2: " B ".1=null:null " B ".2=null:null");
    EXPECT_EQ(Exchange(Ask(0xA1, 4, {B ".1"})), "A2 #4 5/1: " B ".1=null:null");
}

// Instance 4 of a column is found although an instance that begins with it
// (4.2) comes first in the table.
TEST_F(Serving, ExactInstanceBehindALongerOne)
{
    HostRow longer(tree.table, 4, "longer", 0), shorter(tree.table, 4, "shorter", 0);
    uint32_t arcs[] = {4, 2};
    NYSMI_OID instance{2, arcs};
    longer.entry.SetInstanceNumber(instance);
    EXPECT_EQ(Exchange(Ask(0xA0, 1, {B ".11.1.2.4", B ".11.1.2.4.2"})),
              "A2 #1 0/0: " B ".11.1.2.4=octets:shorter " B ".11.1.2.4.2=octets:longer");
    Exchange(Pdu(0xA3, 2, {{B ".11.1.2.4", Text("set")}}));
    Commit();
    EXPECT_EQ(shorter.label.value(), "set");
    EXPECT_EQ(longer.label.value(), "longer");
}

TEST_F(Serving, SetIsStagedAndStoredOnlyOnTheCommit)
{
    tree.level.SetUserEvents(2 | 4, 0, nullptr);
    EXPECT_EQ(Exchange(Pdu(0xA3, 21, {{B ".1", Int(7)}, {B ".11.1.2.3", Text("drei")}})),
              "A2 #21 0/0: " B ".1=int32:7 " B ".11.1.2.3=octets:drei");
    EXPECT_EQ(tree.level.value(), -42) << "a SetRequest only tests";
    EXPECT_EQ(Commit(), "(nothing)") << "no answer to an SOutPDU";
    EXPECT_EQ(tree.level.value(), 7);
    EXPECT_EQ(tree.Row(3).label.value(), "drei");
    // A rollback, a commit the host refuses, a commit hook that stops the rest.
    Exchange(Pdu(0xA3, 22, {{B ".1", Int(8)}}));
    Commit("44 01 01");
    session.commitAnswer = 1;
    Exchange(Pdu(0xA3, 23, {{B ".1", Int(9)}}));
    Commit();
    session.commitAnswer = 0;
    session.committedAnswer = 1;
    NySnmpValue gauge;
    gauge.SetGauge32(3);
    Exchange(Pdu(0xA3, 24, {{B ".1", Int(10)}, {B ".4", gauge}}));
    Commit();
    EXPECT_EQ(tree.level.value(), 10);
    EXPECT_EQ(tree.queue.value(), 17u) << "bindings after the refusing hook stay unstored";
    EXPECT_EQ(session.StagedVars().Size(), 0u);
    EXPECT_EQ(session.Notes(), (std::vector<std::string>{
        "OnMibSetUncommitted hostLevel 7 holding -42", "OnSet 0/0", "OnCommit " B ".1=7 " B ".11.1.2.3=drei",
        "OnMibSetCommitted hostLevel holding 7",
        "OnMibSetUncommitted hostLevel 8 holding 7", "OnSet 0/0", "OnRollback " B ".1=8",
        "OnMibSetUncommitted hostLevel 9 holding 7", "OnSet 0/0", "OnCommit " B ".1=9",
        "OnMibSetUncommitted hostLevel 10 holding 7", "OnSet 0/0", "OnCommit " B ".1=10 " B ".4=3",
        "OnMibSetCommitted hostLevel holding 10"}));
}

TEST_F(Serving, RefusedSetsStageNothing)
{
    tree.motto.SetUserEvents(2, 10, nullptr); // the host refuses with status 10
    const struct { const char* why; std::vector<std::pair<std::string, NySnmpValue>> bindings; const char* answer; } rows[] = {
        {"second binding read-only", {{B ".1", Int(1)}, {B ".2", Int(2)}}, "A2 #6 6/2: " B ".1=int32:1 " B ".2=int32:2"},
        {"second binding of the wrong kind", {{B ".1", Int(1)}, {B ".11.1.2.1", Int(2)}},
         "A2 #6 3/2: " B ".1=int32:1 " B ".11.1.2.1=int32:2"},
        {"unknown", {{B ".77", Int(1)}}, "A2 #6 2/1: " B ".77=int32:1"},
        {"column without its instance", {{B ".11.1.2", Text("x")}}, "A2 #6 2/1: " B ".11.1.2=octets:x"},
        {"hook refuses", {{B ".12", Text("y")}}, "A2 #6 10/1: " B ".12=octets:y"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Exchange(Pdu(0xA3, 6, row.bindings)), row.answer) << row.why;
        EXPECT_EQ(session.StagedVars().Size(), 0u) << row.why;
    }
    Commit();
    EXPECT_EQ(tree.level.value(), -42);
    EXPECT_EQ(tree.motto.value(), "carpe diem");
    EXPECT_EQ(tree.Row(1).label.value(), "first");
}

TEST_F(Serving, TheStream)
{
    // SMUX PDUs and responses are not answered.
    for (const char* pdu : {"44 01 00", "41 01 05", "43 04 00 00 00 00", "A2 82 00 0D 02 01 05 02 01 00 02 01 00 30 82 00 00"})
        EXPECT_EQ(Exchange(Hex(pdu), 100), "(nothing)") << pdu;
    // Two PDUs in one segment, one PDU in two.
    Bytes first = Ask(0xA0, 1, {B ".1"}), both = first, second = Ask(0xA0, 2, {B ".2"});
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(agent.Write(both));
    NySnmpPdu pdu;
    ASSERT_TRUE(Take(pdu));
    EXPECT_EQ(pdu.RequestId(), 1);
    EXPECT_GT(session.Receive(pdu, 1), 0) << "the second is already there";
    EXPECT_EQ(pdu.RequestId(), 2);
    ASSERT_TRUE(agent.Write(Bytes(first.begin(), first.begin() + 7)));
    EXPECT_EQ(session.Receive(pdu, 1), 0);
    ASSERT_TRUE(agent.Write(Bytes(first.begin() + 7, first.end())));
    ASSERT_TRUE(Take(pdu));
    EXPECT_EQ(pdu.Vars().Size(), 1u);
    // A PDU that fills the receive area (5 + 65,531 octets) is awaited; one octet more breaks the stream.
    ASSERT_TRUE(agent.Write(Hex("30 83 00 FF FB 02 01")));
    EXPECT_EQ(session.Receive(pdu, 1), 0);
    EXPECT_EQ(session.Receive(pdu, 1), 0);
    session.End();
    ASSERT_TRUE(session.Connect(agent.Port()));
    ASSERT_TRUE(agent.Accept());
    ASSERT_TRUE(agent.Write(Hex("30 83 00 FF FC 02 01")));
    auto e = Caught([&] {
        for (int i = 0; i < 3; ++i)
            session.Receive(pdu, 1);
    });
    EXPECT_EQ(IdOf(e), NYSNMP_SEQ_TOO_LONG);
    EXPECT_EQ(session.ReceiveRecord().length, 0u);
}

TEST_F(Serving, ProcessRequestsStopFlagEventAndTimeOut)
{
    ASSERT_TRUE(agent.Write(Ask(0xA0, 1, {B ".1"})));
    int volatile stop = 1;
    EXPECT_EQ(session.ProcessRequests(stop, -1, nullptr), 0);
    EXPECT_EQ(session.ReceiveRecord().length, 0u) << "nothing received";
    NyEvent event;
    event.Set();
    stop = 0;
    EXPECT_EQ(session.ProcessRequests(stop, -1, &event), 0);
    EXPECT_EQ(stop, 1);
    EXPECT_FALSE(event.IsSet());
    // Time-out 0: takes what has arrived, then returns; a later call answers.
    stop = 0;
    Bytes answer;
    for (int i = 0; i < 10 && answer.empty(); ++i) {
        EXPECT_EQ(session.ProcessRequests(stop, 0, nullptr), 0);
        answer = agent.ReadAvailable(50);
    }
    EXPECT_EQ(Describe(answer), "A2 #1 0/0: " B ".1=int32:-42");
}

TEST_F(Serving, RegisterOnTheWireAndTheGrantedPriority)
{
    NyMibObject other("other", "1.3.6.1.4.1.9999", &tree.tops, 289, kNoAccess);
    const std::pair<const char*, int> answers[] = {
        {"43 01 05", 5}, {"43 01 FF", 255}, // a refusal, as one octet
        {"43 04 00 00 01 02", 258},         // net-snmp writes four octets
        {"43 04 FF FF FF FF", 255},
    };
    for (const auto& [answer, granted] : answers) {
        int priority = -1;
        EXPECT_EQ(Register(other, priority, 2, answer), 0) << answer;
        EXPECT_EQ(ToHex(registration), "62 82 00 0F 06 07 2B 06 01 04 01 CE 0F 02 01 FF 02 01 02");
        EXPECT_EQ(priority, granted) << answer;
        EXPECT_EQ(session.RegInfo().back()->Priority(), granted) << answer;
    }
    // An answer without its INTEGER cannot be read: the caller hears of it, and the session stays usable.
    int priority = 4;
    EXPECT_EQ(IdOf(Caught([&] { Register(other, priority, 2, "43 00"); })), NYSNMP_INCOMPLETE_PDU);
    EXPECT_EQ(priority, 4);
    EXPECT_EQ(ToHex(ReadPdu(agent)).substr(0, 2), "62");
    EXPECT_EQ(Exchange(Ask(0xA0, 8, {B ".1"})), "A2 #8 0/0: " B ".1=int32:-42");
    // Operations: a bad one is refused unsent; a delete removes the first record of the node only.
    EXPECT_EQ(session.Register(other, priority, 3), -1);
    EXPECT_TRUE(agent.ReadAvailable(100).empty());
    EXPECT_EQ(Register(other, priority, 0), 0);
    EXPECT_EQ(ToHex(registration), "62 82 00 0F 06 07 2B 06 01 04 01 CE 0F 02 01 04 02 01 00");
    EXPECT_EQ(session.RegInfo().size(), 4u);
    session.Close(0, 1);
    EXPECT_TRUE(session.RegInfo().empty());
}

// ---- faults: the service loop reports, reconnects, registers again and serves ----

enum Loss { kNoLoss, kDrop, kReset };

struct Fault {
    const char* name;
    const char* bytes; // what the agent sends first
    Loss loss;         // how it ends the connection then (the peer ends it after an undecodable stream)
    bool twice;        // lost again while the next connection's registration waits for its answer
    uint32_t id;       // the failure ProcessRequests reports (0: the closed-connection path)
};

class Faults : public Serving, public ::testing::WithParamInterface<Fault> {};

// A Set waits for its SOutPDU when the fault strikes: it is rolled back, and
// the SOutPDU that strays onto the next connection has nothing to commit.
// With its SOutPDU before the close the Set is stored.
TEST_P(Faults, LoopReconnectsAndServesAgain)
{
    const Fault& fault = GetParam();
    auto lose = [&] { fault.loss == kReset ? agent.Reset() : fault.loss == kDrop ? agent.Drop() : void(); };
    const bool committed = std::string(fault.bytes) == "44 01 00";
    const int descriptors = OpenDescriptors();
    EXPECT_EQ(Exchange(Pdu(0xA3, 1, {{B ".1", Int(7)}})), "A2 #1 0/0: " B ".1=int32:7");
    loop.Start();
    ASSERT_TRUE(agent.Write(Hex(fault.bytes)));
    lose();
    const auto lost = std::chrono::steady_clock::now();
    for (int connection = fault.twice ? 0 : 1; connection < 2; ++connection) {
        ASSERT_TRUE(agent.Accept(10000));
        const Bytes open = ReadPdu(agent), request = ReadPdu(agent);
        EXPECT_EQ(ToHex(open).substr(0, 2) + " " + ToHex(request).substr(0, 2), "60 62") << "OpenPDU and the registration again";
        if (connection == 0)
            lose();
    }
    // What comes before the agent's answer is served while the registration
    // waits: an SOutPDU that has nothing to commit, and a request.
    ASSERT_TRUE(agent.Write(Hex("44 01 00")));
    ASSERT_TRUE(agent.Write(Ask(0xA0, 2, {B ".1"})));
    EXPECT_EQ(Describe(ReadPdu(agent)), std::string("A2 #2 0/0: " B ".1=int32:") + (committed ? "7" : "-42"));
    ASSERT_TRUE(agent.Write(Hex("43 04 00 00 00 03")));
    EXPECT_LT(std::chrono::steady_clock::now() - lost, std::chrono::seconds(5));
    loop.Halt();
    ASSERT_TRUE(agent.Write(Hex("44 01 00"))); // ends the loop's wait
    loop.Stop();
    EXPECT_EQ(static_cast<uint32_t>(loop.lastResult), fault.id);
    EXPECT_EQ(session.Notes(), (std::vector<std::string>{"OnSet 0/0", std::string(committed ? "OnCommit" : "OnRollback") +
                                                                          " " B ".1=7"}));
    ASSERT_EQ(session.RegInfo().size(), 1u) << "one record, registered anew";
    EXPECT_EQ(session.RegInfo()[0]->Priority(), 3) << "with the priority granted this time";
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(
    Serving, Faults,
    ::testing::Values(Fault{"FiveLengthOctets", "30 85 00 00 00 00 05", kNoLoss, false, NYSNMP_LONG_LENGTH_TOO_BIG},
                      Fault{"NoLengthOctets", "30 80 00 00", kNoLoss, false, NYSNMP_ZERO_LONG_LENGTH},
                      Fault{"Undecodable", "A0 03 02 01 05", kNoLoss, false, NYSNMP_INCOMPLETE_PDU},
                      // 48 octets, as many as the length field claims (45) and more
                      Fault{"Garbage", "DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF "
                                       "DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF", kNoLoss, false, NYSNMP_LONG_LENGTH_TOO_BIG},
                      Fault{"DroppedMidPdu", "A0 82 00 30 02 01", kDrop, false, 0},
                      Fault{"DroppedBetweenPdus", "", kDrop, false, 0},
                      Fault{"ResetBetweenPdus", "", kReset, false, 0},
                      Fault{"CommittedThenDropped", "44 01 00", kDrop, false, 0},
                      Fault{"DroppedWhileTheRegistrationWaits", "", kDrop, true, 0},
                      Fault{"ResetWhileTheRegistrationWaits", "", kReset, true, 0}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

} // namespace
