// NySocketOwner: waits on its sockets with poll() and turns what poll reports
// into the On... notifications.
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>

#include "messages.h"
#include "nysocket.h"
#include "registry.h"

NySocketOwner::NySocketOwner(bool throwing) : m_throwing(throwing) {}

NySocketOwner::~NySocketOwner()
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (NyAsyncSocket* socket : m_sockets)
        socket->m_owner = nullptr;
}

int NySocketOwner::RegisterSocket(NyAsyncSocket* socket)
{
    return RegistryAdd(m_lock, m_sockets, socket);
}

int NySocketOwner::UnregisterSocket(NyAsyncSocket* socket)
{
    return RegistryRemove(m_lock, m_sockets, socket);
}

void NySocketOwner::SetExceptions(bool throwing)
{
    m_throwing = throwing;
}

std::vector<NyAsyncSocket*> NySocketOwner::Sockets() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sockets;
}

bool NySocketOwner::IsRegistered(const NyAsyncSocket* socket) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return std::find(m_sockets.begin(), m_sockets.end(), socket) != m_sockets.end();
}

int NySocketOwner::GetLastError() const
{
    return m_lastError;
}

const char* NySocketOwner::GetErrorText() const
{
    return m_errorText.c_str();
}

void NySocketOwner::OnAccept(NyAsyncSocket&, int) {}
void NySocketOwner::OnClose(NyAsyncSocket&, int) {}
void NySocketOwner::OnConnect(NyAsyncSocket&, int) {}
void NySocketOwner::OnOutOfBandData(NyAsyncSocket&, int) {}
void NySocketOwner::OnReceive(NyAsyncSocket&, int) {}
void NySocketOwner::OnSend(NyAsyncSocket&, int) {}

void NySocketOwner::OnError(int id, const char* where, int nativeError, const char* text)
{
    std::string own;
    if (!text) {
        own = NySocketFormat(id, where, NySocketSystemText(nativeError));
        text = own.c_str();
    }
    m_lastError = nativeError;
    m_errorText = text;
    if (m_throwing)
        throw NySocketException(where, nativeError, id, text);
}

namespace {

struct Watched {
    NyAsyncSocket* socket;
    uint64_t serial;
};

int PendingError(int fd)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return errno;
    return error;
}

}  // namespace

int NySocketOwner::WaitForSocketEvents(timeval* timeout)
{
    using Clock = std::chrono::steady_clock;
    // A session waits on one socket, once per request: the poll list of a
    // few sockets lives on the stack, only a longer one on the heap.
    constexpr size_t kOnStack = 8;
    const std::vector<NyAsyncSocket*> sockets = Sockets();
    pollfd stackFds[kOnStack];
    Watched stackWatched[kOnStack];
    std::unique_ptr<pollfd[]> heapFds;
    std::unique_ptr<Watched[]> heapWatched;
    pollfd* fds = stackFds;
    Watched* watched = stackWatched;
    if (sockets.size() > kOnStack) {
        heapFds.reset(new pollfd[sockets.size()]);
        heapWatched.reset(new Watched[sockets.size()]);
        fds = heapFds.get();
        watched = heapWatched.get();
    }
    size_t count = 0;
    bool pending = false;
    for (NyAsyncSocket* socket : sockets) {
        short wanted = socket->PollEvents();
        if (socket->HasPendingEvent()) {
            pending = true;
            fds[count] = pollfd{-1, 0, 0};
        } else if (wanted != 0 && socket->m_handle != -1) {
            fds[count] = pollfd{socket->m_handle, wanted, 0};
        } else {
            continue;
        }
        watched[count++] = Watched{socket, socket->m_serial};
    }

    if (!timeout && count == 0)
        return 0;  // nothing could ever wake an unlimited wait

    long long limitMs = -1;
    if (pending) {
        limitMs = 0;
    } else if (timeout) {
        if (timeout->tv_sec < 0 || (timeout->tv_sec == 0 && timeout->tv_usec <= 0))
            limitMs = 0;
        else
            limitMs = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
    }

    int ready;
    // The clock matters only to a limited wait that a signal cuts short.
    const Clock::time_point deadline =
        limitMs > 0 ? Clock::now() + std::chrono::milliseconds(limitMs) : Clock::time_point{};
    int waitMs = static_cast<int>(std::clamp<long long>(limitMs, -1, INT_MAX));
    for (;;) {
        ready = ::poll(count == 0 ? nullptr : fds, count, waitMs);
        if (ready >= 0 || errno != EINTR)
            break;
        if (limitMs > 0) {
            // Rounded up: a wait cut short by a rounding would spin.
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            waitMs = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        }
    }
    if (ready < 0) {
        OnError(NYSOCKET_WAIT_FAILED, "NySocketOwner::WaitForSocketEvents", errno, nullptr);
        return -1;
    }

    int dispatched = 0;
    for (size_t i = 0; i < count; ++i) {
        NyAsyncSocket* socket = watched[i].socket;
        // An earlier notification may have deleted or closed this socket.
        if (!IsRegistered(socket) || socket->m_serial != watched[i].serial)
            continue;
        if (fds[i].fd == -1 ? !socket->HasPendingEvent() : (fds[i].revents == 0 || socket->m_handle != fds[i].fd))
            continue;
        ++dispatched;
        Dispatch(socket, watched[i].serial, fds[i].revents);
    }
    return dispatched;
}

