#include "nysocket.h"

#include <chrono>

void NyEvent::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_cond.notify_all();
}

void NyEvent::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool NyEvent::IsSet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

bool NyEvent::Wait(int milliseconds) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (milliseconds < 0) {
        m_cond.wait(lock, [this] { return m_set; });
        return true;
    }
    return m_cond.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_set; });
}
