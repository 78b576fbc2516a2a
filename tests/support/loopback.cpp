#include "support/loopback.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

int BindLoopback(int type, uint16_t& port)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof sin;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &size) == 0) {
        port = ntohs(sin.sin_port);
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    return -1;
}

int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (dirent* entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count - 1; // the directory's own
}

LoopbackPeer::LoopbackPeer(bool listening)
{
    m_listen = BindLoopback(SOCK_STREAM, m_port);
    if (listening && m_listen >= 0)
        ::listen(m_listen, 16);
}

LoopbackPeer::~LoopbackPeer()
{
    Drop();
    if (m_listen >= 0)
        ::close(m_listen);
}

bool LoopbackPeer::Accept(int ms)
{
    Drop();
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, ms) == 1)
        m_peer = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    return m_peer >= 0;
}

Bytes LoopbackPeer::Read(size_t n, int ms)
{
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (Bytes more{0}; out.size() < n && !more.empty();) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        more = left.count() > 0 ? ReadAvailable(static_cast<int>(left.count()), n - out.size()) : Bytes{};
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

Bytes LoopbackPeer::ReadAvailable(int ms, size_t most)
{
    Bytes out;
    pollfd p{m_peer, POLLIN, 0};
    for (; m_peer >= 0 && out.size() < most && ::poll(&p, 1, ms) == 1; ms = 0) {
        unsigned char buffer[65536];
        const ssize_t got = ::recv(m_peer, buffer, std::min(sizeof buffer, most - out.size()), MSG_DONTWAIT);
        if (got <= 0)
            break;
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

bool LoopbackPeer::Write(const Bytes& bytes, int flags)
{
    return ::send(m_peer, bytes.data(), bytes.size(), MSG_NOSIGNAL | flags) == static_cast<ssize_t>(bytes.size());
}

void LoopbackPeer::Drop()
{
    if (m_peer >= 0)
        ::close(m_peer);
    m_peer = -1;
}

void LoopbackPeer::Reset()
{
    const linger abort{1, 0};
    if (m_peer >= 0)
        ::setsockopt(m_peer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Drop();
}
