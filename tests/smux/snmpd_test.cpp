// The session against net-snmp's snmpd (and snmptrapd) started on loopback.
#include <string>

#include <gtest/gtest.h>

#include "smux/fake_agent.h"
#include "smux/host_tree.h"
#include "support/agent.h"

namespace {

constexpr const char* kIdentity = "1.3.6.1.4.1.32473.9";
constexpr const char* kPassword = "nysmux-secret";

struct Snmpd : ::testing::Test {
    TrapReceiver receiver;
    SnmpAgent agent;
    NySnmpManager manager;
    TestSession session{manager};

    // snmpd (with a trap sink when asked), and the session opened with the password.
    void Open(const char* password, bool traps = false)
    {
        if (traps) {
            ASSERT_TRUE(receiver.Start()) << receiver.Error();
            agent.Options().trapPort = receiver.Port();
        }
        agent.Options().smuxPeers.push_back({kIdentity, kPassword});
        ASSERT_TRUE(agent.Start()) << agent.Error();
        ASSERT_EQ(session.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
        ASSERT_EQ(session.Open(kIdentity, "nysnmp session test", password), 0);
    }
};

}  // namespace

TEST_F(Snmpd, WrongPasswordIsRefused)
{
    ASSERT_NO_FATAL_FAILURE(Open("not-the-password"));
    ASSERT_TRUE(session.Closed(100)) << agent.Log();
    EXPECT_EQ(ToHex(session.ReceiveRecord().data, session.ReceiveRecord().length), "41 01 05")
        << "a ClosePDU with authenticationFailure before the close";
}

TEST_F(Snmpd, TrapReachesTheTrapReceiver)
{
    ASSERT_NO_FATAL_FAILURE(Open(kPassword, true));
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject enterprise("nyTest", kIdentity, &root.Children(), 289, 0);
    NyMibTrap trap("nyTestTrap", enterprise, 7);
    MibOctets text("nyTestText", trap, 1, 1);
    MibInt number("nyTestNumber", trap, 2, 1);
    text.value() = "disk nearly full";
    number.value() = 4242;
    ASSERT_EQ(session.Send(trap, 5), 0);
    EXPECT_EQ(session.SendRecord().length, 0u);

    ASSERT_TRUE(receiver.WaitForLog("disk nearly full")) << receiver.Log() << "\n--- agent ---\n" << agent.Log();
    std::string log = receiver.Log();
    for (const char* line : {"1.3.6.1.4.1.32473.9.7", "Enterprise Specific Trap (7)",
                             "1.3.6.1.4.1.32473.9.7.1 = STRING: \"disk nearly full\"",
                             "1.3.6.1.4.1.32473.9.7.2 = INTEGER: 4242"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(session.Close(NYSMUX_GOING_DOWN, 10), 0);
}
