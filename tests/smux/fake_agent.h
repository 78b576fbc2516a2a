// A stand-in for the agent on loopback, and the session with its protected
// steps open to the tests.
#ifndef NYSNMP_TESTS_SMUX_FAKE_AGENT_H
#define NYSNMP_TESTS_SMUX_FAKE_AGENT_H

#include "nysmuxpeer.h"
#include "support/caught.h"
#include "support/loopback.h"

using FakeAgent = LoopbackPeer;

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
    bool Closed(int rounds = 50)
    {
        return WaitUntil([this] { return Socket()->Handle() == -1; }, rounds);
    }
    // Init towards the agent on loopback, and the connection made.
    bool Connect(uint16_t port) { return Init(0, port, "127.0.0.1") == 0 && Connected(); }
};

#endif
