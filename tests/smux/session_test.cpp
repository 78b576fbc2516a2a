// The session against a fake agent on loopback: what goes on the wire, how
// sends that cannot finish at once are completed, and the connection's life.
#include <sys/socket.h>

#include <cerrno>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "smux/peer.h"

namespace {

// A manager whose clock stands still at a chosen up-time.
class FixedClockManager : public NySnmpManager {
public:
    int32_t UpTime() override { return 90; }
};

// A trap variable whose read fails with the given error status.
class FailingVar : public NyMibObject {
public:
    FailingVar(NyMibObject& parent, int subId) : NyMibObject("brokenVar", parent, subId, 2, 1) {}
    int get(NySnmpValue&) override { return 3; }
};

struct Connected : ::testing::Test {
    FixedClockManager manager;
    FakeAgent agent;
    NotingSession session{manager};

    void SetUp() override
    {
        ASSERT_TRUE(session.Connect(agent.Port()));
        ASSERT_TRUE(agent.Accept());
    }
};

// What cannot be encoded is refused and nothing is sent; a ClosePDU carries
// the reason's low octet; an agent that stays silent ends Close at its deadline.
TEST_F(Connected, OpenRefusalsAndClosePdus)
{
    EXPECT_EQ(session.Open(nullptr, "d", "p"), -1);
    EXPECT_EQ(IdOf(Caught([&] { session.Open("1.3.6.1.4.1.9999", "d", ""); })), 0xC0090002u);
    EXPECT_EQ(IdOf(Caught([&] { session.Open("1.3.x", "d", "p"); })), 0xC0090005u);
    const std::string huge(70000, 'd');
    int result = -1; // thrown or returned, a failure, not a silent success
    Caught([&] { result = session.Open("1.3.6.1.4.1.9999", huge.c_str(), "p"); });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(agent.ReadAvailable(100).empty());
    ASSERT_EQ(session.SendClosePdu(261, 5), 0);
    EXPECT_EQ(ToHex(agent.Read(3)), "41 01 05");
    EXPECT_EQ(session.Close(0, 1), 0);
    EXPECT_EQ(ToHex(agent.Read(3)), "41 01 00");
}

TEST_F(Connected, TrapPduOnTheWire)
{
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject enterprise("ent", "1.3.6.1.4.1.9999", &root.Children(), 289, 0);
    NyMibTrap bare("bare", enterprise, 3), rich("rich", enterprise, 4);
    MibOctets text("text", rich, 2, 1);
    MibInt number("number", rich, 1, 1);
    number.value() = 5;
    text.value() = "abc";
    ASSERT_EQ(session.Send(bare, 5), 0);
    EXPECT_EQ(ToHex(agent.Read(34)), "A4 82 00 1E 06 08 2B 06 01 04 01 CE 0F 03 40 04 7F 00 00 01 02 01 06 02 01 03 "
                                     "43 02 23 28 30 82 00 00");
    // Variables in the order of the trap's children, not of their making.
    ASSERT_EQ(session.Send(rich, 5), 0);
    EXPECT_EQ(ToHex(agent.Read(72)), "A4 82 00 44 06 08 2B 06 01 04 01 CE 0F 04 40 04 7F 00 00 01 02 01 06 02 01 04 "
                                     "43 02 23 28 30 82 00 26 30 82 00 0E 06 09 2B 06 01 04 01 CE 0F 04 01 02 01 05 "
                                     "30 82 00 10 06 09 2B 06 01 04 01 CE 0F 04 02 04 03 61 62 63");
    FailingVar broken(rich, 3);
    auto e = Caught([&] { session.Send(rich, 5); });
    EXPECT_EQ(IdOf(e), 0xC0090018u);
    EXPECT_STREQ(e ? e->Text() : "", "Failed to get a value of object brokenVar, error 3");
    EXPECT_TRUE(agent.ReadAvailable(100).empty()) << "nothing is sent";
}

// The agent reads slowly: the packet goes out partly at once and the rest
// from OnSend, in order; a second packet waits for the first.
TEST_F(Connected, LargePacketFinishedFromOnSend)
{
    unsigned char small[3] = {0x41, 0x01, 0x00};
    EXPECT_EQ(session.SendPacket(small, 0, 0), -1);
    Bytes packet(8 * 1024 * 1024);
    for (size_t i = 0; i < packet.size(); ++i)
        packet[i] = static_cast<unsigned char>(i * 7 + i / 509);
    ASSERT_EQ(session.SendPacket(packet.data(), static_cast<unsigned>(packet.size()), 5), 0);
    ASSERT_GT(session.SendRecord().length, 0u) << "the socket took it all at once";
    EXPECT_FALSE(session.Socket()->IsReadyToSend());
    // With nobody reading, the second packet's time-out passes; the pending one is left as it was.
    EXPECT_EQ(session.SendPacket(small, 3, 1), -1);

    Bytes received;
    for (int idle = 0; idle < 2000 && received.size() < packet.size();) { // at most 2 s without progress
        Bytes chunk = agent.ReadAvailable(0);
        received.insert(received.end(), chunk.begin(), chunk.end());
        idle = chunk.empty() ? idle + 1 : 0;
        timeval tv{0, chunk.empty() ? 1000 : 0};
        session.WaitForSocketEvents(&tv);
    }
    EXPECT_TRUE(received == packet) << received.size() << " bytes of " << packet.size();
    EXPECT_EQ(session.SendRecord().data, nullptr);
    EXPECT_TRUE(session.Socket()->IsReadyToSend());
}

TEST(Session, RefusedConnectionLeavesTheWaitWithConnectFailed)
{
    NySnmpManager manager;
    FakeAgent nobody(false);
    NotingSession session(manager);
    ASSERT_EQ(session.Init(0, nobody.Port(), "127.0.0.1"), 0) << "the attempt has only started";
    auto e = Caught([&] { session.WaitUntil([] { return false; }); });
    EXPECT_EQ(IdOf(e), 0xC008000Du);
    EXPECT_EQ(e ? e->NativeError() : 0, ECONNREFUSED);
    EXPECT_EQ(session.Socket()->Handle(), -1);
    session.ReInit();
    EXPECT_EQ(IdOf(Caught([&] { session.Open("1.3.6.1.4.1.9999", "d", "p"); })), 0xC008000Du)
        << "Open waits for the connection, so the refusal ends it too";
}

TEST_F(Connected, WhatTheAgentSendsBeforeItClosesIsKept)
{
    ASSERT_TRUE(agent.Write(Hex("44 01 00")));
    ASSERT_TRUE(agent.Write(Hex("21"), MSG_OOB));
    ASSERT_TRUE(session.WaitUntil([this] { return session.OutOfBandRecord().length == 1; }));
    EXPECT_EQ(session.OutOfBandRecord().data[0], 0x21);
    ASSERT_TRUE(agent.Write(Hex("41 01 05")));
    agent.Drop();
    ASSERT_TRUE(session.WaitUntil([this] { return session.Socket()->Handle() == -1; }));
    EXPECT_EQ(ToHex(session.ReceiveRecord().data, session.ReceiveRecord().length), "44 01 00 41 01 05");
    unsigned char byte = 0;
    EXPECT_EQ(session.SendPacket(&byte, 1, 1), -1);
}

TEST(Session, WithoutASocketAndTheLingerOption)
{
    NySnmpManager manager;
    EXPECT_LE(manager.UpTime(), 1);
    NotingSession session(manager);
    unsigned char byte = 0x41;
    EXPECT_EQ(session.SendPacket(&byte, 1, 0), -1) << "no socket";
    EXPECT_EQ(session.Open("", "d", "p"), -1) << "an empty identity does not connect";
    EXPECT_EQ(session.Init(1, 1, nullptr), -1);
    EXPECT_EQ(ToHex(session.AgentAddress().ptr, 4), "00 00 00 00");
    // The linger time is applied by the next ReInit, and clamped.
    EXPECT_EQ(session.SetLingerTime(30), 0);
    FakeAgent agent;
    ASSERT_EQ(session.Init(0, agent.Port(), "127.0.0.1"), 0);
    auto native = [&session] {
        linger value{};
        socklen_t size = sizeof value;
        ::getsockopt(session.Socket()->Handle(), SOL_SOCKET, SO_LINGER, &value, &size);
        return std::to_string(value.l_onoff) + "/" + std::to_string(value.l_linger);
    };
    EXPECT_EQ(native(), "1/30");
    EXPECT_EQ(session.SetLingerTime(-5), 0);
    EXPECT_EQ(native(), "1/0");
}

// A new connection starts clean: nothing of the old stream is read or written on it.
TEST_F(Connected, ReInitStartsWithEmptyBuffers)
{
    ASSERT_EQ(session.Open("1.3.6.1.4.1.9999", "d", "p"), 0);
    ASSERT_EQ(agent.Read(22).size(), 22u);
    ASSERT_TRUE(agent.Write(Hex("A0 82 00 20 02"))); // the start of a PDU
    ASSERT_TRUE(agent.Write(Hex("7E"), MSG_OOB));
    ASSERT_TRUE(session.WaitUntil([this] {
        return session.ReceiveRecord().length == 5 && session.OutOfBandRecord().length == 1;
    }));
    Bytes packet(8 * 1024 * 1024, 0xEE);
    ASSERT_EQ(session.SendPacket(packet.data(), static_cast<unsigned>(packet.size()), 5), 0);
    ASSERT_GT(session.SendRecord().length, 0u);
    ASSERT_EQ(session.Reconnect(), 0);
    ASSERT_TRUE(agent.Accept());
    EXPECT_EQ(session.ReceiveRecord().length, 0u);
    EXPECT_EQ(session.OutOfBandRecord().length, 0u);
    EXPECT_EQ(session.SendRecord().data, nullptr);
    Bytes first = agent.Read(4);
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0], 0x60) << "the new stream starts with the OpenPDU";
}

} // namespace
