// A host program's service thread: ProcessRequests again after whatever
// ended it, with a pause after a failure, until the test stops it.
#ifndef NYSNMP_TESTS_SMUX_SERVICE_LOOP_H
#define NYSNMP_TESTS_SMUX_SERVICE_LOOP_H

#include <atomic>
#include <chrono>
#include <thread>

#include "nysmuxpeer.h"
#include "support/caught.h"

template <class Session>
class BasicServiceLoop {
public:
    explicit BasicServiceLoop(Session& session, std::chrono::milliseconds pause = std::chrono::milliseconds(200))
        : m_session(session), m_pause(pause)
    {
    }
    ~BasicServiceLoop() { Stop(); }

    void Start()
    {
        m_stop = 0;
        m_wake.Reset();
        m_thread = std::thread([this] {
            while (m_stop == 0)
                if (Caught([this] {
                        if (const int r = m_session.ProcessRequests(m_stop, 1, &m_wake))
                            lastResult = r;
                    })) {
                    ++failures;
                    std::this_thread::sleep_for(m_pause);
                }
        });
    }
    void Stop()
    {
        m_stop = 1;
        m_wake.Set();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::atomic<int> failures{0};  // loops that ended in an exception
    std::atomic<int> lastResult{0};  // the last failure a loop ended with after recovering

private:
    Session& m_session;
    std::chrono::milliseconds m_pause;
    int volatile m_stop = 0;
    NyEvent m_wake;
    std::thread m_thread;
};

using ServiceLoop = BasicServiceLoop<NySmuxSession>;

#endif
