// NyAsyncSocket: a non-blocking TCP socket whose readiness is reported by its
// owner's wait.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "messages.h"
#include "nysocket.h"

namespace {

std::atomic<uint64_t> g_nextSerial{1};

// Resolver errors in the numbers host programs already know from the
// message table (host not found, try again, no recovery, no data).
int ResolverError(int code)
{
    switch (code) {
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    default: return code;
    }
}

// Fills `out` with the IPv4 address of `host`: dotted text first, then the
// resolver.  Returns 0 or the resolver's code.
int Resolve(const char* host, in_addr& out)
{
    if (inet_pton(AF_INET, host, &out) == 1)
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host, nullptr, &hints, &list);
    if (rc != 0)
        return rc;
    out = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
    freeaddrinfo(list);
    return 0;
}

// Errors of a non-blocking connect that mean "the peer is not there"; they
// are reported through OnConnect like a failure found later.
bool IsConnectRefusal(int error)
{
    switch (error) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ECONNRESET:
    case EADDRNOTAVAIL:
        return true;
    default:
        return false;
    }
}

}  // namespace

NyAsyncSocket::NyAsyncSocket(NySocketManager& manager, NySocketOwner& owner, bool throwing)
    : m_manager(&manager), m_owner(&owner), m_throwing(throwing), m_serial(g_nextSerial++)
{
    m_manager->RegisterSocket(this);
    m_owner->RegisterSocket(this);
}

NyAsyncSocket::~NyAsyncSocket()
{
    Close();
    if (m_owner)
        m_owner->UnregisterSocket(this);
    if (m_manager)
        m_manager->UnregisterSocket(this);
}

void NyAsyncSocket::OnError(int id, const char* where, int nativeError, const char* text)
{
    std::string own;
    if (!text) {
        std::string detail = NySocketSystemText(nativeError);
        own = NySocketFormat(id, where, detail);
        text = own.c_str();
    }
    m_lastError = nativeError;
    m_errorText = text;
    if (m_throwing)
        throw NySocketException(where, nativeError, id, text);
}

int NyAsyncSocket::Fail(int id, const char* where, int native)
{
    OnError(id, where, native, nullptr);
    return -1;
}

int NyAsyncSocket::Create(unsigned int port, int type, long events, const char* address)
{
    static const char* const where = "NyAsyncSocket::Create";
    if (m_handle != -1 || type != NY_SOCK_STREAM || port > 65535 || (events & ~NY_FD_ALL) != 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);

    in_addr local{};
    local.s_addr = htonl(INADDR_ANY);
    if (address) {
        int rc = Resolve(address, local);
        if (rc != 0) {
            std::string detail = std::string(address) + ": " + gai_strerror(rc);
            int native = ResolverError(rc);
            OnError(NYSOCKET_RESOLVE_FAILED, where, native,
                    NySocketFormat(NYSOCKET_RESOLVE_FAILED, std::to_string(native).c_str(), detail).c_str());
            return -1;
        }
    }

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Fail(NYSOCKET_CREATE_FAILED, where, errno);

    if (address) {
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr = local;
        sin.sin_port = htons(static_cast<uint16_t>(port));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0) {
            int error = errno;
            ::close(fd);
            return Fail(NYSOCKET_BIND_FAILED, where, error);
        }
    }
    m_handle = fd;
    m_state = State::Created;
    m_events = events;
    m_port = port;
    m_bound = address != nullptr;
    m_readyToSend = false;
    m_closeReported = false;
    m_hungUp = false;
    m_connectError = 0;
    return 0;
}

int NyAsyncSocket::Connect(const char* host, unsigned int port)
{
    static const char* const where = "NyAsyncSocket::Connect";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (!host || !*host || port == 0 || port > 65535 || m_state != State::Created)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);

    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(static_cast<uint16_t>(port));
    int rc = Resolve(host, sin.sin_addr);
    if (rc != 0) {
        std::string detail = std::string(host) + ": " + gai_strerror(rc);
        int native = ResolverError(rc);
        OnError(NYSOCKET_RESOLVE_FAILED, where, native,
                NySocketFormat(NYSOCKET_RESOLVE_FAILED, std::to_string(native).c_str(), detail).c_str());
        return -1;
    }
    if (::connect(m_handle, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0 || errno == EINPROGRESS) {
        // Even an immediate success is reported from the wait, so the owner
        // always learns of the connection in the same way.
        m_state = State::Connecting;
        return 0;
    }
    int error = errno;
    if (IsConnectRefusal(error)) {
        m_state = State::Connecting;
        m_connectError = error;
        return 0;
    }
    return Fail(NYSOCKET_CONNECT_FAILED, where, error);
}

