// Reading /proc/net/tcp and /proc/net/tcp6.
//
// A socket line looks like this (one line, columns separated by blanks):
//
//    sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode
//     0: 0100007F:00C7 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 31234 1 ...
//
// The kernel prints each address as the 32-bit value it holds in network
// order, read as a native integer: on a little-endian machine 127.0.0.1 reads
// 0100007F.  Copying that integer back into memory gives the octets in network
// order again on any machine.  Ports are printed as plain numbers.
//
// /proc/net/tcp6 has the same columns with 32 hex digits per address: the
// four 32-bit words of the IPv6 address, each printed like an IPv4 address
// above, so ::ffff:127.0.0.1 reads 0000000000000000FFFF00000100007F on a
// little-endian machine.
#include "tcp_table.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

namespace relay {
namespace {

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

// Exactly `digits` hex digits (at most 8) from `text` at `pos`.
bool ParseHex(const std::string& text, size_t pos, size_t digits, uint32_t& value)
{
    if (pos + digits > text.size())
        return false;
    uint32_t result = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (!IsHex(c))
            return false;
        result = (result << 4) | HexDigit(c);
    }
    value = result;
    return true;
}

using Ipv6 = std::array<uint8_t, 16>;

// "HHHHHHHH:PPPP" (IPv4: `octets` 4) or 32 hex digits, a colon and the port
// (IPv6: `octets` 16); the address in network order.
bool ParseEndpoint(const std::string& token, Ipv6& address, size_t& octets, uint16_t& port)
{
    const size_t digits = token.size() == 13 ? 8 : token.size() == 37 ? 32 : 0;
    uint32_t number = 0;
    if (digits == 0 || token[digits] != ':' || !ParseHex(token, digits + 1, 4, number))
        return false;
    for (size_t word = 0; word < digits / 8; ++word) {
        uint32_t raw = 0;
        if (!ParseHex(token, word * 8, 8, raw))
            return false;
        std::memcpy(address.data() + 4 * word, &raw, sizeof raw);
    }
    octets = digits / 2;
    port = static_cast<uint16_t>(number);
    return true;
}

// The IPv4 address the tables show for an endpoint: an IPv4 one as it is,
// the IPv6 wildcard :: (a dual-stack listener) as 0.0.0.0, an IPv4-mapped
// ::ffff:a.b.c.d as a.b.c.d.  False for every other IPv6 address: the tables
// are indexed by IPv4 addresses.
bool AsIpv4(const Ipv6& address, size_t octets, Ipv4& out)
{
    const uint8_t* tail = address.data() + octets - 4;
    if (octets == 16) {
        static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        const bool wildcard = address == Ipv6{};
        if (!wildcard && std::memcmp(address.data(), kMapped, sizeof kMapped) != 0)
            return false;
    }
    std::memcpy(out.data(), tail, 4);
    return true;
}

// One or more hex digits, a colon, one or more hex digits.
bool IsHexPair(const std::string& token)
{
    const size_t colon = token.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == token.size())
        return false;
    for (size_t i = 0; i < token.size(); ++i) {
        if (i != colon && !IsHex(token[i]))
            return false;
    }
    return true;
}

bool ParseDecimal(const std::string& token, uint64_t limit, uint64_t& value)
{
    if (token.empty() || token.size() > 20)
        return false;
    uint64_t result = 0;
    for (char c : token) {
        if (c < '0' || c > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (result > (limit - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

} // namespace

bool ParseTcpLine(const std::string& line, TcpSocket& out)
{
    std::istringstream in(line);
    std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(in >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode))
        return false;

    // The slot number: decimal digits and a colon ("sl" on the header line).
    uint64_t slot = 0;
    if (sl.size() < 2 || sl.back() != ':' || !ParseDecimal(sl.substr(0, sl.size() - 1), UINT64_MAX, slot))
        return false;

    TcpSocket socket;
    Ipv6 localRaw{}, remoteRaw{};
    size_t localOctets = 0, remoteOctets = 0;
    uint32_t stateCode = 0;
    uint64_t number = 0;
    if (!ParseEndpoint(local, localRaw, localOctets, socket.localPort) ||
        !ParseEndpoint(remote, remoteRaw, remoteOctets, socket.remotePort) || localOctets != remoteOctets ||
        state.size() != 2 ||
        !ParseHex(state, 0, 2, stateCode) || !IsHexPair(queues) || !IsHexPair(timer) ||
        retransmits.empty())
        return false;
    for (char c : retransmits) {
        if (!IsHex(c))
            return false;
    }
    if (!ParseDecimal(uid, UINT32_MAX, number))
        return false;
    socket.uid = static_cast<uint32_t>(number);
    if (!ParseDecimal(timeout, UINT64_MAX, number) || !ParseDecimal(inode, UINT64_MAX, number))
        return false;
    socket.inode = number;
    socket.state = static_cast<int>(stateCode);
    if (!AsIpv4(localRaw, localOctets, socket.localAddress) || !AsIpv4(remoteRaw, remoteOctets, socket.remoteAddress))
        return false;
    out = socket;
    return true;
}

std::vector<TcpSocket> ParseTcpTable(std::istream& in)
{
    std::vector<TcpSocket> sockets;
    std::string line;
    // The kernel writes a few hundred sockets per read; a bound keeps a
    // runaway file from eating the process.
    constexpr size_t kMaxSockets = 1u << 20;
    while (sockets.size() < kMaxSockets && std::getline(in, line)) {
        TcpSocket socket;
        if (ParseTcpLine(line, socket))
            sockets.push_back(socket);
    }
    return sockets;
}

bool ReadTcpTable(const std::string& path, std::vector<TcpSocket>& out, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    out = ParseTcpTable(in);
    if (in.bad()) {
        error = path + ": read failed";
        return false;
    }
    return true;
}

void DropDuplicateSockets(std::vector<TcpSocket>& sockets)
{
    std::set<uint64_t> inodes;
    std::set<std::tuple<int, Ipv4, uint16_t, Ipv4, uint16_t>> seen;
    std::vector<TcpSocket> kept;
    kept.reserve(sockets.size());
    for (const TcpSocket& socket : sockets) {
        // Sockets no process holds any more share inode 0.
        const bool sameSocket = socket.inode != 0 && !inodes.insert(socket.inode).second;
        const bool sameRow = !seen.emplace(socket.state, socket.localAddress, socket.localPort,
                                           socket.remoteAddress, socket.remotePort)
                                  .second;
        if (!sameSocket && !sameRow)
            kept.push_back(socket);
    }
    sockets.swap(kept);
}

bool ReadTcpTables(const std::string& path, const std::string& path6, std::vector<TcpSocket>& out,
                   std::string& error)
{
    std::vector<TcpSocket> sockets;
    if (!ReadTcpTable(path, sockets, error))
        return false;
    // A kernel built without IPv6 has no second table: no IPv6 sockets.
    if (!path6.empty() && !(::access(path6.c_str(), F_OK) != 0 && errno == ENOENT)) {
        std::vector<TcpSocket> more;
        if (!ReadTcpTable(path6, more, error))
            return false;
        sockets.insert(sockets.end(), more.begin(), more.end());
    }
    DropDuplicateSockets(sockets);
    out.swap(sockets);
    return true;
}

std::string DottedAddress(const Ipv4& address)
{
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

} // namespace relay
