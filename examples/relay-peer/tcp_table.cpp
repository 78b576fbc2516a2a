// Reading /proc/net/tcp.
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
#include "tcp_table.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

// "HHHHHHHH:PPPP".
bool ParseEndpoint(const std::string& token, Ipv4& address, uint16_t& port)
{
    uint32_t raw = 0;
    uint32_t number = 0;
    if (token.size() != 13 || token[8] != ':' || !ParseHex(token, 0, 8, raw) ||
        !ParseHex(token, 9, 4, number))
        return false;
    std::memcpy(address.data(), &raw, sizeof raw);
    port = static_cast<uint16_t>(number);
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
    uint32_t stateCode = 0;
    uint64_t number = 0;
    if (!ParseEndpoint(local, socket.localAddress, socket.localPort) ||
        !ParseEndpoint(remote, socket.remoteAddress, socket.remotePort) || state.size() != 2 ||
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

std::string DottedAddress(const Ipv4& address)
{
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

} // namespace relay
