// The session against a stand-in master on loopback, for what snmpd does not
// send: both byte orders, every turn of a Set transaction, pings, a Close
// from the master, damaged PDUs, and a master that stops answering.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "agentx/pdus.h"
#include "nysnmpmsgs.h"
#include "smux/peer.h"
#include "support/agent.h"
#include "support/loopback.h"

namespace {

class RecordingSession : public NyAgentxSession {
public:
    using NyAgentxSession::NyAgentxSession;
    int OnRollback(NySnmpVbl& staged) override
    {
        rolledBack += 1 + static_cast<int>(staged.Size()) * 100;
        return 0;
    }
    int OnMibSetCommitted(NyMibObject& node, int32_t, void*) override
    {
        return std::string(node.Name()) == "hostMotto" ? 5 : 0;
    }
    std::atomic<int> rolledBack{0};  // calls, plus 100 per binding they carried
};

const std::string kBase = B;

class FakeMaster : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.motto.SetUserEvents(4, 0, nullptr);
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
    void Answer(uint32_t packet, uint16_t error = 0)
    {
        NyAgentxPdu response = Request(NYAGENTX_RESPONSE, 9, 0, packet);
        response.error = error;
        ASSERT_TRUE(master.Write(Encode(response)));
    }
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
    NyAgentxPdu Ask(const NyAgentxPdu& request) { return Ask(Encode(request)); }
    // The master's side of a reconnection: Open and Register answered.
    void ServeReconnect()
    {
        ASSERT_TRUE(master.Accept(8000));
        NyAgentxPdu open = Read();
        ASSERT_EQ(open.type, NYAGENTX_OPEN);
        Answer(open.packetId);
        NyAgentxPdu reg = Read();
        ASSERT_EQ(reg.type, NYAGENTX_REGISTER);
        Answer(reg.packetId);
    }
    int32_t Level()
    {
        std::lock_guard<NySocketMutex> guard(session.MibMutex());
        return tree.level.value();
    }

    LoopbackPeer master;
    HostTree tree;
    NySnmpManager manager;
    RecordingSession session{manager};
    BasicServiceLoop<RecordingSession> loop{session};
};

NyAgentxPdu Get(uint8_t type, std::vector<std::vector<std::string>> ranges, uint16_t nonRepeaters = 0,
                uint16_t repetitions = 0)
{
    NyAgentxPdu pdu = Request(type, 9, 40, 41);
    for (const auto& r : ranges)
        AddRange(pdu, kBase + r[0], r.size() > 1 && !r[1].empty() ? kBase + r[1] : "", r.size() > 2);
    pdu.nonRepeaters = nonRepeaters;
    pdu.maxRepetitions = repetitions;
    return pdu;
}

} // namespace

