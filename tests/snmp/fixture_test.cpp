// The net-snmp daemon fixtures the interoperability tests are built on (that
// a trap sink reaches the trap receiver is shown by the SMUX trap test).
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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

TEST(SnmpAgentFixture, ChildrenInheritNoDescriptorOfTheTest)
{
    // A socket made without close-on-exec, as library sockets may be: a daemon
    // holding a copy would keep a connection open after the test closed it.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    const std::string ours = "socket:[" + std::to_string(st.st_ino) + "]";

    CommandResult r = RunCommand("sh", {"-c", "test -e /proc/$$/fd/" + std::to_string(fd)});
    EXPECT_EQ(r.status, 1) << "the tool holds descriptor " << fd;

    TrapReceiver receiver;
    ASSERT_TRUE(receiver.Start()) << receiver.Error();
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(receiver.Pid()) + "/fd", ec))
        EXPECT_NE(std::filesystem::read_symlink(entry.path(), ec).string(), ours);
    ::close(fd);
}

TEST(RunCommandHelper, ReportsStatusOutputAndTimeOut)
{
    CommandResult r = RunCommand("sh", {"-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");

    r = RunCommand("sleep", {"30"}, 200);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.status, -1);

    r = RunCommand("/nonexistent/program", {});
    EXPECT_EQ(r.status, 127);
}
