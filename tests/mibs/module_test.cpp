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

#include <gtest/gtest.h>

#include "relaymib.h"

namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(NYSNMP_BINARY_DIR) + "/tools/nymib-print";
const std::string kSmiModules = std::string(NYSNMP_SOURCE_DIR) + "/mibs";

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/nymib-module-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        std::error_code ignored;
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
    int status;
    std::string out, err;
};

// Runs a shell command with its output and errors caught in files of `dir`.
Result Shell(const TempDir& dir, const std::string& command) {
    const std::string out = dir.path + "/cmd.out", err = dir.path + "/cmd.err";
    int rc = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    return {rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadFile(out), ReadFile(err)};
}

bool Have(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

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

    // The module as nymib-print writes it, composed from the library's Print.
    std::string Module() {
        char* data = nullptr;
        size_t size = 0;
        FILE* stream = open_memstream(&data, &size);
        std::fputs("VELMORA-MIB DEFINITIONS ::= BEGIN\n\nIMPORTS\n"
                   "    enterprises, IpAddress, Counter, TimeTicks\n        FROM RFC1155-SMI\n"
                   "    OBJECT-TYPE\n        FROM RFC-1212\n"
                   "    TRAP-TYPE\n        FROM RFC-1215;\n\n",
                   stream);
        EXPECT_EQ(mib.nyvora.Print(stream), 0);
        std::fputs("\nEND\n", stream);
        std::fclose(stream);
        std::string text(data, size);
        std::free(data);
        return text;
    }
};

// Writes VELMORA-MIB into `dir` with nymib-print, or from the library when
// the tool was not built.
void WriteModule(const TempDir& dir) {
    const std::string path = dir.path + "/VELMORA-MIB";
    if (access(kTool.c_str(), X_OK) == 0) {
        Result r = Shell(dir, "'" + kTool + "' -o '" + path + "'");
        EXPECT_EQ(r.status, 0) << r.err;
    } else {
        std::ofstream(path, std::ios::binary) << ModuleTree().Module();
    }
}

TEST(NymibPrint, WritesTheLibraryTextAsAModule) {
    if (access(kTool.c_str(), X_OK) != 0)
        GTEST_SKIP() << "nymib-print not built";
    TempDir dir;
    const std::string tool = "'" + kTool + "'";
    Result r = Shell(dir, tool);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, ModuleTree().Module());
    r = Shell(dir, tool + " -m OTHER-MIB");
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "OTHER-MIB DEFINITIONS ::= BEGIN");
    for (const char* args : {" -x", " -o", " -m ''"})
        EXPECT_EQ(Shell(dir, tool + args).status, 2) << args;
    // a full disk is an error, not a short module
    r = Shell(dir, tool + " -o /dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
}

TEST(MibModule, NetSnmpLoadsItAndMapsTheNames) {
    if (!Have("snmptranslate"))
        GTEST_SKIP() << "snmptranslate not installed";
    TempDir dir;
    WriteModule(dir);
    // No configuration or caches outside the private directory; the cache
    // directories exist beforehand so that no run reports making them.
    const std::string persistent = dir.path + "/persistent";
    fs::create_directories(persistent + "/cert_indexes");
    fs::create_directories(persistent + "/mib_indexes");
    const std::string translate = "SNMPCONFPATH='" + dir.path + "' SNMP_PERSISTENT_DIR='" +
                                  persistent + "' MIBS= MIBDIRS= snmptranslate -M '" +
                                  kSmiModules + ":" + dir.path + "' -m VELMORA-MIB ";
    const std::pair<const char*, const char*> names[] = {
        {"vlmSvcPid", ".1.3.6.1.4.1.32473.1.1.3.1.1.4"},
        {"vlmAppCore", ".1.3.6.1.4.1.32473.1.1.3.2.13"},
        {"vlmTrapSvcUp", ".1.3.6.1.4.1.32473.1.1.2.0.2"}, // SMIv1: enterprise.0.specific
        {"relayCstatus", ".1.3.6.1.4.1.32473.1.1.3.2.14.3.1.1"},
        {"relayNinternalIp", ".1.3.6.1.4.1.32473.1.1.3.2.14.5.1.2"},
    };
    for (const auto& n : names) {
        Result r = Shell(dir, translate + "-On VELMORA-MIB::" + n.first);
        EXPECT_EQ(r.err, "") << n.first;
        EXPECT_EQ(r.out, std::string(n.second) + "\n") << n.first;
    }
    Result r = Shell(dir, translate + ".1.3.6.1.4.1.32473.1.1.3.2.14.3.1.10");
    EXPECT_EQ(r.out, "VELMORA-MIB::relayCsent\n") << r.err;
    r = Shell(dir, translate + "-Td VELMORA-MIB::relayPstatus");
    EXPECT_NE(r.out.find("{valid(1), invalid(2), connecting(3)}"), std::string::npos) << r.out;
}

TEST(MibModule, SmilintFindsOnlyWhatThePrintedFormCannotAvoid) {
    if (!Have("smilint"))
        GTEST_SKIP() << "smilint not installed";
    TempDir dir;
    WriteModule(dir);
    Result r = Shell(dir, "SMIPATH='" + kSmiModules + ":" + dir.path +
                              "' smilint -c /dev/null -s -l 9 '" + dir.path + "/VELMORA-MIB'");

    // Trap variables are named in VARIABLES but not defined, and index
    // columns carry no range or size: the only errors allowed, and only for
    // those very names.
    ModuleTree tree;
    std::set<std::string> trapVariables, indexColumns;
    for (NyMibObject* trap : tree.mib.vlmSysTraps.Children()) {
        for (NyMibObject* variable : trap->Children())
            trapVariables.insert(std::string(variable->Name()) + " " + trap->Name());
    }
    for (NyMibTableEntry* row : std::initializer_list<NyMibTableEntry*>{
             &tree.sys, &tree.svc, &tree.peer, &tree.listener, &tree.conn, &tree.range,
             &tree.nat}) {
        for (NyMibObject* column : row->Children()) {
            if (column->IsAnIndex())
                indexColumns.insert(std::string(column->Name()) + " " + row->Name());
        }
    }
    const std::regex line(R"(^.*:\d+: \[(\d)\] (.*)$)");
    const std::regex unknownLabel(R"(^unknown object identifier label `(\w+)'$)");
    const std::regex notScalar(R"(^object `(\w+)' of notification `(\w+)' must be a scalar or column$)");
    const std::regex noRange(R"(^index element `(\w+)' of row `(\w+)' must have a (range|size) restriction$)");
    std::istringstream lines(r.err);
    std::string text;
    size_t unknownLabels = 0;
    while (std::getline(lines, text)) {
        std::smatch m, d;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        if (std::stoi(m[1]) > 3)
            continue; // warnings and recommendations
        const std::string message = m[2];
        bool allowed = false;
        if (std::regex_match(message, d, unknownLabel)) {
            allowed = trapVariables.count(d.str(1) + " vlmTrapSvcDown") > 0;
            unknownLabels += allowed;
        } else if (std::regex_match(message, d, notScalar)) {
            allowed = trapVariables.count(d.str(1) + " " + d.str(2)) > 0;
        } else if (std::regex_match(message, d, noRange)) {
            allowed = indexColumns.count(d.str(1) + " " + d.str(2)) > 0;
        }
        EXPECT_TRUE(allowed) << text;
    }
    EXPECT_EQ(unknownLabels, 10u) << "the module was not read:\n" << r.err;
    EXPECT_EQ(r.out, "");
}

} // namespace
