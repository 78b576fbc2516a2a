// Lookup costs on a connection-style table: twelve columns, rows indexed by
// (IpAddress, port, IpAddress, port), rows listed in no particular order.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "nymib.h"

namespace {

using Int = nymibvar<int32_t, 1, 2>;
using Octets = nymibvar<std::string, 4, 4>;
using IpAddr = nymibvar<std::string, 4, 64>;
using Ticks = nymibvar<uint32_t, 2, 67>;
using Counter = nymibvar<uint32_t, 2, 65>;

struct ConnRow {
    NyMibTableEntry entry;
    IpAddr localAddr;
    Int localPort;
    IpAddr remoteAddr;
    Int remotePort;
    Int status;
    Octets peer;
    Ticks started;
    Counter bytesIn, bytesOut, packetsIn, packetsOut;
    Octets note;
    ConnRow(NyMibTable& table)
        : entry("connEntry", table, 1), localAddr("localAddr", entry, 1, 1),
          localPort("localPort", entry, 2, 1), remoteAddr("remoteAddr", entry, 3, 1),
          remotePort("remotePort", entry, 4, 1), status("status", entry, 5, 2),
          peer("peer", entry, 6, 1), started("started", entry, 7, 1),
          bytesIn("bytesIn", entry, 8, 1), bytesOut("bytesOut", entry, 9, 1),
          packetsIn("packetsIn", entry, 10, 1), packetsOut("packetsOut", entry, 11, 1),
          note("note", entry, 12, 1)
    {
    }
};

std::vector<uint32_t> InstanceOf(uint32_t i)
{
    return {10, 1, (i >> 8) & 0xff, i & 0xff, 1024 + i % 7, 127, 0, 0, 1, 8080};
}

struct Relay {
    NyMibObject root{"1.3.6.1.4.1"};
    NyMibObject app{"app", "1.3.6.1.4.1.32473.1.1.3.2.14", &root.Children(), 289, 0};
    NyMibTable table{"connTable", app, 3, "Connections", nullptr, "ConnEntry"};
    std::vector<std::unique_ptr<ConnRow>> rows;
    std::vector<uint32_t> sorted; // row numbers in instance order

    explicit Relay(uint32_t count)
    {
        // Rows enter in a scrambled order; the instance order is the number order.
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t i = (k * 7919u) % count;
            rows.push_back(std::make_unique<ConnRow>(table));
            std::vector<uint32_t> arcs = InstanceOf(i);
            NYSMI_OID record{static_cast<uint32_t>(arcs.size()), arcs.data()};
            rows.back()->entry.SetInstanceNumber(record);
        }
    }

    std::string Column(int column, uint32_t i) const
    {
        std::string text = "1.3.6.1.4.1.32473.1.1.3.2.14.3.1." + std::to_string(column);
        for (uint32_t arc : InstanceOf(i))
            text += "." + std::to_string(arc);
        return text;
    }
};

Relay& Tree(uint32_t count)
{
    static std::map<uint32_t, std::unique_ptr<Relay>> trees;
    auto& tree = trees[count];
    if (!tree)
        tree = std::make_unique<Relay>(count);
    return *tree;
}

void Next(benchmark::State& state, const std::string& target)
{
    Relay& relay = Tree(static_cast<uint32_t>(state.range(0)));
    NySnmpOid oid(target.c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(relay.app.FindNext(oid));
}

void BM_FindNextStart(benchmark::State& state)
{
    Next(state, "1.3.6.1.4.1.32473.1.1.3.2.14.3");
}

void BM_FindNextMiddle(benchmark::State& state)
{
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    Next(state, Tree(count).Column(6, count / 2));
}

void BM_FindNextEnd(benchmark::State& state)
{
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    Next(state, Tree(count).Column(12, count - 2));
}

void BM_FindMiddle(benchmark::State& state)
{
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    Relay& relay = Tree(count);
    NySnmpOid oid(relay.Column(6, count / 2).c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(relay.app.Find(oid));
}

void BM_WholeTableWalk(benchmark::State& state)
{
    Relay& relay = Tree(static_cast<uint32_t>(state.range(0)));
    uint64_t steps = 0;
    for (auto _ : state) {
        NySnmpOid target("1.3.6.1.4.1.32473.1.1.3.2.14.3");
        while (NyMibObject* next = relay.app.FindNext(target)) {
            target = next->Oid();
            ++steps;
        }
    }
    state.counters["objects"] = benchmark::Counter(static_cast<double>(steps),
                                                   benchmark::Counter::kAvgIterations);
    state.counters["per_object_us"] = benchmark::Counter(
        static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_FindNextStart)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindNextMiddle)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindNextEnd)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindMiddle)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeTableWalk)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
