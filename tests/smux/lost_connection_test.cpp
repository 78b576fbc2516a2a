// A host's service loop whose connection to the agent is reset or closed at
// awkward moments, against a fake agent on loopback: the loop comes back on
// its own with its registration, and a Set whose SOutPDU was lost with the
// connection is never stored.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "smux/host_tree.h"
#include "smux/service_loop.h"
#include "smux/wire.h"

namespace {

#define B HOST_BASE

constexpr const char* kIdentity = "1.3.6.1.4.1.32473.99";

// "#id status/index value" of the agent's view of an answer.
std::string Answer(const Bytes& bytes)
{
    if (bytes.empty() || bytes[0] != 0xA2)
        return "(no answer)";
    NySnmpPdu pdu;
    unsigned int rem = static_cast<unsigned int>(bytes.size());
    pdu.FromAsn(bytes.data(), &rem);
    std::string text = "#" + std::to_string(pdu.RequestId()) + " " + std::to_string(pdu.ErrorStatus()) + "/" +
                       std::to_string(pdu.ErrorIndex());
    for (NySnmpVar* var : pdu.Vars().VarList())
        text += std::string(" ") + var->Value().AsString();
    return text;
}

// A host that notes what its commit and rollback hooks see; the loop's
// thread writes the notes, the test reads them.
class NotingSession : public TestSession {
public:
    using TestSession::TestSession;

    int OnCommit(NySnmpVbl& staged) override { return Note("commit", staged); }
    int OnRollback(NySnmpVbl& staged) override { return Note("rollback", staged); }
    int OnMibSetCommitted(NyMibObject& node, int32_t, void*) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_notes.push_back(std::string("stored ") + node.Name());
        return 0;
    }
    std::vector<std::string> Notes()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_notes;
    }

private:
    int Note(const char* what, NySnmpVbl& staged)
    {
        std::string text = what;
        for (NySnmpVar* var : staged.VarList())
            text += std::string(" ") + var->Oid().AsString() + "=" + var->Value().AsString();
        std::lock_guard<std::mutex> guard(m_lock);
        m_notes.push_back(text);
        return 0;
    }
    std::mutex m_lock;
    std::vector<std::string> m_notes;
};

// How the agent's end of the connection goes away.
enum class Loss { Reset, Close };

void Lose(FakeAgent& agent, Loss loss)
{
    if (loss == Loss::Reset)
        agent.Reset();
    else
        agent.Drop();
}

struct LostConnection : ::testing::Test {
    FakeAgent agent;
    HostTree tree;
    NySnmpManager manager;
    NotingSession session{manager};
    ServiceLoop loop{session};

    void SetUp() override
    {
        tree.level.SetUserEvents(4, 0, nullptr);
        ASSERT_EQ(session.Init(0, agent.Port(), "127.0.0.1"), 0);
        ASSERT_TRUE(agent.Accept());
        ASSERT_EQ(session.Open(kIdentity, "nysnmp lost connection", "secret"), 0);
        ASSERT_EQ(ReadPdu(agent)[0], 0x60);
        ASSERT_TRUE(agent.Write(Hex("43 01 00")));
        int priority = -1;
        ASSERT_EQ(session.Register(tree.base, priority, 2), 0);
        ASSERT_EQ(ReadPdu(agent)[0], 0x62);
        loop.Start();
    }

    void TearDown() override
    {
        loop.Stop();
        session.End();
    }

    // The peer's next connection: its OpenPDU and registration, answered.
    // Whether the peer came back within the time.
    bool Reassociated(int ms = 10000)
    {
        if (!agent.Accept(ms))
            return false;
        Bytes open = ReadPdu(agent);
        Bytes registration = ReadPdu(agent);
        if (open.empty() || open[0] != 0x60 || registration.empty() || registration[0] != 0x62)
            return false;
        return agent.Write(Hex("43 01 00"));
    }

    std::string Get(int32_t id, const char* oid)
    {
        agent.Write(Pdu(0xA0, id, {{oid, Null()}}));
        return Answer(ReadPdu(agent));
    }
};

// The agent's end reset or closed, idle or while the registration of the
// next connection waits for its answer: every time the loop is back within
// a few seconds, registered again, without a descriptor more.
TEST_F(LostConnection, LoopComesBackAfterEveryLoss)
{
    const int descriptors = OpenDescriptors();
    struct Row {
        const char* why;
        Loss loss;
        bool duringRegistration;
    } rows[] = {
        {"reset while idle", Loss::Reset, false},
        {"closed while idle", Loss::Close, false},
        {"reset while the registration waits", Loss::Reset, true},
        {"closed while the registration waits", Loss::Close, true},
        {"reset again", Loss::Reset, false},
    };
    int32_t id = 10;
    for (const Row& row : rows) {
        Lose(agent, row.loss);
        const auto lost = std::chrono::steady_clock::now();
        if (row.duringRegistration) {
            ASSERT_TRUE(agent.Accept(10000)) << row.why;
            ASSERT_EQ(ReadPdu(agent)[0], 0x60) << row.why;
            ASSERT_EQ(ReadPdu(agent)[0], 0x62) << row.why;
            Lose(agent, row.loss);
        }
        ASSERT_TRUE(Reassociated()) << row.why;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lost);
        EXPECT_LT(ms.count(), 5000) << row.why;
        ++id;
        EXPECT_EQ(Get(id, B ".1"), "#" + std::to_string(id) + " 0/0 -42") << row.why;
    }
    EXPECT_EQ(session.RegInfo().size(), 1u) << "one record, registered anew each time";
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_TRUE(session.Notes().empty());
}

