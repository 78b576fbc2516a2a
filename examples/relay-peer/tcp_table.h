// tcp_table.h - the TCP sockets of this machine with IPv4 ends, as the kernel
// lists them in /proc/net/tcp and /proc/net/tcp6.
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

// One line of either table.  Addresses of /proc/net/tcp6 come out as IPv4:
// the wildcard :: (a dual-stack listener) as 0.0.0.0, IPv4-mapped
// ::ffff:a.b.c.d as a.b.c.d.  False, with `out` untouched, for the header
// line, for anything that is not a complete, well-formed socket line, and
// for a socket with any other IPv6 address (the relay tables are indexed by
// IPv4 addresses).
bool ParseTcpLine(const std::string& line, TcpSocket& out);

// Every well-formed socket line of the stream, in order; the rest is skipped.
std::vector<TcpSocket> ParseTcpTable(std::istream& in);

// Reads the table from `path` (normally /proc/net/tcp).  False with a reason
// in `error` when the file cannot be read.
bool ReadTcpTable(const std::string& path, std::vector<TcpSocket>& out, std::string& error);

// Keeps the first of sockets that are the same socket (inode) or would make
// the same row (state and both ends), in order.
void DropDuplicateSockets(std::vector<TcpSocket>& sockets);

// Reads `path` and then `path6` (normally /proc/net/tcp and /proc/net/tcp6)
// into one list without duplicates.  An empty `path6` reads only `path`; a
// missing `path6` counts as empty (a kernel without IPv6).  False with a
// reason in `error`, and `out` untouched, when a table cannot be read.
bool ReadTcpTables(const std::string& path, const std::string& path6, std::vector<TcpSocket>& out,
                   std::string& error);

// "a.b.c.d".
std::string DottedAddress(const Ipv4& address);

inline bool IsLoopback(const Ipv4& address) { return address[0] == 127; }
inline bool IsWildcard(const Ipv4& address) { return address == Ipv4{}; }

} // namespace relay

#endif
