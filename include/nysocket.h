// nysocket.h - the socket component: the library's exception type, its mutex,
// a manual-reset event and (further below) the event-driven TCP sockets.
#ifndef NYSOCKET_H
#define NYSOCKET_H

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>

// The one exception type of the whole library.  It keeps its own copies of
// both texts: the object that formatted the message may be gone by the time
// the exception is caught.
class NySocketException : public std::exception {
public:
    NySocketException(char const* thrownBy, int nativeError, int id, char const* text);

    const char* ThrownBy() const noexcept { return m_thrownBy.c_str(); }
    int NativeError() const noexcept { return m_nativeError; }
    int Id() const noexcept { return m_id; }
    const char* Text() const noexcept { return m_text.c_str(); }

    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::string m_thrownBy;
    int m_nativeError;
    int m_id;
    std::string m_text;
};

// Mutex guarding a MIB tree.  It is recursive so that a host may call back
// into code that locks it again on the same thread.  lock()/unlock() make it
// usable with std::lock_guard.
class NySocketMutex {
public:
    NySocketMutex() = default;
    NySocketMutex(const NySocketMutex&) = delete;
    NySocketMutex& operator=(const NySocketMutex&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    std::recursive_mutex m_mutex;
};

// Manual-reset event: once set it stays set until Reset().  Used to ask a
// thread that runs a session's request loop to stop.
class NyEvent {
public:
    NyEvent() = default;
    NyEvent(const NyEvent&) = delete;
    NyEvent& operator=(const NyEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until the event is set or the time-out ends; true when set.
    bool Wait(int milliseconds) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    bool m_set = false;
};

#endif // NYSOCKET_H
