// tcp_table.h - the IPv4 TCP sockets of this machine, as the kernel lists
// them in /proc/net/tcp.
#ifndef RELAY_PEER_TCP_TABLE_H
#define RELAY_PEER_TCP_TABLE_H

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace relay {

// An IPv4 address in network order (the four octets as written a.b.c.d).
using Ipv4 = std::array<uint8_t, 4>;

// The two kernel socket states the relay tables show.
constexpr int kTcpEstablished = 0x01;
constexpr int kTcpListen = 0x0A;

struct TcpSocket {
    Ipv4 localAddress{};
    uint16_t localPort = 0;
    Ipv4 remoteAddress{};
    uint16_t remotePort = 0;
    int state = 0;
    uint32_t uid = 0;
    uint64_t inode = 0;
};

// One line of the table.  False, with `out` untouched, for the header line and
// for anything that is not a complete, well-formed socket line.
bool ParseTcpLine(const std::string& line, TcpSocket& out);

// Every well-formed socket line of the stream, in order; the rest is skipped.
std::vector<TcpSocket> ParseTcpTable(std::istream& in);

// Reads the table from `path` (normally /proc/net/tcp).  False with a reason
// in `error` when the file cannot be read.
bool ReadTcpTable(const std::string& path, std::vector<TcpSocket>& out, std::string& error);

// "a.b.c.d".
std::string DottedAddress(const Ipv4& address);

inline bool IsLoopback(const Ipv4& address) { return address[0] == 127; }
inline bool IsWildcard(const Ipv4& address) { return address == Ipv4{}; }

} // namespace relay

#endif
