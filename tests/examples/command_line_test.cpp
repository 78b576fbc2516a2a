// Bad command lines of the two installed programs fail at once, with exit
// status 2 and a message naming what is wrong, as a service manager expects.
#include <gtest/gtest.h>

#include <unistd.h>

#include <tuple>

#include "support/agent.h"

TEST(CommandLine, BadOptionsFailAtOnceWithStatus2)
{
    const std::string bin = NYSNMP_BINARY_DIR;
    // program, arguments, what the message names
    const std::tuple<const char*, std::vector<std::string>, const char*> cases[] = {
        {"/examples/relay-peer", {"--identity", "1.3.x"}, "-i: '1.3.x'"},
        {"/examples/relay-peer", {"-i", "1..3"}, "-i"},
        {"/examples/relay-peer", {"-i", "1.3.6.1.99999999999"}, "-i"},
        {"/examples/relay-peer", {"--agentx", "udp:127.0.0.1:705"}, "-x"},
        {"/examples/relay-peer", {"-x", "tcp:host:99999"}, "-x"},
        {"/examples/relay-peer", {"-p", "0"}, "-p"},
        {"/examples/relay-peer", {"-r", "x"}, "-r"},
        {"/examples/relay-peer", {"-R", "0"}, "-R"},
        {"/examples/relay-peer", {"-n", "-1"}, "-n"},
        {"/examples/relay-peer", {"--snmp-port", "70000"}, "--"},
        {"/examples/relay-peer", {"-a", ""}, "-a"},
        {"/examples/relay-peer", {"-w", ""}, "-w"},
        {"/examples/relay-peer", {"--no-such-option"}, "usage"},
        {"/examples/relay-peer", {"stray"}, "unexpected argument 'stray'"},
        {"/tools/nymib-print", {"-m", "bad module"}, "bad module name"},
        {"/tools/nymib-print", {"-m", "lower-MIB"}, "bad module name"},
        {"/tools/nymib-print", {"-m", "TWO--HYPHENS"}, "bad module name"},
        {"/tools/nymib-print", {"-m", "ENDS-"}, "bad module name"},
        {"/tools/nymib-print", {"-o", ""}, "-o wants a file name"},
        {"/tools/nymib-print", {"-m"}, "-m wants a value"},
        {"/tools/nymib-print", {"stray"}, "unexpected argument 'stray'"},
    };
    for (const auto& [program, args, says] : cases) {
        if (::access((bin + program).c_str(), X_OK) != 0)
            GTEST_SKIP() << program << " not built";
        CommandResult r = RunCommand(bin + program, args, 5000);
        EXPECT_EQ(r.status, 2) << program << " " << (args.empty() ? "" : args[0]) << "\n" << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << program << "\n" << r.err;
    }
}
