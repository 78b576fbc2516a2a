// Registration and request processing against a fake agent on loopback:
// the PDUs are written and read at wire level, so every rule of the exchange
// and every fault the real agent cannot produce can be staged.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "smux/host_tree.h"
#include "smux/wire.h"

namespace {

constexpr const char* kIdentity = "1.3.6.1.4.1.32473";

Bytes Ask(int32_t type, int32_t id, const std::vector<std::string>& oids)
{
    std::vector<Binding> bindings;
    for (const std::string& oid : oids)
        bindings.emplace_back(oid, Null());
    return Pdu(type, id, bindings);
}

// "A2 #id status/index: oid=syntax:text ..." of an encoded PDU.
std::string Describe(const Bytes& bytes)
{
    if (bytes.empty())
        return "(nothing)";
    NySnmpPdu pdu;
    unsigned int rem = static_cast<unsigned int>(bytes.size());
    pdu.FromAsn(bytes.data(), &rem);
    std::string text = ToHex(bytes.data(), 1) + " #" + std::to_string(pdu.RequestId()) + " " +
                       std::to_string(pdu.ErrorStatus()) + "/" + std::to_string(pdu.ErrorIndex()) + ":";
    for (NySnmpVar* var : pdu.Vars().VarList())
        text += std::string(" ") + var->Oid().AsString() + "=" + var->Value().SyntaxName() + ":" +
                var->Value().AsString();
    return text;
}

// A host session that records what its hooks see and answers as told.
class HostSession : public TestSession {
public:
    using TestSession::TestSession;

    int getAnswer = 0;
    int uncommittedAnswer = 0;
    int committedAnswer = 0;
    int commitAnswer = 0;
    std::vector<std::string> seen;

    int OnSet(NySnmpPdu& response) override
    {
        return Note("OnSet " + std::to_string(response.ErrorStatus()) + "/" + std::to_string(response.ErrorIndex()), 0);
    }
    int OnCommit(NySnmpVbl& staged) override { return Note("OnCommit" + Oids(staged), commitAnswer); }
    int OnRollback(NySnmpVbl& staged) override { return Note("OnRollback" + Oids(staged), 0); }
    int OnMibGet(NyMibObject& node, int32_t param, void*) override
    {
        return Note(std::string("OnMibGet ") + node.Name() + " " + std::to_string(param), getAnswer);
    }
    int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t param, void*) override
    {
        return Note(std::string("OnMibSetUncommitted ") + node.Name() + " " + value.AsString() + " " +
                        std::to_string(param),
                    uncommittedAnswer);
    }
    int OnMibSetCommitted(NyMibObject& node, int32_t param, void*) override
    {
        return Note(std::string("OnMibSetCommitted ") + node.Name() + " " + std::to_string(param), committedAnswer);
    }

private:
    int Note(const std::string& text, int answer)
    {
        seen.push_back(text);
        return answer;
    }
    static std::string Oids(NySnmpVbl& vbl)
    {
        std::string text;
        for (NySnmpVar* var : vbl.VarList())
            text += std::string(" ") + var->Oid().AsString();
        return text;
    }
};

// A session connected to the fake agent, opened, with the host tree registered.
struct Serving : ::testing::Test {
    FakeAgent agent;
    HostTree tree;
    NySnmpManager manager;
    HostSession session{manager};

    void SetUp() override
    {
        ASSERT_EQ(session.Init(0, agent.Port(), "127.0.0.1"), 0);
        ASSERT_TRUE(agent.Accept());
        ASSERT_EQ(session.Open(kIdentity, "nysnmp tests", "secret"), 0);
        ASSERT_EQ(ReadPdu(agent)[0], 0x60);
        int priority = -1;
        ASSERT_EQ(Register(tree.base, priority, 2), 0);
        ASSERT_EQ(ToHex(registration).substr(0, 2), "62");
        ASSERT_EQ(priority, 0);
    }

