// The session as an SMUX peer of net-snmp's snmpd on loopback: a host tree is
// registered, ProcessRequests runs on a service thread, and net-snmp's own
// tools read and write the tree through the agent; traps reach snmptrapd;
// and the agent killed, stopped or frozen in the middle of a walk is found
// again by the peer on its own.  (A wrong password: relay_peer_test.)
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "smux/peer.h"

namespace {

constexpr const char* kPassword = "live-peer";

// A host whose read hook, once armed, signals the agent while it answers:
// the agent dies (or freezes) in the middle of the walk that asked.
class LiveSession : public NotingSession {
public:
    using NotingSession::NotingSession;
    std::atomic<int> signal{SIGKILL};
    std::atomic<pid_t> victim{-1};

    int OnMibGet(NyMibObject& node, int32_t param, void* data) override
    {
        const pid_t pid = victim.exchange(-1);
        if (pid > 0)
            ::kill(pid, signal.load());
        return NotingSession::OnMibGet(node, param, data);
    }
};

struct Live : SnmpdHost<LiveSession, 1000> { // a pause after a failed attempt of a second
    std::vector<NyMibObject*> extraTops; // a second subtree, registered read-only at a priority of its own
    NyMibObject extra{"hostExtra", "1.3.6.1.4.1.32473.98", &extraTops, 289, kNoAccess};
    MibInt answer{"hostAnswer", extra, 1, kReadOnly};

