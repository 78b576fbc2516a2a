// relay-peer: publishes this machine's TCP listeners and connections in the
// Velmora relay tables (relayListenerTable, relayConnTable) through the local
// SNMP agent, as an SMUX peer or (--agentx) as an AgentX subagent.
//
// Threads: the main thread waits for SIGINT/SIGTERM; the service thread
// drives the session (connect, serve, reconnect, traps); the refresh
// thread re-reads /proc/net/tcp and /proc/net/tcp6 every few seconds and updates the rows under
// the session's MIB mutex.
#include <getopt.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "log.h"
#include "peer_session.h"
#include "relay_rows.h"
#include "self_rows.h"
#include "tcp_table.h"

using namespace relay;

namespace {

struct Options {
    PeerOptions peer;
    int refreshSeconds = 5;
    int svcInstance = 1;
    int sysInstance = 1;
    std::string tcpTable = "/proc/net/tcp";
    std::string tcp6Table = "/proc/net/tcp6";
};

void Usage(FILE* out)
{
    const PeerOptions defaults;
    std::fprintf(out,
                 "usage: relay-peer [options]\n"
                 "Publishes the TCP listeners and connections of this machine in the Velmora\n"
                 "relay tables through the local SNMP agent, as an SMUX peer (RFC 1227) or\n"
                 "with --agentx as an AgentX subagent (RFC 2741).  Stops cleanly on SIGINT or\n"
                 "SIGTERM.\n"
                 "IPv4 sockets are shown, and IPv6 ones with IPv4 ends: a dual-stack listener\n"
                 "on :: as 0.0.0.0, IPv4-mapped ::ffff:a.b.c.d as a.b.c.d.  Other IPv6 sockets\n"
                 "are left out: the tables are indexed by IPv4 addresses.\n"
                 "  -x, --agentx [ADDRESS]   speak AgentX to the master at ADDRESS: unix:/path,\n"
                 "                           /path, tcp:HOST:PORT or HOST:PORT\n"
                 "                           (default %s)\n"
                 "  -a, --agent HOST         SMUX agent host (default %s)\n"
                 "  -p, --port PORT          SMUX agent TCP port (default %d)\n"
                 "  -i, --identity OID       identity, as in the agent's smuxpeer line (SMUX) or\n"
                 "                           sent in the Open (AgentX);\n"
                 "                           also the subtree registered (default %s)\n"
                 "  -w, --password TEXT      SMUX password (default: $RELAY_PEER_PASSWORD, else %s)\n"
                 "  -d, --description TEXT   description sent in the OpenPDU\n"
                 "  -r, --refresh SECONDS    how often the socket list is read (default 5)\n"
                 "  -R, --retry SECONDS      pause between connection attempts (default %d)\n"
                 "  -n, --instance N         service instance (vlmSvcInstance, default 1)\n"
                 "  -s, --system-instance N  product instance (vlmSysInstance, default 1)\n"
                 "      --snmp-port PORT     the agent's SNMP port, reported in traps (default %d)\n"
                 "      --tcp-table FILE     IPv4 socket list to read (default /proc/net/tcp)\n"
                 "      --tcp6-table FILE    IPv6 socket list to read (default /proc/net/tcp6;\n"
                 "                           none: read only the IPv4 list)\n"
                 "  -h, --help               show this help\n"
                 "\n"
                 "The agent (net-snmp's snmpd.conf):\n"
                 "  SMUX:   smuxsocket 127.0.0.1:199\n"
                 "          smuxpeer %s PASSWORD\n"
                 "  AgentX: master agentx\n"
                 "          agentXSocket unix:/var/agentx/master   (or tcp:127.0.0.1:705)\n"
                 "          agentXPerms 0660 0770 USER GROUP     (lets a non-root relay-peer in)\n",
                 NYAGENTX_DEFAULT_ADDRESS, defaults.agentHost.c_str(), defaults.agentPort, defaults.identity.c_str(),
                 defaults.password.c_str(), defaults.retrySeconds, defaults.snmpPort, defaults.identity.c_str());
}

bool ParseNumber(const char* text, long low, long high, int& out)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

// An object identifier the agent can take: two arcs at least, digits and
// single dots only, the first arc 0, 1 or 2.
bool IsOidText(const char* text)
{
    const std::string oid = text;
    if (oid.size() < 3 || oid.find_first_not_of("0123456789.") != std::string::npos || oid.find("..") != std::string::npos ||
        oid.front() == '.' || oid.back() == '.' || oid.find('.') == std::string::npos || oid[0] > '2' || oid[1] != '.')
        return false;
    try {
        NySnmpOid parsed(text);
    } catch (const NySocketException&) {
        return false;  // an arc above 2^32 - 1
    }
    return true;
}

// 0: run; 1: exit with success (help); 2: bad usage.
int ParseOptions(int argc, char** argv, Options& options)
{
    enum { kSnmpPort = 1000, kTcpTable, kTcp6Table };
    static const option longOptions[] = {
        {"agentx", optional_argument, nullptr, 'x'},
        {"agent", required_argument, nullptr, 'a'},
        {"port", required_argument, nullptr, 'p'},
        {"identity", required_argument, nullptr, 'i'},
        {"password", required_argument, nullptr, 'w'},
        {"description", required_argument, nullptr, 'd'},
        {"refresh", required_argument, nullptr, 'r'},
        {"retry", required_argument, nullptr, 'R'},
        {"instance", required_argument, nullptr, 'n'},
        {"system-instance", required_argument, nullptr, 's'},
        {"snmp-port", required_argument, nullptr, kSnmpPort},
        {"tcp-table", required_argument, nullptr, kTcpTable},
        {"tcp6-table", required_argument, nullptr, kTcp6Table},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    if (const char* password = std::getenv("RELAY_PEER_PASSWORD"); password && *password)
        options.peer.password = password;

    int c;
    while ((c = getopt_long(argc, argv, "x::a:p:i:w:d:r:R:n:s:h", longOptions, nullptr)) != -1) {
        bool ok = true;
        switch (c) {
        case 'x':
            options.peer.agentx = true;
            // The address may also follow as the next word ("-x /path").
            if (!optarg && optind < argc && argv[optind][0] != '-')
                optarg = argv[optind++];
            if (optarg)
                options.peer.agentxAddress = optarg;
            ok = NyAgentxSession::IsValidAddress(options.peer.agentxAddress.c_str());
            break;
        case 'a': options.peer.agentHost = optarg; ok = !options.peer.agentHost.empty(); break;
        case 'p': ok = ParseNumber(optarg, 1, 65535, options.peer.agentPort); break;
        case 'i': options.peer.identity = optarg; ok = IsOidText(optarg); break;
        case 'w': options.peer.password = optarg; ok = !options.peer.password.empty(); break;
        case 'd': options.peer.description = optarg; ok = !options.peer.description.empty(); break;
        case 'r': ok = ParseNumber(optarg, 1, 3600, options.refreshSeconds); break;
        case 'R': ok = ParseNumber(optarg, 1, 3600, options.peer.retrySeconds); break;
        case 'n': ok = ParseNumber(optarg, 0, INT_MAX, options.svcInstance); break;
        case 's': ok = ParseNumber(optarg, 0, INT_MAX, options.sysInstance); break;
        case kSnmpPort: ok = ParseNumber(optarg, 1, 65535, options.peer.snmpPort); break;
        case kTcpTable: options.tcpTable = optarg; break;
        case kTcp6Table: options.tcp6Table = std::strcmp(optarg, "none") == 0 ? "" : optarg; break;
        case 'h': Usage(stdout); return 1;
        default: Usage(stderr); return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "relay-peer: bad value for option -%c: '%s'\n", c < 256 ? c : '-', optarg);
            return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "relay-peer: unexpected argument '%s'\n", argv[optind]);
        Usage(stderr);
        return 2;
    }
    return 0;
}

// Reads the socket list and brings the rows in step; a file that cannot be
// read is reported once until it can be read again.
void Refresh(const Options& options, RelayRows& rows, NySocketMutex& mibMutex, bool& failing)
{
    std::vector<TcpSocket> sockets;
    std::string error;
    if (!ReadTcpTables(options.tcpTable, options.tcp6Table, sockets, error)) {
        if (!failing)
            Log("cannot read the socket list: %s", error.c_str());
        failing = true;
        return;
    }
    failing = false;
    std::lock_guard<NySocketMutex> lock(mibMutex);
    rows.Update(sockets, RelayRows::Clock::now());
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const int parsed = ParseOptions(argc, argv, options); parsed != 0)
        return parsed == 1 ? 0 : 2;