TEST_F(FakeMaster, ReadsOverSearchRangesInBothByteOrders)
{
    loop.Start();
    const std::string b = kBase;
    struct Case {
        NyAgentxPdu request;
        std::vector<std::string> answer;
    } cases[] = {
        {Get(NYAGENTX_GET, {{".1"}, {".77"}, {".11.1.2.9"}, {".9"}}),
         {b + ".1 = -42", b + ".77 = NoSuchObject", b + ".11.1.2.9 = NoSuchInstance", b + ".9 = NoSuchObject"}},
        {Get(NYAGENTX_GETNEXT, {{".1", "", "include"}, {".1"}, {".8"}, {".11.1.3.3", ".12"}}),
         {b + ".1 = -42", b + ".2 = nysnmp test host", b + ".11.1.2.1 = first", b + ".11.1.3.3 = EndOfMibView"}},
        {Get(NYAGENTX_GETBULK, {{".4"}, {".11.1.2.2"}, {".11.1.3.2", ".12"}}, 1, 3),
         {b + ".5 = 123456", b + ".11.1.2.3 = third", b + ".11.1.3.3 = 30", b + ".11.1.3.1 = 10",
          b + ".11.1.3.3 = EndOfMibView", b + ".11.1.3.2 = 20", b + ".11.1.3.3 = EndOfMibView"}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(int(c.request.type));
        NyAgentxPdu response = Ask(c.request);
        EXPECT_EQ(response.type, NYAGENTX_RESPONSE);
        EXPECT_EQ(response.packetId, 41u);
        EXPECT_EQ(response.transactionId, 40u);
        EXPECT_EQ(Shown(response.vars), c.answer);
    }
    // A little-endian master gets the same answer, in network byte order.
    NyAgentxPdu get = Get(NYAGENTX_GET, {{".1"}});
    EXPECT_EQ(Shown(Ask(LittleEndian(Encode(get), {4, 8, 12, 16, 20})).vars),
              std::vector<std::string>{b + ".1 = -42"});
}

TEST_F(FakeMaster, SetTransactionsStoreOnlyWhatWasCommitted)
{
    loop.Start();
    auto test = [&](uint32_t transaction, std::vector<std::pair<std::string, int32_t>> values) {
        NyAgentxPdu pdu = Request(NYAGENTX_TESTSET, 9, transaction, 50);
        for (auto& v : values) {
            NySnmpVar var;
            var.Oid().Assign((kBase + v.first).c_str());
            if (v.first == ".12")
                var.Value().SetOctets({2, reinterpret_cast<unsigned char*>(const_cast<char*>("hi"))});
            else
                var.Value().SetInt32(v.second);
            pdu.vars.Append(var);
        }
        return Ask(pdu);
    };
    auto phase = [&](uint8_t type, uint32_t transaction) {
        NyAgentxPdu pdu = Request(type, 9, transaction, 51);
        if (type == NYAGENTX_CLEANUPSET) {
            master.Write(Encode(pdu));
            return NyAgentxPdu(); // no answer to a cleanup
        }
        return Ask(pdu);
    };
    struct Step {
        uint8_t type;
        uint32_t transaction;
        uint16_t error;
    };
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, int32_t>> values;
        std::vector<Step> after;
        int32_t level;
        int rolledBack;
    } cases[] = {
        {"commit", {{".1", 5}}, {{NYAGENTX_COMMITSET, 1, 0}, {NYAGENTX_CLEANUPSET, 1, 0}}, 5, 0},
        {"undo after commit", {{".1", 6}}, {{NYAGENTX_COMMITSET, 1, 0}, {NYAGENTX_UNDOSET, 1, 0}}, -42, 101},
        {"cleanup without commit", {{".1", 7}}, {{NYAGENTX_CLEANUPSET, 1, 0}}, -42, 101},
        {"commit of another transaction", {{".1", 8}},
         {{NYAGENTX_COMMITSET, 2, NYAGENTX_PROCESSING_ERROR}, {NYAGENTX_CLEANUPSET, 1, 0}}, -42, 101},
        {"second binding fails at commit, undone", {{".1", 9}, {".12", 0}},
         {{NYAGENTX_COMMITSET, 1, NYAGENTX_COMMIT_FAILED}, {NYAGENTX_UNDOSET, 1, 0}}, -42, 201},
        {"commit without a test", {}, {{NYAGENTX_COMMITSET, 3, NYAGENTX_PROCESSING_ERROR}}, -42, 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::lock_guard<NySocketMutex> guard(session.MibMutex());
            tree.level.value() = -42;
            tree.motto.value() = "carpe diem";
        }
        session.rolledBack = 0;
        if (!c.values.empty()) {
            EXPECT_EQ(test(1, c.values).error, 0);
        }
        for (const Step& s : c.after) {
            NyAgentxPdu answer = phase(s.type, s.transaction);
            if (s.type != NYAGENTX_CLEANUPSET) {
                EXPECT_EQ(answer.error, s.error) << int(s.type);
            }
        }
        EXPECT_EQ(Ask(Get(NYAGENTX_GET, {{".1"}})).vars.Size(), 1u); // after the cleanup
        EXPECT_EQ(Level(), c.level);
        EXPECT_EQ(session.rolledBack, c.rolledBack);
        EXPECT_EQ(tree.motto.value(), "carpe diem");
    }
    // A TestSet while another transaction is open is refused and leaves it
    // as it was; a refused binding names its index.
    EXPECT_EQ(test(1, {{".1", 5}}).error, 0);
    EXPECT_EQ(test(2, {{".1", 6}}).error, NYAGENTX_PROCESSING_ERROR);
    EXPECT_EQ(phase(NYAGENTX_COMMITSET, 1).error, 0);
    phase(NYAGENTX_CLEANUPSET, 1);
    NyAgentxPdu refused = test(4, {{".1", 1}, {".2", 0}});
    EXPECT_EQ(refused.error, NYAGENTX_NOT_WRITABLE);
    EXPECT_EQ(refused.index, 2);
    phase(NYAGENTX_CLEANUPSET, 4);
    EXPECT_EQ(Ask(Get(NYAGENTX_GET, {{".1"}})).vars.Size(), 1u);
    EXPECT_EQ(Level(), 5);
}