    // The agent's answer goes out first; the RReqPDU sent is kept in `registration`.
    Bytes registration;
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
            int n = session.Receive(pdu, 1);
            if (n > 0)
                return true;
            if (n < 0)
                return false;
        }
        return false;
    }

    // Hands the agent's PDU to the session and returns the answer, if any.
    Bytes Exchange(const Bytes& request, int answerMs = 2000)
    {
        EXPECT_TRUE(agent.Write(request));
        NySnmpPdu pdu;
        if (!Take(pdu))
            return {};
        session.Respond(pdu);
        return answerMs > 0 ? ReadPdu(agent, answerMs) : Bytes{};
    }
};

#define B HOST_BASE

TEST_F(Serving, GetAndGetNextAnswers)
{
    tree.queue.SetUserEvents(1, 77, nullptr);
    struct Row {
        const char* why;
        int32_t type;
        std::vector<std::string> oids;
        const char* answer;
    } rows[] = {
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
        {"next skips the write-only and the absent node", 0xA1, {B ".8"},
         "A2 #9 0/0: " B ".11.1.2.1=octets:first"},
        {"next walks down a column in instance order", 0xA1, {B ".11.1.2.2"},
         "A2 #9 0/0: " B ".11.1.2.3=octets:third"},
        {"next leaves the table", 0xA1, {B ".11.1.3.3"}, "A2 #9 0/0: " B ".12=octets:carpe diem"},
        {"next past the last object", 0xA1, {B ".12"}, "A2 #9 2/1: " B ".12=null:null"},
        {"bulk is refused", 0xA5, {B ".1"}, "A2 #9 2/1: " B ".1=null:null"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Describe(Exchange(Ask(row.type, 9, row.oids))), row.answer) << row.why;
    }
    EXPECT_EQ(session.seen, std::vector<std::string>{"OnMibGet hostQueue 77"});

    // The read hook refuses: its status and the index of the binding come back.
    tree.name.SetUserEvents(1, 0, nullptr);
    session.getAnswer = 5;
    EXPECT_EQ(Describe(Exchange(Ask(0xA0, 3, {B ".1", B ".2"}))), "A2 #3 5/2: " B ".1=null:null " B ".2=null:null");
    EXPECT_EQ(Describe(Exchange(Ask(0xA1, 4, {B ".1"}))), "A2 #4 5/1: " B ".1=null:null");
}

// Instance 1 of a column is found although an instance that begins with it
// (1.2) comes first in the tree.
TEST_F(Serving, ExactInstanceBehindALongerOne)
{
    NyMibObject top("oidIndexed", "1.3.6.1.4.1.32473.97", &tree.tops, 289, kNoAccess);
    NyMibTable table("oidTable", top, 1);
    NyMibTableEntry longer("oidEntry", table, 1);
    MibInt longerValue("oidValue", longer, 2, kReadWrite);
    NyMibTableEntry shorter("oidEntry", table, 1);
    MibInt shorterValue("oidValue", shorter, 2, kReadWrite);
    uint32_t arcs[] = {1, 2};
    NYSMI_OID instance{2, arcs};
    longer.SetInstanceNumber(instance);
    shorter.SetInstanceNumber(1);
    longerValue.value() = 12;
    shorterValue.value() = 1;
    int priority = -1;
    ASSERT_EQ(Register(top, priority, 2), 0);

    const std::string column = "1.3.6.1.4.1.32473.97.1.1.2";
    EXPECT_EQ(Describe(Exchange(Ask(0xA0, 1, {column + ".1", column + ".1.2"}))),
              "A2 #1 0/0: " + column + ".1=int32:1 " + column + ".1.2=int32:12");
    Exchange(Pdu(0xA3, 2, {{column + ".1", Int(5)}}));
    Exchange(Hex("44 01 00"), 300);
    EXPECT_EQ(shorterValue.value(), 5);
    EXPECT_EQ(longerValue.value(), 12);
    session.Close(0, 1);
}

