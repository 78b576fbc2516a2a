// The AgentX session under net-snmp's snmpd as master on loopback: the same
// answers as the SMUX session gives for the same tree, Sets with their undo,
// a Notify at snmptrapd, and a master that restarts.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "nyagentx.h"
#include "smux/peer.h"

namespace {

class HostSession : public NyAgentxSession {
public:
    using NyAgentxSession::NyAgentxSession;
    int OnMibSetCommitted(NyMibObject& node, int32_t param, void*) override { return node.UserParam() ? param : 0; }
    int OnRollback(NySnmpVbl&) override
    {
        ++rollbacks;
        return 0;
    }
    std::atomic<int> rollbacks{0};
};

struct AgentxMaster : SnmpdHost<HostSession> {
    void Start(bool tcp = false)
    {
        agent.Options().agentx = true;
        agent.Options().agentxTcp = tcp;
        agent.Options().smuxPeers.push_back({B, "same-tree"});
        StartAgent("trap2sink");
        ASSERT_EQ(session.Init(agent.AgentxAddress().c_str()), 0);
        ASSERT_EQ(session.Open(B, "nysnmp agentx test", 0), 0);
        int priority = NYAGENTX_DEFAULT_PRIORITY;
        ASSERT_EQ(session.Register(tree->base, priority, 0), 0);
        loop.Start();
    }
};

// What net-snmp's tools print for these requests.
const std::vector<std::pair<std::string, std::vector<std::string>>> kQueries = {
    {"snmpget", {B ".1", B ".2", B ".3", B ".4", B ".5", B ".6", B ".7", B ".8", B ".11.1.2.1", B ".12"}},
    {"snmpget", {B ".11.1.3.9"}},
    {"snmpgetnext", {B ".8", B ".11", B ".11.1.3.3"}},
    {"snmpwalk", {B}},
    {"snmpbulkwalk", {"-Cr25", B}},
    {"snmpbulkget", {"-Cn1", "-Cr4", B ".3", B ".11.1.2", B ".11.1.3.1"}},
};

} // namespace

// The same tree served through SMUX first, then through AgentX, answers
// every query the same, printed octet for octet.
TEST_F(AgentxMaster, AnswersAsTheSmuxSessionDoes)
{
    Start();
    std::vector<CommandResult> viaAgentx;
    for (const auto& q : kQueries)
        viaAgentx.push_back(agent.Tool(q.first, q.second));
    // Where SMUX can only say noSuchName (shown as no such instance), AgentX
    // tells an unknown object apart.
    EXPECT_NE(agent.Get({B ".13"}).out.find("No Such Object"), std::string::npos);
    loop.Stop();
    session.Unregister(tree->base);
    NySmuxSession smux(manager);
    ASSERT_EQ(smux.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
    ASSERT_EQ(smux.Open(B, "same tree", "same-tree"), 0);
    int granted = -1;
    ASSERT_EQ(smux.Register(tree->base, granted, 2), 0);
    ServiceLoop smuxLoop{smux};
    smuxLoop.Start();
    for (size_t i = 0; i < kQueries.size(); ++i) {
        EXPECT_NE(viaAgentx[i].out, "") << kQueries[i].first << "\n" << viaAgentx[i].err;
        EXPECT_EQ(agent.Tool(kQueries[i].first, kQueries[i].second).out, viaAgentx[i].out) << kQueries[i].first;
    }
}

TEST_F(AgentxMaster, SetsCommitOrAreUndone)
{
    Start();
    EXPECT_EQ(agent.Set({B ".1", "i", "5", B ".11.1.2.2", "s", "zwei"}).status, 0);
    EXPECT_TRUE(Holds([&] { return tree->level.value() == 5 && tree->Row(2).label.value() == "zwei"; }));
    EXPECT_EQ(session.rollbacks, 0);

    // The motto's commit fails after the level was stored: both are undone.
    tree->motto.SetUserEvents(4, 5, nullptr);
    CommandResult r = agent.Set({B ".1", "i", "6", B ".12", "s", "no"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("genError"), std::string::npos) << r.err; // snmpd's word for commitFailed
    EXPECT_TRUE(Holds([&] { return session.rollbacks == 1 && tree->level.value() == 5 && tree->motto.value() == "carpe diem"; }));

    // Refused in the test, at the second binding: nothing stored.
    r = agent.Set({B ".1", "i", "7", B ".2", "s", "x"});
    EXPECT_NE(r.err.find("notWritable"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Failed object: ." B ".2\n"), std::string::npos) << r.err;
    EXPECT_TRUE(Holds([&] { return session.rollbacks == 2 && tree->level.value() == 5; }));
}

TEST_F(AgentxMaster, NotifyReachesTheTrapReceiverAsSnmpV2Trap)
{
    NyMibTrap trap("hostTrap", tree->base, 7);
    MibOctets text("hostTrapText", trap, 1, kReadOnly);
    text.value() = "on air";
    Start();
    ExpectTrapLogged(trap, {"." B ".7.1 = STRING: \"on air\"", ".1.3.6.1.6.3.1.1.4.1.0 = OID: ." B ".0.7",
                            ".1.3.6.1.2.1.1.3.0 = Timeticks"});
}

TEST_F(AgentxMaster, ServesAgainAfterTheMasterRestarts)
{
    Start(true); // over TCP this time
    ExpectWholeWalk("before the restart");
    agent.Stop();
    ASSERT_TRUE(agent.Restart()) << agent.Error();
    ExpectServedAgain("the restart");
    ExpectWholeWalk("after the restart");
}
