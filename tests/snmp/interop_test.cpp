// Messages against net-snmp: requests built here and answered by a real
// snmpd, and requests sent by snmpget/snmpset decoded (and answered) here.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "snmp/check.h"
#include "support/agent.h"
#include "support/loopback.h"

namespace {

// A UDP socket on 127.0.0.1 with an ephemeral port.
struct Udp {
    uint16_t port = 0;
    int fd = BindLoopback(SOCK_DGRAM, port);
    ~Udp() { ::close(fd); }

    void Send(NySnmpMsg& message, const sockaddr& to)
    {
        const Bytes out = Hex(Encode(message, 1500));
        EXPECT_EQ(::sendto(fd, out.data(), out.size(), 0, &to, sizeof to), static_cast<ssize_t>(out.size()));
    }
    // One datagram within ms, decoded into `message`; false when none came.
    bool Receive(NySnmpMsg& message, sockaddr& from, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        Bytes datagram(65536);
        socklen_t len = sizeof from;
        const ssize_t got = ::poll(&p, 1, ms) == 1 ? ::recvfrom(fd, datagram.data(), datagram.size(), 0, &from, &len) : -1;
        if (got < 0)
            return false;
        datagram.resize(static_cast<size_t>(got));
        EXPECT_EQ(NySnmpMsg::AsnPktLen(datagram.data(), static_cast<unsigned int>(got)), got);
        EXPECT_EQ(Decode(message, datagram), datagram.size());
        return true;
    }
};

// "t vV community status/index: oid=syntax:text ..." of a message, t the PDU
// type less 0xA0 (0 Get, 1 GetNext, 2 Response, 3 Set).
std::string Describe(NySnmpMsg& message)
{
    NySnmpPdu& pdu = message.Pdu();
    return std::to_string(pdu.PduType() - 0xA0) + " v" + std::to_string(message.Version()) + " " +
           message.CommunityName() + " " + std::to_string(pdu.ErrorStatus()) + "/" +
           std::to_string(pdu.ErrorIndex()) + ":" + Bindings(pdu.Vars());
}

TEST(Interop, AgentAnswersRequestsBuiltHere)
{
    SnmpAgent agent;
    agent.Options().extraLines = {"sysDescr nysnmp interop agent", "sysContact ops@example.org"};
    ASSERT_TRUE(agent.Start()) << agent.Error();
    Udp local;
    // Sends the request and returns the answer with its request id; UDP may drop.
    auto ask = [&](int32_t version, int32_t type, int32_t id, const std::vector<const char*>& oids) {
        NySnmpMsg request(version, "public", Request(type, id, oids)), reply;
        request.Receiver().SetSockAddr(agent.Port(), "127.0.0.1");
        for (int attempt = 0; attempt < 3; ++attempt) {
            local.Send(request, request.Receiver().SockAddr());
            sockaddr from{};
            while (local.Receive(reply, from, 2000))
                if (reply.Pdu().RequestId() == id && reply.Pdu().PduType() == 0xA2)
                    return Describe(reply);
        }
        return std::string("no answer");
    };
    EXPECT_EQ(ask(0, 0xA0, 4711, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.4.0"}),
              "2 v0 public 0/0: 1.3.6.1.2.1.1.1.0=octets:nysnmp interop agent 1.3.6.1.2.1.1.4.0=octets:ops@example.org");
    EXPECT_EQ(ask(0, 0xA1, 4712, {"1.3.6.1.2.1.1.1.0"}).substr(0, 39), "2 v0 public 0/0: 1.3.6.1.2.1.1.2.0=oid:");
    // Version 1 reports a missing object as noSuchName at its index, version 2 in the value.
    EXPECT_EQ(ask(0, 0xA0, 4713, {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.99.0"}).substr(0, 16), "2 v0 public 2/2:");
    EXPECT_EQ(ask(1, 0xA0, -5, {"1.3.6.1.2.1.1.99.0", "1.3.6.1.2.1.1.1.99"}),
              "2 v1 public 0/0: 1.3.6.1.2.1.1.99.0=NoSuchObject:null 1.3.6.1.2.1.1.1.99=NoSuchInstance:null");
    EXPECT_EQ(ask(1, 0xA1, 99, {"2.0"}), "2 v1 public 0/0: 2.0=EndOfMibView:null");
}

// Runs a net-snmp tool against `local`, decodes the one request it sends, and
// answers it with the request turned into a Response, so that the tool ends
// normally; returns what the tool printed.
std::string ServeOneRequest(const std::vector<std::string>& args, NySnmpMsg& request)
{
    Udp local;
    std::vector<std::string> all{args[0], args[1], args[2], args[3], "-m", "", "-On", "-r", "0", "-t", "5",
                                 "127.0.0.1:" + std::to_string(local.port)};
    all.insert(all.end(), args.begin() + 4, args.end());
    CommandResult result;
    std::thread tool([&] { result = RunCommand(all[0], std::vector<std::string>(all.begin() + 1, all.end())); });
    sockaddr from{};
    if (local.Receive(request, from, 10000)) {
        NySnmpMsg response(request);
        response.Pdu().SetPduType(0xA2);
        if (args[0] == "snmpget")
            response.Pdu().Vars().Get(1)->Value().SetOctets(Octets("hello from nysnmp"));
        local.Send(response, from);
    }
    tool.join();
    return result.out + result.err;
}

TEST(Interop, ToolsSendRequestsThatDecodeAndTakeOurAnswer)
{
    NySnmpMsg get;
    EXPECT_EQ(ServeOneRequest({"snmpget", "-v2c", "-c", "c0mmun1ty", "1.3.6.1.4.1.32473.1.0"}, get),
              ".1.3.6.1.4.1.32473.1.0 = STRING: \"hello from nysnmp\"\n");
    EXPECT_EQ(Describe(get), "0 v1 c0mmun1ty 0/0: 1.3.6.1.4.1.32473.1.0=null:null");

    NySnmpMsg set;
    const std::string out = ServeOneRequest({"snmpset", "-v1", "-c", "private", "1.3.6.1.4.1.32473.9.1.0", "i", "-42",
                                             "1.3.6.1.4.1.32473.9.2.0", "o", "1.3.6.1.4.1.32473",
                                             "1.3.6.1.4.1.32473.9.3.0", "a", "10.1.2.3", "1.3.6.1.4.1.32473.9.4.0",
                                             "t", "12345", "1.3.6.1.4.1.32473.9.5.0", "u", "4294967295",
                                             "1.3.6.1.4.1.32473.9.6.0", "x", "01 02 FF"},
                                            set);
    EXPECT_EQ(Describe(set), "3 v0 private 0/0: 1.3.6.1.4.1.32473.9.1.0=int32:-42 "
                             "1.3.6.1.4.1.32473.9.2.0=oid:1.3.6.1.4.1.32473 1.3.6.1.4.1.32473.9.3.0=ipaddr:10.1.2.3 "
                             "1.3.6.1.4.1.32473.9.4.0=timeticks:12345 1.3.6.1.4.1.32473.9.5.0=gauge32:-1 "
                             "1.3.6.1.4.1.32473.9.6.0=octets:\x01\x02\xFF");
    // Echoed back as the answer, the bindings read as snmpset sent them.
    EXPECT_NE(out.find(".1.3.6.1.4.1.32473.9.3.0 = IpAddress: 10.1.2.3"), std::string::npos) << out;
    EXPECT_NE(out.find(".1.3.6.1.4.1.32473.9.5.0 = Gauge32: 4294967295"), std::string::npos) << out;
}

} // namespace
