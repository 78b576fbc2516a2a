// Parsing of /proc/net/tcp and /proc/net/tcp6 lines.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <tuple>

#include "support/loopback.h"
#include "tcp_table.h"

using relay::Ipv4;
using relay::ParseTcpLine;
using relay::TcpSocket;

namespace {

auto Fields(const TcpSocket& s)
{
    return std::make_tuple(s.localAddress, s.localPort, s.remoteAddress, s.remotePort, s.state, s.uid, s.inode);
}

// The kernel writes each address as its network-order value read as a native
// integer; these rows are what it writes on a little-endian machine.
const std::pair<const char*, TcpSocket> kGoodLines[] = {
    // listener on 127.0.0.1:199 (0x00C7)
    {"   0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 31234 1 0000000045d0059b 100 0 0 10 0",
     {{127, 0, 0, 1}, 199, {0, 0, 0, 0}, 0, 0x0A, 0, 31234}},
    // wildcard listener on 2024, owned by uid 1000, lower-case hex
    {"  12: 00000000:07e8 00000000:0000 0a 00000000:00000000 00:00000000 00000000  1000        0 1244 1 ffff 100 0 0 10 0",
     {{0, 0, 0, 0}, 2024, {0, 0, 0, 0}, 0, 0x0A, 1000, 1244}},
    // established 10.1.2.3:22 <- 192.168.0.77:50000, no trailing columns
    {"   3: 0302010A:0016 4D00A8C0:C350 01 00000024:00000000 01:00000014 00000000   105        0 998877",
     {{10, 1, 2, 3}, 22, {192, 168, 0, 77}, 50000, 0x01, 105, 998877}},
    // highest address and port, tabs between the columns
    {"4:\tFFFFFFFF:FFFF\tFEFFFFFF:0001\t06\t00000000:00000000\t03:00001349\t00000000\t0\t0\t0\t3",
     {{255, 255, 255, 255}, 65535, {255, 255, 255, 254}, 1, 0x06, 0, 0}},
    // /proc/net/tcp6: a dual-stack listener on :: port 34505 shows as 0.0.0.0
    {"   1: 00000000000000000000000000000000:86C9 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 12858 1 00000000fa0c1b80 100 0 0 10 0",
     {{0, 0, 0, 0}, 34505, {0, 0, 0, 0}, 0, 0x0A, 0, 12858}},
    // its IPv4 client, both ends IPv4-mapped (::ffff:127.0.0.1 <- ::ffff:127.0.0.1:39750)
    {"   2: 0000000000000000FFFF00000100007F:86C9 0000000000000000FFFF00000100007F:9B46 01 00000000:00000000 00:00000000 00000000     0        0 12860 1 0000000020b83241 20 0 0 10 -1",
     {{127, 0, 0, 1}, 34505, {127, 0, 0, 1}, 39750, 0x01, 0, 12860}},
    // ::ffff:10.1.2.3:22 <- ::ffff:192.168.0.77, lower-case hex
    {"   3: 0000000000000000ffff00000302010a:0016 0000000000000000ffff00004d00a8c0:C350 01 00000000:00000000 00:00000000 00000000   105        0 998877",
     {{10, 1, 2, 3}, 22, {192, 168, 0, 77}, 50000, 0x01, 105, 998877}},
};

// Each line alone, and all of them in a table that also holds the header,
// garbage between them and a last line cut short by a short read.
TEST(TcpTable, ParsesSocketLinesAloneAndInATable)
{
    std::string text = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    for (const auto& [line, expected] : kGoodLines) {
        SCOPED_TRACE(line);
        TcpSocket socket;
        ASSERT_TRUE(ParseTcpLine(line, socket));
        EXPECT_EQ(Fields(socket), Fields(expected));
        text += std::string(line) + "\ngarbage that is not a socket\n";
    }
    std::istringstream table(text + "   2: 0100007F:1F90 0100007F:D4");
    const std::vector<TcpSocket> sockets = relay::ParseTcpTable(table);
    ASSERT_EQ(sockets.size(), std::size(kGoodLines));
    for (size_t i = 0; i < sockets.size(); ++i)
        EXPECT_EQ(Fields(sockets[i]), Fields(kGoodLines[i].second)) << i;
    EXPECT_EQ(relay::DottedAddress({127, 0, 0, 1}), "127.0.0.1");
    EXPECT_EQ(relay::DottedAddress({255, 255, 255, 255}), "255.255.255.255");
}

TEST(TcpTable, RefusesMalformedLines)
{
    const char* const bad[] = {
        "",                                                     // empty
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode",  // header
        "   0: 0100007F:00C7 00000000:0000 0A",                 // cut after the state
        "   0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0",  // no inode
        "   0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 12x4",  // inode not decimal
        "   0 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",  // slot without colon
        "   x: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",  // slot not a number
        "   0: 100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",   // 7-digit address
        "   0: 0100007F0:0C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",  // colon misplaced
        "   0: 0100007F:00C77 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1", // 5-digit port
        "   0: 0100007G:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",  // not hex
        "   0: 0100007F:00C7 00000000-0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",  // remote without colon
        "   0: 0100007F:00C7 00000000:0000 A 00000000:00000000 00:00000000 00000000 0 0 1",   // 1-digit state
        "   0: 0100007F:00C7 00000000:0000 0AB 00000000:00000000 00:00000000 00000000 0 0 1", // 3-digit state
        "   0: 0100007F:00C7 00000000:0000 0A 0000000000000000 00:00000000 00000000 0 0 1",   // queues without colon
        "   0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 0000000Z 0 0 1",  // retransmits not hex
        "   0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 -1 0 1", // negative uid
        "   0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 4294967296 0 1",  // uid above 32 bits
        "   0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 99999999999999999999999",  // inode overflows
        // IPv6 sockets the IPv4-indexed tables cannot show: ::1, 2001:db8::1, ::fffe:7f00:1 (not mapped), remote ::1
        "   0: 00000000000000000000000001000000:D94D 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",
        "   0: B80D0120000000000000000001000000:0016 0000000000000000FFFF00000100007F:9B46 01 00000000:00000000 00:00000000 00000000 0 0 1",
        "   0: 0000000000000000FEFF00000100007F:0016 0000000000000000FFFF00000100007F:9B46 01 00000000:00000000 00:00000000 00000000 0 0 1",
        "   0: 0000000000000000FFFF00000100007F:0016 00000000000000000000000001000000:9B46 01 00000000:00000000 00:00000000 00000000 0 0 1",
        "   0: 0000000000000000FFFF00000100007F:0016 0100007F:9B46 01 00000000:00000000 00:00000000 00000000 0 0 1",  // widths differ
        "   0: 0000000000000000FFFF0000100007F:0016 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1",  // 31 digits
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        TcpSocket socket;
        socket.localPort = 4242;
        EXPECT_FALSE(ParseTcpLine(line, socket));
        EXPECT_EQ(socket.localPort, 4242) << "output touched on failure";
    }
}

TEST(TcpTable, DropsSocketsListedTwice)
{
    using relay::kTcpListen;
    std::vector<TcpSocket> sockets = {
        {{}, 22, {}, 0, kTcpListen, 0, 10},
        {{}, 22, {}, 0, kTcpListen, 0, 11},                // same row: :: beside 0.0.0.0
        {{}, 22, {}, 0, relay::kTcpEstablished, 0, 0},     // another state
        {{127, 0, 0, 1}, 80, {}, 0, kTcpListen, 0, 10},    // same socket
        {{127, 0, 0, 1}, 81, {}, 0, kTcpListen, 0, 0},     // inode 0 is no socket to compare
        {{127, 0, 0, 1}, 82, {}, 0, kTcpListen, 0, 0},
    };
    relay::DropDuplicateSockets(sockets);
    std::vector<std::tuple<uint16_t, int, uint64_t>> kept;
    for (const TcpSocket& s : sockets)
        kept.emplace_back(s.localPort, s.state, s.inode);
    EXPECT_EQ(kept, (decltype(kept){{22, kTcpListen, 10}, {22, relay::kTcpEstablished, 0}, {81, kTcpListen, 0},
                                    {82, kTcpListen, 0}}));
}

// The live tables: this test's IPv4 listener (from /proc/net/tcp) and its
// dual-stack one (from /proc/net/tcp6, shown as 0.0.0.0) each show once.  No
// IPv6 table (a kernel without IPv6) is no IPv6 socket; no IPv4 table is an error.
TEST(TcpTable, ReadsTheKernelTablesAndReportsAMissingFile)
{
    LoopbackPeer listener;
    const int dual = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int off = 0;
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6; // :: and port 0: a free one
    socklen_t size = sizeof any;
    ASSERT_EQ(::setsockopt(dual, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off), 0);
    ASSERT_EQ(::bind(dual, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(::listen(dual, 1), 0);
    ASSERT_EQ(::getsockname(dual, reinterpret_cast<sockaddr*>(&any), &size), 0);
    std::vector<TcpSocket> sockets;
    std::string error;
    const bool read = relay::ReadTcpTables("/proc/net/tcp", "/proc/net/tcp6", sockets, error);
    ::close(dual);
    ASSERT_TRUE(read) << error;
    auto count = [&](Ipv4 address, uint16_t port) {
        return std::count_if(sockets.begin(), sockets.end(), [&](const TcpSocket& s) {
            return s.localAddress == address && s.localPort == port && s.state == relay::kTcpListen;
        });
    };
    EXPECT_EQ(count({127, 0, 0, 1}, listener.Port()), 1);
    EXPECT_EQ(count({0, 0, 0, 0}, ntohs(any.sin6_port)), 1);
    sockets.assign(3, TcpSocket{});
    EXPECT_FALSE(relay::ReadTcpTable("/nonexistent/tcp", sockets, error));
    EXPECT_NE(error.find("/nonexistent/tcp"), std::string::npos) << error;
    EXPECT_EQ(sockets.size(), 3u) << "output touched on failure";
    EXPECT_TRUE(relay::ReadTcpTables("/proc/net/tcp", "/nonexistent/tcp6", sockets, error)) << error;
    EXPECT_FALSE(relay::ReadTcpTables("/nonexistent/tcp", "/proc/net/tcp6", sockets, error));
}

} // namespace
