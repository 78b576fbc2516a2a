// The AgentX subagent's own cost of one request at 10,000 rows: from a whole
// PDU in the session's receive area to the Response handed over for sending
// (decode, owner search, lookup, get, encode), as bench_request measures the
// SMUX peer without its socket.
#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <vector>

#include "nyagentx.h"
#include "relaymib.h"

namespace {

class BenchSession : public NyAgentxSession {
public:
    using NyAgentxSession::NyAgentxSession;
    using NyAgentxSession::Receive;
    using NyAgentxSession::Respond;
    std::vector<unsigned char> kept;
    int SendPacket(const unsigned char* data, unsigned int length) override
    {
        kept.assign(data, data + length);
        return 0;
    }
};

struct Served {
    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> rows;
    NySnmpManager manager;
    BenchSession session{manager};

    explicit Served(uint32_t count)
    {
        for (uint32_t i = 0; i < count; ++i) {
            rows.emplace_back(new RelayConnEntry("relayConnEntry", mib.relayConnTable, 1));
            uint32_t arcs[10] = {10, 1, (i >> 8) & 0xff, i & 0xff, 1024 + i % 50000, 127, 0, 0, 1, 8080};
            NYSMI_OID instance{10, arcs};
            rows.back()->SetInstanceNumber(instance);
            rows.back()->relayCstatus.value() = 4;
            rows.back()->relayCreceived.value() = i * 3;
        }
        // No master here: the registration is kept for answering all the same.
        int priority = NYAGENTX_DEFAULT_PRIORITY;
        try {
            session.Register(mib.velmora, priority, 0);
        } catch (NySocketException&) {
        }
    }
};

void Serve(benchmark::State& state, uint8_t type)
{
    Served served(static_cast<uint32_t>(state.range(0)));
    std::vector<std::vector<unsigned char>> requests;
    for (uint32_t k = 0; k < 64; ++k) {
        RelayConnEntry& row = *served.rows[(k * 7919u) % served.rows.size()];
        NyAgentxPdu pdu;
        pdu.type = type;
        pdu.packetId = k + 1;
        pdu.ranges.emplace_back();
        pdu.ranges[0].start = row.relayCreceived.Oid();
        pdu.rangeCount = 1;
        std::vector<unsigned char> bytes(1024);
        unsigned int rem = static_cast<unsigned int>(bytes.size());
        pdu.ToWire(bytes.data(), &rem);
        bytes.resize(bytes.size() - rem);
        requests.push_back(bytes);
    }
    NyAgentxPdu pdu;
    size_t k = 0;
    for (auto _ : state) {
        const std::vector<unsigned char>& request = requests[k++ % requests.size()];
        served.session.Feed(request.data(), static_cast<unsigned int>(request.size()));
        if (served.session.Receive(pdu, 0) != 1) {
            state.SkipWithError("request not read");
            break;
        }
        std::lock_guard<NySocketMutex> guard(served.session.MibMutex());
        served.session.Respond(pdu);
    }
    if (served.session.kept.size() < NYAGENTX_HEADER_SIZE || served.session.kept[1] != NYAGENTX_RESPONSE)
        state.SkipWithError("no answer");
}

void BM_AgentxGetNext(benchmark::State& state) { Serve(state, NYAGENTX_GETNEXT); }
void BM_AgentxGet(benchmark::State& state) { Serve(state, NYAGENTX_GET); }

BENCHMARK(BM_AgentxGetNext)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AgentxGet)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
