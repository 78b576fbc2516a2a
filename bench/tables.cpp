// Building and changing big tables of the relay MIB: every connection row's
// constructor renews its table, and the host then gives the row its instance
// (local address, local port, remote address, remote port).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "relaymib.h"
#include "loopback.h"

namespace {

std::unique_ptr<RelayConnEntry> AddConn(RelayMib& mib, uint32_t i)
{
    std::unique_ptr<RelayConnEntry> row(new RelayConnEntry("relayConnEntry", mib.relayConnTable, 1));
    uint32_t arcs[10];
    ConnInstance(i, arcs);
    NYSMI_OID instance{10, arcs};
    row->SetInstanceNumber(instance);
    return row;
}

// The whole tree with `rows` connections, built and torn down once per iteration.
void BM_BuildRelayTable(benchmark::State& state)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        RelayMib mib;
        std::vector<std::unique_ptr<RelayConnEntry>> rows;
        rows.reserve(count);
        for (uint32_t i = 0; i < count; ++i)
            rows.push_back(AddConn(mib, i));
        benchmark::DoNotOptimize(rows.back().get());
        state.PauseTiming();
        rows.clear();
        state.ResumeTiming();
    }
    state.counters["rows"] = count;
}
BENCHMARK(BM_BuildRelayTable)->Arg(100)->Arg(1000)->Arg(10000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The lookups of a served table keep an index of it; the second argument
// says whether one lookup ran before the rows change (index kept in step).
void Look(RelayMib& mib, bool indexed)
{
    if (!indexed)
        return;
    NySnmpOid start("1.3.6.1.4.1.32473.1.1.3.2.14.3");
    benchmark::DoNotOptimize(mib.velmora.FindNext(start));
}

// A table holding `rows` connections; each iteration adds one more row with
// its instance (timed), then destroys it (not timed).
void BM_AddRow(benchmark::State& state)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> rows;
    for (uint32_t i = 0; i < count; ++i)
        rows.push_back(AddConn(mib, i));
    Look(mib, state.range(1) != 0);
    uint32_t next = count;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<RelayConnEntry> row = AddConn(mib, next++);
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        row.reset();
    }
}
BENCHMARK(BM_AddRow)->ArgsProduct({{100, 1000, 10000, 50000}, {0, 1}})->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same, timing the destruction of the added row.
void BM_DestroyRow(benchmark::State& state)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> rows;
    for (uint32_t i = 0; i < count; ++i)
        rows.push_back(AddConn(mib, i));
    Look(mib, state.range(1) != 0);
    uint32_t next = count;
    for (auto _ : state) {
        std::unique_ptr<RelayConnEntry> row = AddConn(mib, next++);
        const auto start = std::chrono::steady_clock::now();
        row.reset();
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
}
BENCHMARK(BM_DestroyRow)->ArgsProduct({{100, 1000, 10000, 50000}, {0, 1}})->UseManualTime()->Unit(benchmark::kMicrosecond);

// A row in the middle of the table gets a new instance.
void BM_RenumberRow(benchmark::State& state)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> rows;
    for (uint32_t i = 0; i < count; ++i)
        rows.push_back(AddConn(mib, i));
    Look(mib, state.range(1) != 0);
    RelayConnEntry& row = *rows[count / 2];
    uint32_t arcs[10];
    uint32_t next = count;
    for (auto _ : state) {
        ConnInstance(next++, arcs);
        NYSMI_OID instance{10, arcs};
        row.SetInstanceNumber(instance);
    }
}
BENCHMARK(BM_RenumberRow)->ArgsProduct({{100, 1000, 10000}, {0, 1}})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
