// A host's service loop against net-snmp's snmpd when the agent fails: killed
// with SIGKILL in the middle of a walk, or away for longer than the host's
// pause between attempts.  Each time the agent comes back on the same ports,
// the peer finds it by itself, registers again and serves the whole subtree.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "nysmuxpeer.h"
#include "smux/host_tree.h"
#include "smux/service_loop.h"
#include "support/agent.h"
#include "support/caught.h"
#include "support/loopback.h"

namespace {

#define B HOST_BASE

constexpr const char* kIdentity = "1.3.6.1.4.1.32473.99";
constexpr const char* kPassword = "agent-faults";
// Rows of the host table besides the three HostTree has, so that a walk
// takes a few hundred exchanges and can be cut in the middle.
constexpr int kExtraRows = 200;
// The host's pause after a failed attempt to reach the agent.
constexpr auto kRetryPause = std::chrono::seconds(1);

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A host whose read hook, once armed, signals the agent while it answers:
// the agent dies (or freezes) in the middle of the walk that asked.
class KillingSession : public NySmuxSession {
public:
    using NySmuxSession::NySmuxSession;

    std::atomic<int> signal{SIGKILL};
    std::atomic<pid_t> victim{-1};

    int OnMibGet(NyMibObject&, int32_t, void*) override
    {
        const pid_t pid = victim.exchange(-1);
        if (pid > 0)
            ::kill(pid, signal.load());
        return 0;
    }
};

struct AgentFaults : ::testing::Test {
    SnmpAgent agent;
    HostTree tree;
    std::vector<std::unique_ptr<HostRow>> extra;
    std::vector<std::string> expected;  // the whole walk, in order
    NySnmpManager manager;
    KillingSession session{manager};
    ServiceLoop loop{session, kRetryPause};

