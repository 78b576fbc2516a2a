// A stand-in for the agent: a TCP listener on 127.0.0.1 whose connections the
// test reads and writes byte by byte.
#ifndef NYSNMP_TESTS_SMUX_FAKE_AGENT_H
#define NYSNMP_TESTS_SMUX_FAKE_AGENT_H

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "support/hex.h"
#include "nysmuxpeer.h"

class FakeAgent {
public:
    // listening false: the port is bound but refuses connections.
    explicit FakeAgent(bool listening = true)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        if (listening)
            ::listen(m_listen, 16);
        socklen_t size = sizeof sin;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&sin), &size);
        m_port = ntohs(sin.sin_port);
    }
    ~FakeAgent()
    {
        Drop();
        ::close(m_listen);
    }
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    int Port() const { return static_cast<int>(m_port); }
    int Peer() const { return m_peer; }

    // Takes the next connection (dropping the previous one).
    bool Accept(int ms = 5000)
    {
        Drop();
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1)
            return false;
        m_peer = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        return m_peer >= 0;
    }
    // Reads exactly n bytes, or fewer when the time runs out or the stream ends.
    Bytes Read(size_t n, int ms = 5000)
    {
        Bytes out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (out.size() < n && m_peer >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{m_peer, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1)
                break;
            unsigned char buffer[65536];
            size_t want = std::min(sizeof buffer, n - out.size());
            ssize_t got = ::recv(m_peer, buffer, want, 0);
            if (got <= 0)
                break;
            out.insert(out.end(), buffer, buffer + got);
        }
        return out;
    }
    // What has arrived within ms milliseconds (all of it, not waiting longer).
    Bytes ReadAvailable(int ms = 200)
    {
        Bytes out;
        pollfd p{m_peer, POLLIN, 0};
        while (m_peer >= 0 && ::poll(&p, 1, ms) == 1) {
            unsigned char buffer[65536];
            ssize_t got = ::recv(m_peer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0)
                break;
            out.insert(out.end(), buffer, buffer + got);
            ms = 0;
        }
        return out;
    }
    bool Write(const Bytes& bytes, int flags = 0)
    {
        return ::send(m_peer, bytes.data(), bytes.size(), MSG_NOSIGNAL | flags) == static_cast<ssize_t>(bytes.size());
    }
    void Drop()
    {
        if (m_peer >= 0)
            ::close(m_peer);
        m_peer = -1;
    }

private:
    int m_listen = -1;
    int m_peer = -1;
    uint16_t m_port = 0;
};

inline int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

// Exposes the protected steps of the session to the tests.
class TestSession : public NySmuxSession {
public:
    using NySmuxSession::NySmuxSession;
    using NySmuxSession::ReInit;
    using NySmuxSession::SendClosePdu;
    using NySmuxSession::SendOpenPdu;

    // Waits (bounded) until the condition holds; false when it never did.
    template <class Condition>
    bool WaitUntil(Condition condition, int rounds = 50)
    {
        for (int i = 0; i < rounds && !condition(); ++i) {
            timeval tv{0, 100000};
            WaitForSocketEvents(&tv);
        }
        return condition();
    }
    bool Connected()
    {
        return WaitUntil([this] { return Socket() && Socket()->IsReadyToSend(); });
    }
};

#endif
