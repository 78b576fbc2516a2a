// Internal: the waits of the session.  A time-out t in seconds: above 0 a
// deadline t seconds from now, 0 waits of half a second each with no
// deadline, below 0 waits without limit.
#ifndef NYSNMP_SRC_SMUX_WAIT_H
#define NYSNMP_SRC_SMUX_WAIT_H

#include <sys/time.h>

#include <ctime>

#include "nysocket.h"

class NySessionWait {
public:
    explicit NySessionWait(int timeout) : m_timeout(timeout), m_deadline(std::time(nullptr) + timeout) {}

    // True once a positive time-out has reached its deadline.
    bool Expired() const { return m_timeout > 0 && std::time(nullptr) >= m_deadline; }

    // Waits once on the owner's sockets.  False when the wait could not
    // block at all: without a limit and with no socket that can report
    // anything, waiting again would spin.
    bool Step(NySocketOwner& owner)
    {
        timeval* limit = nullptr;
        if (m_timeout > 0) {
            time_t left = m_deadline - std::time(nullptr);
            m_limit.tv_sec = left > 0 ? left : 0;
            m_limit.tv_usec = 0;
            limit = &m_limit;
        } else if (m_timeout == 0) {
            m_limit.tv_sec = 0;
            m_limit.tv_usec = 500000;
            limit = &m_limit;
        }
        int events = owner.WaitForSocketEvents(limit);
        return !(limit == nullptr && events == 0);
    }

private:
    int m_timeout;
    time_t m_deadline;
    timeval m_limit{};
};

#endif
