// Encoding and decoding costs of the value codec.
#include <benchmark/benchmark.h>

#include "nysnmp.h"

namespace {

void EncodeInt(benchmark::State& state)
{
    unsigned char buffer[16];
    int32_t value = -123456;
    for (auto _ : state) {
        unsigned int rem = sizeof buffer;
        benchmark::DoNotOptimize(NySnmpValue::BuildAsnInt(buffer, &rem, 0x02, &value, sizeof value));
    }
}
BENCHMARK(EncodeInt);

void DecodeInt(benchmark::State& state)
{
    const unsigned char wire[] = {0x02, 0x03, 0xFE, 0x1D, 0xC0};
    for (auto _ : state) {
        unsigned int rem = sizeof wire;
        uint32_t tag = 0;
        int32_t value = 0;
        benchmark::DoNotOptimize(NySnmpValue::ParseAsnInt(wire, &rem, tag, value));
    }
}
BENCHMARK(DecodeInt);

// A 12-component identifier, typical of a table column instance.
void OidRoundTrip(benchmark::State& state)
{
    NySnmpOid oid("1.3.6.1.4.1.32473.1.1.3.2.14");
    NySnmpOid back;
    unsigned char buffer[64];
    for (auto _ : state) {
        unsigned int rem = sizeof buffer;
        unsigned char* end = oid.AsAsn(buffer, &rem);
        unsigned int left = static_cast<unsigned int>(end - buffer);
        benchmark::DoNotOptimize(back.FromAsn(buffer, &left));
    }
}
BENCHMARK(OidRoundTrip);

void ValueRoundTrip(benchmark::State& state)
{
    NySnmpValue value;
    const char text[] = "relay service on host 10.0.0.1";
    value.SetOctets({sizeof text - 1, reinterpret_cast<unsigned char*>(const_cast<char*>(text))});
    NySnmpValue back;
    unsigned char buffer[64];
    for (auto _ : state) {
        unsigned int rem = sizeof buffer;
        unsigned char* end = value.AsAsn(buffer, &rem);
        unsigned int left = static_cast<unsigned int>(end - buffer);
        benchmark::DoNotOptimize(back.FromAsn(buffer, &left));
    }
}
BENCHMARK(ValueRoundTrip);

void OidFromText(benchmark::State& state)
{
    NySnmpOid oid;
    for (auto _ : state)
        benchmark::DoNotOptimize(oid.Assign("1.3.6.1.4.1.32473.1.1.3.2.14.1.5"));
}
BENCHMARK(OidFromText);

} // namespace

BENCHMARK_MAIN();