TEST_F(FakeMaster, PingsBothWays)
{
    Answer(3);
    EXPECT_EQ(session.Ping(2), 0);
    EXPECT_EQ(Read().type, NYAGENTX_PING);
    EXPECT_EQ(session.Ping(1), -1); // nobody answers
    EXPECT_EQ(Read().type, NYAGENTX_PING);
    loop.Start();
    NyAgentxPdu answer = Ask(Request(NYAGENTX_PING, 9, 0, 60));
    EXPECT_EQ(answer.type, NYAGENTX_RESPONSE);
    EXPECT_EQ(answer.error, 0);
}

TEST_F(FakeMaster, DamagedPdusAreAnsweredOrEndTheConnection)
{
    loop.Start();
    // The header holds, the payload does not: parseError, and on it goes.
    Bytes bad = Hex("01 05 10 00 00000009 00000001 00000063 00000008 81000000 00000000");
    NyAgentxPdu answer = Ask(bad);
    EXPECT_EQ(answer.error, NYAGENTX_PARSE_ERROR);
    EXPECT_EQ(answer.packetId, 0x63u);
    EXPECT_EQ(Ask(Get(NYAGENTX_GET, {{".1"}})).vars.Size(), 1u);
    // A header that cannot be followed ends the stream with a Close; the
    // session comes back by itself.
    for (const char* header : {"02 05 10 00 00000009 00000001 00000001 00000000",
                               "01 05 10 00 00000009 00000001 00000001 00010000"}) {
        SCOPED_TRACE(header);
        master.Write(Hex(header));
        NyAgentxPdu close = Read();
        EXPECT_EQ(close.type, NYAGENTX_CLOSE);
        EXPECT_EQ(close.reason, NYAGENTX_REASON_PARSE_ERROR);
        ServeReconnect();
        EXPECT_EQ(Ask(Get(NYAGENTX_GET, {{".1"}})).vars.Size(), 1u);
        EXPECT_TRUE(WaitFor([&] { return loop.lastResult == static_cast<int>(NYAGENTX_BAD_HEADER); }, 3000));
        loop.lastResult = 0;
    }
}

TEST_F(FakeMaster, MasterCloseAndSilenceLeadToReconnection)
{
    session.SetKeepAlive(1);
    loop.Start();
    NyAgentxPdu close = Request(NYAGENTX_CLOSE, 9, 0, 70);
    close.reason = NYAGENTX_REASON_SHUTDOWN;
    master.Write(Encode(close));
    ServeReconnect();
    EXPECT_EQ(Ask(Get(NYAGENTX_GET, {{".1"}})).vars.Size(), 1u);
    EXPECT_TRUE(WaitFor([&] { return loop.lastResult == static_cast<int>(NYAGENTX_CLOSED); }, 3000));
    // Pings left unanswered: the master counts as gone.
    EXPECT_EQ(Read(3000).type, NYAGENTX_PING);
    EXPECT_TRUE(master.Read(1, 4000).empty()); // hung up on
    ServeReconnect();
    EXPECT_TRUE(WaitFor([&] { return loop.lastResult == static_cast<int>(NYAGENTX_NO_ANSWER); }, 3000));
}
