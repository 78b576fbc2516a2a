// The PDU codec side by side with net-snmp's own (libnetsnmp, linked for this
// comparison only).
//
// The message is what an SMUX peer sends back to its agent: a bare Response
// PDU (no SNMP message around it) of 1, 10 or 50 bindings.  The bindings are
// cells of relayConnTable: 25-arc instances under
// 1.3.6.1.4.1.32473.1.1.3.2.14.3.1, columns relayCstatus (INTEGER),
// relayCowner (OCTET STRING of 20 octets), relayClocalAddress (IpAddress),
// relayCreceived (Counter32) and relayCupTime (TimeTicks) in turn, five
// cells per row.
//
// What each side calls per iteration:
//   Encode/nysnmp          NySnmpPdu::AsAsn into a caller buffer
//   Encode/netsnmp         snmp_pdu_build (net-snmp's forward PDU builder:
//                          asn_build_sequence/asn_build_int headers and
//                          snmp_build_var_op for each binding)
//   EncodeReverse/netsnmp  snmp_pdu_realloc_rbuild, the reverse builder that
//                          snmp_build uses by default; for reference only, it
//                          writes minimal length octets, so its bytes differ
//   Decode/nysnmp          NySnmpPdu::FromAsn into a reused PDU (which drops
//                          the previous bindings first)
//   Decode/netsnmp         snmp_pdu_parse into a zeroed netsnmp_pdu, then
//                          snmp_free_varbind of the bindings it made
//
// Before any timing, main() checks for each size that both encoders write
// the very same octets, that each decoder reads the other's octets back to
// the same bindings, and stops with the differing octets otherwise.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "nysnmp.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

namespace {

constexpr int kRequestId = 123456;
constexpr unsigned kBase[] = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 3, 2, 14, 3, 1};
constexpr size_t kBaseArcs = sizeof kBase / sizeof kBase[0];
constexpr size_t kArcs = kBaseArcs + 11; // column, local address.port, remote address.port
constexpr unsigned kColumns[5] = {1, 11, 2, 9, 7};
const unsigned char kOwner[20] = {'s', 'e', 'r', 'v', 'i', 'c', 'e', ' ', 'r', 'e',
                                  'l', 'a', 'y', ' ', 'o', 'w', 'n', 'e', 'r', '1'};

// One cell: its instance arcs and its value, in plain numbers both sides
// are built from.
struct Cell {
    unsigned arcs[kArcs];
    int kind;            // 0 INTEGER, 1 OCTET STRING, 2 IpAddress, 3 Counter32, 4 TimeTicks
    int32_t integer;
    uint32_t unsignedValue;
    unsigned char ip[4];
};

std::vector<Cell> MakeCells(int bindings)
{
    std::vector<Cell> cells(static_cast<size_t>(bindings));
    for (int i = 0; i < bindings; ++i) {
        Cell& c = cells[static_cast<size_t>(i)];
        const unsigned row = static_cast<unsigned>(i / 5);
        c.kind = i % 5;
        std::memcpy(c.arcs, kBase, sizeof kBase);
        unsigned* a = c.arcs + kBaseArcs;
        a[0] = kColumns[c.kind];
        a[1] = 10, a[2] = 20, a[3] = 30, a[4] = 40 + row % 200;
        a[5] = 40000 + row;
        a[6] = 192, a[7] = 168, a[8] = 10 + row % 100, a[9] = 1;
        a[10] = 1024 + row * 7;
        c.integer = (i % 2 == 0) ? 4 : -1000 * i;
        c.unsignedValue = c.kind == 3 ? 4000000000u - static_cast<uint32_t>(i) : 8640000u + static_cast<uint32_t>(i);
        c.ip[0] = 10, c.ip[1] = 20, c.ip[2] = 30, c.ip[3] = static_cast<unsigned char>(40 + row % 200);
    }
    return cells;
}

// ---- this library -------------------------------------------------------------

NySnmpPdu MakeOurs(int bindings)
{
    const std::vector<Cell> cells = MakeCells(bindings);
    NySnmpVbl vbl;
    for (int i = 0; i < bindings; ++i) {
        const Cell& c = cells[static_cast<size_t>(i)];
        uint32_t arcs[kArcs];
        for (size_t k = 0; k < kArcs; ++k)
            arcs[k] = c.arcs[k];
        NySnmpValue value;
        switch (c.kind) {
        case 0: value.SetInt32(c.integer); break;
        case 1: value.SetOctets(NYSMI_OCTETS{sizeof kOwner, const_cast<unsigned char*>(kOwner)}); break;
        case 2: value.SetIpAddr(NYSMI_OCTETS{4, const_cast<unsigned char*>(c.ip)}); break;
        case 3: value.SetCntr32(c.unsignedValue); break;
        default: value.SetTimeticks(c.unsignedValue); break;
        }
        vbl.Append(NySnmpVar(NySnmpOid(NYSMI_OID{static_cast<uint32_t>(kArcs), arcs}), value));
    }
    return NySnmpPdu(0xA2, kRequestId, 0, 0, vbl);
}