TEST_F(Serving, SetIsStagedAndCommittedOnTheSOutPdu)
{
    tree.level.SetUserEvents(2 | 4, 5, nullptr);
    EXPECT_EQ(Describe(Exchange(Pdu(0xA3, 21, {{B ".1", Int(7)}, {B ".11.1.2.3", Text("drei")}}))),
              "A2 #21 0/0: " B ".1=int32:7 " B ".11.1.2.3=octets:drei");
    EXPECT_EQ(tree.level.value(), -42) << "a SetRequest only tests";
    EXPECT_EQ(session.StagedVars().Size(), 2u);

    EXPECT_TRUE(Exchange(Hex("44 01 00"), 300).empty()) << "no answer to an SOutPDU";
    EXPECT_EQ(tree.level.value(), 7);
    EXPECT_EQ(tree.Row(3).label.value(), "drei");
    EXPECT_EQ(session.StagedVars().Size(), 0u);
    EXPECT_EQ(session.seen, (std::vector<std::string>{"OnMibSetUncommitted hostLevel 7 5", "OnSet 0/0",
                                                      "OnCommit " B ".1 " B ".11.1.2.3",
                                                      "OnMibSetCommitted hostLevel 5"}));
}

TEST_F(Serving, RollbackAndRefusedCommitStoreNothing)
{
    Exchange(Pdu(0xA3, 1, {{B ".1", Int(7)}}));
    EXPECT_TRUE(Exchange(Hex("44 01 01"), 300).empty());
    EXPECT_EQ(tree.level.value(), -42);
    EXPECT_EQ(session.StagedVars().Size(), 0u);

    session.commitAnswer = 1;
    Exchange(Pdu(0xA3, 2, {{B ".1", Int(8)}}));
    Exchange(Hex("44 01 00"), 300);
    EXPECT_EQ(tree.level.value(), -42);
    EXPECT_EQ(session.StagedVars().Size(), 0u);
    EXPECT_EQ(session.seen, (std::vector<std::string>{"OnSet 0/0", "OnRollback " B ".1", "OnSet 0/0",
                                                      "OnCommit " B ".1"}));
}

TEST_F(Serving, CommittedHookStopsTheCommit)
{
    tree.level.SetUserEvents(4, 0, nullptr);
    session.committedAnswer = 1;
    NySnmpValue gauge;
    gauge.SetGauge32(3);
    Exchange(Pdu(0xA3, 1, {{B ".1", Int(7)}, {B ".4", gauge}}));
    Exchange(Hex("44 01 00"), 300);
    EXPECT_EQ(tree.level.value(), 7);
    EXPECT_EQ(tree.queue.value(), 17u) << "bindings after the refusing hook stay unstored";
}

TEST_F(Serving, SetRefusals)
{
    tree.motto.SetUserEvents(2, 0, nullptr);
    session.uncommittedAnswer = 10;
    struct Row {
        const char* why;
        std::vector<Binding> bindings;
        const char* answer;
    } rows[] = {
        {"second binding read-only", {{B ".1", Int(1)}, {B ".2", Int(2)}},
         "A2 #6 6/2: " B ".1=int32:1 " B ".2=int32:2"},
        {"second binding of the wrong kind", {{B ".1", Int(1)}, {B ".11.1.2.1", Int(2)}},
         "A2 #6 3/2: " B ".1=int32:1 " B ".11.1.2.1=int32:2"},
        {"read-only", {{B ".3", Int(1)}}, "A2 #6 6/1: " B ".3=int32:1"},
        {"unknown", {{B ".77", Int(1)}}, "A2 #6 2/1: " B ".77=int32:1"},
        {"column without its instance", {{B ".11.1.2", Text("x")}}, "A2 #6 2/1: " B ".11.1.2=octets:x"},
        {"hook refuses", {{B ".12", Text("y")}}, "A2 #6 10/1: " B ".12=octets:y"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Describe(Exchange(Pdu(0xA3, 6, row.bindings))), row.answer) << row.why;
        EXPECT_EQ(session.StagedVars().Size(), 0u) << row.why;
    }
    Exchange(Hex("44 01 00"), 300);
    EXPECT_EQ(tree.level.value(), -42);
    EXPECT_EQ(tree.queue.value(), 17u);
    EXPECT_EQ(tree.motto.value(), "carpe diem");
    for (auto& row : tree.rows)
        EXPECT_NE(row->label.value(), "x");
}

