// nysocket.h - the socket component: the library's exception type, its mutex,
// a manual-reset event and (further below) the event-driven TCP sockets.
#ifndef NYSOCKET_H
#define NYSOCKET_H

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "nyexport.h"

struct sockaddr;
struct timeval;

// The one exception type of the whole library.  It keeps its own copies of
// both texts: the object that formatted the message may be gone by the time
// the exception is caught.
class NYSOCKET_API NySocketException : public std::exception {
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
class NYSOCKET_API NySocketMutex {
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
class NYSOCKET_API NyEvent {
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

// ---- event-driven TCP sockets ----------------------------------------------
//
// Sockets are non-blocking and watched with poll().  Nothing runs in the
// background: the notifications of an owner's sockets are delivered only
// inside NySocketOwner::WaitForSocketEvents, on the thread that calls it.

// Message ids of the socket component (facility 8).  The texts are the
// component's own; %1 is the method, %2 the system's text for the error.
constexpr int NYSOCKET_INVALID_ARG = static_cast<int>(0xC0080001u);    // "Invalid argument passed to method %1"
constexpr int NYSOCKET_OUT_OF_MEMORY = static_cast<int>(0xC0080002u);  // "Out of memory"
constexpr int NYSOCKET_CREATE_FAILED = static_cast<int>(0xC0080003u);
constexpr int NYSOCKET_BIND_FAILED = static_cast<int>(0xC0080004u);
constexpr int NYSOCKET_LISTEN_FAILED = static_cast<int>(0xC0080005u);
constexpr int NYSOCKET_ACCEPT_FAILED = static_cast<int>(0xC0080006u);
constexpr int NYSOCKET_OPTION_FAILED = static_cast<int>(0xC0080007u);
constexpr int NYSOCKET_SEND_FAILED = static_cast<int>(0xC0080008u);
constexpr int NYSOCKET_RECEIVE_FAILED = static_cast<int>(0xC0080009u);
constexpr int NYSOCKET_NAME_FAILED = static_cast<int>(0xC008000Au);
constexpr int NYSOCKET_WAIT_FAILED = static_cast<int>(0xC008000Bu);
constexpr int NYSOCKET_NOT_OPEN = static_cast<int>(0xC008000Cu);
constexpr int NYSOCKET_CONNECT_FAILED = static_cast<int>(0xC008000Du);
constexpr int NYSOCKET_RESOLVE_FAILED = static_cast<int>(0xC0080018u);  // "Gethostbyname failed, error %1: %2"

// The default text of a socket-component message id ("" for an unknown id).
NYSOCKET_API const char* NySocketMessageText(int id);

// Notification bits for Create and AsyncSelect.
constexpr long NY_FD_READ = 1;
constexpr long NY_FD_WRITE = 2;
constexpr long NY_FD_OOB = 4;
constexpr long NY_FD_ACCEPT = 8;
constexpr long NY_FD_CONNECT = 16;
constexpr long NY_FD_CLOSE = 32;
constexpr long NY_FD_ALL = 63;

constexpr int NY_SOCK_STREAM = 1;  // the one socket type Create accepts

// Flags of Send and Receive.
constexpr int NY_MSG_OOB = 1;
constexpr int NY_MSG_PEEK = 2;
constexpr int NY_MSG_DONTROUTE = 4;

// Option level and names of the portable option set; other levels are
// handed to setsockopt() unchanged.
constexpr int NY_SOL_SOCKET = 0xFFFF;
constexpr int NY_SO_REUSEADDR = 0x0004;
constexpr int NY_SO_KEEPALIVE = 0x0008;
constexpr int NY_SO_LINGER = 0x0080;
constexpr int NY_SO_OOBINLINE = 0x0100;
constexpr int NY_SO_SNDBUF = 0x1001;
constexpr int NY_SO_RCVBUF = 0x1002;

// The record of NY_SO_LINGER: on/off and seconds, 16 bits each.
struct NyLinger {
    uint16_t l_onoff;
    uint16_t l_linger;
};

class NyAsyncSocket;

// Registry of live sockets, shared by the owners built on it.  Thread-safe:
// sessions on different threads may share one manager.
class NYSOCKET_API NySocketManager {
public:
    NySocketManager();
    // A copy starts with an empty registry: sockets belong to one manager.
    NySocketManager(const NySocketManager& other);
    NySocketManager& operator=(const NySocketManager& other);
    virtual ~NySocketManager();

    virtual int RegisterSocket(NyAsyncSocket* socket);
    virtual int UnregisterSocket(NyAsyncSocket* socket);
    virtual std::vector<NyAsyncSocket*> Sockets() const;
    // The socket whose handle is `handle`, or null.
    virtual NyAsyncSocket* FromHandle(int handle) const;

private:
    mutable std::mutex m_lock;
    std::vector<NyAsyncSocket*> m_sockets;
};

// Receives the notifications of its sockets.  A derived class overrides the
// On... hooks; they are called only from WaitForSocketEvents.
class NYSOCKET_API NySocketOwner {
public:
    explicit NySocketOwner(bool throwing = true);
    NySocketOwner(const NySocketOwner&) = delete;
    NySocketOwner& operator=(const NySocketOwner&) = delete;
    virtual ~NySocketOwner();