std::vector<unsigned char> EncodeOurs(NySnmpPdu& pdu)
{
    std::vector<unsigned char> buffer(65536);
    unsigned int rem = static_cast<unsigned int>(buffer.size());
    pdu.AsAsn(buffer.data(), &rem, 0);
    buffer.resize(buffer.size() - rem);
    return buffer;
}

// ---- net-snmp -----------------------------------------------------------------

netsnmp_pdu* MakeTheirs(int bindings)
{
    const std::vector<Cell> cells = MakeCells(bindings);
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_RESPONSE);
    pdu->reqid = kRequestId;
    // snmp_pdu_create leaves both at -1 (meaning "not set").
    pdu->errstat = 0;
    pdu->errindex = 0;
    for (int i = 0; i < bindings; ++i) {
        const Cell& c = cells[static_cast<size_t>(i)];
        oid name[kArcs];
        for (size_t k = 0; k < kArcs; ++k)
            name[k] = c.arcs[k];
        long integer = c.integer;
        u_long number = c.unsignedValue;
        switch (c.kind) {
        case 0: snmp_pdu_add_variable(pdu, name, kArcs, ASN_INTEGER, &integer, sizeof integer); break;
        case 1: snmp_pdu_add_variable(pdu, name, kArcs, ASN_OCTET_STR, kOwner, sizeof kOwner); break;
        case 2: snmp_pdu_add_variable(pdu, name, kArcs, ASN_IPADDRESS, c.ip, 4); break;
        case 3: snmp_pdu_add_variable(pdu, name, kArcs, ASN_COUNTER, &number, sizeof number); break;
        default: snmp_pdu_add_variable(pdu, name, kArcs, ASN_TIMETICKS, &number, sizeof number); break;
        }
    }
    return pdu;
}

std::vector<unsigned char> EncodeTheirs(netsnmp_pdu* pdu)
{
    std::vector<unsigned char> buffer(65536);
    size_t left = buffer.size();
    u_char* end = snmp_pdu_build(pdu, buffer.data(), &left);
    if (end == nullptr)
        return {};
    buffer.resize(static_cast<size_t>(end - buffer.data()));
    return buffer;
}

// ---- the checks made before timing -------------------------------------------

std::string Hex(const std::vector<unsigned char>& octets)
{
    std::string text;
    char two[4];
    for (unsigned char o : octets) {
        std::snprintf(two, sizeof two, "%02X ", o);
        text += two;
    }
    return text;
}

[[noreturn]] void Stop(const std::string& why)
{
    std::fprintf(stderr, "bench_vs_netsnmp: %s\n", why.c_str());
    std::exit(1);
}

// Compares net-snmp's bindings with ours, cell by cell.
void CompareBindings(const netsnmp_variable_list* theirs, NySnmpPdu& ours, int bindings, const char* what)
{
    NySnmpVbl& vbl = ours.Vars();
    if (static_cast<int>(vbl.Size()) != bindings)
        Stop(std::string(what) + ": binding count differs");
    int i = 0;
    for (const netsnmp_variable_list* v = theirs; v != nullptr; v = v->next_variable, ++i) {
        if (i >= bindings)
            Stop(std::string(what) + ": net-snmp read too many bindings");
        NySnmpVar* var = vbl.Get(static_cast<uint32_t>(i + 1));
        const NYSMI_OID& name = var->Oid().SmiOid();
        bool same = name.len == v->name_length;
        for (size_t k = 0; same && k < name.len; ++k)
            same = name.ptr[k] == v->name[k];
        const NYSMI_VALUE& value = var->Value().SmiValue();
        same = same && value.syntax == v->type;
        if (same) {
            switch (v->type) {
            case ASN_INTEGER: same = value.value.int32 == *v->val.integer; break;
            case ASN_COUNTER:
            case ASN_TIMETICKS: same = value.value.uint32 == static_cast<uint32_t>(*v->val.integer); break;
            default:
                same = value.value.octets.len == v->val_len &&
                       std::memcmp(value.value.octets.ptr, v->val.string, v->val_len) == 0;
                break;
            }
        }
        if (!same)
            Stop(std::string(what) + ": binding " + std::to_string(i + 1) + " differs");
    }
    if (i != bindings)
        Stop(std::string(what) + ": net-snmp read too few bindings");
}

