// Bookkeeping of the relay listener and connection rows, and the rows with
// which relay-peer describes itself.
#include <tuple>

#include <gtest/gtest.h>

#include "relay_rows.h"
#include "self_rows.h"

using namespace relay;
using namespace std::chrono_literals;

namespace {

const Ipv4 kLoopback{127, 0, 0, 1}, kAny{0, 0, 0, 0}, kHost{10, 0, 0, 5}, kRemote{192, 0, 2, 9};

std::string FakeUser(uint32_t uid) { return "user" + std::to_string(uid); }

TcpSocket Listening(Ipv4 address, uint16_t port, uint32_t uid = 0) { return {address, port, kAny, 0, kTcpListen, uid, 0}; }
TcpSocket Connected(Ipv4 local, uint16_t localPort, Ipv4 remote, uint16_t remotePort, int state = kTcpEstablished)
{
    return {local, localPort, remote, remotePort, state, 0, 0};
}

ConnKey Key(const TcpSocket& s) { return ConnKey{s.localAddress, s.localPort, s.remoteAddress, s.remotePort}; }

NySnmpValue Integer(int32_t value)
{
    NySnmpValue result;
    result.SetInt32(value);
    return result;
}

struct RelayRowsTest : ::testing::Test {
    RelayMib mib;
    RelayRows rows{mib, &FakeUser};
    RelayRows::Clock::time_point t0 = RelayRows::Clock::now();

