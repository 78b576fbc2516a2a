// Messages against net-snmp: requests built here and answered by a real snmpd,
// and requests sent by snmpget/snmpset decoded (and answered) here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "support/agent.h"
#include "snmp/check.h"

namespace {

// A UDP socket on 127.0.0.1 with an ephemeral port.
struct UdpEndpoint {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    UdpEndpoint()
    {
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sin;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len) == 0)
            port = ntohs(sin.sin_port);
    }
    ~UdpEndpoint() { if (fd >= 0) ::close(fd); }
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    // Encodes and sends a message; false when it did not all go.
    bool Send(NySnmpMsg& message, const sockaddr& to)
    {
        unsigned char buffer[1500];
        unsigned int rem = sizeof buffer;
        const auto length = static_cast<size_t>(message.AsAsn(buffer, &rem) - buffer);
        return ::sendto(fd, buffer, length, 0, &to, sizeof to) == static_cast<ssize_t>(length);
    }
    // One datagram within timeoutMs, or false.
    bool Receive(Bytes& datagram, sockaddr& from, int timeoutMs)
    {
        pollfd p{fd, POLLIN, 0};
        datagram.resize(65536);
        socklen_t len = sizeof from;
        const ssize_t got =
            ::poll(&p, 1, timeoutMs) == 1 ? ::recvfrom(fd, datagram.data(), datagram.size(), 0, &from, &len) : -1;
        datagram.resize(got < 0 ? 0 : static_cast<size_t>(got));
        return got >= 0;
    }
};

// Joins a helper thread whatever way the test leaves.
struct Joiner {
    std::thread& thread;
    ~Joiner()
    {
        if (thread.joinable())
            thread.join();
    }
};

// Encodes the message, sends it from `local` to the agent, and decodes the answer
// with the same request id into `reply`.  UDP may drop: a few bounded attempts.
::testing::AssertionResult Exchange(UdpEndpoint& local, const SnmpAgent& agent, NySnmpMsg& request,
                                    NySnmpMsg& reply)
{
    request.Receiver().SetSockAddr(agent.Port(), "127.0.0.1");
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!local.Send(request, request.Receiver().SockAddr()))
            return ::testing::AssertionFailure() << "sendto failed";
        Bytes datagram;
        sockaddr from{};
        while (local.Receive(datagram, from, 2000)) {
            if (NySnmpMsg::AsnPktLen(datagram.data(), static_cast<unsigned int>(datagram.size())) !=
                static_cast<int>(datagram.size()))
                return ::testing::AssertionFailure() << "length probe disagrees: " << ToHex(datagram);
            if (Decode(reply, datagram) != datagram.size())
                return ::testing::AssertionFailure() << "octets after the message: " << ToHex(datagram);
            if (reply.Pdu().RequestId() == request.Pdu().RequestId())
                return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "no answer from the agent\n" << agent.Log();
}

NySnmpVar& Binding(NySnmpMsg& message, uint32_t position)
{
    NySnmpVar* var = message.Pdu().Vars().Get(position);
    if (var == nullptr)
        throw std::runtime_error("no binding " + std::to_string(position));
    return *var;
}

class AgentAnswers : public ::testing::Test {
protected:
    void SetUp() override
    {
        agent.Options().extraLines = {"sysDescr nysnmp interop agent", "sysContact ops@example.org"};
        ASSERT_TRUE(agent.Start()) << agent.Error();
        ASSERT_NE(local.port, 0);
    }

    SnmpAgent agent;
    UdpEndpoint local;
};

