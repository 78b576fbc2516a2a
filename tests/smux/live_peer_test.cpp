// The session as an SMUX peer of net-snmp's snmpd on loopback: a host tree is
// registered, ProcessRequests runs on a service thread, and net-snmp's own
// tools read and write the tree through the agent.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "nysmuxpeer.h"
#include "smux/host_tree.h"
#include "smux/service_loop.h"
#include "support/agent.h"
#include "support/caught.h"

namespace {

constexpr const char* kIdentity = "1.3.6.1.4.1.32473.99";
constexpr const char* kPassword = "live-peer";

#define B HOST_BASE

// A host session: OnMibSetUncommitted refuses with the node's user
// parameter; the Set hooks note the value the node holds when they run.
class LiveSession : public NySmuxSession {
public:
    using NySmuxSession::NySmuxSession;

    std::mutex notesLock;
    std::vector<std::string> notes;

    int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t param, void*) override
    {
        Note(std::string("test ") + value.AsString() + " holding " + Held(node));
        return param;
    }
    int OnMibSetCommitted(NyMibObject& node, int32_t, void*) override
    {
        Note("committed holding " + Held(node));
        return 0;
    }

private:
    static std::string Held(NyMibObject& node)
    {
        NySnmpValue value;
        node.get(value);
        return value.AsString();
    }
    void Note(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(notesLock);
        notes.push_back(text);
    }
};

// What every readable object of the host tree is, in walk order.
const std::vector<std::string> kReadable = {
    "." B ".1", "." B ".2", "." B ".3", "." B ".4", "." B ".5", "." B ".6", "." B ".7", "." B ".8",
    "." B ".11.1.2.1", "." B ".11.1.2.2", "." B ".11.1.2.3",
    "." B ".11.1.3.1", "." B ".11.1.3.2", "." B ".11.1.3.3", "." B ".12"};

struct LivePeer : ::testing::Test {
    SnmpAgent agent;
    HostTree tree;
    NySnmpManager manager;
    LiveSession session{manager};
    int granted = -1;
    ServiceLoop loop{session};

