// The event-driven sockets against listeners made in the test on loopback.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nysocket.h"
#include "support/caught.h"
#include "support/loopback.h"

namespace {

struct Event {
    std::string what;
    int error;
};

// Records every notification; hooks let a test act inside one.
class Recorder : public NySocketOwner {
public:
    Recorder() : NySocketOwner(true) {}
    std::vector<Event> events;
    std::function<void(NyAsyncSocket&)> onReceive, onClose, onAccept;

    int Wait(long ms)
    {
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        return WaitForSocketEvents(&tv);
    }
    // Waits until `what` has been seen, at most `rounds` waits of 100 ms.
    bool WaitFor(const std::string& what, int rounds = 50)
    {
        for (int i = 0; i < rounds && !Seen(what); ++i)
            Wait(100);
        return Seen(what);
    }
    bool Seen(const std::string& what) const { return ErrorOf(what) != -12345; }
    int ErrorOf(const std::string& what) const
    {
        for (const Event& e : events)
            if (e.what == what)
                return e.error;
        return -12345;
    }

    void OnAccept(NyAsyncSocket& s, int e) override { Note("accept", e, s, onAccept); }
    void OnClose(NyAsyncSocket& s, int e) override { Note("close", e, s, onClose); }
    void OnConnect(NyAsyncSocket& s, int e) override { Note("connect", e, s, nullptr); }
    void OnOutOfBandData(NyAsyncSocket& s, int e) override { Note("oob", e, s, nullptr); }
    void OnReceive(NyAsyncSocket& s, int e) override { Note("receive", e, s, onReceive); }
    void OnSend(NyAsyncSocket& s, int e) override { Note("send", e, s, nullptr); }

private:
    void Note(const char* what, int e, NyAsyncSocket& s, const std::function<void(NyAsyncSocket&)>& hook)
    {
        events.push_back({what, e});
        if (hook)
            hook(s);
    }
};

std::string Drain(NyAsyncSocket& s)
{
    std::string text;
    char buffer[512];
    int n;
    while ((n = s.Receive(buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// A manager, a recording owner and a listener on loopback.
struct Sockets : ::testing::Test {
    NySocketManager manager;
    Recorder owner;
    LoopbackPeer peer;

    // Connects a new stream socket to the listener; true once the peer has
    // accepted and the connection has been reported writable.
    bool Connected(NyAsyncSocket& s)
    {
        return s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr) == 0 && s.Connect("127.0.0.1", peer.Port()) == 0 &&
               peer.Accept() && owner.WaitFor("send");
    }
};

}  // namespace

TEST_F(Sockets, ConnectReportsCompletionThenWritable)
{
    NyAsyncSocket s(manager, owner);
    ASSERT_EQ(s.Create(7199, NY_SOCK_STREAM, 0x37, nullptr), 0) << "no address: the port is not bound";
    EXPECT_FALSE(s.IsReadyToSend());
    ASSERT_EQ(s.Connect("127.0.0.1", peer.Port()), 0);
    ASSERT_TRUE(owner.WaitFor("send"));
    ASSERT_GE(owner.events.size(), 2u);
    EXPECT_EQ(owner.events[0].what, "connect");
    EXPECT_EQ(owner.events[0].error, 0);
    EXPECT_EQ(owner.events[1].what, "send");
    EXPECT_TRUE(s.IsReadyToSend());

    sockaddr_in local{};
    int size = sizeof local;
    ASSERT_EQ(s.GetSockName(reinterpret_cast<sockaddr*>(&local), &size), 0);
    EXPECT_EQ(size, static_cast<int>(sizeof local));
    EXPECT_EQ(ntohl(local.sin_addr.s_addr), INADDR_LOOPBACK);
    EXPECT_NE(ntohs(local.sin_port), 7199);

    EXPECT_EQ(manager.FromHandle(s.Handle()), &s);
    EXPECT_EQ(manager.FromHandle(-1), nullptr);
    ASSERT_EQ(owner.Sockets().size(), 1u);
    s.Close();
    EXPECT_EQ(s.Handle(), -1);
    EXPECT_FALSE(s.IsReadyToSend());
}

TEST_F(Sockets, RefusalComesThroughOnConnect)
{
    LoopbackPeer nobodyListens(false);
    NyAsyncSocket s(manager, owner);
    ASSERT_EQ(s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr), 0);
    ASSERT_EQ(s.Connect("127.0.0.1", nobodyListens.Port()), 0) << "the refusal is not an error of Connect";
    ASSERT_TRUE(owner.WaitFor("connect"));
    EXPECT_EQ(owner.ErrorOf("connect"), ECONNREFUSED);
    EXPECT_FALSE(owner.Seen("send"));
    EXPECT_FALSE(s.IsReadyToSend());
    // Nothing is left to report: an unlimited wait comes back at once.
    EXPECT_EQ(owner.WaitForSocketEvents(nullptr), 0);
}

TEST_F(Sockets, ErrorsAreThrownOrKept)
{
    NyAsyncSocket s(manager, owner);
    char byte = 0;
    auto e = Caught([&] { s.Send(&byte, 1); });
    ASSERT_TRUE(e) << "send on a socket never created";
    EXPECT_EQ(e->Id(), NYSOCKET_NOT_OPEN);
    EXPECT_EQ(e->NativeError(), EBADF);
    EXPECT_STREQ(e->ThrownBy(), "NyAsyncSocket::Send");
    EXPECT_STREQ(e->Text(), "The socket is not open in NyAsyncSocket::Send");
    EXPECT_THROW(s.Create(0, 2, NY_FD_ALL, nullptr), NySocketException) << "only stream sockets";
    ASSERT_EQ(s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, "127.0.0.1"), 0);
    EXPECT_THROW(s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr), NySocketException) << "already open";
    int small = 4096;
    EXPECT_EQ(s.SetSockOpt(SO_RCVBUF, &small, sizeof small, SOL_SOCKET), 0) << "native level passes through";
    EXPECT_THROW(s.SetSockOpt(0x7777, &small, sizeof small, 0xFFFF), NySocketException);
    EXPECT_THROW(s.Connect("", 80), NySocketException);

