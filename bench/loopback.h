// Pieces the in-process benchmarks share: the arcs of a relay connection row
// and the agent's end of a loopback TCP connection.
#ifndef NYSNMP_BENCH_LOOPBACK_H
#define NYSNMP_BENCH_LOOPBACK_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

// The ten arcs of connection number i: 10.1.x.y:port -> 127.0.0.1:8080.
inline void ConnInstance(uint32_t i, uint32_t (&arcs)[10])
{
    const uint32_t values[10] = {10, 1, (i >> 8) & 0xff, i & 0xff, 1024 + i % 50000,
                                 127, 0, 0, 1, 8080};
    for (int a = 0; a < 10; ++a)
        arcs[a] = values[a];
}

// A listener on 127.0.0.1 (port 0 when it could not be made) and the one
// connection it accepts.
struct LoopbackAgent {
    int listener = -1;
    int peer = -1;
    uint16_t port = 0;

    LoopbackAgent()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(listener, 1) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
    }
    ~LoopbackAgent()
    {
        if (peer != -1)
            ::close(peer);
        if (listener != -1)
            ::close(listener);
    }
    LoopbackAgent(const LoopbackAgent&) = delete;
    LoopbackAgent& operator=(const LoopbackAgent&) = delete;

    bool Accept()
    {
        pollfd p{listener, POLLIN, 0};
        return ::poll(&p, 1, 5000) == 1 && (peer = ::accept(listener, nullptr, nullptr)) != -1;
    }
    bool Write(const unsigned char* data, size_t length)
    {
        return ::send(peer, data, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
    }
};

#endif
