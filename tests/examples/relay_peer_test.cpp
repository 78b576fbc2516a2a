// The relay-peer program against net-snmp's snmpd on loopback: tables served,
// a Set of invalid(2) honoured, an absent agent and a refused password
// reported and retried, an agent killed or stopped found again.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/agent.h"

namespace {

const std::string kPeer = std::string(NYSNMP_BINARY_DIR) + "/examples/relay-peer";
constexpr const char* kPassword = "relay-test-secret";
const std::string kConnStatus = "1.3.6.1.4.1.32473.1.1.3.2.14.3.1.1";
const std::string kListenerPort = "1.3.6.1.4.1.32473.1.1.3.2.14.2.1.3";
// relay-peer's service row: the name "relay-peer" as length and octets, then both instances.
const std::string kPidRow = "1.3.6.1.4.1.32473.1.1.3.1.1.4.10.114.101.108.97.121.45.112.101.101.114.1.1";

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
    bool WaitForCount(const std::string& text, size_t n, int timeoutMs = 10000)
    {
        return WaitFor([&] { return Count(text) >= n; }, timeoutMs);
    }
};

// The instances under a column, from a numeric walk.
std::vector<std::string> Instances(const CommandResult& walk, const std::string& column)
{
    std::vector<std::string> result;
    for (const std::string& oid : WalkedOids(walk.out))
        if (oid.compare(0, column.size() + 2, "." + column + ".") == 0)
            result.push_back(oid.substr(column.size() + 2));
    return result;
}

// The scenarios go through both protocols alike.
struct RelayPeer : ::testing::TestWithParam<bool> {
    const bool agentx = GetParam();  // AgentX over a loopback TCP port instead of SMUX
    SnmpAgent agent;
    PeerProcess peer;

    void SetUp() override
    {
        if (::access("/usr/sbin/snmpd", X_OK) != 0 || ::access(kPeer.c_str(), X_OK) != 0)
            GTEST_SKIP() << "snmpd not installed or relay-peer not built";
    }
    // snmpd with relay-peer's identity, and relay-peer started against it.
    void StartBoth(const char* password, const char* retry, bool registered = true)
    {
        agent.Options().smuxPeers.push_back({"1.3.6.1.4.1.32473.1.1", kPassword});
        agent.Options().agentx = agentx;
        agent.Options().agentxTcp = true;
        ASSERT_TRUE(agent.Start()) << agent.Error();
        ASSERT_TRUE(peer.Start(PeerArgs({"-w", password, retry, "1"})));
        ASSERT_TRUE(!registered || peer.WaitForLog("registered", 20000)) << peer.Log() << agent.Log();
    }
    std::vector<std::string> PeerArgs(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {agentx ? "-x" : "-p", agentx ? agent.AgentxAddress() : std::to_string(Port())});
        return args;
    }
    // The agent's port relay-peer talks to.
    uint16_t Port() const { return agentx ? agent.AgentxPort() : agent.SmuxPort(); }
    bool ServesItsListener()
    {
        const std::vector<std::string> listeners = Instances(agent.Walk(kListenerPort), kListenerPort);
        return std::count(listeners.begin(), listeners.end(), "127.0.0.1." + std::to_string(Port())) == 1;
    }
};

INSTANTIATE_TEST_SUITE_P(Live, RelayPeer, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "AgentX" : "SMUX"; });

