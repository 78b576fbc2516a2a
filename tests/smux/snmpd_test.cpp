// The session against net-snmp's snmpd (and snmptrapd) started on loopback.
#include <string>

#include <gtest/gtest.h>

#include "fake_agent.h"
#include "nysmuxpeer.h"
#include "support/agent.h"

namespace {

using MibInt = nymibvar<int32_t, 1, 2>;
using MibOctets = nymibvar<std::string, 4, 4>;

constexpr const char* kIdentity = "1.3.6.1.4.1.32473.9";
constexpr const char* kPassword = "nysmux-secret";

bool Closed(TestSession& session)
{
    return session.WaitUntil([&session] { return session.Socket()->Handle() == -1; }, 100);
}

}  // namespace

TEST(Snmpd, OpenWithTheRightPasswordKeepsTheAssociation)
{
    SnmpAgent agent;
    agent.Options().smuxPeers.push_back({kIdentity, kPassword});
    ASSERT_TRUE(agent.Start()) << agent.Error();

    NySnmpManager manager;
    TestSession session(manager);
    ASSERT_EQ(session.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
    ASSERT_EQ(session.Open(kIdentity, "nysnmp session test", kPassword), 0);
    // Give the agent time to refuse: it does not, and says nothing.
    session.WaitUntil([] { return false; }, 15);
    EXPECT_NE(session.Socket()->Handle(), -1) << agent.Log();
    EXPECT_EQ(session.ReceiveRecord().length, 0u);

    // The agent ends the association when it reads the ClosePDU.
    EXPECT_EQ(session.Close(NYSMUX_GOING_DOWN, 10), 0);
    EXPECT_EQ(session.Socket()->Handle(), -1) << agent.Log();
    EXPECT_EQ(session.End(), 0);
}

TEST(Snmpd, WrongPasswordIsRefused)
{
    SnmpAgent agent;
    agent.Options().smuxPeers.push_back({kIdentity, kPassword});
    ASSERT_TRUE(agent.Start()) << agent.Error();

    NySnmpManager manager;
    TestSession session(manager);
    ASSERT_EQ(session.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
    ASSERT_EQ(session.Open(kIdentity, "nysnmp session test", "not-the-password"), 0);
    ASSERT_TRUE(Closed(session)) << agent.Log();
    EXPECT_EQ(ToHex(session.ReceiveRecord().data, session.ReceiveRecord().length), "41 01 05")
        << "a ClosePDU with authenticationFailure before the close";
}

TEST(Snmpd, TrapReachesTheTrapReceiver)
{
    TrapReceiver receiver;
    ASSERT_TRUE(receiver.Start()) << receiver.Error();
    SnmpAgent agent;
    agent.Options().smuxPeers.push_back({kIdentity, kPassword});
    agent.Options().trapPort = receiver.Port();
    ASSERT_TRUE(agent.Start()) << agent.Error();

    NyMibObject root("1.3.6.1.4.1");
    NyMibObject enterprise("nyTest", kIdentity, &root.Children(), 289, 0);
    NyMibTrap trap("nyTestTrap", enterprise, 7);
    MibOctets text("nyTestText", trap, 1, 1);
    MibInt number("nyTestNumber", trap, 2, 1);
    text.value() = "disk nearly full";
    number.value() = 4242;

    NySnmpManager manager;
    TestSession session(manager);
    ASSERT_EQ(session.Init(0, agent.SmuxPort(), "127.0.0.1"), 0);
    ASSERT_EQ(session.Open(kIdentity, "nysnmp trap test", kPassword), 0);
    ASSERT_EQ(session.Send(trap, 5), 0);
    EXPECT_EQ(session.SendRecord().length, 0u);

    ASSERT_TRUE(receiver.WaitForLog("disk nearly full")) << receiver.Log() << "\n--- agent ---\n" << agent.Log();
    std::string log = receiver.Log();
    EXPECT_NE(log.find("1.3.6.1.4.1.32473.9.7"), std::string::npos) << log;
    EXPECT_NE(log.find("Enterprise Specific Trap (7)"), std::string::npos) << log;
    EXPECT_NE(log.find("1.3.6.1.4.1.32473.9.7.1 = STRING: \"disk nearly full\""), std::string::npos) << log;
    EXPECT_NE(log.find("1.3.6.1.4.1.32473.9.7.2 = INTEGER: 4242"), std::string::npos) << log;
    EXPECT_EQ(session.Close(NYSMUX_GOING_DOWN, 10), 0);
}