TEST_F(Serving, SmuxPdusAreNotAnswered)
{
    for (const char* pdu : {"44 01 00", "41 01 05", "43 01 00", "43 04 00 00 00 00", "A2 82 00 0D 02 01 05 02 01 00 02 01 00 30 82 00 00"}) {
        ASSERT_TRUE(agent.Write(Hex(pdu)));
        NySnmpPdu taken;
        ASSERT_TRUE(Take(taken)) << pdu;
        EXPECT_EQ(session.Respond(taken), 0) << pdu;
        EXPECT_TRUE(agent.ReadAvailable(100).empty()) << pdu;
    }
}

TEST_F(Serving, TwoPdusInOneSegmentAndOnePduInTwo)
{
    Bytes first = Ask(0xA0, 1, {B ".1"});
    Bytes second = Ask(0xA0, 2, {B ".2"});
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(agent.Write(both));
    NySnmpPdu pdu;
    ASSERT_TRUE(Take(pdu));
    EXPECT_EQ(pdu.RequestId(), 1);
    EXPECT_EQ(session.ReceiveRecord().length, second.size());
    EXPECT_GT(session.Receive(pdu, 1), 0) << "the second is already there";
    EXPECT_EQ(pdu.RequestId(), 2);
    EXPECT_EQ(session.ReceiveRecord().length, 0u);

    const size_t cut = 7;
    ASSERT_TRUE(agent.Write(Bytes(first.begin(), first.begin() + cut)));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(session.Receive(pdu, 1), 0);
    EXPECT_EQ(session.ReceiveRecord().length, cut);
    ASSERT_TRUE(agent.Write(Bytes(first.begin() + cut, first.end())));
    ASSERT_TRUE(Take(pdu));
    EXPECT_EQ(pdu.RequestId(), 1);
    EXPECT_EQ(pdu.Vars().Size(), 1u);
}

TEST_F(Serving, PduFillingTheReceiveAreaIsAwaited)
{
    // 5 header and 65,531 content bytes: the whole area, just not there yet.
    ASSERT_TRUE(agent.Write(Hex("30 83 00 FF FB 02 01")));
    NySnmpPdu pdu;
    EXPECT_EQ(session.Receive(pdu, 1), 0);
    EXPECT_EQ(session.Receive(pdu, 1), 0);
    EXPECT_EQ(session.ReceiveRecord().length, 7u);
}

TEST_F(Serving, PduLongerThanTheReceiveAreaBreaksTheStream)
{
    // One byte more could never be complete in the area.
    ASSERT_TRUE(agent.Write(Hex("30 83 00 FF FC 02 01")));
    NySnmpPdu pdu;
    auto e = Caught([&] {
        for (int i = 0; i < 3; ++i)
            session.Receive(pdu, 1);
    });
    EXPECT_EQ(IdOf(e), NYSNMP_SEQ_TOO_LONG);
    EXPECT_STREQ(e ? e->ThrownBy() : "", "NySmuxSession::Receive");
    EXPECT_EQ(session.ReceiveRecord().length, 0u);
}

TEST_F(Serving, ProcessRequestsStopFlagAndEvent)
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

    // Timeout 0: takes what has arrived, then returns; the Get is answered
    // by a later call.
    stop = 0;
    Bytes answer;
    for (int i = 0; i < 10 && answer.empty(); ++i) {
        EXPECT_EQ(session.ProcessRequests(stop, 0, nullptr), 0);
        answer = agent.ReadAvailable(50);
    }
    EXPECT_EQ(Describe(answer), "A2 #1 0/0: " B ".1=int32:-42");
}

// ---- registration ------------------------------------------------------

