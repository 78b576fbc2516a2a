// The printed product MIB is a real MIB module: nymib-print writes the
// library's text with a header and IMPORTS, net-snmp loads it, and smilint
// finds nothing wrong but what the SMIv1 form printed here cannot express.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "relaymib.h"

namespace fs = std::filesystem;

namespace {

const char kModule[] = "VELMORA-MIB";
const std::string kTool = std::string(NYSNMP_BINARY_DIR) + "/tools/nymib-print";
const std::string kSmiModules = std::string(NYSNMP_TEST_DATA_DIR) + "/mibs";

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/nymib-module-XXXXXX";
        if (mkdtemp(name))
            path = name;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty())
            fs::remove_all(path, ignored);
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Result {
    int status = -1;
    std::string out, err;
};

// Runs a shell command with its output and errors caught in files of `dir`.
Result Shell(const TempDir& dir, const std::string& command) {
    Result r;
    const std::string out = dir.path + "/cmd.out", err = dir.path + "/cmd.err";
    int rc = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    r.status = (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
}

bool Have(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveTool() { return access(kTool.c_str(), X_OK) == 0; }

// The tree the module is printed from: the relay MIB with one row per table.
struct ModuleTree {
    RelayMib mib;
    VlmSysTableEntry sys{"vlmSysEntry", mib.vlmSysTable, 1};
    VlmSvcTableEntry svc{"vlmSvcEntry", mib.vlmSvcTable, 1};
    RelayPeerEntry peer{"relayPeerEntry", mib.relayPeerTable, 1};
    RelayListenerEntry listener{"relayListenerEntry", mib.relayListenerTable, 1};
    RelayConnEntry conn{"relayConnEntry", mib.relayConnTable, 1};
    RelayPortRangeEntry range{"relayPortRangeEntry", mib.relayPortRangeTable, 1};
    RelayNatRangeEntry nat{"relayNatRangeEntry", mib.relayNatRangeTable, 1};

    std::vector<NyMibTableEntry*> Rows() {
        return {&sys, &svc, &peer, &listener, &conn, &range, &nat};
    }
    std::vector<VlmSysTrap*> Traps() {
        return {&mib.vlmTrapSvcDown, &mib.vlmTrapSvcUp, &mib.vlmTrapAppError};
    }

    // The module as the tool writes it, composed here from the library's Print.
    std::string Module() {
        char* data = nullptr;
        size_t size = 0;
        FILE* stream = open_memstream(&data, &size);
        std::fputs("VELMORA-MIB DEFINITIONS ::= BEGIN\n\n"
                   "IMPORTS\n"
                   "    enterprises, IpAddress, Counter, TimeTicks\n"
                   "        FROM RFC1155-SMI\n"
                   "    OBJECT-TYPE\n"
                   "        FROM RFC-1212\n"
                   "    TRAP-TYPE\n"
                   "        FROM RFC-1215;\n\n",
                   stream);
        EXPECT_EQ(mib.nyvora.Print(stream), 0);
        std::fputs("\nEND\n", stream);
        std::fclose(stream);
        std::string text(data, size);
        std::free(data);
        return text;
    }
};

// Writes the module into `dir` with the tool, or from the library when the
// tool was not built; returns its path.
std::string WriteModule(const TempDir& dir) {
    const std::string path = dir.path + "/" + kModule;
    if (HaveTool()) {
        Result r = Shell(dir, "'" + kTool + "' -o '" + path + "'");
        EXPECT_EQ(r.status, 0) << r.err;
    } else {
        ModuleTree tree;
        std::ofstream(path, std::ios::binary) << tree.Module();
    }
    return path;
}

TEST(NymibPrint, WritesTheLibraryTextAsAModule) {
    if (!HaveTool())
        GTEST_SKIP() << "nymib-print not built";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    Result r = Shell(dir, "'" + kTool + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ModuleTree tree;
    EXPECT_EQ(r.out, tree.Module());

    r = Shell(dir, "'" + kTool + "' -m OTHER-MIB");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "OTHER-MIB DEFINITIONS ::= BEGIN");
}

TEST(NymibPrint, UsageAndFailures) {
    if (!HaveTool())
        GTEST_SKIP() << "nymib-print not built";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    Result r = Shell(dir, "'" + kTool + "' -h");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: nymib-print", 0), 0u);

    for (const char* args : {"-x", "-o", "extra", "-m ''"}) {
        r = Shell(dir, "'" + kTool + "' " + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << args;
    }

    // a full disk is an error, not a short module
    r = Shell(dir, "'" + kTool + "' -o /dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
    r = Shell(dir, "'" + kTool + "' -o '" + dir.path + "/no/such/dir/X'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
}

TEST(MibModule, NetSnmpLoadsItAndMapsTheNames) {
    if (!Have("snmptranslate"))
        GTEST_SKIP() << "snmptranslate not installed";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    WriteModule(dir);

    // No configuration files or index caches outside the private directory;
    // the cache directory exists beforehand so that no run reports making it.
    const std::string persistent = dir.path + "/persistent";
    fs::create_directories(persistent + "/cert_indexes");
    fs::create_directories(persistent + "/mib_indexes");
    const std::string env = "SNMPCONFPATH='" + dir.path + "' SNMP_PERSISTENT_DIR='" +
                            persistent + "' MIBS= MIBDIRS= ";
    const std::string translate = env + "snmptranslate -M '" + kSmiModules + ":" + dir.path +
                                  "' -m " + kModule + " ";
    const struct {
        const char* name;
        const char* oid;
    } names[] = {
        {"nyvora", ".1.3.6.1.4.1.32473"},
        {"vlmSysTable", ".1.3.6.1.4.1.32473.1.1.1"},
        {"vlmSysValidEntry", ".1.3.6.1.4.1.32473.1.1.1.1.2"},
        {"vlmSvcPid", ".1.3.6.1.4.1.32473.1.1.3.1.1.4"},
        {"vlmSvcParams", ".1.3.6.1.4.1.32473.1.1.3.1.1.12"},
        {"vlmAppCore", ".1.3.6.1.4.1.32473.1.1.3.2.13"},
        // SMIv1 traps: enterprise, 0, specific number
        {"vlmTrapSvcUp", ".1.3.6.1.4.1.32473.1.1.2.0.2"},
        {"relayPindex", ".1.3.6.1.4.1.32473.1.1.3.2.14.1.1.1"},
        {"relayLdescription", ".1.3.6.1.4.1.32473.1.1.3.2.14.2.1.14"},
        {"relayCstatus", ".1.3.6.1.4.1.32473.1.1.3.2.14.3.1.1"},
        {"relayRname", ".1.3.6.1.4.1.32473.1.1.3.2.14.4.1.4"},
        {"relayNinternalIp", ".1.3.6.1.4.1.32473.1.1.3.2.14.5.1.2"},
    };
    for (const auto& n : names) {
        Result r = Shell(dir, translate + "-On " + kModule + "::" + n.name);
        EXPECT_EQ(r.status, 0) << n.name << "\n" << r.err;
        EXPECT_EQ(r.err, "") << n.name;
        EXPECT_EQ(r.out, std::string(n.oid) + "\n") << n.name;
    }

    Result r = Shell(dir, translate + ".1.3.6.1.4.1.32473.1.1.3.2.14.3.1.10");
    EXPECT_EQ(r.out, std::string(kModule) + "::relayCsent\n") << r.err;
    r = Shell(dir, translate + "-Td " + kModule + "::relayPstatus");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("valid(1), invalid(2), connecting(3)"), std::string::npos) << r.out;
    r = Shell(dir, translate + "-Td " + kModule + "::relayConnEntry");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("INDEX\t\t{ relayClocalAddress, relayClocalPort, relayCremAddress, "
                         "relayCremPort }"),
              std::string::npos)
        << r.out;
}

TEST(MibModule, SmilintFindsOnlyWhatThePrintedFormCannotAvoid) {
    if (!Have("smilint"))
        GTEST_SKIP() << "smilint not installed";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string path = WriteModule(dir);
    Result r = Shell(dir, "SMIPATH='" + kSmiModules + ":" + dir.path +
                            "' smilint -c /dev/null -s -l 9 '" + path + "'");
    EXPECT_EQ(r.out, "");

    // Trap variables are named in VARIABLES but not defined, and index
    // columns carry no range or size: the only errors allowed, and only for
    // those very names.
    ModuleTree tree;
    std::set<std::string> trapVariables, traps, indexPairs;
    for (VlmSysTrap* trap : tree.Traps()) {
        traps.insert(trap->Name());
        for (NyMibObject* variable : trap->Children())
            trapVariables.insert(variable->Name());
    }
    for (NyMibTableEntry* row : tree.Rows()) {
        for (NyMibObject* column : row->Children()) {
            if (column->IsAnIndex())
                indexPairs.insert(std::string(column->Name()) + " " + row->Name());
        }
    }

    const std::regex line(R"(^(.*):(\d+): \[(\d)\] (.*)$)");
    const std::regex unknownLabel(R"(^unknown object identifier label `(\w+)'$)");
    const std::regex notScalar(R"(^object `(\w+)' of notification `(\w+)' must be a scalar or column$)");
    const std::regex indexRange(R"(^index element `(\w+)' of row `(\w+)' must have a (range|size) restriction$)");
    std::istringstream lines(r.err);
    std::string text;
    int allowed = 0;
    while (std::getline(lines, text)) {
        std::smatch m, detail;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        if (std::stoi(m[3]) > 3)
            continue; // warnings and recommendations
        const std::string message = m[4];
        bool ok = false;
        if (std::regex_match(message, detail, unknownLabel))
            ok = trapVariables.count(detail[1]) > 0;
        else if (std::regex_match(message, detail, notScalar))
            ok = trapVariables.count(detail[1]) > 0 && traps.count(detail[2]) > 0;
        else if (std::regex_match(message, detail, indexRange))
            ok = indexPairs.count(std::string(detail[1]) + " " + std::string(detail[2])) > 0;
        EXPECT_TRUE(ok) << text;
        allowed += ok;
    }
    // the module was read at all: each trap variable is reported
    EXPECT_GE(allowed, static_cast<int>(trapVariables.size()));
}

} // namespace
