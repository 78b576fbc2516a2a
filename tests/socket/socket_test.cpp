// The event-driven sockets against listeners made in the test on loopback;
// the exception they throw.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nysocket.h"
#include "support/caught.h"
#include "support/loopback.h"

namespace {

// Records every notification as "what:error"; a hook may act inside one.
class Recorder : public NySocketOwner {
public:
    Recorder() : NySocketOwner(true) {}
    std::vector<std::string> events;
    std::function<void(NyAsyncSocket&)> onReceive, onClose, onAccept;

    int Wait(long ms)
    {
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        return WaitForSocketEvents(&tv);
    }
    // Waits (at most 50 waits of 100 ms) until `what` has been seen; its error, or -1.
    int WaitFor(const std::string& what)
    {
        for (int i = 0; i < 50; ++i) {
            for (const std::string& e : events)
                if (e.compare(0, what.size() + 1, what + ":") == 0)
                    return std::stoi(e.substr(what.size() + 1));
            Wait(100);
        }
        return -1;
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
        events.push_back(std::string(what) + ":" + std::to_string(e));
        if (hook)
            hook(s);
    }
};

// A manager, a recording owner and a listener on loopback.
struct Sockets : ::testing::Test {
    NySocketManager manager;
    Recorder owner;
    LoopbackPeer peer;

    // A new stream socket connected to the listener, accepted and reported writable.
    bool Connected(NyAsyncSocket& s)
    {
        return s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr) == 0 && s.Connect("127.0.0.1", peer.Port()) == 0 &&
               peer.Accept() && owner.WaitFor("send") == 0;
    }
};

TEST_F(Sockets, ConnectReportsCompletionThenWritable)
{
    NyAsyncSocket s(manager, owner);
    ASSERT_EQ(s.Create(7199, NY_SOCK_STREAM, 0x37, nullptr), 0) << "no address: the port is not bound";
    EXPECT_FALSE(s.IsReadyToSend());
    ASSERT_EQ(s.Connect("127.0.0.1", peer.Port()), 0);
    ASSERT_EQ(owner.WaitFor("send"), 0);
    EXPECT_EQ(owner.events, (std::vector<std::string>{"connect:0", "send:0"}));
    EXPECT_TRUE(s.IsReadyToSend());
    sockaddr_in local{};
    int size = sizeof local;
    ASSERT_EQ(s.GetSockName(reinterpret_cast<sockaddr*>(&local), &size), 0);
    EXPECT_EQ(ntohl(local.sin_addr.s_addr), INADDR_LOOPBACK);
    EXPECT_NE(ntohs(local.sin_port), 7199);
    EXPECT_EQ(manager.FromHandle(s.Handle()), &s);
    s.Close();
    EXPECT_EQ(s.Handle(), -1);
    EXPECT_FALSE(s.IsReadyToSend());

    // A refused connection comes through OnConnect, not as an error of Connect.
    LoopbackPeer nobodyListens(false);
    owner.events.clear();
    ASSERT_EQ(s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr), 0);
    ASSERT_EQ(s.Connect("127.0.0.1", nobodyListens.Port()), 0);
    EXPECT_EQ(owner.WaitFor("connect"), ECONNREFUSED);
    EXPECT_EQ(owner.events, std::vector<std::string>{"connect:" + std::to_string(ECONNREFUSED)});
    EXPECT_FALSE(s.IsReadyToSend());
    EXPECT_EQ(owner.WaitForSocketEvents(nullptr), 0) << "nothing left to report: an unlimited wait returns at once";
}

TEST_F(Sockets, ErrorsAreThrownOrKept)
{
    NyAsyncSocket s(manager, owner);
    char byte = 0;
    auto e = Caught([&] { s.Send(&byte, 1); });
    EXPECT_EQ(IdOf(e), static_cast<uint32_t>(NYSOCKET_NOT_OPEN));
    EXPECT_EQ(e ? e->NativeError() : 0, EBADF);
    EXPECT_STREQ(e ? e->Text() : "", "The socket is not open in NyAsyncSocket::Send");
    EXPECT_THROW(s.Create(0, 2, NY_FD_ALL, nullptr), NySocketException) << "only stream sockets";
    ASSERT_EQ(s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, "127.0.0.1"), 0);
    EXPECT_THROW(s.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr), NySocketException) << "already open";
    EXPECT_THROW(s.Connect("", 80), NySocketException);
    s.SetExceptions(false);
    NyLinger bad{1, 2};
    EXPECT_EQ(s.SetSockOpt(NY_SO_LINGER, &bad, 3, NY_SOL_SOCKET), -1);
    EXPECT_EQ(s.GetLastError(), EINVAL);
    EXPECT_STREQ(s.GetErrorText(), "Invalid argument passed to method NyAsyncSocket::SetSockOpt");
    s.Close();
    EXPECT_EQ(s.Receive(&byte, 1), -1);
    EXPECT_EQ(s.GetLastError(), EBADF);
}

