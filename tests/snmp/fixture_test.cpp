// The net-snmp daemon fixtures the interoperability tests are built on.
#include <gtest/gtest.h>

#include "support/agent.h"

TEST(SnmpAgentFixture, AnswersGetOfItsOwnScalarsAndStopsByPid)
{
    pid_t pid = -1;
    {
        SnmpAgent agent;
        agent.Options().extraLines.push_back("sysDescr nysnmp fixture agent");
        agent.Options().smuxPeers.push_back({"1.3.6.1.4.1.32473.99", "secret"});
        ASSERT_TRUE(agent.Start()) << agent.Error();
        pid = agent.Pid();
        EXPECT_NE(agent.Port(), 0);
        EXPECT_NE(agent.SmuxPort(), 0);

        CommandResult r = agent.Get({"1.3.6.1.2.1.1.1.0"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(".1.3.6.1.2.1.1.1.0 = STRING: \"nysnmp fixture agent\""), std::string::npos) << r.out;

        // The write community reaches the agent's writable sysContact.
        r = agent.Set({"1.3.6.1.2.1.1.4.0", "s", "ops@example.org"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        r = agent.Get({"1.3.6.1.2.1.1.4.0"});
        EXPECT_NE(r.out.find("ops@example.org"), std::string::npos) << r.out << r.err;
    }
    // The destructor reaped the daemon: the pid no longer names our child.
    EXPECT_EQ(::kill(pid, 0), -1);
}

TEST(SnmpAgentFixture, TrapSinkReachesTheTrapReceiver)
{
    TrapReceiver receiver;
    ASSERT_TRUE(receiver.Start()) << receiver.Error();
    SnmpAgent agent;
    agent.Options().trapPort = receiver.Port();
    agent.Options().trapCommunity = "trapcomm";
    ASSERT_TRUE(agent.Start()) << agent.Error();
    // snmpd announces its start to every trap sink with a coldStart trap.
    EXPECT_TRUE(receiver.WaitForLog("community trapcomm")) << receiver.Log();
}

TEST(RunCommandHelper, ReportsStatusOutputAndTimeOut)
{
    CommandResult r = RunCommand("snmptranslate", {"-On", "1.3.6.1.2.1.1.1.0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ".1.3.6.1.2.1.1.1.0\n");

    r = RunCommand("sh", {"-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");

    r = RunCommand("sleep", {"30"}, 200);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.status, -1);

    r = RunCommand("/nonexistent/program", {});
    EXPECT_EQ(r.status, 127);
}