    // The signals are taken by sigwait below; every thread made from here on
    // inherits the mask.  A peer that drops the connection must not kill the
    // process through SIGPIPE.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    SelfInfo info;
    info.sysInstance = options.sysInstance;
    info.svcInstance = options.svcInstance;
    info.name = "relay-peer";
    info.owner = CurrentUserName();
    info.version = RELAY_PEER_VERSION;
    info.pid = static_cast<int32_t>(getpid());
    info.path = ExecutablePath();
    info.params = PublicParams(argc, argv, {"-w", "--password"});

    try {
        NySnmpManager manager;
        RelayMib mib;
        SelfRows self(mib, info);
        RelayRows rows(mib);
        std::unique_ptr<RelayLink> link;
        if (options.peer.agentx)
            link = std::make_unique<RelayAgentxSession>(manager, mib, rows, info, options.peer);
        else
            link = std::make_unique<RelayPeerSession>(manager, mib, rows, info, options.peer);
        RelayLink& session = *link;

        bool failing = false;
        Refresh(options, rows, session.Mutex(), failing);
        Log("%zu listeners, %zu connections; %s, identity %s", rows.ListenerRows(), rows.ConnRows(),
            session.Agent().c_str(), options.peer.identity.c_str());

        std::atomic<bool> stopping{false};
        NyEvent serviceWake;
        NyEvent refreshWake;
        // A thread that fails for good asks the main thread to stop everything.
        auto failed = [](const char* what) {
            Log("%s", what);
            kill(getpid(), SIGTERM);
        };

        std::thread service([&] {
            try {
                ServeUntilStopped(session, mib, self, options.peer, stopping, serviceWake);
            } catch (const std::exception& e) {
                failed(e.what());
            }
        });
        std::thread refresher([&] {
            try {
                while (!stopping) {
                    refreshWake.Wait(options.refreshSeconds * 1000);
                    if (!stopping)
                        Refresh(options, rows, session.Mutex(), failing);
                }
            } catch (const std::exception& e) {
                failed(e.what());
            }
        });

        int signalNumber = 0;
        while (sigwait(&stopSignals, &signalNumber) != 0) {
        }
        Log("stopping (%s)", signalNumber == SIGINT ? "SIGINT" : "SIGTERM");
        stopping = true;
        serviceWake.Set();
        refreshWake.Set();
        refresher.join();
        service.join();
    } catch (const std::exception& e) {
        Log("%s", e.what());
        return 1;
    }
    return 0;
}