TEST_F(Serving, RegisterOnTheWireAndTheGrantedPriority)
{
    NyMibObject other("other", "1.3.6.1.4.1.9999", &tree.tops, 289, kNoAccess);
    struct Row {
        const char* answer;
        int result;
        int priority;
    } rows[] = {
        {"43 01 05", 0, 5},
        {"43 01 FF", 0, 255},              // refusal, as one octet
        {"43 04 00 00 00 07", 0, 7},       // net-snmp writes four octets
        {"43 04 00 00 01 02", 0, 258},
        {"43 04 FF FF FF FF", 0, 255},     // refusal, as four octets
    };
    for (const Row& row : rows) {
        int priority = -1;
        EXPECT_EQ(Register(other, priority, 2, row.answer), row.result) << row.answer;
        EXPECT_EQ(ToHex(registration), "62 82 00 0F 06 07 2B 06 01 04 01 CE 0F 02 01 FF 02 01 02");
        EXPECT_EQ(priority, row.priority) << row.answer;
        EXPECT_EQ(session.RegInfo().back()->Priority(), row.priority) << row.answer;
        EXPECT_EQ(&session.RegInfo().back()->Object(), &other);
    }
    // An answer without its INTEGER cannot be read: the caller hears of it,
    // and the session stays usable.
    int priority = 4;
    EXPECT_EQ(IdOf(Caught([&] { Register(other, priority, 2, "43 00"); })), NYSNMP_INCOMPLETE_PDU);
    EXPECT_EQ(priority, 4);
    EXPECT_EQ(ToHex(ReadPdu(agent)).substr(0, 2), "62");
    EXPECT_EQ(Describe(Exchange(Ask(0xA0, 8, {B ".1"}))), "A2 #8 0/0: " B ".1=int32:-42");
    session.Close(0, 1);
}

// The agent's answer comes a moment after the request; requests that arrive
// first are answered meanwhile.
TEST_F(Serving, RegisterWaitsForTheAnswer)
{
    NyMibObject other("other", "1.3.6.1.4.1.9999", &tree.tops, 289, kNoAccess);
    std::string answered;
    std::thread agentSide([&] {
        Bytes request = ReadPdu(agent);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        agent.Write(Ask(0xA0, 4, {B ".1"}));
        answered = Describe(ReadPdu(agent));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        agent.Write(Hex("43 04 00 00 00 03"));
    });
    int priority = 3;
    EXPECT_EQ(session.Register(other, priority, 1), 0);
    agentSide.join();
    EXPECT_EQ(priority, 3);
    EXPECT_EQ(answered, "A2 #4 0/0: " B ".1=int32:-42");
    ASSERT_EQ(session.RegInfo().size(), 2u);
    EXPECT_EQ(session.RegInfo()[1]->Action(), 1);
    EXPECT_EQ(session.RegInfo()[1]->Priority(), 3);
}

TEST_F(Serving, RegisterOperations)
{
    int priority = -1;
    EXPECT_EQ(session.Register(tree.base, priority, 3), -1);
    EXPECT_EQ(session.Register(tree.base, priority, -1), -1);
    EXPECT_TRUE(agent.ReadAvailable(100).empty());
    EXPECT_EQ(session.RegInfo().size(), 1u);

    // The same node twice gets two records; a delete removes the first only.
    NyMibObject other("other", "1.3.6.1.4.1.9999", &tree.tops, 289, kNoAccess);
    for (int operation : {1, 2, 0})
        EXPECT_EQ(Register(other, priority, operation), 0);
    EXPECT_EQ(ToHex(registration), "62 82 00 0F 06 07 2B 06 01 04 01 CE 0F 02 01 00 02 01 00");
    ASSERT_EQ(session.RegInfo().size(), 2u);
    EXPECT_EQ(&session.RegInfo()[1]->Object(), &other);
    EXPECT_EQ(session.RegInfo()[1]->Action(), 2);

    // A delete of what was never registered is sent and removes nothing.
    NyMibObject stranger("stranger", "1.3.6.1.4.1.8888", &tree.tops, 289, kNoAccess);
    EXPECT_EQ(Register(stranger, priority, 0), 0);
    EXPECT_EQ(ToHex(registration).substr(0, 2), "62");
    EXPECT_EQ(session.RegInfo().size(), 2u);
    session.Close(0, 1);
    EXPECT_TRUE(session.RegInfo().empty());
}