    void SetUp() override
    {
        if (::access("/usr/sbin/snmpd", X_OK) != 0 || ::access("/usr/bin/snmpwalk", X_OK) != 0)
            GTEST_SKIP() << "net-snmp (snmpd, snmp) not installed";
        for (int i = 0; i < kExtraRows; ++i)
            extra.push_back(std::make_unique<HostRow>(tree.table, 4 + i, "row " + std::to_string(4 + i), i));
        for (int scalar = 1; scalar <= 8; ++scalar)
            expected.push_back("." B "." + std::to_string(scalar));
        for (int column = 2; column <= 3; ++column)
            for (int instance = 1; instance <= 3 + kExtraRows; ++instance)
                expected.push_back("." B ".11.1." + std::to_string(column) + "." + std::to_string(instance));
        expected.push_back("." B ".12");

        agent.Options().smuxPeers.push_back({kIdentity, kPassword});
        ASSERT_TRUE(agent.Start()) << agent.Error();
        ASSERT_EQ(session.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
        ASSERT_EQ(session.Open(kIdentity, "nysnmp agent faults", kPassword), 0);
        int priority = -1;
        ASSERT_EQ(session.Register(tree.base, priority, 2), 0);
        loop.Start();
    }

    void TearDown() override
    {
        loop.Stop();
        Caught([this] { session.Close(NYSMUX_GOING_DOWN, 5); });
        session.End();
    }

    void ExpectWholeWalk(const char* why)
    {
        CommandResult r = agent.Walk(B);
        EXPECT_EQ(r.status, 0) << why << "\n" << r.err << agent.Log();
        EXPECT_EQ(r.err, "") << why;
        EXPECT_EQ(WalkedOids(r.out), expected) << why;
    }

    // The agent answers from the peer's tree again within 5 seconds.
    void ExpectServedAgain(const char* after)
    {
        const Clock::time_point start = Clock::now();
        const bool back = WaitFor([&] { return agent.Get({B ".1"}).out.find("INTEGER: -42") != std::string::npos; },
                                  15000, 100);
        const long long ms = back ? MsSince(start) : -1;
        std::printf("[ recovery ] %s: served again %lld ms after\n", after, ms);
        ASSERT_GE(ms, 0) << agent.Log();
        EXPECT_LT(ms, 5000);
    }

    // Arms the read hook of a row in the middle; the walk that reaches it
    // signals the agent and cannot finish.
    void WalkCutBy(int signal)
    {
        extra[kExtraRows / 2]->label.SetUserEvents(1, 0, nullptr);
        session.signal = signal;
        session.victim = agent.Pid();
        CommandResult cut = agent.Walk(B);
        EXPECT_NE(cut.status, 0) << "the walk cannot finish";
        EXPECT_EQ(session.victim.load(), -1) << "the walk reached the armed row";
        EXPECT_LT(WalkedOids(cut.out).size(), expected.size());
    }
};

TEST_F(AgentFaults, KilledDuringAWalkAndStartedAgain)
{
    ExpectWholeWalk("before the fault");
    const int descriptors = OpenDescriptors();

    WalkCutBy(SIGKILL);

    ASSERT_TRUE(agent.Restart()) << agent.Error();
    ExpectServedAgain("killed during a walk");
    ExpectWholeWalk("after the restart");
    EXPECT_EQ(session.RegInfo().size(), 1u);
    EXPECT_EQ(OpenDescriptors(), descriptors) << "one connection to the agent, as before";
}

TEST_F(AgentFaults, AwayLongerThanTheRetryPause)
{
    ExpectWholeWalk("before the fault");
    const int descriptors = OpenDescriptors();
    agent.Stop();
    // Several attempts of the host fail while the agent is away.
    ASSERT_TRUE(WaitFor([&] { return loop.failures >= 2; }, 10000, 50)) << "the loop noticed the agent gone";
    std::this_thread::sleep_for(2 * kRetryPause);

    ASSERT_TRUE(agent.Restart()) << agent.Error();
    ExpectServedAgain("away over several retries");
    ExpectWholeWalk("after the restart");
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// Frozen (SIGSTOP) for longer than the retry pause in the middle of a walk,
// then continued: the association outlives the pause, nothing needs to be
// repaired, and the peer serves at once.
TEST_F(AgentFaults, FrozenDuringAWalkThenContinued)
{
    ExpectWholeWalk("before the fault");
    WalkCutBy(SIGSTOP);
    // The walk gave up after its time-outs, longer than the retry pause.
    ::kill(agent.Pid(), SIGCONT);
    ExpectServedAgain("frozen during a walk");
    EXPECT_EQ(loop.failures.load(), 0) << "the connection stood throughout";
    ExpectWholeWalk("after the pause");
}

// Killed while idle, twice in a row with no pause between, then left to
// come back: neither of two registrations is lost on the way.
TEST_F(AgentFaults, KilledTwiceWhileIdle)
{
    NyMibObject other("hostOther", "1.3.6.1.4.1.32473.98", &tree.tops, 289, kNoAccess);
    MibInt answer("hostAnswer", other, 1, kReadOnly);
    answer.value() = 41;
    // The loop is paused: registering and serving share the session.
    loop.Stop();
    int priority = -1;
    ASSERT_EQ(session.Register(other, priority, 1), 0);
    loop.Start();
    ASSERT_NE(agent.Get({"1.3.6.1.4.1.32473.98.1"}).out.find("INTEGER: 41"), std::string::npos);

    for (int round = 0; round < 2; ++round) {
        ::kill(agent.Pid(), SIGKILL);
        ASSERT_TRUE(agent.Restart()) << agent.Error();
    }
    ExpectServedAgain("killed twice while idle");
    ExpectWholeWalk("after the restarts");
    CommandResult r = agent.Get({"1.3.6.1.4.1.32473.98.1"});
    EXPECT_NE(r.out.find("INTEGER: 41"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(session.RegInfo().size(), 2u);
    // The node goes before the session, and its record before the node.
    loop.Stop();
    session.Register(other, priority, 0);
}

} // namespace