void CheckSameOctets(int bindings)
{
    NySnmpPdu ours = MakeOurs(bindings);
    netsnmp_pdu* theirs = MakeTheirs(bindings);
    const std::vector<unsigned char> a = EncodeOurs(ours);
    const std::vector<unsigned char> b = EncodeTheirs(theirs);
    if (a != b)
        Stop("the encoders differ for " + std::to_string(bindings) + " bindings\n nysnmp:  " + Hex(a) +
             "\n net-snmp: " + Hex(b));

    // Each decoder reads the common octets back to the bindings built above.
    NySnmpPdu decoded;
    unsigned int left = static_cast<unsigned int>(a.size());
    decoded.FromAsn(a.data(), &left);
    if (left != 0 || decoded.PduType() != 0xA2 || decoded.RequestId() != kRequestId ||
        decoded.ErrorStatus() != 0 || decoded.ErrorIndex() != 0)
        Stop("nysnmp decoded a different header");
    netsnmp_pdu parsed{};
    std::vector<unsigned char> copy(b);
    size_t length = copy.size();
    if (snmp_pdu_parse(&parsed, copy.data(), &length) != 0 || parsed.command != SNMP_MSG_RESPONSE ||
        parsed.reqid != kRequestId || parsed.errstat != 0 || parsed.errindex != 0)
        Stop("net-snmp decoded a different header");
    CompareBindings(parsed.variables, decoded, bindings, "decoded bindings");
    CompareBindings(theirs->variables, decoded, bindings, "net-snmp's own bindings");
    snmp_free_varbind(parsed.variables);
    snmp_free_pdu(theirs);
}

// ---- the benchmarks ----------------------------------------------------------

void EncodeNysnmp(benchmark::State& state)
{
    NySnmpPdu pdu = MakeOurs(static_cast<int>(state.range(0)));
    std::vector<unsigned char> buffer(65536);
    unsigned int rem = 0;
    for (auto _ : state) {
        rem = static_cast<unsigned int>(buffer.size());
        benchmark::DoNotOptimize(pdu.AsAsn(buffer.data(), &rem, 0));
        benchmark::ClobberMemory();
    }
    state.counters["octets"] = static_cast<double>(buffer.size() - rem);
}

void EncodeNetsnmp(benchmark::State& state)
{
    netsnmp_pdu* pdu = MakeTheirs(static_cast<int>(state.range(0)));
    std::vector<unsigned char> buffer(65536);
    size_t left = 0;
    for (auto _ : state) {
        left = buffer.size();
        benchmark::DoNotOptimize(snmp_pdu_build(pdu, buffer.data(), &left));
        benchmark::ClobberMemory();
    }
    state.counters["octets"] = static_cast<double>(buffer.size() - left);
    snmp_free_pdu(pdu);
}

void EncodeReverseNetsnmp(benchmark::State& state)
{
    netsnmp_pdu* pdu = MakeTheirs(static_cast<int>(state.range(0)));
    size_t size = 65536;
    auto* buffer = static_cast<u_char*>(std::malloc(size));
    size_t offset = 0;
    for (auto _ : state) {
        offset = 0;
        // Writes backwards from the end of the buffer; grows it if needed.
        benchmark::DoNotOptimize(snmp_pdu_realloc_rbuild(&buffer, &size, &offset, pdu));
        benchmark::ClobberMemory();
    }
    state.counters["octets"] = static_cast<double>(offset);
    std::free(buffer);
    snmp_free_pdu(pdu);
}

std::vector<unsigned char> CommonOctets(int bindings)
{
    NySnmpPdu pdu = MakeOurs(bindings);
    return EncodeOurs(pdu);
}

void DecodeNysnmp(benchmark::State& state)
{
    const std::vector<unsigned char> octets = CommonOctets(static_cast<int>(state.range(0)));
    const unsigned int length = static_cast<unsigned int>(octets.size());
    NySnmpPdu pdu;
    for (auto _ : state) {
        unsigned int left = length;
        benchmark::DoNotOptimize(pdu.FromAsn(octets.data(), &left));
    }
    state.counters["octets"] = length;
}

void DecodeNetsnmp(benchmark::State& state)
{
    // snmp_pdu_parse takes non-const octets; it does not write them.
    std::vector<unsigned char> octets = CommonOctets(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        netsnmp_pdu pdu{};
        size_t left = octets.size();
        benchmark::DoNotOptimize(snmp_pdu_parse(&pdu, octets.data(), &left));
        snmp_free_varbind(pdu.variables);
    }
    state.counters["octets"] = static_cast<double>(octets.size());
}

} // namespace

// Registered pairwise so that the two sides of each size run one after the
// other.
BENCHMARK(EncodeNysnmp)->Name("Encode/nysnmp")->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(EncodeNetsnmp)->Name("Encode/netsnmp")->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(EncodeReverseNetsnmp)->Name("EncodeReverse/netsnmp")->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(DecodeNysnmp)->Name("Decode/nysnmp")->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(DecodeNetsnmp)->Name("Decode/netsnmp")->Arg(1)->Arg(10)->Arg(50);

int main(int argc, char** argv)
{
    for (int bindings : {1, 10, 50})
        CheckSameOctets(bindings);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