    s.SetExceptions(false);
    NyLinger bad{1, 2};
    EXPECT_EQ(s.SetSockOpt(NY_SO_LINGER, &bad, 3, NY_SOL_SOCKET), -1);
    EXPECT_EQ(s.GetLastError(), EINVAL);
    EXPECT_STREQ(s.GetErrorText(), "Invalid argument passed to method NyAsyncSocket::SetSockOpt");
    s.Close();
    EXPECT_EQ(s.Receive(&byte, 1), -1);
    EXPECT_EQ(s.GetLastError(), EBADF);

    // The session reports a failed connection through the socket's hook.
    s.SetExceptions(true);
    e = Caught([&] { s.OnError(NYSOCKET_CONNECT_FAILED, "NySmuxSession::OnConnect", ECONNREFUSED, nullptr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(IdOf(e), 0xC008000Du);
    EXPECT_EQ(e->NativeError(), ECONNREFUSED);
    EXPECT_STREQ(e->ThrownBy(), "NySmuxSession::OnConnect");
    EXPECT_EQ(std::string(e->Text()),
              "Failed to connect the socket in NySmuxSession::OnConnect: " + std::string(strerror(ECONNREFUSED)));
}

TEST_F(Sockets, DataThenOrderlyCloseIsReportedOnce)
{
    NyAsyncSocket s(manager, owner);
    ASSERT_TRUE(Connected(s));
    std::string got;
    owner.onReceive = [&](NyAsyncSocket& sock) { got += Drain(sock); };
    ASSERT_TRUE(peer.Write({'h', 'e', 'l', 'l', 'o'}));
    peer.Drop();
    ASSERT_TRUE(owner.WaitFor("close"));
    EXPECT_EQ(got, "hello");
    EXPECT_EQ(owner.ErrorOf("close"), 0);
    size_t before = owner.events.size();
    EXPECT_EQ(owner.Wait(50), 0) << "an ended stream is reported once, then no more";
    EXPECT_EQ(owner.events.size(), before);
    EXPECT_NE(s.Handle(), -1) << "the owner decides when to close";
}

TEST_F(Sockets, ResetIsReportedAsCloseWithError)
{
    NyAsyncSocket s(manager, owner);
    ASSERT_TRUE(Connected(s));
    owner.onClose = [](NyAsyncSocket& sock) { sock.Close(); };
    linger abort{1, 0};
    ::setsockopt(peer.Peer(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    peer.Drop();
    ASSERT_TRUE(owner.WaitFor("close"));
    EXPECT_EQ(owner.ErrorOf("close"), ECONNRESET);
    EXPECT_EQ(s.Handle(), -1);
}

TEST_F(Sockets, OutOfBandByteAndAcceptedSockets)
{
    NyAsyncSocket server(manager, owner);
    NyAsyncSocket accepted(manager, owner);
    ASSERT_EQ(server.Create(0, NY_SOCK_STREAM, NY_FD_ALL, "127.0.0.1"), 0);
    ASSERT_EQ(server.Listen(), 0);
    sockaddr_in where{};
    int size = sizeof where;
    ASSERT_EQ(server.GetSockName(reinterpret_cast<sockaddr*>(&where), &size), 0);
    owner.onAccept = [&](NyAsyncSocket& listening) { EXPECT_EQ(listening.Accept(accepted), 0); };

    NyAsyncSocket client(manager, owner);
    ASSERT_EQ(client.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr), 0);
    ASSERT_EQ(client.Connect("127.0.0.1", ntohs(where.sin_port)), 0);
    ASSERT_TRUE(owner.WaitFor("accept"));
    ASSERT_NE(accepted.Handle(), -1);
    EXPECT_TRUE(accepted.IsReadyToSend());
    EXPECT_EQ(accepted.EventMask(), NY_FD_ALL);
    ASSERT_TRUE(owner.WaitFor("connect"));

    ASSERT_EQ(client.Send("!", 1, NY_MSG_OOB), 1);
    ASSERT_TRUE(owner.WaitFor("oob"));
    char urgent = 0;
    EXPECT_EQ(accepted.Receive(&urgent, 1, NY_MSG_OOB), 1);
    EXPECT_EQ(urgent, '!');
}

// A notification may delete the socket it is about; what else the same wait
// found for that socket is then dropped, not delivered to freed memory.
TEST_F(Sockets, DeletingTheSocketInsideANotification)
{
    auto s = std::make_unique<NyAsyncSocket>(manager, owner);
    ASSERT_TRUE(Connected(*s));
    owner.onReceive = [&](NyAsyncSocket&) { s.reset(); };
    peer.Write({'x'});
    peer.Drop();  // data and the end of the stream in one wait
    ASSERT_TRUE(owner.WaitFor("receive"));
    EXPECT_FALSE(owner.Seen("close"));
    EXPECT_TRUE(owner.Sockets().empty());
    EXPECT_TRUE(manager.Sockets().empty());
}

TEST_F(Sockets, WaitTimesOutWithoutEvents)
{
    EXPECT_EQ(owner.Wait(20), 0) << "no sockets: sleeps out the time-out";
    EXPECT_EQ(owner.WaitForSocketEvents(nullptr), 0) << "no sockets and no limit: nothing to wait for";
    NyAsyncSocket s(manager, owner);
    ASSERT_TRUE(Connected(s));
    owner.events.clear();
    timeval zero{0, 0};
    EXPECT_EQ(owner.WaitForSocketEvents(&zero), 0);
    EXPECT_EQ(owner.Wait(100), 0);
    EXPECT_TRUE(owner.events.empty());
}

TEST_F(Sockets, NoDescriptorLeaksOverManyCycles)
{
    LoopbackPeer refusing(false);
    int before = OpenDescriptors();
    for (int i = 0; i < 200; ++i) {
        NyAsyncSocket s(manager, owner);
        ASSERT_EQ(s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, i % 3 ? nullptr : "127.0.0.1"), 0);
        ASSERT_EQ(s.Connect("127.0.0.1", i % 2 ? peer.Port() : refusing.Port()), 0);
        owner.Wait(0);
        if (i % 2) {
            ASSERT_TRUE(peer.Accept());
            peer.Drop();
        }
        if (i % 4 == 1)
            s.Close();  // else the destructor closes it
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_TRUE(manager.Sockets().empty());
    EXPECT_TRUE(owner.Sockets().empty());
}

// More sockets than one wait keeps on its stack, and an owner that does not
// ask for OnClose: every socket's byte arrives, and the ended streams are
// then left alone instead of being reported readable again and again.
TEST_F(Sockets, ManySocketsAndEndsNobodyAskedFor)
{
    uint16_t port = 0;
    const int listener = BindLoopback(SOCK_STREAM, port);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 16), 0);
    constexpr int kCount = 11;
    std::vector<std::unique_ptr<NyAsyncSocket>> sockets;
    std::string got[kCount];
    for (int i = 0; i < kCount; ++i) {
        sockets.push_back(std::make_unique<NyAsyncSocket>(manager, owner));
        ASSERT_EQ(sockets.back()->Create(0, NY_SOCK_STREAM, NY_FD_READ | NY_FD_WRITE | NY_FD_CONNECT, nullptr), 0);
        ASSERT_EQ(sockets.back()->Connect("127.0.0.1", port), 0);
        const int accepted = ::accept(listener, nullptr, nullptr);
        ASSERT_GE(accepted, 0);
        const char byte = static_cast<char>('a' + i);
        ASSERT_EQ(::send(accepted, &byte, 1, 0), 1);
        ::close(accepted);
    }
    owner.onReceive = [&](NyAsyncSocket& s) {
        for (int i = 0; i < kCount; ++i)
            if (sockets[i].get() == &s)
                got[i] += Drain(s);
    };
    auto all = [&] {
        for (int i = 0; i < kCount; ++i)
            if (got[i] != std::string(1, static_cast<char>('a' + i)))
                return false;
        return true;
    };
    for (int round = 0; round < 100 && !all(); ++round)
        owner.Wait(100);
    ASSERT_TRUE(all());
    owner.Wait(50);  // an end that came after its byte
    owner.events.clear();
    EXPECT_EQ(owner.Wait(50), 0);
    EXPECT_TRUE(owner.events.empty()) << owner.events.size() << " events, the first: " << owner.events[0].what;
    ::close(listener);
}
