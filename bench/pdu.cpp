// Encoding and decoding a Response PDU of 1, 10 and 50 bindings (identifiers
// of 20 arcs; INTEGER, OCTET STRING of 20 octets, IpAddress, Counter32 and
// TimeTicks values in turn).  The counter "allocs" is the number of calls of
// the global allocation function per PDU.
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <benchmark/benchmark.h>

#include "nysnmp.h"

namespace {
std::atomic<long> g_allocations{0};
}

// g++ pairs the inlined replacement functions with malloc/free and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size)
{
    ++g_allocations;
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

NySnmpPdu MakeResponse(int bindings)
{
    uint32_t arcs[20] = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 3, 2, 14, 1, 1, 2, 10, 0, 0, 1, 0};
    unsigned char text[20] = {'s', 'e', 'r', 'v', 'i', 'c', 'e', ' ', 'r', 'e',
                              'l', 'a', 'y', ' ', 'n', 'a', 'm', 'e', ' ', '1'};
    unsigned char ip[4] = {192, 168, 10, 1};
    NySnmpVbl vbl;
    for (int i = 0; i < bindings; ++i) {
        arcs[19] = static_cast<uint32_t>(i + 1);
        NySnmpValue value;
        switch (i % 5) {
        case 0: value.SetInt32(-1000 * i); break;
        case 1: value.SetOctets(NYSMI_OCTETS{sizeof text, text}); break;
        case 2: value.SetIpAddr(NYSMI_OCTETS{sizeof ip, ip}); break;
        case 3: value.SetCntr32(4000000000u); break;
        default: value.SetTimeticks(8640000); break;
        }
        vbl.Append(NySnmpVar(NySnmpOid(NYSMI_OID{20, arcs}), value));
    }
    return NySnmpPdu(0xA2, 123456, 0, 0, vbl);
}

void Encode(benchmark::State& state)
{
    NySnmpPdu pdu = MakeResponse(static_cast<int>(state.range(0)));
    std::vector<unsigned char> buffer(65536);
    unsigned int rem = 0;
    const long before = g_allocations;
    for (auto _ : state) {
        rem = static_cast<unsigned int>(buffer.size());
        benchmark::DoNotOptimize(pdu.AsAsn(buffer.data(), &rem, 0));
        benchmark::ClobberMemory();
    }
    const long allocations = g_allocations - before;
    if (allocations != 0)
        state.SkipWithError("encoding allocated");
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    state.counters["octets"] = static_cast<double>(buffer.size() - rem);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (buffer.size() - rem));
}

void Decode(benchmark::State& state)
{
    NySnmpPdu source = MakeResponse(static_cast<int>(state.range(0)));
    std::vector<unsigned char> buffer(65536);
    unsigned int rem = static_cast<unsigned int>(buffer.size());
    source.AsAsn(buffer.data(), &rem, 0);
    const unsigned int length = static_cast<unsigned int>(buffer.size()) - rem;
    buffer.resize(length);

    NySnmpPdu pdu;
    const long before = g_allocations;
    for (auto _ : state) {
        unsigned int left = length;
        benchmark::DoNotOptimize(pdu.FromAsn(buffer.data(), &left));
    }
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(g_allocations - before), benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}

} // namespace

BENCHMARK(Encode)->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(Decode)->Arg(1)->Arg(10)->Arg(50);
BENCHMARK_MAIN();