    virtual int RegisterSocket(NyAsyncSocket* socket);
    virtual int UnregisterSocket(NyAsyncSocket* socket);
    virtual void SetExceptions(bool throwing);
    virtual std::vector<NyAsyncSocket*> Sockets() const;
    // Waits until a socket of this owner has something to report or the
    // time-out ends (null: no limit), then calls the hooks for what happened.
    // Returns the number of sockets that had events, 0 after a time-out (or
    // at once when no socket can report anything and there is no limit), -1
    // on a failure with exceptions off.
    virtual int WaitForSocketEvents(timeval* timeout);
    virtual int GetLastError() const;
    virtual const char* GetErrorText() const;

    virtual void OnAccept(NyAsyncSocket& socket, int error);
    virtual void OnClose(NyAsyncSocket& socket, int error);
    virtual void OnConnect(NyAsyncSocket& socket, int error);
    virtual void OnOutOfBandData(NyAsyncSocket& socket, int error);
    virtual void OnReceive(NyAsyncSocket& socket, int error);
    virtual void OnSend(NyAsyncSocket& socket, int error);

protected:
    // Throws NySocketException(where, native, id, text) with exceptions on;
    // otherwise keeps the error for GetLastError/GetErrorText.
    virtual void OnError(int id, const char* where, int nativeError, const char* text);

private:
    bool IsRegistered(const NyAsyncSocket* socket) const;
    void Dispatch(NyAsyncSocket* socket, uint64_t serial, short revents);

    bool m_throwing;
    int m_lastError = 0;
    std::string m_errorText;
    mutable std::mutex m_lock;
    std::vector<NyAsyncSocket*> m_sockets;
};

// A non-blocking TCP socket that reports through its owner.
class NYSOCKET_API NyAsyncSocket {
public:
    NyAsyncSocket(NySocketManager& manager, NySocketOwner& owner, bool throwing = true);
    NyAsyncSocket(const NyAsyncSocket&) = delete;
    NyAsyncSocket& operator=(const NyAsyncSocket&) = delete;
    // Closes the handle and leaves the manager and the owner.
    virtual ~NyAsyncSocket();

    // Makes the socket.  With an address (dotted IPv4 or host name) it is
    // bound to that address and `port` (0: any port); without one it stays
    // unbound, Connect lets the system choose, and Listen binds the
    // wildcard address with `port`.  Returns 0, or -1 with exceptions off.
    virtual int Create(unsigned int port = 0, int type = NY_SOCK_STREAM, long events = NY_FD_ALL,
                       const char* address = nullptr);
    // Starts a connection; completion or failure comes as OnConnect.
    virtual int Connect(const char* host, unsigned int port);
    // Starts a connection to a local (Unix domain) stream socket at `path`
    // instead; the created socket must not be bound.  Completion or failure
    // comes as OnConnect, as for Connect.
    virtual int ConnectLocal(const char* path);
    virtual int Listen(int backlog = 5);
    // Takes a pending connection into `connected`, a socket not yet created;
    // it gets this socket's notification bits.  -1 when none is waiting.
    virtual int Accept(NyAsyncSocket& connected, sockaddr* address = nullptr, int* length = nullptr);
    virtual int AsyncSelect(long events = NY_FD_ALL);
    virtual int SetSockOpt(int name, const void* value, int length, int level = NY_SOL_SOCKET);
    virtual int GetSockName(sockaddr* address, int* length);
    virtual int GetPeerName(sockaddr* address, int* length);
    // The count of bytes moved; -1 when nothing moves now (GetLastError()
    // is then EWOULDBLOCK) or on a failure with exceptions off.  A send that
    // moves less than asked clears IsReadyToSend until the socket can take
    // more; OnSend then follows.  Receive gives 0 at the end of the stream.
    virtual int Send(const void* data, int count, int flags = 0);
    virtual int Receive(void* buffer, int count, int flags = 0);
    virtual int ShutDown(int how = 1);
    virtual void Close();

    virtual bool IsReadyToSend() const { return m_readyToSend; }
    virtual int Handle() const { return m_handle; }
    virtual long EventMask() const { return m_events; }
    virtual void SetExceptions(bool throwing) { m_throwing = throwing; }
    virtual int GetLastError() const { return m_lastError; }
    virtual const char* GetErrorText() const { return m_errorText.c_str(); }
    NySocketOwner* Owner() const { return m_owner; }
    NySocketManager* Manager() const { return m_manager; }

    // Reports an error: with exceptions on throws NySocketException(where,
    // nativeError, id, text); a null text gives the component's own text.
    virtual void OnError(int id, const char* where, int nativeError, const char* text);

private:
    friend class NySocketOwner;
    friend class NySocketManager;

    enum class State { Closed, Created, Connecting, Connected, Listening };

    // Raises the error of errno-style code `native` and returns -1.
    int Fail(int id, const char* where, int native);
    short PollEvents() const;
    bool HasPendingEvent() const { return m_state == State::Connecting && m_connectError != 0; }

    NySocketManager* m_manager;
    NySocketOwner* m_owner;
    bool m_throwing;
    uint64_t m_serial;
    int m_handle = -1;
    State m_state = State::Closed;
    long m_events = 0;
    unsigned int m_port = 0;
    bool m_bound = false;
    bool m_readyToSend = false;
    bool m_closeReported = false;
    bool m_hungUp = false;
    int m_connectError = 0;  // a refusal known at once, reported from the wait
    int m_lastError = 0;
    std::string m_errorText;
};

#endif // NYSOCKET_H
