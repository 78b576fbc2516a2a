// load-host: an SMUX peer with a relay connection table of many rows whose
// values change all the time, for load runs against a local agent.
//
// Threads: the main thread waits for SIGINT/SIGTERM; the service thread
// connects, registers the product subtree and runs ProcessRequests (and
// reconnects after a loss); the writer thread changes the counters, times
// and texts of every row continuously, under the session's MIB mutex.  On
// the way out it prints what it answered and changed.
#include <getopt.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nysmuxpeer.h"
#include "relaymib.h"

namespace {

struct Options {
    std::string agentHost = "127.0.0.1";
    int agentPort = 199;
    std::string identity = "1.3.6.1.4.1.32473.1.1";
    std::string password = "velmora";
    int rows = 1000;
    int retrySeconds = 1;
};

// Counts the requests it answers; the counts are read by the main thread.
class LoadSession : public NySmuxSession {
public:
    using NySmuxSession::NySmuxSession;

    std::atomic<unsigned long> answered{0};
    std::atomic<unsigned long> refused{0};  // answers with an error status
    std::atomic<unsigned long> reconnects{0};

    int Respond(NySnmpPdu& request) override
    {
        const int32_t type = request.PduType();
        const int result = NySmuxSession::Respond(request);
        if (type == NYSMUX_GET || type == NYSMUX_GETNEXT || type == NYSMUX_SET)
            ++answered;
        return result;
    }
    int OnSet(NySnmpPdu& response) override
    {
        if (response.ErrorStatus() != 0)
            ++refused;
        return 0;
    }
    int Reconnect() override
    {
        ++reconnects;
        return NySmuxSession::Reconnect();
    }
};

void SetInstance(NyMibTableEntry& entry, std::vector<uint32_t> arcs)
{
    NYSMI_OID oid{static_cast<uint32_t>(arcs.size()), arcs.data()};
    entry.SetInstanceNumber(oid);
}

// Row i: 127.0.0.1:(10000+i) to 127.0.0.2:(40000+i).
std::unique_ptr<RelayConnEntry> MakeRow(RelayMib& mib, int i)
{
    auto row = std::make_unique<RelayConnEntry>("relayConnEntry", mib.relayConnTable, 1);
    const uint32_t localPort = 10000 + static_cast<uint32_t>(i);
    const uint32_t remotePort = 40000 + static_cast<uint32_t>(i);
    row->relayCstatus.value() = 4;
    row->relayClocalAddress.value() = std::string("\x7f\x00\x00\x01", 4);
    row->relayClocalPort.value() = static_cast<int32_t>(localPort);
    row->relayCremAddress.value() = std::string("\x7f\x00\x00\x02", 4);
    row->relayCremPort.value() = static_cast<int32_t>(remotePort);
    row->relayCowner.value() = "load";
    row->relayCindex.value() = std::to_string(i);
    SetInstance(*row, {127, 0, 0, 1, localPort, 127, 0, 0, 2, remotePort});
    return row;
}

bool Connect(LoadSession& session, RelayMib& mib, const Options& options)
{
    session.End();
    try {
        if (session.Init(0, options.agentPort, options.agentHost.c_str()) != 0 ||
            session.Open(options.identity.c_str(), "load-host", options.password.c_str()) != 0)
            return false;
        int priority = -1;
        return session.Register(mib.velmora, priority, NYSMUX_REG_READWRITE) == 0 && priority != 255;
    } catch (NySocketException& e) {
        std::fprintf(stderr, "load-host: agent not reachable: %s\n", e.Text());
        return false;
    }
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: load-host -p SMUXPORT [-a HOST] [-i OID] [-w PASSWORD] [-n ROWS] [-R SECONDS]\n"
                 "Serves a relay connection table of ROWS rows (default 1000) whose values\n"
                 "change continuously; stops on SIGINT or SIGTERM and prints its counts.\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    int opt;
    while ((opt = getopt(argc, argv, "a:p:i:w:n:R:h")) != -1) {
        switch (opt) {
        case 'a': options.agentHost = optarg; break;
        case 'p': options.agentPort = std::atoi(optarg); break;
        case 'i': options.identity = optarg; break;
        case 'w': options.password = optarg; break;
        case 'n': options.rows = std::atoi(optarg); break;
        case 'R': options.retrySeconds = std::atoi(optarg); break;
        default: return Usage();
        }
    }
    if (optind != argc || options.agentPort <= 0 || options.agentPort > 65535 || options.rows < 1 ||
        options.rows > 60000 || options.retrySeconds < 1)
        return Usage();

    // Blocked in every thread; the main thread takes them with sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> rows;
    for (int i = 0; i < options.rows; ++i)
        rows.push_back(MakeRow(mib, i));
    NySnmpManager manager;
    LoadSession session(manager);

    std::atomic<bool> stopping{false};
    int volatile stop = 0;
    NyEvent wake;
    std::atomic<unsigned long> changes{0};

    std::thread service([&] {
        bool connected = false;
        while (!stopping) {
            if (!connected) {
                connected = Connect(session, mib, options);
                if (!connected) {
                    wake.Wait(options.retrySeconds * 1000);
                    continue;
                }
                std::fprintf(stderr, "load-host: registered %s\n", mib.velmora.OidText());
            }
            try {
                session.ProcessRequests(stop, 1, &wake);
                // The loop reconnects at once after a loss; an agent that
                // ends each new association at once (a wrong password, say)
                // would otherwise be asked again hundreds of times a second.
                NyAsyncSocket* socket = session.Socket();
                if (!stopping && (!socket || socket->Handle() == -1))
                    wake.Wait(options.retrySeconds * 1000);
            } catch (NySocketException& e) {
                // The agent is away: the next attempt after a pause.
                std::fprintf(stderr, "load-host: %s\n", e.Text());
                wake.Wait(options.retrySeconds * 1000);
            }
        }
        try {
            session.Close(NYSMUX_GOING_DOWN, 5);
        } catch (NySocketException&) {
        }
        session.End();
    });

    std::thread writer([&] {
        // Counters go up, times move, and the linked-with text changes its
        // length, so that values are written while the service thread reads.
        const std::string texts[2] = {"", "127.0.0.2.40000.127.0.0.1.10000 (linked)"};
        uint32_t round = 0;
        while (!stopping) {
            ++round;
            for (size_t first = 0; first < rows.size() && !stopping; first += 100) {
                {
                    std::lock_guard<NySocketMutex> guard(session.MibMutex());
                    for (size_t i = first; i < rows.size() && i < first + 100; ++i) {
                        RelayConnEntry& row = *rows[i];
                        row.relayCreceived.value() += 1 + static_cast<uint32_t>(i % 7);
                        row.relayCsent.value() += 1;
                        row.relayCupTime.value() = round * 10;
                        row.relayCidleTime.value() = round % 100;
                        row.relayClinkedWith.value() = texts[(round + i) % 2];
                    }
                }
                changes += 100;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });

    int signal = 0;
    sigwait(&stopSignals, &signal);
    stopping = true;
    stop = 1;
    wake.Set();
    writer.join();
    service.join();
    std::printf("answered %lu requests (%lu Sets refused), %lu reconnects, %lu row changes\n",
                session.answered.load(), session.refused.load(), session.reconnects.load(), changes.load());
    return 0;
}