    // What the session does with a Set of one column: test, store, hook.
    int SetColumn(NyMibObject& column, int32_t value)
    {
        NySnmpValue v = Integer(value);
        const int status = rows.TestSet(column, v);
        if (status == 0 && column.set(v, true) == 0 && (column.UserEvents() & kEventAfterCommit))
            rows.SetCommitted(column);
        return status;
    }
};

TEST_F(RelayRowsTest, RowsFollowTheSocketList)
{
    const TcpSocket listener = Listening(kLoopback, 199, 7), conn = Connected(kLoopback, 45000, kLoopback, 199);
    const TcpSocket closing = Connected(kLoopback, 45001, kLoopback, 199, 0x06); // TIME_WAIT
    rows.Update({listener, conn, closing, listener}, t0);
    EXPECT_EQ(mib.relayListenerTable.Children().size(), 1u);
    EXPECT_EQ(mib.relayConnTable.Children().size(), 1u);
    RelayListenerEntry* l = rows.Listener({kLoopback, 199});
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(l->relayLstatus.Oid().AsString(), "1.3.6.1.4.1.32473.1.1.3.2.14.2.1.1.127.0.0.1.199");
    EXPECT_EQ(l->relayLaddress.value(), std::string("\x7f\x00\x00\x01", 4));
    EXPECT_EQ(l->relayLport.value(), 199);
    EXPECT_EQ(l->relayLstatus.value(), kListenerListening);
    EXPECT_EQ(l->relayLtype.value(), 2);   // internal: loopback
    EXPECT_EQ(l->relayLaccess.value(), 1); // private: one address
    EXPECT_EQ(l->relayLowner.value(), "user7");
    NySnmpOid oid("1.3.6.1.4.1.32473.1.1.3.2.14.3.1.3.127.0.0.1.45000.127.0.0.1.199");
    ASSERT_NE(mib.Find(oid), nullptr);
    EXPECT_EQ(mib.Find(oid), &rows.Conn(Key(conn))->relayClocalPort);
    EXPECT_EQ(rows.Conn(Key(conn))->relayCstatus.value(), kConnConnected);

    // The connection closes, a new listener opens; a lasting socket keeps its row.
    rows.Update({listener, Listening(kAny, 8080)}, t0 + 1s);
    EXPECT_EQ(mib.Find(oid), nullptr);
    EXPECT_EQ(rows.ConnRows(), 0u);
    EXPECT_EQ(rows.Listener({kLoopback, 199}), l);
    ASSERT_NE(rows.Listener({kAny, 8080}), nullptr);
    EXPECT_EQ(rows.Listener({kAny, 8080})->relayLaccess.value(), 2); // shared: every address
    EXPECT_EQ(rows.Listener({kAny, 8080})->relayLtype.value(), 6);
    rows.Update({}, t0 + 2s);
    EXPECT_TRUE(mib.relayListenerTable.Children().empty());
}

TEST_F(RelayRowsTest, ListenerCountsActiveAndAcceptedConnections)
{
    const TcpSocket any = Listening(kAny, 8080), bound = Listening(kLoopback, 9090);
    const TcpSocket a = Connected(kHost, 8080, kRemote, 50001), b = Connected(kLoopback, 8080, kLoopback, 50002);
    const TcpSocket c = Connected(kHost, 9090, kRemote, 50003); // another address than the listener's
    const TcpSocket d = Connected(kLoopback, 9090, kLoopback, 50004), e = Connected(kHost, 8080, kRemote, 50005);
    rows.Update({any, bound, a, b, c, d}, t0);
    EXPECT_EQ(rows.Listener({kAny, 8080})->relayLactiveConn.value(), 2);
    EXPECT_EQ(rows.Listener({kAny, 8080})->relayLacceptedConn.value(), 2);
    EXPECT_EQ(rows.Listener({kLoopback, 9090})->relayLactiveConn.value(), 1);
    rows.Update({any, bound, b, e}, t0 + 3s);
    EXPECT_EQ(rows.Listener({kAny, 8080})->relayLactiveConn.value(), 2);
    EXPECT_EQ(rows.Listener({kAny, 8080})->relayLacceptedConn.value(), 3) << "b is not counted twice";
    EXPECT_EQ(rows.Listener({kLoopback, 9090})->relayLactiveConn.value(), 0);
    EXPECT_EQ(rows.Listener({kLoopback, 9090})->relayLacceptedConn.value(), 1);
}

TEST_F(RelayRowsTest, ConnectionUpTimeAndLinkedEnd)
{
    const TcpSocket client = Connected(kLoopback, 45000, kLoopback, 199);
    const TcpSocket server = Connected(kLoopback, 199, kLoopback, 45000), outside = Connected(kHost, 22, kRemote, 50000);
    rows.Update({client, outside}, t0);
    EXPECT_EQ(rows.Conn(Key(client))->relayClinkedWith.value(), "");
    rows.Update({client, server, outside}, t0 + 5s);
    EXPECT_EQ(rows.Conn(Key(client))->relayCupTime.value(), 500u);
    EXPECT_EQ(rows.Conn(Key(server))->relayCupTime.value(), 0u);
    EXPECT_EQ(rows.Conn(Key(client))->relayClinkedWith.value(), "127.0.0.1.199.127.0.0.1.45000");
    EXPECT_EQ(rows.Conn(Key(server))->relayClinkedWith.value(), "127.0.0.1.45000.127.0.0.1.199");
    EXPECT_EQ(rows.Conn(Key(outside))->relayClinkedWith.value(), "");
    // Between refreshes the read hook brings the up-time to the moment of the read.
    VlmMibTimeTicks& upTime = rows.Conn(Key(client))->relayCupTime;
    ASSERT_NE(upTime.UserEvents() & kEventBeforeGet, 0);
    rows.BeforeGet(upTime, upTime.UserData(), t0 + 7250ms);
    EXPECT_EQ(upTime.value(), 725u);
    rows.BeforeGet(upTime, nullptr, t0 + 9s);
    EXPECT_EQ(upTime.value(), 725u) << "no row, no change";
}

TEST_F(RelayRowsTest, OnlyInvalidOnAStatusColumnIsAccepted)
{
    const TcpSocket conn = Connected(kLoopback, 45000, kLoopback, 199);
    rows.Update({Listening(kLoopback, 199), conn}, t0);
    RelayConnEntry& c = *rows.Conn(Key(conn));
    RelayListenerEntry& l = *rows.Listener({kLoopback, 199});
    const std::tuple<NyMibObject*, int32_t, int> cases[] = {
        {&c.relayCstatus, kStatusInvalid, 0}, {&c.relayCstatus, 1, kErrBadValue},
        {&c.relayCstatus, kConnConnected, kErrBadValue}, {&c.relayCsent, 2, kErrNotWritable},
        {&l.relayLstatus, kStatusInvalid, 0}, {&l.relayLstatus, 3, kErrBadValue}, {&l.relayLfwdPort, 2, kErrNotWritable},
    };
    for (const auto& [column, value, status] : cases)
        EXPECT_EQ(rows.TestSet(*column, Integer(value)), status) << column->Name() << " " << value;
    NySnmpValue text;
    unsigned char two[] = {'2'};
    text.SetOctets(NYSMI_OCTETS{1, two});
    EXPECT_EQ(rows.TestSet(c.relayCstatus, text), kErrBadValue) << "an OCTET STRING is no status";
    // Every writable column asks before a Set; only the status columns after.
    for (NyMibTableEntry* entry : {static_cast<NyMibTableEntry*>(&c), static_cast<NyMibTableEntry*>(&l)})
        for (NyMibObject* column : entry->Children()) {
            EXPECT_EQ((column->UserEvents() & kEventBeforeSet) != 0, column->Access() == 2) << column->Name();
            EXPECT_EQ((column->UserEvents() & kEventAfterCommit) != 0, column == &c.relayCstatus || column == &l.relayLstatus);
        }
}

TEST_F(RelayRowsTest, InvalidatedRowStaysOutWhileItsSocketExists)
{
    const TcpSocket listener = Listening(kLoopback, 199), conn = Connected(kLoopback, 45000, kLoopback, 199);
    const TcpSocket other = Connected(kLoopback, 45001, kLoopback, 199);
    rows.Update({listener, conn, other}, t0);
    ASSERT_EQ(SetColumn(rows.Conn(Key(conn))->relayCstatus, kStatusInvalid), 0);
    ASSERT_EQ(SetColumn(rows.Listener({kLoopback, 199})->relayLstatus, kStatusInvalid), 0);
    EXPECT_EQ(rows.ConnRows(), 2u) << "until the session has finished the commit the rows are still there";
    rows.RemoveInvalidated();
    EXPECT_EQ(rows.Conn(Key(conn)), nullptr);
    EXPECT_EQ(rows.Listener({kLoopback, 199}), nullptr);
    EXPECT_EQ(mib.relayConnTable.Children().size(), 1u);
    // The sockets still exist: refreshes keep them out.
    for (auto t : {t0 + 3s, t0 + 6s})
        rows.Update({listener, conn, other, Listening(kAny, 8080)}, t);
    EXPECT_EQ(rows.Conn(Key(conn)), nullptr);
    EXPECT_EQ(rows.Listener({kLoopback, 199}), nullptr);
    EXPECT_EQ(rows.ConnRows(), 1u);
    // The connection goes; a later one with the same addresses is a new socket.
    rows.Update({listener, other}, t0 + 9s);
    rows.Update({listener, conn, other}, t0 + 12s);
    ASSERT_NE(rows.Conn(Key(conn)), nullptr);
    EXPECT_EQ(rows.Conn(Key(conn))->relayCupTime.value(), 0u);
    EXPECT_EQ(rows.Listener({kLoopback, 199}), nullptr) << "the listener never went away";
    // A refresh also removes a row invalidated meanwhile.
    ASSERT_EQ(SetColumn(rows.Conn(Key(other))->relayCstatus, kStatusInvalid), 0);
    rows.Update({listener, conn, other}, t0 + 13s);
    EXPECT_EQ(rows.Conn(Key(other)), nullptr);
}

TEST(SelfRows, DescribeTheProcessAndHideThePassword)
{
    VlmMibRoot mib;
    SelfInfo info;
    info.sysInstance = 3;
    info.svcInstance = 2;
    info.name = "ab";
    info.pid = 4321;
    SelfRows self(mib, info);
    EXPECT_STREQ(self.sys.vlmSysOwnerName.Oid().AsString(), "1.3.6.1.4.1.32473.1.1.1.1.3.3");
    // Service index: the name as length and octets, then both instances.
    EXPECT_STREQ(self.svc.vlmSvcPid.Oid().AsString(), "1.3.6.1.4.1.32473.1.1.3.1.1.4.2.97.98.2.3");
    EXPECT_EQ(self.svc.vlmSvcPid.value(), 4321);
    EXPECT_EQ(self.svc.vlmSvcOperState.value(), kOperStarting);
    EXPECT_NE(self.svc.vlmSvcControl.UserEvents() & kEventBeforeSet, 0);

    const char* args[] = {"relay-peer", "-p", "1999", "-w", "s3cret", "--password", "other",
                          "--password=third", "-wfourth", "--identity", "1.3"};
    EXPECT_EQ(PublicParams(static_cast<int>(std::size(args)), const_cast<char**>(args), {"-w", "--password"}),
              "-p 1999 -w **** --password **** --password=**** -w**** --identity 1.3");
}

} // namespace