    // snmpd (with a trap sink when asked), the session opened and the host
    // tree (with `extraRows` more rows) and the second subtree registered and served.
    void Begin(int extraRows = 0, bool traps = false)
    {
        tree = std::make_unique<HostTree>(extraRows);
        agent.Options().smuxPeers.push_back({"1.3.6.1.4.1.32473.99", kPassword});
        StartAgent(traps ? "trapsink" : "");
        ASSERT_EQ(session.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
        ASSERT_EQ(session.Open("1.3.6.1.4.1.32473.99", "nysnmp live peer", kPassword), 0);
        int granted = -1;
        ASSERT_EQ(session.Register(tree->base, granted, 2), 0);
        EXPECT_EQ(granted, 0) << "the lowest free priority";
        answer.value() = 41;
        granted = 9;
        ASSERT_EQ(session.Register(extra, granted, 1), 0);
        EXPECT_EQ(granted, 9) << "net-snmp grants it in four octets";
        loop.Start();
    }
};

TEST_F(Live, GetAndWalkAnswerWithTheHostValuesReadWhole)
{
    Begin();
    CommandResult r = agent.Get({B ".1", B ".2", B ".3", B ".4", B ".5", B ".6", B ".7", B ".8", B ".11.1.2.1",
                                 B ".11.1.3.2", B ".12"});
    EXPECT_EQ(r.out, "." B ".1 = INTEGER: -42\n"
                     "." B ".2 = STRING: \"nysnmp test host\"\n"
                     "." B ".3 = Counter32: 4000000000\n"
                     "." B ".4 = Gauge32: 17\n"
                     "." B ".5 = Timeticks: (123456) 0:20:34.56\n"
                     "." B ".6 = OID: .1.3.6.1.4.1.32473.1\n"
                     "." B ".7 = IpAddress: 127.0.0.1\n"
                     "." B ".8 = Counter64: 4294967298\n"
                     "." B ".11.1.2.1 = STRING: \"first\"\n"
                     "." B ".11.1.3.2 = Gauge32: 20\n"
                     "." B ".12 = STRING: \"carpe diem\"\n")
        << r.err << agent.Log();
    for (const char* oid : {B ".9", B ".10", B ".11.1.1.1", B ".11.1.2", B ".1.0", B ".13"}) {
        CommandResult missing = agent.Get({oid});
        EXPECT_NE(missing.out.find("No Such"), std::string::npos) << oid << ": " << missing.out << missing.err;
    }
    ExpectWholeWalk("v2c");
    ExpectWholeWalk("v1", "-v1");
    EXPECT_NE(agent.Get({"1.3.6.1.4.1.32473.98.1"}).out.find("INTEGER: 41"), std::string::npos);
    // Values changed under the MIB mutex meanwhile are read whole: every
    // string is one of the two the writer alternates, every Counter64 has equal halves.
    const std::string longText(300, 'L'), shortText(20, 's');
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (uint32_t i = 0; writing && i < 1000000; ++i) {
            {
                std::lock_guard<NySocketMutex> guard(session.MibMutex());
                const std::string& text = (i % 2) ? longText : shortText;
                tree->name.value() = tree->motto.value() = text;
                for (auto& row : tree->rows)
                    row->label.value() = text;
                tree->bytes.value() = (uint64_t{i} << 32) | i;
            }
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 3; ++round) {
        const CommandResult walk = agent.Walk(B);
        EXPECT_EQ(WalkedOids(walk.out), tree->Walk()) << walk.out << walk.err;
        std::istringstream lines(walk.out);
        for (std::string line; std::getline(lines, line);) {
            const size_t text = line.find("STRING: \""), number = line.find("Counter64: ");
            if (text != std::string::npos) {
                EXPECT_TRUE(line.substr(text + 9) == longText + "\"" || line.substr(text + 9) == shortText + "\"") << line;
            }
            const uint64_t count = number == std::string::npos ? 0 : std::stoull(line.substr(number + 11));
            EXPECT_EQ(count >> 32, count & 0xFFFFFFFFu) << line;
        }
    }
    writing = false;
    writer.join();
}

TEST_F(Live, SetStoresAtTheCommitAndRefusalsLeaveTheTreeAlone)
{
    Begin();
    tree->level.SetUserEvents(2 | 4, 0, nullptr);
    tree->motto.SetUserEvents(2, 5, nullptr); // the host refuses with genErr
    // net-snmp sends one SetRequest per binding, then one SOutPDU each.
    CommandResult r = agent.Set({B ".1", "i", "5", B ".11.1.2.2", "s", "zwei"});
    EXPECT_EQ(r.status, 0) << r.err << agent.Log();
    // The agent's Get before the Set is refused for a write-only object, which
    // does not keep the Set from going through.
    EXPECT_EQ(agent.Set({B ".9", "i", "6"}).status, 0);
    const std::pair<std::vector<std::string>, const char*> refusals[] = {
        {{B ".2", "s", "x"}, "notWritable|noAccess"},
        {{B ".1", "s", "x"}, "wrongType|badValue"},
        {{B ".12", "s", "x"}, "genErr"},
    };
    for (const auto& [args, errors] : refusals) {
        r = agent.Set(args);
        EXPECT_NE(r.status, 0) << args[0];
        EXPECT_TRUE(std::regex_search(r.out + r.err, std::regex(errors))) << args[0] << ": " << r.out << r.err;
    }
    // snmpd answers the manager as it sends the SOutPDU: the commit may come a moment later.
    EXPECT_TRUE(Holds([&] {
        return tree->secret.value() == 6 && tree->level.value() == 5 && tree->Row(2).label.value() == "zwei" &&
               tree->name.value() == "nysnmp test host" && tree->motto.value() == "carpe diem";
    }));
    std::string notes;
    for (const std::string& note : session.Notes())
        notes += note + "\n";
    const size_t tested = notes.find("OnMibSetUncommitted hostLevel 5 holding -42"),
                 committed = notes.find("OnMibSetCommitted hostLevel holding 5");
    EXPECT_TRUE(tested < committed && committed != std::string::npos) << notes;
    EXPECT_NE(agent.Get({B ".11.1.2.2"}).out.find("\"zwei\""), std::string::npos);
}

TEST_F(Live, TrapReachesTheTrapReceiver)
{
    Begin(0, true);
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject enterprise("nyTest", "1.3.6.1.4.1.32473.9", &root.Children(), 289, 0);
    NyMibTrap trap("nyTestTrap", enterprise, 7);
    MibOctets text("nyTestText", trap, 1, 1);
    MibInt number("nyTestNumber", trap, 2, 1);
    text.value() = "disk nearly full";
    number.value() = 4242;
    ExpectTrapLogged(trap, {"1.3.6.1.4.1.32473.9.7.1 = STRING: \"disk nearly full\"", "Enterprise Specific Trap (7)",
                            "1.3.6.1.4.1.32473.9.7.2 = INTEGER: 4242"});
}

// The agent signalled in the middle of a walk of a few hundred exchanges
// (by the read hook of a row half way): killed and started again, stopped
// for longer than the host's retry pause, or frozen and continued.  Each
// time the peer serves both subtrees again with one connection.
struct AgentFault {
    const char* name;
    int signal;
    bool restart;
};

class AgentFaults : public Live, public ::testing::WithParamInterface<AgentFault> {};

TEST_P(AgentFaults, PeerServesBothSubtreesAgain)
{
    const AgentFault& fault = GetParam();
    Begin(200);
    ExpectWholeWalk("before the fault");
    const int descriptors = OpenDescriptors();
    tree->Row(100).label.SetUserEvents(1, 0, nullptr);
    session.signal = fault.signal;
    session.victim = agent.Pid();
    CommandResult cut = agent.Walk(B);
    EXPECT_NE(cut.status, 0) << "the walk cannot finish";
    EXPECT_EQ(session.victim.load(), -1) << "the walk reached the armed row";
    if (fault.signal == SIGTERM) { // away over several attempts of the host
        ASSERT_TRUE(WaitFor([&] { return loop.failures >= 2; }, 10000, 50)) << "the loop noticed the agent gone";
    }
    ASSERT_TRUE(fault.restart ? agent.Restart() : ::kill(agent.Pid(), SIGCONT) == 0) << agent.Error();
    ExpectServedAgain(fault.name);
    EXPECT_TRUE(fault.restart || loop.failures == 0) << "the connection stood throughout";
    ExpectWholeWalk("after the fault");
    EXPECT_NE(agent.Get({"1.3.6.1.4.1.32473.98.1"}).out.find("INTEGER: 41"), std::string::npos);
    EXPECT_EQ(session.RegInfo().size(), 2u);
    EXPECT_EQ(OpenDescriptors(), descriptors) << "one connection to the agent, as before";
}

INSTANTIATE_TEST_SUITE_P(Live, AgentFaults,
                         ::testing::Values(AgentFault{"KilledDuringAWalk", SIGKILL, true},
                                           AgentFault{"StoppedLongerThanTheRetryPause", SIGTERM, true},
                                           AgentFault{"FrozenDuringAWalk", SIGSTOP, false}),
                         [](const ::testing::TestParamInfo<AgentFault>& info) { return std::string(info.param.name); });

} // namespace