TEST(Registration, WithoutASocketTheRecordIsStillKept)
{
    HostTree tree;
    NySnmpManager manager;
    HostSession session(manager);
    int priority = -1;
    EXPECT_EQ(session.Register(tree.base, priority, 2), -1);
    ASSERT_EQ(session.RegInfo().size(), 1u);
    EXPECT_EQ(session.Close(0, 1), 0);
    EXPECT_TRUE(session.RegInfo().empty());
}

// ---- faults: the loop reports, reconnects, registers again and serves ----

struct Fault {
    const char* name;
    const char* why;
    Bytes bytes;     // what the agent sends before it drops the connection
    uint32_t id;     // what ProcessRequests returns (0: the closed-connection path)
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.why;
}

class Faults : public Serving, public ::testing::WithParamInterface<Fault> {};

TEST_P(Faults, LoopReconnectsAndServesAgain)
{
    const Fault& fault = GetParam();
    // A Set waits for its SOutPDU when the fault strikes.
    EXPECT_EQ(Describe(Exchange(Pdu(0xA3, 1, {{B ".1", Int(7)}}))), "A2 #1 0/0: " B ".1=int32:7");

    std::atomic<bool> done{false};
    std::string renewed, answer;
    std::thread agentSide([&] {
        agent.Write(fault.bytes);
        if (fault.id == 0)
            agent.Drop();
        if (!agent.Accept(10000))
            return;
        renewed = ToHex(ReadPdu(agent).data(), 1);
        renewed += " " + ToHex(ReadPdu(agent).data(), 1);
        agent.Write(Hex("43 01 00"));
        // The new association's first SOutPDU has nothing to commit: the
        // host's commit hook is not called for it.
        agent.Write(Hex("44 01 00"));
        agent.Write(Ask(0xA0, 2, {B ".1"}));
        answer = Describe(ReadPdu(agent, 10000));
        done = true;
    });
    int volatile stop = 0;
    EXPECT_EQ(static_cast<uint32_t>(session.ProcessRequests(stop, 20, nullptr)), fault.id) << fault.why;
    for (int i = 0; i < 40 && !done; ++i)
        session.ProcessRequests(stop, 0, nullptr);
    agentSide.join();
    EXPECT_EQ(renewed, "60 62") << "OpenPDU and the registration again";
    EXPECT_EQ(answer, "A2 #2 0/0: " B ".1=int32:-42") << fault.why;
    EXPECT_EQ(tree.level.value(), -42) << "nothing staged is committed by mistake";
    EXPECT_EQ(session.seen, (std::vector<std::string>{"OnSet 0/0", "OnRollback " B ".1"}));
}

INSTANTIATE_TEST_SUITE_P(
    Serving, Faults,
    ::testing::Values(
        Fault{"FiveLengthOctets", "length field of five octets", Hex("30 85 00 00 00 00 05"), NYSNMP_LONG_LENGTH_TOO_BIG},
        Fault{"NoLengthOctets", "long length form without octets", Hex("30 80 00 00"), NYSNMP_ZERO_LONG_LENGTH},
        Fault{"Undecodable", "PDU that does not decode", Hex("A0 03 02 01 05"), NYSNMP_INCOMPLETE_PDU},
        Fault{"Garbage", "garbage", Hex("DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF "
                                       "DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF DEADBEEF"),
              NYSNMP_LONG_LENGTH_TOO_BIG},
        Fault{"DroppedMidPdu", "dropped mid-PDU", Hex("A0 82 00 30 02 01"), 0},
        Fault{"DroppedBetweenPdus", "dropped between PDUs", Bytes{}, 0}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

} // namespace
