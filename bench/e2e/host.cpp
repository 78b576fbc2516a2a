// bench_e2e_host - an SMUX peer (or, with --agentx, an AgentX subagent) that
// publishes N rows of relayConnTable with fixed values (e2e/rows.h), for
// timing walks through a real agent (bench/e2e.sh, bench/vs_subagent.sh).
//
// usage: bench_e2e_host (--port SMUX_PORT | --agentx ADDRESS) --rows N [--identity OID]
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

#include "rows.h"
#include "nyagentx.h"
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

std::string Bytes(const uint8_t (&address)[4])
{
    return std::string(reinterpret_cast<const char*>(address), 4);
}

} // namespace

int main(int argc, char** argv)
{
    int port = 0;
    long rows = -1;
    std::string identity = "1.3.6.1.4.1.32473.1.1";
    std::string agentx;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            Usage("missing value");
        if (arg == "--port")
            port = static_cast<int>(Number(argv[++i], 1, 65535, "--port wants 1..65535"));
        else if (arg == "--rows")
            rows = Number(argv[++i], 0, 1000000, "--rows wants 0..1000000");  // distinct below 2^24
        else if (arg == "--agentx")
            agentx = argv[++i];
        else if (arg == "--identity")
            identity = argv[++i];
        else
            Usage(("unknown argument " + arg).c_str());
    }
    if ((port == 0 && agentx.empty()) || rows < 0)
        Usage("--port or --agentx, and --rows are required");
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
        bench_conn_row row;
        bench_conn_row_fill(static_cast<uint32_t>(i), &row);
        auto entry = std::make_unique<RelayConnEntry>("relayConnEntry", mib.relayConnTable, 1);
        entry->relayCstatus.value() = BENCH_CONN_STATUS;
        entry->relayClocalAddress.value() = Bytes(row.local_address);
        entry->relayClocalPort.value() = row.local_port;
        entry->relayCremAddress.value() = Bytes(row.remote_address);
        entry->relayCremPort.value() = row.remote_port;
        entry->relayClinkedWith.value() = BENCH_CONN_LINKED_WITH;
        entry->relayCupTime.value() = row.up_time;
        entry->relayCidleTime.value() = row.idle_time;
        entry->relayCreceived.value() = row.received;
        entry->relayCsent.value() = row.sent;
        entry->relayCowner.value() = BENCH_CONN_OWNER;
        entry->relayCindex.value() = row.index;
        uint32_t arcs[] = {row.local_address[0], row.local_address[1], row.local_address[2],
                           row.local_address[3], static_cast<uint32_t>(row.local_port),
                           row.remote_address[0], row.remote_address[1], row.remote_address[2],
                           row.remote_address[3], static_cast<uint32_t>(row.remote_port)};
        NYSMI_OID instance{10, arcs};
        entry->SetInstanceNumber(instance);
        entries.push_back(std::move(entry));
    }

    if (!agentx.empty()) {
        NyAgentxSession subagent(manager);
        try {
            subagent.Init(agentx.c_str());
            subagent.Open(identity.c_str(), "bench_e2e_host", 0);
            int priority = NYAGENTX_DEFAULT_PRIORITY;
            subagent.Register(mib.velmora, priority, 0);
        } catch (NySocketException& e) {
            std::fprintf(stderr, "bench_e2e_host: %s\n", e.Text());
            return 1;
        }
        std::printf("registered %ld rows\n", rows);
        std::fflush(stdout);
        int volatile stop = 0;
        while (g_signal == 0)
            subagent.ProcessRequests(stop, 1, nullptr);
        subagent.Close(NYAGENTX_REASON_SHUTDOWN, 1);
        subagent.End();
        return 0;
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
