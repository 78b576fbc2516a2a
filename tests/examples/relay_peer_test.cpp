// The relay-peer program against net-snmp's snmpd on loopback, over SMUX and
// over AgentX: tables served, a Set of invalid(2) honoured, an absent agent,
// a refused password or registration reported and retried, a restarted agent
// found again.
#include <gtest/gtest.h>

#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "support/agent.h"

namespace {

const std::string kPeer = std::string(NYSNMP_BINARY_DIR) + "/examples/relay-peer";
constexpr const char* kIdentity = "1.3.6.1.4.1.32473.1.1";
constexpr const char* kPassword = "relay-test-secret";
const std::string kConnTable = "1.3.6.1.4.1.32473.1.1.3.2.14.3.1";
const std::string kListenerTable = "1.3.6.1.4.1.32473.1.1.3.2.14.2.1";

bool Have(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

// relay-peer as a child process; its stderr goes to the fixture's log.
// Stop(10000) gives its exit status: under the sanitizers a leak or an
// error shows as a status other than 0.
class PeerProcess : public Daemon {
public:
    bool Start(const std::vector<std::string>& args)
    {
        std::string command = "exec '" + kPeer + "'";
        for (const std::string& arg : args)
            command += " '" + arg + "'";
        return Spawn("/bin/sh", {"-c", command + " 2>'" + LogPath() + "'"});
    }
    size_t Count(const std::string& text) const
    {
        const std::string log = Log();
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }
    // Waits (bounded) until the text is in the log at least n times.
    bool WaitForCount(const std::string& text, size_t n, int timeoutMs = 5000)
    {
        return WaitFor([&] { return Count(text) >= n; }, timeoutMs);
    }
};

class RelayPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Have("/usr/sbin/snmpd") || !Have("/usr/bin/snmpwalk"))
            GTEST_SKIP() << "net-snmp (snmpd, snmp) not installed";
        if (!Have(kPeer))
            GTEST_SKIP() << "relay-peer not built";
    }

    // snmpd with relay-peer's identity, and relay-peer started against it
    // (over AgentX on a loopback TCP port when the fixture says so).
    void StartBoth(const char* password, const char* retry, bool registered = true)
    {
        agent.Options().smuxPeers.push_back({kIdentity, kPassword});
        agent.Options().agentx = agentx;
        agent.Options().agentxTcp = true;
        ASSERT_TRUE(agent.Start()) << agent.Error();
        ASSERT_TRUE(peer.Start(PeerArgs({"-w", password, retry, "1"})));
        ASSERT_TRUE(!registered || peer.WaitForLog("registered", 20000)) << peer.Log() << agent.Log();
    }
    std::vector<std::string> PeerArgs(std::vector<std::string> args) const
    {
        args.insert(args.begin(), agentx ? "-x" : "-p");
        args.insert(args.begin() + 1, agentx ? agent.AgentxAddress() : std::to_string(agent.SmuxPort()));
        return args;
    }
    // The agent's port relay-peer talks to.
    uint16_t Port() const { return agentx ? agent.AgentxPort() : agent.SmuxPort(); }

    bool agentx = false;
    SnmpAgent agent;
    PeerProcess peer;

    // The instances under a column, from a numeric walk.
    static std::vector<std::string> Instances(const CommandResult& walk, const std::string& column)
    {
        std::vector<std::string> result;
        std::istringstream lines(walk.out);
        std::string line;
        const std::string prefix = "." + column + ".";
        while (std::getline(lines, line)) {
            if (line.compare(0, prefix.size(), prefix) == 0)
                result.push_back(line.substr(prefix.size(), line.find(' ') - prefix.size()));
        }
        return result;
    }
};

// The scenarios both protocols go through alike.
class EitherProtocol : public RelayPeer, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        RelayPeer::SetUp();
        agentx = GetParam();
    }
};
INSTANTIATE_TEST_SUITE_P(RelayPeer, EitherProtocol, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "AgentX" : "SMUX"; });

TEST_P(EitherProtocol, ServesItsTablesAndHonoursInvalid)
{
    ASSERT_NO_FATAL_FAILURE(StartBoth(kPassword, "-r"));

    // The agent's SMUX or AgentX listener is one of the listeners.
    const std::string port = std::to_string(Port());
    CommandResult walk = agent.Walk(kListenerTable + ".3");
    ASSERT_EQ(walk.status, 0) << walk.err;
    const std::vector<std::string> listeners = Instances(walk, kListenerTable + ".3");
    EXPECT_NE(std::find(listeners.begin(), listeners.end(), "127.0.0.1." + port), listeners.end()) << walk.out;

    // The service row carries the process id.
    CommandResult pid = agent.Get({"1.3.6.1.4.1.32473.1.1.3.1.1.4.10.114.101.108.97.121.45.112.101.101.114.1.1"});
    EXPECT_NE(pid.out.find("INTEGER: " + std::to_string(peer.Pid())), std::string::npos) << pid.out << pid.err;

    // relay-peer's own connection to the agent, seen from its side.
    const std::string suffix = ".127.0.0.1." + std::to_string(Port());
    std::string mine;
    WaitFor([&] {
        for (const std::string& instance : Instances(agent.Walk(kConnTable + ".1"), kConnTable + ".1"))
            if (instance.size() > suffix.size() &&
                instance.compare(instance.size() - suffix.size(), suffix.size(), suffix) == 0)
                mine = instance;
        return !mine.empty();
    }, 5000, 100);
    ASSERT_FALSE(mine.empty()) << agent.Walk(kConnTable + ".1").out;
    const std::string status = kConnTable + ".1." + mine;

    CommandResult refused = agent.Set({status, "i", "3"});
    EXPECT_NE(refused.status, 0) << "only invalid(2) is accepted\n" << refused.out;
    CommandResult set = agent.Set({status, "i", "2"});
    ASSERT_EQ(set.status, 0) << set.err;

    // Gone at once, and still gone after refreshes: the connection lives on.
    for (int i = 0; i < 3; ++i) {
        CommandResult walk = agent.Walk(kConnTable + ".1");
        const std::vector<std::string> rows = Instances(walk, kConnTable + ".1");
        EXPECT_EQ(std::find(rows.begin(), rows.end(), mine), rows.end()) << walk.out;
        ::usleep(800000);
    }
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
    EXPECT_TRUE(peer.WaitForLog(agentx ? "disconnected from the AgentX master" : "disconnected from the SMUX agent",
                                1000))
        << peer.Log();
}