TEST_F(AgentAnswers, VersionOneGetAndGetNext)
{
    NySnmpMsg get(0, "public", Request(0xA0, 4711, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.4.0"}));
    NySnmpMsg reply;
    ASSERT_TRUE(Exchange(local, agent, get, reply));
    EXPECT_EQ(reply.Version(), 0);
    EXPECT_STREQ(reply.CommunityName(), "public");
    EXPECT_EQ(reply.Pdu().PduType(), 0xA2);
    EXPECT_EQ(reply.Pdu().ErrorStatus(), 0);
    ASSERT_EQ(reply.Pdu().Vars().Size(), 2u);
    EXPECT_STREQ(Binding(reply, 1).Oid().AsString(), "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(Binding(reply, 1).Value().Syntax(), 4u);
    EXPECT_EQ(std::string(Binding(reply, 1).Value().AsString()), "nysnmp interop agent");
    EXPECT_EQ(std::string(Binding(reply, 2).Value().AsString()), "ops@example.org");

    NySnmpMsg next(0, "public", Request(0xA1, 4712, {"1.3.6.1.2.1.1.1.0"}));
    ASSERT_TRUE(Exchange(local, agent, next, reply));
    EXPECT_EQ(reply.Pdu().PduType(), 0xA2);
    EXPECT_STREQ(Binding(reply, 1).Oid().AsString(), "1.3.6.1.2.1.1.2.0");
    EXPECT_EQ(Binding(reply, 1).Value().Syntax(), 6u);  // sysObjectID

    // Version 1 reports a missing object as noSuchName at its index.
    NySnmpMsg missing(0, "public", Request(0xA0, 4713, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.99.0"}));
    ASSERT_TRUE(Exchange(local, agent, missing, reply));
    EXPECT_EQ(reply.Pdu().ErrorStatus(), 2);
    EXPECT_EQ(reply.Pdu().ErrorIndex(), 2);
}

TEST_F(AgentAnswers, VersionTwoExceptions)
{
    NySnmpMsg get(1, "public",
                  Request(0xA0, -5, {"1.3.6.1.2.1.1.3.0", "1.3.6.1.2.1.1.99.0", "1.3.6.1.2.1.1.1.99"}));
    NySnmpMsg reply;
    ASSERT_TRUE(Exchange(local, agent, get, reply));
    EXPECT_EQ(reply.Version(), 1);
    EXPECT_EQ(reply.Pdu().ErrorStatus(), 0);
    ASSERT_EQ(reply.Pdu().Vars().Size(), 3u);
    EXPECT_EQ(Binding(reply, 1).Value().Syntax(), 0x43u);  // sysUpTime: TimeTicks
    EXPECT_EQ(Binding(reply, 2).Value().Syntax(), 0x80u);  // noSuchObject
    EXPECT_EQ(Binding(reply, 3).Value().Syntax(), 0x81u);  // noSuchInstance
    EXPECT_STREQ(Binding(reply, 2).Value().SyntaxName(), "NoSuchObject");

    NySnmpMsg next(1, "public", Request(0xA1, 99, {"2.0"}));
    ASSERT_TRUE(Exchange(local, agent, next, reply));
    EXPECT_EQ(Binding(reply, 1).Value().Syntax(), 0x82u);  // endOfMibView
    EXPECT_STREQ(Binding(reply, 1).Oid().AsString(), "2.0");
}

// Runs a net-snmp tool (its options, our address, its arguments) against `local`,
// decodes the one request it sends, and answers it with the request turned into
// a Response and passed through `answer`, so that the tool ends normally.
template <typename Answer>
CommandResult ServeOneRequest(UdpEndpoint& local, const std::string& tool, std::vector<std::string> options,
                              const std::vector<std::string>& args, NySnmpMsg& request, Answer answer)
{
    options.insert(options.end(), {"-m", "", "-On", "-r", "0", "-t", "5"});
    options.push_back("127.0.0.1:" + std::to_string(local.port));
    options.insert(options.end(), args.begin(), args.end());
    CommandResult result;
    std::thread run([&] { result = RunCommand(tool, options); });
    Joiner joiner{run};
    Bytes datagram;
    sockaddr from{};
    if (!local.Receive(datagram, from, 10000)) {
        ADD_FAILURE() << tool << " sent nothing";
        run.join();
        return result;
    }
    EXPECT_EQ(Decode(request, datagram), datagram.size());

    NySnmpMsg response(request);
    response.Pdu().SetPduType(0xA2);
    answer(response);
    EXPECT_TRUE(local.Send(response, from));
    run.join();
    return result;
}

TEST(ToolsSend, SnmpgetRequestDecodesAndTakesOurAnswer)
{
    UdpEndpoint local;
    ASSERT_NE(local.port, 0);
    NySnmpMsg request;
    CommandResult r = ServeOneRequest(local, "snmpget", {"-v2c", "-c", "c0mmun1ty"}, {"1.3.6.1.4.1.32473.1.0"},
                                      request, [](NySnmpMsg& response) {
                                          Binding(response, 1).Value().SetOctets(Octets("hello from nysnmp"));
                                      });
    EXPECT_EQ(request.Version(), 1);
    EXPECT_STREQ(request.CommunityName(), "c0mmun1ty");
    EXPECT_EQ(request.Pdu().PduType(), 0xA0);
    EXPECT_NE(request.Pdu().RequestId(), 0);
    ASSERT_EQ(request.Pdu().Vars().Size(), 1u);
    EXPECT_STREQ(Binding(request, 1).Oid().AsString(), "1.3.6.1.4.1.32473.1.0");
    EXPECT_EQ(Binding(request, 1).Value().Syntax(), 5u);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ".1.3.6.1.4.1.32473.1.0 = STRING: \"hello from nysnmp\"\n") << r.err;
}

TEST(ToolsSend, SnmpsetBindingsDecode)
{
    UdpEndpoint local;
    ASSERT_NE(local.port, 0);
    struct Row {
        const char* type;
        const char* value;
        uint32_t syntax;
        const char* text;  // AsString of what arrived
    } rows[] = {
        {"i", "-42", 0x02, "-42"},
        {"s", "text", 0x04, "text"},
        {"o", "1.3.6.1.4.1.32473", 0x06, "1.3.6.1.4.1.32473"},
        {"a", "10.1.2.3", 0x40, "10.1.2.3"},
        {"t", "12345", 0x43, "12345"},
        {"u", "4294967295", 0x42, "-1"},  // Gauge32, shown as a signed 32-bit number
        {"x", "01 02 FF", 0x04, "\x01\x02\xFF"},
    };
    std::vector<std::string> args;
    int n = 0;
    for (const Row& row : rows)
        args.insert(args.end(), {"1.3.6.1.4.1.32473.9." + std::to_string(++n) + ".0", row.type, row.value});

    NySnmpMsg request;
    CommandResult r = ServeOneRequest(local, "snmpset", {"-v1", "-c", "private"}, args, request, [](NySnmpMsg&) {});
    EXPECT_EQ(request.Version(), 0);
    EXPECT_STREQ(request.CommunityName(), "private");
    EXPECT_EQ(request.Pdu().PduType(), 0xA3);
    ASSERT_EQ(request.Pdu().Vars().Size(), std::size(rows));
    n = 0;
    for (const Row& row : rows) {
        NySnmpVar& var = Binding(request, static_cast<uint32_t>(++n));
        EXPECT_EQ(std::string(var.Oid().AsString()), "1.3.6.1.4.1.32473.9." + std::to_string(n) + ".0");
        EXPECT_EQ(var.Value().Syntax(), row.syntax) << row.type;
        EXPECT_EQ(std::string(var.Value().AsString()), row.text) << row.type;
    }
    // Echoed back as the answer, the bindings read as snmpset sent them.
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(".1.3.6.1.4.1.32473.9.1.0 = INTEGER: -42"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(".1.3.6.1.4.1.32473.9.4.0 = IpAddress: 10.1.2.3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(".1.3.6.1.4.1.32473.9.6.0 = Gauge32: 4294967295"), std::string::npos) << r.out;
}

}  // namespace
