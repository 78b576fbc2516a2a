// The peer's own cost of one request: from a complete PDU waiting in the
// session's receive area to the response handed to the socket (decode,
// owner search, lookup, get, encode, send).
//
// The session is the library's own, connected over loopback to a plain
// listener here that plays the agent.  Per iteration the request is written
// and left to arrive in the receive area untimed; the clock covers only
// Receive and Respond, exactly what the service loop does per request, and
// the answer is read off the agent's end untimed.  Nothing in the library is
// replaced: the write to the socket is part of the figure.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "nysmuxpeer.h"
#include "relaymib.h"
#include "loopback.h"

namespace {

class BenchSession : public NySmuxSession {
public:
    using NySmuxSession::NySmuxSession;
    // When set, packets stop here instead of going to the socket: the figure
    // is then the library's own work without the kernel's.
    bool keep = false;
    std::vector<unsigned char> kept;
    int SendPacket(unsigned char* packet, unsigned int length, int timeout) override
    {
        if (!keep)
            return NySmuxSession::SendPacket(packet, length, timeout);
        kept.assign(packet, packet + length);
        return 0;
    }
    // Lets the socket component move bytes until the condition holds (bounded).
    template <class Condition>
    bool Pump(Condition condition)
    {
        for (int i = 0; i < 2000 && !condition(); ++i) {
            timeval tv{0, 1000};
            WaitForSocketEvents(&tv);
        }
        return condition();
    }
};

struct Agent : LoopbackAgent {
    // Everything the session has written so far (waits up to 1 s for the first byte).
    size_t Drain(unsigned char* into, size_t room)
    {
        pollfd p{peer, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1)
            return 0;
        const ssize_t n = ::recv(peer, into, room, MSG_DONTWAIT);
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
};

// The relay MIB with `count` connection rows, served by an opened session
// that has registered velmora.
struct Served {
    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> rows;
    NySnmpManager manager;
    Agent agent;
    BenchSession session{manager};
    bool ready = false;

    explicit Served(uint32_t count)
    {
        for (uint32_t i = 0; i < count; ++i) {
            rows.emplace_back(new RelayConnEntry("relayConnEntry", mib.relayConnTable, 1));
            uint32_t arcs[10];
            ConnInstance(i, arcs);
            NYSMI_OID instance{10, arcs};
            rows.back()->SetInstanceNumber(instance);
            rows.back()->relayCstatus.value() = 4;
            rows.back()->relayCreceived.value() = i * 3;
        }
        if (session.Init(0, agent.port, "127.0.0.1") != 0 || !agent.Accept())
            return;
        if (!session.Pump([this] { return session.Socket() && session.Socket()->IsReadyToSend(); }))
            return;
        if (session.Open("1.3.6.1.4.1.32473.9", "bench", "secret") != 0)
            return;
        const unsigned char answer[] = {0x43, 0x01, 0x00};
        agent.Write(answer, sizeof answer);
        int priority = -1;
        if (session.Register(mib.velmora, priority, NYSMUX_REG_READONLY) != 0)
            return;
        unsigned char sink[4096];
        agent.Drain(sink, sizeof sink);
        ready = true;
    }

    // The encoded request: one binding with `oid` and a NULL value.
    std::vector<unsigned char> Request(int32_t type, const NySnmpOid& oid, int32_t id)
    {
        NySnmpValue null;
        null.SetNull(5);
        NySnmpVar var(oid, null);
        NySnmpVbl vars;
        vars.Append(var);
        NySnmpPdu pdu(type, id, 0, 0, vars);
        std::vector<unsigned char> bytes(1024);
        unsigned int rem = static_cast<unsigned int>(bytes.size());
        pdu.AsAsn(bytes.data(), &rem, 0);
        bytes.resize(bytes.size() - rem);
        return bytes;
    }
};

void Serve(benchmark::State& state, int32_t type, bool columnOnly, bool keep = false)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    Served served(count);
    if (!served.ready) {
        state.SkipWithError("no loopback session");
        return;
    }
    // Targets spread over the table; a GetNext names a row's identifier and
    // is answered with the same column of the next row in instance order.
    std::vector<std::vector<unsigned char>> requests;
    for (uint32_t k = 0; k < 64; ++k) {
        RelayConnEntry& row = *served.rows[(k * 7919u) % count];
        NyMibObject& column = columnOnly ? static_cast<NyMibObject&>(row.relayCstatus)
                                         : static_cast<NyMibObject&>(row.relayCreceived);
        requests.push_back(served.Request(type, column.Oid(), static_cast<int32_t>(k + 1)));
    }
    NySnmpPdu pdu;
    unsigned char answer[4096];
    // One request untimed: the first lookup in a table builds its index.
    served.agent.Write(requests[0].data(), requests[0].size());
    served.session.Pump([&] { return served.session.ReceiveRecord().length >= requests[0].size(); });
    if (served.session.Receive(pdu, 0) > 0)
        served.session.Respond(pdu);
    served.agent.Drain(answer, sizeof answer);
    size_t k = 0;
    served.session.keep = keep;
    for (auto _ : state) {
        const std::vector<unsigned char>& request = requests[k++ % requests.size()];
        served.agent.Write(request.data(), request.size());
        if (!served.session.Pump([&] { return served.session.ReceiveRecord().length >= request.size(); })) {
            state.SkipWithError("request did not arrive");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        const int held = served.session.Receive(pdu, 0);
        {
            std::lock_guard<NySocketMutex> guard(served.session.MibMutex());
            served.session.Respond(pdu);
        }
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        if (keep) {
            if (held <= 0 || served.session.kept.empty() || served.session.kept[0] != 0xA2) {
                state.SkipWithError("no answer");
                break;
            }
            continue;
        }
        if (held <= 0 || served.agent.Drain(answer, sizeof answer) == 0 || answer[0] != 0xA2) {
            state.SkipWithError("no answer");
            break;
        }
    }
}

void BM_GetNext(benchmark::State& state) { Serve(state, NYSMUX_GETNEXT, false); }
void BM_Get(benchmark::State& state) { Serve(state, NYSMUX_GET, false); }
void BM_GetNextNoSocket(benchmark::State& state) { Serve(state, NYSMUX_GETNEXT, false, true); }
void BM_GetNoSocket(benchmark::State& state) { Serve(state, NYSMUX_GET, false, true); }

BENCHMARK(BM_GetNext)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Get)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetNextNoSocket)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetNoSocket)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