int NyAsyncSocket::ConnectLocal(const char* path)
{
    static const char* const where = "NyAsyncSocket::ConnectLocal";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    sockaddr_un sun{};
    if (!path || !*path || std::strlen(path) >= sizeof sun.sun_path || m_state != State::Created || m_bound)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    sun.sun_family = AF_UNIX;
    std::memcpy(sun.sun_path, path, std::strlen(path) + 1);

    // The handle keeps its number (the owner's wait knows it by that) but
    // becomes a local stream socket.
    int local = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (local < 0)
        return Fail(NYSOCKET_CREATE_FAILED, where, errno);
    if (::dup3(local, m_handle, O_CLOEXEC) < 0) {
        int error = errno;
        ::close(local);
        return Fail(NYSOCKET_CREATE_FAILED, where, error);
    }
    ::close(local);
    if (::connect(m_handle, reinterpret_cast<sockaddr*>(&sun), sizeof sun) == 0 || errno == EINPROGRESS) {
        m_state = State::Connecting;
        return 0;
    }
    int error = errno;
    // No such socket file, or nobody listening on it: the peer is not there.
    if (IsConnectRefusal(error) || error == ENOENT || error == EAGAIN || error == EACCES) {
        m_state = State::Connecting;
        m_connectError = error;
        return 0;
    }
    return Fail(NYSOCKET_CONNECT_FAILED, where, error);
}

int NyAsyncSocket::Listen(int backlog)
{
    static const char* const where = "NyAsyncSocket::Listen";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (m_state != State::Created)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    if (!m_bound) {
        int on = 1;
        ::setsockopt(m_handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_ANY);
        sin.sin_port = htons(static_cast<uint16_t>(m_port));
        if (::bind(m_handle, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0)
            return Fail(NYSOCKET_BIND_FAILED, where, errno);
        m_bound = true;
    }
    if (::listen(m_handle, backlog) != 0)
        return Fail(NYSOCKET_LISTEN_FAILED, where, errno);
    m_state = State::Listening;
    return 0;
}

int NyAsyncSocket::Accept(NyAsyncSocket& connected, sockaddr* address, int* length)
{
    static const char* const where = "NyAsyncSocket::Accept";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (m_state != State::Listening || connected.m_handle != -1 || &connected == this ||
        (address && (!length || *length < 0)))
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    socklen_t size = length ? static_cast<socklen_t>(*length) : 0;
    int fd = ::accept4(m_handle, address, address ? &size : nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED || error == EINTR) {
            m_lastError = EWOULDBLOCK;
            return -1;
        }
        return Fail(NYSOCKET_ACCEPT_FAILED, where, error);
    }
    if (address)
        *length = static_cast<int>(size);
    connected.m_handle = fd;
    connected.m_state = State::Connected;
    connected.m_events = m_events;
    connected.m_bound = true;
    connected.m_readyToSend = true;
    connected.m_closeReported = false;
    connected.m_hungUp = false;
    connected.m_connectError = 0;
    return 0;
}

int NyAsyncSocket::AsyncSelect(long events)
{
    static const char* const where = "NyAsyncSocket::AsyncSelect";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if ((events & ~NY_FD_ALL) != 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    m_events = events;
    return 0;
}

int NyAsyncSocket::SetSockOpt(int name, const void* value, int length, int level)
{
    static const char* const where = "NyAsyncSocket::SetSockOpt";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (!value || length <= 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);

    int rc;
    if (level == NY_SOL_SOCKET) {
        if (name == NY_SO_LINGER) {
            if (length != static_cast<int>(sizeof(NyLinger)))
                return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
            NyLinger record;
            std::memcpy(&record, value, sizeof record);
            linger native{};
            native.l_onoff = record.l_onoff != 0;
            native.l_linger = record.l_linger;
            rc = ::setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &native, sizeof native);
        } else {
            int option;
            switch (name) {
            case NY_SO_REUSEADDR: option = SO_REUSEADDR; break;
            case NY_SO_KEEPALIVE: option = SO_KEEPALIVE; break;
            case NY_SO_OOBINLINE: option = SO_OOBINLINE; break;
            case NY_SO_SNDBUF: option = SO_SNDBUF; break;
            case NY_SO_RCVBUF: option = SO_RCVBUF; break;
            default: return Fail(NYSOCKET_INVALID_ARG, where, ENOPROTOOPT);
            }
            if (length != static_cast<int>(sizeof(int)))
                return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
            rc = ::setsockopt(m_handle, SOL_SOCKET, option, value, sizeof(int));
        }
    } else {
        rc = ::setsockopt(m_handle, level, name, value, static_cast<socklen_t>(length));
    }
    if (rc != 0)
        return Fail(NYSOCKET_OPTION_FAILED, where, errno);
    return 0;
}