// A SetRequest answered (or not yet answered) when the connection goes: the
// SOutPDU can no longer come, so the staged binding is rolled back, and a
// commit on the next connection has nothing to store.
TEST_F(LostConnection, SetWithoutItsSOutPduIsNeverStored)
{
    struct Row {
        const char* why;
        Loss loss;
        bool answerRead;  // the agent waits for the peer's answer first
    } rows[] = {
        {"reset after the answer", Loss::Reset, true},
        {"closed after the answer", Loss::Close, true},
        {"reset right behind the request", Loss::Reset, false},
        {"closed right behind the request", Loss::Close, false},
    };
    int32_t id = 100;
    int value = 1;
    for (const Row& row : rows) {
        ++id;
        ++value;
        ASSERT_TRUE(agent.Write(Pdu(0xA3, id, {{B ".1", Int(value)}}))) << row.why;
        if (row.answerRead) {
            ASSERT_EQ(Answer(ReadPdu(agent)), "#" + std::to_string(id) + " 0/0 " + std::to_string(value)) << row.why;
        }
        Lose(agent, row.loss);
        ASSERT_TRUE(Reassociated()) << row.why;

        // A commit that strays onto the new association, then a read.
        ASSERT_TRUE(agent.Write(Hex("44 01 00")));
        EXPECT_EQ(Get(id + 50, B ".1"), "#" + std::to_string(id + 50) + " 0/0 -42") << row.why;
        const std::vector<std::string> notes = session.Notes();
        for (const std::string& note : notes) {
            EXPECT_EQ(note.find("commit"), std::string::npos) << row.why << ": " << note;
            EXPECT_EQ(note.find("stored"), std::string::npos) << row.why << ": " << note;
        }
        // Answered or not, a staged binding was given back to the host.
        if (row.answerRead) {
            ASSERT_FALSE(notes.empty()) << row.why;
            EXPECT_EQ(notes.back(), "rollback " B ".1=" + std::to_string(value)) << row.why;
        }
    }
    loop.Stop();
    std::lock_guard<NySocketMutex> guard(session.MibMutex());
    EXPECT_EQ(tree.level.value(), -42);
    EXPECT_EQ(session.StagedVars().Size(), 0u);
}

// The same Set with its SOutPDU on the same connection is stored: the
// losses above are what keep the value, not a peer that never commits.  As
// net-snmp does it, one SetRequest and one SOutPDU per binding: the first
// SOutPDU commits both, the second finds nothing and tells no hook.
TEST_F(LostConnection, SetWithItsSOutPduIsStored)
{
    ASSERT_TRUE(agent.Write(Pdu(0xA3, 7, {{B ".1", Int(5)}})));
    ASSERT_EQ(Answer(ReadPdu(agent)), "#7 0/0 5");
    ASSERT_TRUE(agent.Write(Pdu(0xA3, 8, {{B ".12", Text("ave!")}})));
    ASSERT_EQ(Answer(ReadPdu(agent)), "#8 0/0 ave!");
    ASSERT_TRUE(agent.Write(Hex("44 01 00 44 01 00")));
    EXPECT_EQ(Get(9, B ".1"), "#9 0/0 5");
    EXPECT_EQ(Get(10, B ".12"), "#10 0/0 ave!");
    EXPECT_EQ(session.Notes(), (std::vector<std::string>{"commit " B ".1=5 " B ".12=ave!", "stored hostLevel"}));
}

// The agent commits and closes the connection right behind the SOutPDU: the
// commit it announced to the manager is not lost with the connection.
TEST_F(LostConnection, CommitJustBeforeTheCloseIsStored)
{
    ASSERT_TRUE(agent.Write(Pdu(0xA3, 7, {{B ".1", Int(6)}})));
    ASSERT_EQ(Answer(ReadPdu(agent)), "#7 0/0 6");
    ASSERT_TRUE(agent.Write(Hex("44 01 00")));
    agent.Drop();
    ASSERT_TRUE(Reassociated());
    EXPECT_EQ(Get(8, B ".1"), "#8 0/0 6");
    EXPECT_EQ(session.Notes(), (std::vector<std::string>{"commit " B ".1=6", "stored hostLevel"}));
}

} // namespace
