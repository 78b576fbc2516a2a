// Memory held per relayConnTable row: the product tree (RelayMib) with N
// connection rows (twelve columns, ten-arc instances), as a busy relay has.
//
// Each row count is measured in a child process of its own, so that no
// count inherits the heap of another: the child builds the tree and its
// rows, reads its resident set (VmRSS), answers one lookup (which makes the
// table's index) and reads it again.  Per row is (RSS at N - RSS at 0) / N
// after the lookup.  Also printed: the heap in use (glibc's mallinfo2), the
// time to build the rows, and the time of the first lookup.
//
//     bench_row_memory [N ...]        (default 0 1000 10000 50000 100000)
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "relaymib.h"
#include "loopback.h"

namespace {

long ResidentKiB()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kib = std::strtol(line + 6, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return kib;
}

long HeapKiB()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
#else
    return -1;
#endif
}

struct Figures {
    long rows;
    long rssBuilt;   // KiB, rows built, no lookup yet
    long rssLooked;  // KiB, after the first lookup
    long heapLooked; // KiB
    double buildMs;
    double lookupMs;
};

Figures Measure(uint32_t count)
{
    using Clock = std::chrono::steady_clock;
    Figures figures{};
    figures.rows = count;
    RelayMib mib;
    std::vector<std::unique_ptr<RelayConnEntry>> rows;
    rows.reserve(count);
    const auto start = Clock::now();
    for (uint32_t i = 0; i < count; ++i) {
        rows.emplace_back(new RelayConnEntry("relayConnEntry", mib.relayConnTable, 1));
        uint32_t arcs[10];
        ConnInstance(i, arcs);
        NYSMI_OID instance{10, arcs};
        rows.back()->SetInstanceNumber(instance);
    }
    const auto built = Clock::now();
    figures.rssBuilt = ResidentKiB();
    NySnmpOid target("1.3.6.1.4.1.32473.1.1.3.2.14.3.1.9");
    const auto before = Clock::now();
    NyMibObject* found = mib.velmora.FindNext(target);
    const auto after = Clock::now();
    if (count > 0 && found == nullptr) {
        std::fprintf(stderr, "bench_row_memory: no answer from the table\n");
        std::exit(1);
    }
    figures.rssLooked = ResidentKiB();
    figures.heapLooked = HeapKiB();
    figures.buildMs = std::chrono::duration<double, std::milli>(built - start).count();
    figures.lookupMs = std::chrono::duration<double, std::milli>(after - before).count();
    return figures;
}

// Measures `count` rows in a child process and returns its figures.
bool MeasureApart(uint32_t count, Figures& figures)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::close(channel[0]);
        const Figures measured = Measure(count);
        const bool sent = ::write(channel[1], &measured, sizeof measured) == sizeof measured;
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    const bool read = ::read(channel[0], &figures, sizeof figures) == sizeof figures;
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<uint32_t> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    if (counts.empty())
        counts = {0, 1000, 10000, 50000, 100000};

    Figures empty{};
    if (!MeasureApart(0, empty)) {
        std::fprintf(stderr, "bench_row_memory: measuring 0 rows failed\n");
        return 1;
    }
    std::printf("%8s %12s %12s %12s %14s %14s %10s %10s\n", "rows", "RSS KiB", "RSS+index",
                "heap KiB", "B/row built", "B/row indexed", "build ms", "lookup ms");
    for (uint32_t count : counts) {
        Figures f = empty;
        if (count != 0 && !MeasureApart(count, f)) {
            std::fprintf(stderr, "bench_row_memory: measuring %u rows failed\n", count);
            return 1;
        }
        double perBuilt = 0;
        double perIndexed = 0;
        if (count != 0) {
            perBuilt = (f.rssBuilt - empty.rssBuilt) * 1024.0 / count;
            perIndexed = (f.rssLooked - empty.rssLooked) * 1024.0 / count;
        }
        std::printf("%8u %12ld %12ld %12ld %14.0f %14.0f %10.1f %10.2f\n", count, f.rssBuilt,
                    f.rssLooked, f.heapLooked, perBuilt, perIndexed, f.buildMs, f.lookupMs);
        std::fflush(stdout);
    }
    return 0;
}