    void SetUp() override
    {
        agent.Options().smuxPeers.push_back({kIdentity, kPassword});
        ASSERT_TRUE(agent.Start()) << agent.Error();
        ASSERT_EQ(session.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
        ASSERT_EQ(session.Open(kIdentity, "nysnmp live peer", kPassword), 0);
        ASSERT_EQ(session.Register(tree.base, granted, 2), 0);
        loop.Start();
    }

    void TearDown() override
    {
        loop.Stop();
        Caught([this] { session.Close(NYSMUX_GOING_DOWN, 5); });  // the connection may be gone
        session.End();
    }

    void ExpectWholeWalk(const std::string& version, const std::vector<std::string>& expected)
    {
        CommandResult r = agent.Walk(B, version);
        EXPECT_EQ(r.status, 0) << version << "\n" << r.out << r.err << agent.Log();
        EXPECT_EQ(WalkedOids(r.out), expected) << version << "\n" << r.out << r.err;
        EXPECT_EQ(r.err, "") << version;
    }
};

TEST_F(LivePeer, GetAndWalkAnswerWithTheHostValuesAndTypes)
{
    EXPECT_EQ(granted, 0) << "the lowest free priority";
    CommandResult r = agent.Get({B ".1", B ".2", B ".3", B ".4", B ".5", B ".6", B ".7", B ".8", B ".11.1.2.1",
                                 B ".11.1.3.2", B ".12"});
    EXPECT_EQ(r.status, 0) << r.err << agent.Log();
    EXPECT_EQ(r.out,
              "." B ".1 = INTEGER: -42\n"
              "." B ".2 = STRING: \"nysnmp test host\"\n"
              "." B ".3 = Counter32: 4000000000\n"
              "." B ".4 = Gauge32: 17\n"
              "." B ".5 = Timeticks: (123456) 0:20:34.56\n"
              "." B ".6 = OID: .1.3.6.1.4.1.32473.1\n"
              "." B ".7 = IpAddress: 127.0.0.1\n"
              "." B ".8 = Counter64: 4294967298\n"
              "." B ".11.1.2.1 = STRING: \"first\"\n"
              "." B ".11.1.3.2 = Gauge32: 20\n"
              "." B ".12 = STRING: \"carpe diem\"\n");

    // Objects the peer does not answer.
    for (const char* oid : {B ".9", B ".10", B ".11.1.1.1", B ".11.1.2", B ".1.0", B ".13"}) {
        CommandResult missing = agent.Get({oid});
        EXPECT_NE(missing.out.find("No Such"), std::string::npos) << oid << ": " << missing.out << missing.err;
    }
    // A walk returns every readable object once, in order.
    ExpectWholeWalk("-v2c", kReadable);
    // SNMPv1 cannot carry a Counter64: the agent passes it over.
    std::vector<std::string> v1 = kReadable;
    v1.erase(v1.begin() + 7);
    ExpectWholeWalk("-v1", v1);
}

TEST_F(LivePeer, SetStoresAtTheCommit)
{
    tree.level.SetUserEvents(2 | 4, 0, nullptr);
    // net-snmp sends one SetRequest per binding, then one SOutPDU each.
    CommandResult r = agent.Set({B ".1", "i", "5", B ".11.1.2.2", "s", "zwei"});
    EXPECT_EQ(r.status, 0) << r.err << agent.Log();
    // The agent's Get before the Set is refused for a write-only object,
    // which does not keep the Set from going through.
    r = agent.Set({B ".9", "i", "6"});
    EXPECT_EQ(r.status, 0) << r.err;
    // snmpd answers the manager as it sends the SOutPDU, so the peer's loop
    // may take the commit a moment after snmpset has returned.
    WaitFor([&] {
        std::lock_guard<NySocketMutex> guard(session.MibMutex());
        return tree.secret.value() == 6 && tree.Row(2).label.value() == "zwei";
    }, 5000, 100);
    {
        std::lock_guard<NySocketMutex> guard(session.MibMutex());
        EXPECT_EQ(tree.secret.value(), 6);
        EXPECT_EQ(tree.level.value(), 5);
        EXPECT_EQ(tree.Row(2).label.value(), "zwei");
    }
    {
        std::lock_guard<std::mutex> guard(session.notesLock);
        EXPECT_EQ(session.notes, (std::vector<std::string>{"test 5 holding -42", "committed holding 5"}));
    }
    EXPECT_NE(agent.Get({B ".11.1.2.2"}).out.find("\"zwei\""), std::string::npos);
}

TEST_F(LivePeer, RefusedSetsLeaveTheTreeAlone)
{
    tree.motto.SetUserEvents(2, 5, nullptr);  // the host refuses with genErr
    struct Row {
        const char* why;
        std::vector<std::string> args;
        std::vector<std::string> errors;  // one of these in the tool's report
    } rows[] = {
        {"read-only", {B ".2", "s", "x"}, {"notWritable", "noAccess"}},
        {"wrong type", {B ".1", "s", "x"}, {"wrongType", "badValue"}},
        {"refused by the host", {B ".12", "s", "x"}, {"genErr"}},
    };
    for (const Row& row : rows) {
        CommandResult r = agent.Set(row.args);
        EXPECT_NE(r.status, 0) << row.why;
        bool named = false;
        for (const std::string& error : row.errors)
            named = named || r.err.find(error) != std::string::npos || r.out.find(error) != std::string::npos;
        EXPECT_TRUE(named) << row.why << ": " << r.out << r.err;
    }
    std::lock_guard<NySocketMutex> guard(session.MibMutex());
    EXPECT_EQ(tree.name.value(), "nysnmp test host");
    EXPECT_EQ(tree.level.value(), -42);
    EXPECT_EQ(tree.motto.value(), "carpe diem");
}

// Values changed under the MIB mutex are read whole: every string is one of
// the two the writer alternates, every Counter64 has equal halves.
TEST_F(LivePeer, ValuesChangedWhileWalkingAreNeverTorn)
{
    const std::string longText(300, 'L');
    const std::string shortText(20, 's');
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (uint32_t i = 0; writing && i < 1000000; ++i) {
            {
                std::lock_guard<NySocketMutex> guard(session.MibMutex());
                const std::string& text = (i % 2) ? longText : shortText;
                tree.name.value() = text;
                tree.motto.value() = text;
                for (auto& row : tree.rows)
                    row->label.value() = text;
                tree.bytes.value() = (uint64_t{i} << 32) | i;
            }
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 3; ++round) {
        CommandResult r = agent.Walk(B);
        EXPECT_EQ(WalkedOids(r.out), kReadable) << r.out << r.err;
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line)) {
            size_t at = line.find("STRING: \"");
            if (at != std::string::npos) {
                std::string text = line.substr(at + 9, line.size() - at - 10);
                EXPECT_TRUE(text == longText || text == shortText) << line;
            }
            at = line.find("Counter64: ");
            if (at != std::string::npos) {
                uint64_t value = std::stoull(line.substr(at + 11));
                EXPECT_EQ(value >> 32, value & 0xFFFFFFFFu) << line;
            }
        }
    }
    writing = false;
    writer.join();
}

// A second subtree asks for a priority of its own; the agent's answer comes
// back whole (net-snmp writes it in four octets).
TEST_F(LivePeer, GrantedPriorityReachesTheCaller)
{
    loop.Stop();
    NyMibObject extra("hostExtra", "1.3.6.1.4.1.32473.98", &tree.tops, 289, kNoAccess);
    MibInt answer("hostAnswer", extra, 1, kReadOnly);
    answer.value() = 41;
    int priority = 9;
    EXPECT_EQ(session.Register(extra, priority, 1), 0);
    EXPECT_EQ(priority, 9);
    ASSERT_EQ(session.RegInfo().size(), 2u);
    EXPECT_EQ(session.RegInfo()[1]->Priority(), 9);

    loop.Start();
    CommandResult r = agent.Get({"1.3.6.1.4.1.32473.98.1"});
    EXPECT_NE(r.out.find("INTEGER: 41"), std::string::npos) << r.out << r.err << agent.Log();
    loop.Stop();
    // The record goes with the node, before the node does.  The agent ends
    // the association when it reads the ClosePDU.
    EXPECT_EQ(session.Close(NYSMUX_GOING_DOWN, 10), 0);
    EXPECT_EQ(session.Socket()->Handle(), -1) << agent.Log();
    EXPECT_EQ(session.End(), 0);
}

} // namespace
