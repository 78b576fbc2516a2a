// bench_e2e_host - an SMUX peer that publishes N rows of relayConnTable with
// fixed values, for timing walks through a real agent (bench/e2e.sh).
//
// usage: bench_e2e_host --port SMUX_PORT --rows N [--identity OID]
// The password is taken from E2E_HOST_PASSWORD (default "bench").  Prints
// "registered N rows" once the agent has accepted the registration, then
// answers requests until SIGTERM or SIGINT.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "nysmuxpeer.h"
#include "relaymib.h"

namespace {

volatile sig_atomic_t g_signal = 0;

void OnSignal(int number)
{
    g_signal = number;
}

[[noreturn]] void Usage(const char* why)
{
    std::fprintf(stderr, "bench_e2e_host: %s\nusage: bench_e2e_host --port SMUX_PORT --rows N [--identity OID]\n",
                 why);
    std::exit(2);
}

long Number(const char* text, long low, long high, const char* what)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        Usage(what);
    return value;
}

// Row i: 10.0.a.b:40000+ (i % 20000) -> 192.168.c.d:443, distinct for every
// i below 65536 * 256; rows are made in instance order.
std::vector<uint32_t> Instance(long i)
{
    const auto n = static_cast<uint32_t>(i);
    return {10, 0, (n >> 8) & 0xFF, n & 0xFF, 40000 + n % 20000, 192, 168, (n >> 16) & 0xFF, 1 + n % 200, 443};
}

std::string Bytes(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)};
}

} // namespace

int main(int argc, char** argv)
{
    int port = 0;
    long rows = -1;
    std::string identity = "1.3.6.1.4.1.32473.1.1";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            Usage("missing value");
        if (arg == "--port")
            port = static_cast<int>(Number(argv[++i], 1, 65535, "--port wants 1..65535"));
        else if (arg == "--rows")
            rows = Number(argv[++i], 0, 1000000, "--rows wants 0..1000000");
        else if (arg == "--identity")
            identity = argv[++i];
        else
            Usage(("unknown argument " + arg).c_str());
    }
    if (port == 0 || rows < 0)
        Usage("--port and --rows are required");
    const char* password = std::getenv("E2E_HOST_PASSWORD");

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    NySnmpManager manager;
    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> entries;
    entries.reserve(static_cast<size_t>(rows));
    for (long i = 0; i < rows; ++i) {
        std::vector<uint32_t> arcs = Instance(i);
        auto entry = std::make_unique<RelayConnEntry>("relayConnEntry", mib.relayConnTable, 1);
        entry->relayCstatus.value() = 4;
        entry->relayClocalAddress.value() = Bytes(arcs[0], arcs[1], arcs[2], arcs[3]);
        entry->relayClocalPort.value() = static_cast<int32_t>(arcs[4]);
        entry->relayCremAddress.value() = Bytes(arcs[5], arcs[6], arcs[7], arcs[8]);
        entry->relayCremPort.value() = static_cast<int32_t>(arcs[9]);
        entry->relayClinkedWith.value() = "bench peer";
        entry->relayCupTime.value() = static_cast<uint32_t>(100 * i);
        entry->relayCidleTime.value() = 0;
        entry->relayCreceived.value() = static_cast<uint32_t>(1000 + i);
        entry->relayCsent.value() = static_cast<uint32_t>(2000 + i);
        entry->relayCowner.value() = "bench";
        entry->relayCindex.value() = "conn-" + std::to_string(i);
        NYSMI_OID instance{static_cast<uint32_t>(arcs.size()), arcs.data()};
        entry->SetInstanceNumber(instance);
        entries.push_back(std::move(entry));
    }

    NySmuxSession session(manager);
    try {
        if (session.Init(0, port, "127.0.0.1") != 0 ||
            session.Open(identity.c_str(), "bench_e2e_host", password ? password : "bench") != 0) {
            std::fprintf(stderr, "bench_e2e_host: no SMUX association with 127.0.0.1:%d\n", port);
            return 1;
        }
        int priority = -1;
        // The agent's refusal arrives as 255.
        if (session.Register(mib.velmora, priority, NYSMUX_REG_READONLY) != 0 || priority == 255) {
            std::fprintf(stderr, "bench_e2e_host: registration refused\n");
            return 1;
        }
    } catch (NySocketException& e) {
        std::fprintf(stderr, "bench_e2e_host: %s\n", e.Text());
        return 1;
    }
    std::printf("registered %ld rows\n", rows);
    std::fflush(stdout);

    int volatile stop = 0;
    while (g_signal == 0) {
        // Returns after one idle second at most, so that a signal is seen.
        session.ProcessRequests(stop, 1, nullptr);
        if (!session.Socket() || session.Socket()->Handle() == -1) {
            std::fprintf(stderr, "bench_e2e_host: the agent closed the association\n");
            return 1;
        }
    }
    session.Close(0, 2);
    session.End();
    return 0;
}