TEST_F(Sockets, DataThenTheEndOfTheStreamReportedOnce)
{
    NyAsyncSocket s(manager, owner);
    ASSERT_TRUE(Connected(s));
    std::string got;
    owner.onReceive = [&](NyAsyncSocket& sock) {
        char buffer[512];
        for (int n; (n = sock.Receive(buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<size_t>(n));
    };
    ASSERT_TRUE(peer.Write({'h', 'e', 'l', 'l', 'o'}));
    peer.Drop();
    ASSERT_EQ(owner.WaitFor("close"), 0);
    EXPECT_EQ(got, "hello");
    const size_t before = owner.events.size();
    EXPECT_EQ(owner.Wait(50), 0) << "an ended stream is reported once, then no more";
    EXPECT_EQ(owner.events.size(), before);
    EXPECT_NE(s.Handle(), -1) << "the owner decides when to close";

    // A reset is reported as a close with its error.
    NyAsyncSocket r(manager, owner);
    owner.events.clear();
    ASSERT_TRUE(Connected(r));
    owner.onClose = [](NyAsyncSocket& sock) { sock.Close(); };
    peer.Reset();
    EXPECT_EQ(owner.WaitFor("close"), ECONNRESET);
    EXPECT_EQ(r.Handle(), -1);
}

TEST_F(Sockets, OutOfBandByteAndAcceptedSockets)
{
    NyAsyncSocket server(manager, owner), accepted(manager, owner), client(manager, owner);
    ASSERT_EQ(server.Create(0, NY_SOCK_STREAM, NY_FD_ALL, "127.0.0.1"), 0);
    ASSERT_EQ(server.Listen(), 0);
    sockaddr_in where{};
    int size = sizeof where;
    ASSERT_EQ(server.GetSockName(reinterpret_cast<sockaddr*>(&where), &size), 0);
    owner.onAccept = [&](NyAsyncSocket& listening) { EXPECT_EQ(listening.Accept(accepted), 0); };
    ASSERT_EQ(client.Create(0, NY_SOCK_STREAM, NY_FD_ALL, nullptr), 0);
    ASSERT_EQ(client.Connect("127.0.0.1", ntohs(where.sin_port)), 0);
    ASSERT_EQ(owner.WaitFor("accept"), 0);
    EXPECT_TRUE(accepted.IsReadyToSend());
    EXPECT_EQ(accepted.EventMask(), NY_FD_ALL);
    ASSERT_EQ(owner.WaitFor("connect"), 0);
    ASSERT_EQ(client.Send("!", 1, NY_MSG_OOB), 1);
    ASSERT_EQ(owner.WaitFor("oob"), 0);
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
    peer.Drop(); // data and the end of the stream in one wait
    ASSERT_EQ(owner.WaitFor("receive"), 0);
    EXPECT_EQ(owner.events.back(), "receive:0");
    EXPECT_TRUE(manager.Sockets().empty());
}

TEST_F(Sockets, NoDescriptorLeaksOverManyCycles)
{
    EXPECT_EQ(owner.WaitForSocketEvents(nullptr), 0) << "no sockets and no limit: nothing to wait for";
    LoopbackPeer refusing(false);
    const int before = OpenDescriptors();
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
            s.Close(); // else the destructor closes it
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_TRUE(owner.Sockets().empty());
}

// The exception keeps copies of its texts (the thrower's may be gone).
TEST(Exception, KeepsItsOwnTexts)
{
    std::string by = "NyAsyncSocket::Send", text = "Broken pipe";
    NySocketException e(by.c_str(), 32, static_cast<int>(0xC0080005u), text.c_str());
    by.assign("overwritten");
    text.assign("overwritten");
    NySocketException copy = e;
    EXPECT_STREQ(copy.ThrownBy(), "NyAsyncSocket::Send");
    EXPECT_STREQ(copy.what(), "Broken pipe");
}

} // namespace

// More sockets than one wait keeps on its stack, and an owner that does not
// ask for OnClose: every socket's byte arrives, and the ended streams are
// then left alone instead of being reported readable again and again.
TEST_F(Sockets, ManySocketsAndEndsNobodyAskedFor)
{
    constexpr int kCount = 11;
    std::vector<std::unique_ptr<NyAsyncSocket>> sockets;
    for (int i = 0; i < kCount; ++i) {
        sockets.push_back(std::make_unique<NyAsyncSocket>(manager, owner));
        ASSERT_EQ(sockets.back()->Create(0, NY_SOCK_STREAM, NY_FD_READ | NY_FD_WRITE | NY_FD_CONNECT, nullptr), 0);
        ASSERT_EQ(sockets.back()->Connect("127.0.0.1", peer.Port()), 0);
        ASSERT_TRUE(peer.Accept()); // and ends the previous connection
        ASSERT_TRUE(peer.Write({static_cast<uint8_t>('a' + i)}));
    }
    peer.Drop();
    std::string got; // every socket's byte, in any order
    owner.onReceive = [&](NyAsyncSocket& s) {
        char buffer[16];
        for (int n; (n = s.Receive(buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<size_t>(n));
    };
    for (int round = 0; round < 100 && got.size() < kCount; ++round)
        owner.Wait(100);
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got, "abcdefghijk");
    owner.Wait(50);  // an end that came after its byte
    owner.events.clear();
    EXPECT_EQ(owner.Wait(50), 0);
    EXPECT_TRUE(owner.events.empty()) << owner.events.size() << " events, the first: " << owner.events[0];
}
