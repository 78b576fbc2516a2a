// The session against a stand-in master on loopback, for what snmpd does not
// send: search ranges of its choosing, pings, a Close from the master,
// damaged PDUs, and a master that stops answering.  The Set
// transaction's turns are the agentx_session fuzz target's, whose seeds are
// replayed in every build, and the snmpd scenarios'.
#include <gtest/gtest.h>

#include "agentx/pdus.h"
#include "nysnmpmsgs.h"
#include "smux/peer.h"

namespace {

const std::string kBase = B;

NyAgentxPdu Get(uint8_t type, std::vector<std::vector<std::string>> ranges, uint16_t nonRepeaters = 0,
                uint16_t repetitions = 0)
{
    NyAgentxPdu pdu = Request(type, 9, 40, 41);
    for (const auto& r : ranges) { // start, end ("" for none), "include"
        NyAgentxRange& range = pdu.ranges.emplace_back();
        range.start.Assign((kBase + r[0]).c_str());
        if (r.size() > 1 && !r[1].empty())
            range.end.Assign((kBase + r[1]).c_str());
        range.include = r.size() > 2;
    }
    pdu.rangeCount = pdu.ranges.size();
    pdu.nonRepeaters = nonRepeaters;
    pdu.maxRepetitions = repetitions;
    return pdu;
}

class FakeMaster : public ::testing::Test {
protected:
    void SetUp() override
    {
        session.Init(("tcp:127.0.0.1:" + std::to_string(master.Port())).c_str());
        ASSERT_TRUE(master.Accept());
        // The answers wait in the stream before the questions go out: packet
        // ids count from 1, Open then Register.
        Answer(1);
        Answer(2);
        session.Open(B, "fake master test", 0);
        int priority = NYAGENTX_DEFAULT_PRIORITY;
        session.Register(tree.base, priority, 0);
        ASSERT_EQ(Read().type, NYAGENTX_OPEN);
        ASSERT_EQ(Read().type, NYAGENTX_REGISTER);
        EXPECT_EQ(session.SessionId(), 9u);
    }
    void Answer(uint32_t packet) { ASSERT_TRUE(master.Write(Encode(Request(NYAGENTX_RESPONSE, 9, 0, packet)))); }
    NyAgentxPdu Read(int ms = 5000)
    {
        Bytes wire = master.Read(NYAGENTX_HEADER_SIZE, ms);
        if (wire.size() < NYAGENTX_HEADER_SIZE)
            return NyAgentxPdu();
        const Bytes payload = master.Read(NyAgentxPdu::PacketLength(wire.data(), static_cast<unsigned>(wire.size())) - NYAGENTX_HEADER_SIZE, ms);
        wire.insert(wire.end(), payload.begin(), payload.end());
        return Decode(wire);
    }
    NyAgentxPdu Ask(const Bytes& wire)
    {
        EXPECT_TRUE(master.Write(wire));
        return Read();
    }
    // The master's side of a reconnection (Open and Register answered), a Get
    // served on it, and the failure the service loop reported before.
    void ServeReconnect(uint32_t failure)
    {
        ASSERT_TRUE(master.Accept(8000));
        for (uint8_t type : {NYAGENTX_OPEN, NYAGENTX_REGISTER}) {
            const NyAgentxPdu pdu = Read();
            ASSERT_EQ(pdu.type, type);
            Answer(pdu.packetId);
        }
        EXPECT_EQ(Ask(Encode(Get(NYAGENTX_GET, {{".1"}}))).vars.Size(), 1u);
        EXPECT_TRUE(WaitFor([&] { return loop.lastResult == static_cast<int>(failure); }, 3000));
        loop.lastResult = 0;
    }

    LoopbackPeer master;
    HostTree tree;
    NySnmpManager manager;
    NyAgentxSession session{manager};
    BasicServiceLoop<NyAgentxSession> loop{session};
};

} // namespace

TEST_F(FakeMaster, ReadsOverSearchRanges)
{
    loop.Start();
    struct Case {
        NyAgentxPdu request;
        const char* answer;
    } cases[] = {
        {Get(NYAGENTX_GET, {{".1"}, {".77"}, {".11.1.2.9"}, {".9"}}),
         " " B ".1=-42 " B ".77=NoSuchObject " B ".11.1.2.9=NoSuchInstance " B ".9=NoSuchObject"},
        {Get(NYAGENTX_GETNEXT, {{".1", "", "include"}, {".1"}, {".8"}, {".11.1.3.3", ".12"}}),
         " " B ".1=-42 " B ".2=nysnmp test host " B ".11.1.2.1=first " B ".11.1.3.3=EndOfMibView"},
        {Get(NYAGENTX_GETBULK, {{".4"}, {".11.1.2.2"}, {".11.1.3.2", ".12"}}, 1, 3),
         " " B ".5=123456 " B ".11.1.2.3=third " B ".11.1.3.3=30 " B ".11.1.3.1=10 " B ".11.1.3.3=EndOfMibView "
         B ".11.1.3.2=20 " B ".11.1.3.3=EndOfMibView"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(int(c.request.type));
        EXPECT_EQ(Bindings(Ask(Encode(c.request)).vars), c.answer);
    }
}

TEST_F(FakeMaster, DamagedPdusAreAnsweredOrEndTheConnection)
{
    loop.Start();
    // The header holds, the payload does not: parseError, and on it goes.
    const NyAgentxPdu answer = Ask(Hex("01 05 10 00 00000009 00000001 00000063 00000008 81000000 00000000"));
    EXPECT_EQ(answer.error, NYAGENTX_PARSE_ERROR);
    EXPECT_EQ(answer.packetId, 0x63u);
    EXPECT_EQ(Ask(Encode(Get(NYAGENTX_GET, {{".1"}}))).vars.Size(), 1u);
    // A header that cannot be followed ends the stream with a Close; the
    // session comes back by itself.
    for (const char* header : {"02 05 10 00 00000009 00000001 00000001 00000000",
                               "01 05 10 00 00000009 00000001 00000001 00010000"}) {
        SCOPED_TRACE(header);
        master.Write(Hex(header));
        NyAgentxPdu close = Read();
        EXPECT_EQ(close.type, NYAGENTX_CLOSE);
        EXPECT_EQ(close.reason, NYAGENTX_REASON_PARSE_ERROR);
        ServeReconnect(NYAGENTX_BAD_HEADER);
    }
}

TEST_F(FakeMaster, PingIsAnsweredOrTimesOut)
{
    Answer(3);
    EXPECT_EQ(session.Ping(2), 0);
    EXPECT_EQ(Read().type, NYAGENTX_PING);
    EXPECT_EQ(session.Ping(1), -1); // nobody answers
    EXPECT_EQ(Read().type, NYAGENTX_PING);
}

TEST_F(FakeMaster, MasterCloseAndSilenceLeadToReconnection)
{
    session.SetKeepAlive(1);
    loop.Start();
    NyAgentxPdu close = Request(NYAGENTX_CLOSE, 9, 0, 70);
    close.reason = NYAGENTX_REASON_SHUTDOWN;
    master.Write(Encode(close));
    ServeReconnect(NYAGENTX_CLOSED);
    // Pings left unanswered: the master counts as gone.
    EXPECT_EQ(Read(3000).type, NYAGENTX_PING);
    EXPECT_TRUE(master.Read(1, 4000).empty()); // hung up on
    ServeReconnect(NYAGENTX_NO_ANSWER);
}