TEST_P(RelayPeer, ServesItsTablesAndHonoursInvalid)
{
    ASSERT_NO_FATAL_FAILURE(StartBoth(kPassword, "-r"));
    EXPECT_TRUE(ServesItsListener()) << "the agent's SMUX or AgentX listener is one of the listeners";
    CommandResult pid = agent.Get({kPidRow});
    EXPECT_NE(pid.out.find("INTEGER: " + std::to_string(peer.Pid())), std::string::npos) << pid.out << pid.err;

    // relay-peer's own connection to the agent, seen from its side.
    const std::string suffix = ".127.0.0.1." + std::to_string(Port());
    std::string mine;
    WaitFor([&] {
        for (const std::string& instance : Instances(agent.Walk(kConnStatus), kConnStatus))
            if (instance.size() > suffix.size() && instance.compare(instance.size() - suffix.size(), suffix.size(), suffix) == 0)
                mine = instance;
        return !mine.empty();
    }, 5000, 100);
    ASSERT_FALSE(mine.empty()) << agent.Walk(kConnStatus).out;
    EXPECT_NE(agent.Set({kConnStatus + "." + mine, "i", "3"}).status, 0) << "only invalid(2) is accepted";
    ASSERT_EQ(agent.Set({kConnStatus + "." + mine, "i", "2"}).status, 0);
    // Gone at once, and still gone after refreshes: the connection lives on.
    for (int i = 0; i < 3; ++i) {
        const std::vector<std::string> rows = Instances(agent.Walk(kConnStatus), kConnStatus);
        EXPECT_EQ(std::find(rows.begin(), rows.end(), mine), rows.end());
        ::usleep(800000);
    }
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
    EXPECT_TRUE(peer.WaitForLog("disconnected from the ", 1000)) << peer.Log();
}

// An absent agent, and one that refuses: a wrong SMUX password, or a second
// AgentX subagent asking for the subtree the first one holds.  Each is
// reported and tried again, and the programs keep running.
TEST_P(RelayPeer, AbsentAndRefusingAgentsAreReportedAndRetried)
{
    PeerProcess alone, second;
    const std::string port = std::to_string(FreeTcpPort());
    ASSERT_TRUE(alone.Start({agentx ? "-x" : "-p", agentx ? "tcp:127.0.0.1:" + port : port, "-R", "1"}));
    ASSERT_NO_FATAL_FAILURE(StartBoth(agentx ? kPassword : "wrong", "-R", agentx));
    ASSERT_TRUE(!agentx || second.Start(PeerArgs({"-R", "1", "-n", "2"})));
    PeerProcess& refused = agentx ? second : peer;
    EXPECT_TRUE(alone.WaitForLog("127.0.0.1:" + port + " is not reachable")) << alone.Log();
    EXPECT_TRUE(alone.WaitForCount("is not reachable", 2)) << alone.Log();
    EXPECT_TRUE(refused.WaitForCount(agentx ? "duplicateRegistration" : "refused the association (authenticationFailure)", 2))
        << refused.Log();
    EXPECT_EQ(refused.Count("registered "), 0u) << refused.Log();
    for (PeerProcess* p : {&alone, &second, &peer}) {
        if (p->Pid() <= 0)
            continue;
        EXPECT_TRUE(p->Running());
        EXPECT_EQ(p->Stop(10000), 0) << p->Log();
    }
    EXPECT_TRUE(alone.WaitForLog("disconnected from the ", 1000)) << alone.Log();
}

// The agent killed in the middle of a walk, then stopped for longer than the
// retry interval: each time relay-peer finds it again by itself, registers
// once more, and the tables are whole again.
TEST_P(RelayPeer, ComesBackAfterTheAgentFails)
{
    ASSERT_NO_FATAL_FAILURE(StartBoth(kPassword, "-R"));
    const struct { const char* why; int signal; int awayMs; } rows[] = {
        {"killed during a walk", SIGKILL, 0}, {"stopped for three retry intervals", SIGTERM, 3000},
    };
    size_t registrations = 1;
    for (const auto& row : rows) {
        std::thread walk([&] { agent.Walk(kListenerPort); }); // under way, or about to start
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(agent.Pid(), row.signal);
        walk.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(row.awayMs));
        ASSERT_TRUE(agent.Restart()) << row.why << ": " << agent.Error();
        ASSERT_TRUE(WaitFor([&] { return agent.Get({kPidRow}).out.find("INTEGER: ") != std::string::npos; }, 10000, 100))
            << row.why << "\n" << peer.Log();
        EXPECT_EQ(peer.Count("registered "), ++registrations) << row.why << "\n" << peer.Log();
        // The listener row comes back with relay-peer's next refresh.
        EXPECT_TRUE(WaitFor([&] { return ServesItsListener(); }, 5000, 200)) << row.why;
    }
    EXPECT_EQ(peer.Stop(10000), 0) << peer.Log();
}

} // namespace