void NySocketOwner::Dispatch(NyAsyncSocket* socket, uint64_t serial, short revents)
{
    const int fd = socket->m_handle;
    auto alive = [&] { return IsRegistered(socket) && socket->m_serial == serial && socket->m_handle == fd; };
    using State = NyAsyncSocket::State;

    switch (socket->m_state) {
    case State::Connecting: {
        int error = socket->m_connectError;
        if (error == 0)
            error = PendingError(fd);
        socket->m_connectError = 0;
        if (error == 0) {
            socket->m_state = State::Connected;
            socket->m_readyToSend = true;
        } else {
            // Back to unconnected: the owner may close it or connect again.
            socket->m_state = State::Created;
        }
        if (socket->m_events & NY_FD_CONNECT)
            OnConnect(*socket, error);
        // A connected socket can be written at once: say so, as a send that
        // had to wait would be told.
        if (error == 0 && alive() && (socket->m_events & NY_FD_WRITE))
            OnSend(*socket, 0);
        return;
    }
    case State::Listening:
        if ((revents & POLLIN) && (socket->m_events & NY_FD_ACCEPT))
            OnAccept(*socket, 0);
        return;
    case State::Connected:
        break;
    default:
        return;
    }

    if (revents & POLLERR) {
        int error = PendingError(fd);
        if (error != 0 && !socket->m_closeReported) {
            socket->m_closeReported = true;
            socket->m_hungUp = true;
            if (socket->m_events & NY_FD_CLOSE)
                OnClose(*socket, error);
            return;
        }
    }
    if ((revents & POLLPRI) && (socket->m_events & NY_FD_OOB) && !socket->m_closeReported) {
        OnOutOfBandData(*socket, 0);
        if (!alive())
            return;
    }
    if ((revents & POLLIN) && (socket->m_events & NY_FD_READ) && !socket->m_closeReported) {
        OnReceive(*socket, 0);
        if (!alive())
            return;
    }
    if ((revents & POLLOUT) && !socket->m_readyToSend) {
        socket->m_readyToSend = true;
        if (socket->m_events & NY_FD_WRITE) {
            OnSend(*socket, 0);
            if (!alive())
                return;
        }
    }
    // An owner that wants OnClose has the wait ask for POLLRDHUP: an end of
    // the stream that had come by the time of the wait is then among
    // `revents`, and one that came later is reported by the next wait.
    // Without such a flag a look ahead has nothing to report now, and every
    // request and answer of a session is spared a system call.
    const bool noEndYet = (socket->m_events & NY_FD_CLOSE) && !(revents & (POLLRDHUP | POLLHUP));
    if (!socket->m_closeReported && !noEndYet && (revents & (POLLIN | POLLRDHUP | POLLHUP))) {
        // The end of the stream is reported once the owner has read what came
        // before it (or at once when it does not read at all).
        char byte;
        ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        int error = n < 0 ? errno : 0;
        bool ended = n == 0 || (n < 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR);
        if (n > 0 && !(socket->m_events & NY_FD_READ) && (revents & (POLLRDHUP | POLLHUP)))
            ended = true;
        if (ended) {
            socket->m_closeReported = true;
            if (revents & POLLHUP)
                socket->m_hungUp = true;
            if (socket->m_events & NY_FD_CLOSE)
                OnClose(*socket, error);
        }
    } else if (socket->m_closeReported && (revents & (POLLHUP | POLLERR))) {
        socket->m_hungUp = true;
    }
}