TEST_P(EitherProtocol, AbsentAgentIsReportedAndRetried)
{
    const uint16_t port = FreeTcpPort();
    ASSERT_NE(port, 0);
    ASSERT_TRUE(peer.Start({agentx ? "-x" : "-p", (agentx ? "tcp:127.0.0.1:" : "") + std::to_string(port), "-R", "1"}));
    ASSERT_TRUE(peer.WaitForLog("127.0.0.1:" + std::to_string(port) + " is not reachable", 10000)) << peer.Log();
    EXPECT_TRUE(peer.WaitForCount("is not reachable", 2)) << peer.Log();
    EXPECT_TRUE(peer.Running());
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
    EXPECT_TRUE(peer.WaitForLog("disconnected from the ", 1000)) << peer.Log();
}

TEST_F(RelayPeer, RefusedPasswordIsReportedAndRetried)
{
    ASSERT_NO_FATAL_FAILURE(StartBoth("wrong", "-R", false));
    ASSERT_TRUE(peer.WaitForLog("refused the association (authenticationFailure)", 10000)) << peer.Log();
    EXPECT_TRUE(peer.WaitForCount("refused the association", 2)) << peer.Log();
    EXPECT_EQ(peer.Count("registered "), 0u) << peer.Log();
    EXPECT_TRUE(peer.Running());
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
}

// A second relay-peer asks for the subtree the first one holds.
TEST_F(RelayPeer, RefusedAgentxRegistrationIsReportedAndRetried)
{
    agentx = true;
    ASSERT_NO_FATAL_FAILURE(StartBoth(kPassword, "-R"));
    PeerProcess second;
    ASSERT_TRUE(second.Start(PeerArgs({"-R", "1", "-n", "2"})));
    ASSERT_TRUE(second.WaitForLog("refused the registration", 10000)) << second.Log();
    EXPECT_TRUE(second.WaitForCount("duplicateRegistration", 2)) << second.Log();
    EXPECT_EQ(second.Stop(10000), 0) << second.Log();
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
}

TEST_P(EitherProtocol, FindsARestartedAgentAgain)
{
    ASSERT_NO_FATAL_FAILURE(StartBoth(kPassword, "-R"));
    agent.Stop();
    ASSERT_TRUE(peer.WaitForLog("lost the ", 10000)) << peer.Log();
    ASSERT_TRUE(agent.Restart()) << agent.Error();
    EXPECT_TRUE(peer.WaitForCount("registered ", 2, 20000));
    EXPECT_EQ(peer.Count("registered "), 2u) << peer.Log() << agent.Log();

    // The new agent answers from the peer's tree.
    CommandResult r = agent.Get({"1.3.6.1.4.1.32473.1.1.1.1.1.1"});
    EXPECT_NE(r.out.find("INTEGER: 1"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
}

// The agent killed in the middle of a walk, then away for longer than the
// retry interval: each time relay-peer finds it again by itself and the
// tables are whole again.
TEST_F(RelayPeer, ComesBackAfterTheAgentFails)
{
    ASSERT_NO_FATAL_FAILURE(StartBoth(kPassword, "-R"));
    const std::string pidRow = "1.3.6.1.4.1.32473.1.1.3.1.1.4.10.114.101.108.97.121.45.112.101.101.114.1.1";
    const std::string smuxListener = "127.0.0.1." + std::to_string(agent.SmuxPort());
    struct Row {
        const char* why;
        int signal;
        int awayMs;  // from the fault to the restart
    } rows[] = {
        {"killed during a walk", SIGKILL, 0},
        {"stopped for three retry intervals", SIGTERM, 3000},
    };
    size_t registrations = 1;
    for (const Row& row : rows) {
        CommandResult cut;
        // The walk is under way, or about to start, when the agent goes.
        std::thread walk([&] { cut = agent.Walk(kListenerTable); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(agent.Pid(), row.signal);
        walk.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(row.awayMs));
        ASSERT_TRUE(agent.Restart()) << row.why << ": " << agent.Error();

        const auto restarted = std::chrono::steady_clock::now();
        ASSERT_TRUE(WaitFor([&] { return agent.Get({pidRow}).out.find("INTEGER: ") != std::string::npos; },
                            10000, 100))
            << row.why << "\n" << peer.Log();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                              restarted).count();
        std::printf("[ recovery ] relay-peer, agent %s: served again %lld ms after the restart\n", row.why,
                    static_cast<long long>(ms));
        EXPECT_EQ(peer.Count("registered "), ++registrations) << row.why << "\n" << peer.Log();

        CommandResult whole = agent.Walk(kListenerTable + ".3");
        EXPECT_EQ(whole.status, 0) << row.why << ": " << whole.err;
        const std::vector<std::string> listeners = Instances(whole, kListenerTable + ".3");
        EXPECT_NE(std::find(listeners.begin(), listeners.end(), smuxListener), listeners.end()) << whole.out;
    }
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
}

} // namespace
