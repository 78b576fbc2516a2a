// The peer's side of a walk: what one GetNext costs the session's own thread
// when it serves the way a host does -- ProcessRequests in a service thread,
// waiting on the socket for each request -- and the agent sends the next
// request only once the answer to the last one is in, as snmpd forwards a
// walk to an SMUX peer.
//
// The benchmark thread plays the agent over loopback TCP and walks
// relayConnTable (N rows of twelve columns) GetNext by GetNext, starting
// again at the table when the walk leaves it.  Real time per request is the
// round trip.  Counters per request:
//   peer_cpu_us  CPU time of the service thread (user + system: decode,
//                lookup, encode, and the wait, receive and send calls);
//   allocs       calls of the global allocation function on that thread.
// BM_EchoFloor is the same exchange answered by a bare poll/recv/send loop:
// what the kernel alone costs a peer per request on this machine.
//
// `bench_walk --requests N` walks N requests without the benchmark library
// and prints the counters, for valgrind and strace (bench/README.md).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "nysmuxpeer.h"
#include "relaymib.h"
#include "loopback.h"

namespace {
std::atomic<long> g_allocations{0};
thread_local bool t_counting = false;
}

// g++ pairs the inlined replacement functions with malloc/free and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size)
{
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

double CpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The agent's end, with room for what the peer sends.
struct Agent : LoopbackAgent {
    std::vector<unsigned char> in = std::vector<unsigned char>(NYSMUX_BUFFER_SIZE);

    // One whole PDU from the peer (up to 5 s); its length, 0 on failure.
    size_t ReadPdu()
    {
        size_t have = 0;
        for (int i = 0; i < 100; ++i) {
            if (have >= 2) {
                const int n = NySnmpPdu::AsnPktLen(in.data(), static_cast<unsigned int>(have));
                if (n > 0 && static_cast<size_t>(n) <= have)
                    return have;
            }
            pollfd p{peer, POLLIN, 0};
            if (::poll(&p, 1, 50) < 0)
                return 0;
            const ssize_t got = ::recv(peer, in.data() + have, in.size() - have, MSG_DONTWAIT);
            if (got == 0)
                return 0;
            if (got > 0)
                have += static_cast<size_t>(got);
        }
        return 0;
    }
};

std::vector<unsigned char> Request(const NySnmpOid& oid, int32_t id)
{
    NySnmpValue null;
    null.SetNull(5);
    NySnmpVar var(oid, null);
    NySnmpVbl vars;
    vars.Append(var);
    NySnmpPdu pdu(NYSMUX_GETNEXT, id, 0, 0, vars);
    std::vector<unsigned char> bytes(1024);
    unsigned int rem = static_cast<unsigned int>(bytes.size());
    pdu.AsAsn(bytes.data(), &rem, 0);
    bytes.resize(bytes.size() - rem);
    return bytes;
}

// A session serving `count` rows from its service thread, and the agent
// that walks them.
class Walk {
public:
    explicit Walk(uint32_t count)
    {
        for (uint32_t i = 0; i < count; ++i) {
            m_rows.emplace_back(new RelayConnEntry("relayConnEntry", m_mib.relayConnTable, 1));
            uint32_t arcs[10] = {10, 0, (i >> 8) & 0xff, i & 0xff, 40000 + i % 20000, 192, 168, 0, 1 + i % 200, 443};
            NYSMI_OID instance{10, arcs};
            m_rows.back()->SetInstanceNumber(instance);
            m_rows.back()->relayCstatus.value() = 4;
            m_rows.back()->relayClinkedWith.value() = "bench peer";
            m_rows.back()->relayCreceived.value() = 1000 + i;
        }
        int priority = -1;
        const unsigned char registered[] = {0x43, 0x01, 0x00};
        if (m_session.Init(0, m_agent.port, "127.0.0.1") != 0 || !m_agent.Accept() ||
            m_session.Open("1.3.6.1.4.1.32473.9", "bench", "secret") != 0 ||
            !m_agent.Write(registered, sizeof registered) ||
            m_session.Register(m_mib.velmora, priority, NYSMUX_REG_READONLY) != 0 || m_agent.ReadPdu() == 0)
            return;
        m_service = std::thread([this] {
            pthread_setname_np(pthread_self(), "peer-service");
            t_counting = true;
            while (!m_stop)
                m_session.ProcessRequests(m_stop, 1, nullptr);
            t_counting = false;
        });
        pthread_getcpuclockid(m_service.native_handle(), &m_serviceClock);
        // The first lookup in the table makes its index: not part of the figures.
        m_ready = Next();
    }
    ~Walk()
    {
        m_stop = 1;
        if (m_service.joinable())
            m_service.join();
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    bool Ready() const { return m_ready; }
    double ServiceCpu() const { return CpuSeconds(m_serviceClock); }

    // One GetNext and its answer.
    bool Next()
    {
        std::vector<unsigned char> request = Request(m_next, ++m_id);
        const size_t length = m_agent.Write(request.data(), request.size()) ? m_agent.ReadPdu() : 0;
        unsigned int rem = static_cast<unsigned int>(length);
        if (length == 0 || !m_answer.FromAsn(m_agent.in.data(), &rem) || m_answer.Vars().Size() != 1)
            return false;
        m_next = m_answer.Vars().VarList()[0]->Oid();
        // Past the end of the subtree (noSuchName) or out of the table: walk it again.
        if (m_answer.ErrorStatus() == NYSMUX_NO_SUCH_NAME ||
            m_next.Compare(m_table, static_cast<int>(m_table.SmiOid().len)) != 0)
            m_next = m_table;
        return m_answer.ErrorStatus() == 0 || m_answer.ErrorStatus() == NYSMUX_NO_SUCH_NAME;
    }

private:
    RelayMib m_mib;
    std::vector<std::unique_ptr<RelayConnEntry>> m_rows;
    NySnmpManager m_manager;
    Agent m_agent;
    NySmuxSession m_session{m_manager};
    std::thread m_service;
    clockid_t m_serviceClock{};
    int volatile m_stop = 0;
    bool m_ready = false;
    const NySnmpOid m_table{m_mib.relayConnTable.Oid()};
    NySnmpOid m_next{m_table};
    NySnmpPdu m_answer;
    int32_t m_id = 0;
};

void BM_WalkServed(benchmark::State& state)
{
    Walk walk(static_cast<uint32_t>(state.range(0)));
    if (!walk.Ready()) {
        state.SkipWithError("no loopback session");
        return;
    }
    const long allocationsBefore = g_allocations.load();
    const double cpuBefore = walk.ServiceCpu();
    for (auto _ : state) {
        if (!walk.Next()) {
            state.SkipWithError("the walk failed");
            return;
        }
    }
    state.counters["peer_cpu_us"] =
        benchmark::Counter((walk.ServiceCpu() - cpuBefore) * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(g_allocations.load() - allocationsBefore),
                                                  benchmark::Counter::kAvgIterations);
}

// The same exchange with a peer that does nothing but wait, read and write:
// a GetNext of the table in, a 100-octet answer out.
void BM_EchoFloor(benchmark::State& state)
{
    Agent agent;
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(agent.port);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (!agent.Accept()) {
        ::close(client);
        state.SkipWithError("no loopback connection");
        return;
    }
    std::atomic<bool> stop{false};
    std::thread service([&] {
        unsigned char buffer[NYSMUX_BUFFER_SIZE];
        unsigned char answer[100] = {0xA2, 98};
        while (!stop) {
            pollfd p{client, POLLIN | POLLRDHUP, 0};
            if (::poll(&p, 1, 1000) <= 0)
                continue;
            if (::recv(client, buffer, sizeof buffer, 0) <= 0)
                break;
            ::send(client, answer, sizeof answer, MSG_NOSIGNAL);
        }
    });
    clockid_t serviceClock;
    pthread_getcpuclockid(service.native_handle(), &serviceClock);
    const std::vector<unsigned char> request = Request(NySnmpOid("1.3.6.1.4.1.32473.1.1.3.2.14.3"), 1);
    const double cpuBefore = CpuSeconds(serviceClock);
    for (auto _ : state) {
        if (!agent.Write(request.data(), request.size()) || agent.ReadPdu() == 0) {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.counters["peer_cpu_us"] =
        benchmark::Counter((CpuSeconds(serviceClock) - cpuBefore) * 1e6, benchmark::Counter::kAvgIterations);
    stop = true;
    ::shutdown(agent.peer, SHUT_RDWR);
    service.join();
    ::close(client);
}

BENCHMARK(BM_WalkServed)->Arg(1000)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_EchoFloor)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--requests") == 0) {
        const long requests = std::strtol(argv[2], nullptr, 10);
        Walk walk(1000);
        if (!walk.Ready() || requests <= 0)
            return 1;
        const long allocationsBefore = g_allocations.load();
        const double cpuBefore = walk.ServiceCpu();
        for (long i = 0; i < requests; ++i) {
            if (!walk.Next())
                return 1;
        }
        std::printf("requests %ld allocs/request %.2f peer_cpu_us/request %.1f\n", requests,
                    static_cast<double>(g_allocations.load() - allocationsBefore) / static_cast<double>(requests),
                    (walk.ServiceCpu() - cpuBefore) * 1e6 / static_cast<double>(requests));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
