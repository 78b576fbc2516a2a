// Plain POSIX TCP on 127.0.0.1 for tests that play the other end of a
// connection, and the descriptor count that shows leaks.
#ifndef NYSNMP_TESTS_LOOPBACK_H
#define NYSNMP_TESTS_LOOPBACK_H

#include <cstddef>
#include <cstdint>

#include "support/hex.h"

// A socket of the type bound to 127.0.0.1 on a system-chosen port; -1 on failure.
int BindLoopback(int type, uint16_t& port);
// Descriptors open in this process.
int OpenDescriptors();

// A listener on a system-chosen port; not listening when asked (a bound port
// nobody listens on refuses connections).  It holds at most one accepted
// connection, which the test reads and writes byte by byte.
class LoopbackPeer {
public:
    explicit LoopbackPeer(bool listening = true);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    uint16_t Port() const { return m_port; }
    // Takes the next connection within ms (dropping the previous one).
    bool Accept(int ms = 5000);
    // Exactly n bytes, or fewer when the time runs out or the stream ends.
    Bytes Read(size_t n, int ms = 5000);
    // What arrives within ms, and whatever follows it without waiting (at most `most` octets).
    Bytes ReadAvailable(int ms = 200, size_t most = SIZE_MAX);
    bool Write(const Bytes& bytes, int flags = 0);
    void Drop();
    // Drops the connection with a reset (SO_LINGER 0) instead of an orderly
    // close: the other end reads ECONNRESET.
    void Reset();

private:
    int m_listen = -1;
    int m_peer = -1;
    uint16_t m_port = 0;
};

#endif