int NyAsyncSocket::GetSockName(sockaddr* address, int* length)
{
    static const char* const where = "NyAsyncSocket::GetSockName";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (!address || !length || *length < 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    socklen_t size = static_cast<socklen_t>(*length);
    if (::getsockname(m_handle, address, &size) != 0)
        return Fail(NYSOCKET_NAME_FAILED, where, errno);
    *length = static_cast<int>(size);
    return 0;
}

int NyAsyncSocket::GetPeerName(sockaddr* address, int* length)
{
    static const char* const where = "NyAsyncSocket::GetPeerName";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (!address || !length || *length < 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    socklen_t size = static_cast<socklen_t>(*length);
    if (::getpeername(m_handle, address, &size) != 0)
        return Fail(NYSOCKET_NAME_FAILED, where, errno);
    *length = static_cast<int>(size);
    return 0;
}

int NyAsyncSocket::Send(const void* data, int count, int flags)
{
    static const char* const where = "NyAsyncSocket::Send";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (!data || count < 0 || (flags & ~(NY_MSG_OOB | NY_MSG_DONTROUTE)) != 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    if (m_state != State::Connected) {
        // Not connected yet (or no more): nothing can move now.
        m_readyToSend = false;
        m_lastError = EWOULDBLOCK;
        return -1;
    }
    if (count == 0)
        return 0;
    int native = MSG_NOSIGNAL;
    if (flags & NY_MSG_OOB)
        native |= MSG_OOB;
    if (flags & NY_MSG_DONTROUTE)
        native |= MSG_DONTROUTE;
    ssize_t n;
    do {
        n = ::send(m_handle, data, static_cast<size_t>(count), native);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            m_readyToSend = false;
            m_lastError = EWOULDBLOCK;
            return -1;
        }
        m_readyToSend = false;
        return Fail(NYSOCKET_SEND_FAILED, where, error);
    }
    // A short write means the send buffer is full: the rest has to wait for
    // the socket to become writable, which the wait reports with OnSend.
    if (n < count)
        m_readyToSend = false;
    return static_cast<int>(n);
}

int NyAsyncSocket::Receive(void* buffer, int count, int flags)
{
    static const char* const where = "NyAsyncSocket::Receive";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    if (!buffer || count < 0 || (flags & ~(NY_MSG_OOB | NY_MSG_PEEK)) != 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    if (count == 0)
        return 0;
    int native = 0;
    if (flags & NY_MSG_OOB)
        native |= MSG_OOB;
    if (flags & NY_MSG_PEEK)
        native |= MSG_PEEK;
    ssize_t n;
    do {
        n = ::recv(m_handle, buffer, static_cast<size_t>(count), native);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        int error = errno;
        // EINVAL: no urgent byte waiting for an out-of-band read.
        if (error == EAGAIN || error == EWOULDBLOCK || ((flags & NY_MSG_OOB) && error == EINVAL)) {
            m_lastError = EWOULDBLOCK;
            return -1;
        }
        return Fail(NYSOCKET_RECEIVE_FAILED, where, error);
    }
    return static_cast<int>(n);
}

int NyAsyncSocket::ShutDown(int how)
{
    static const char* const where = "NyAsyncSocket::ShutDown";
    if (m_handle == -1)
        return Fail(NYSOCKET_NOT_OPEN, where, EBADF);
    int native = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : how == 2 ? SHUT_RDWR : -1;
    if (native < 0)
        return Fail(NYSOCKET_INVALID_ARG, where, EINVAL);
    if (::shutdown(m_handle, native) != 0)
        return Fail(NYSOCKET_SEND_FAILED, where, errno);
    return 0;
}

void NyAsyncSocket::Close()
{
    if (m_handle != -1) {
        // close() releases the descriptor even when it reports an error, so
        // there is nothing to retry.
        ::close(m_handle);
    }
    m_handle = -1;
    m_state = State::Closed;
    m_bound = false;
    m_readyToSend = false;
    m_closeReported = false;
    m_hungUp = false;
    m_connectError = 0;
}

short NyAsyncSocket::PollEvents() const
{
    switch (m_state) {
    case State::Connecting:
        return POLLOUT;
    case State::Listening:
        return (m_events & NY_FD_ACCEPT) ? POLLIN : 0;
    case State::Connected: {
        if (m_hungUp)
            return 0;
        short wanted = 0;
        if (!m_closeReported) {
            if (m_events & NY_FD_READ)
                wanted |= POLLIN;
            if (m_events & NY_FD_OOB)
                wanted |= POLLPRI;
            if (m_events & NY_FD_CLOSE)
                wanted |= POLLRDHUP;
        }
        if (!m_readyToSend)
            wanted |= POLLOUT;
        return wanted;
    }
    default:
        return 0;
    }
}
