// nymib-print: writes the Velmora product MIB, relay tables included, as a
// complete SMIv1 MIB module: header, IMPORTS, the definitions printed by the
// library, END.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "relaymib.h"

namespace {

const char kDefaultModule[] = "VELMORA-MIB";

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: nymib-print [-m MODULE] [-o FILE]\n"
                 "Writes the Velmora product MIB with the relay tables as an SMIv1 MIB\n"
                 "module (importing from RFC1155-SMI, RFC-1212 and RFC-1215).\n"
                 "  -m MODULE  module name (default %s)\n"
                 "  -o FILE    write to FILE instead of standard output\n"
                 "  -h         show this help\n",
                 kDefaultModule);
}

// What the printed definitions refer to that the SMI modules define.
struct Needs {
    bool ipAddress = false;
    bool counter = false;
    bool gauge = false;
    bool timeTicks = false;
    bool opaque = false;
    bool objectType = false;
    bool trapType = false;
};

void Survey(NyMibObject& node, Needs& needs) {
    switch (node.Syntax()) {
    case 64: needs.ipAddress = true; break;
    case 65: needs.counter = true; break;
    case 66: needs.gauge = true; break;
    case 67: needs.timeTicks = true; break;
    case 68: needs.opaque = true; break;
    default: break;
    }
    if (node.Syntax() == 290) {
        // A trap's variables are named, not defined.
        needs.trapType = true;
        return;
    }
    if (node.Syntax() != 289)
        needs.objectType = true;
    for (NyMibObject* child : node.Children())
        Survey(*child, needs);
}

bool PrintImports(FILE* out, const Needs& needs) {
    std::vector<const char*> smi = {"enterprises"};
    if (needs.ipAddress) smi.push_back("IpAddress");
    if (needs.counter) smi.push_back("Counter");
    if (needs.gauge) smi.push_back("Gauge");
    if (needs.timeTicks) smi.push_back("TimeTicks");
    if (needs.opaque) smi.push_back("Opaque");

    std::string text = "IMPORTS\n    ";
    for (size_t i = 0; i < smi.size(); ++i) {
        if (i)
            text += ", ";
        text += smi[i];
    }
    text += "\n        FROM RFC1155-SMI";
    if (needs.objectType)
        text += "\n    OBJECT-TYPE\n        FROM RFC-1212";
    if (needs.trapType)
        text += "\n    TRAP-TYPE\n        FROM RFC-1215";
    text += ";\n\n";
    return std::fputs(text.c_str(), out) >= 0;
}

// A module reference as MIB parsers take it.
bool IsModuleName(const char* name)
{
    if (!std::isupper(static_cast<unsigned char>(name[0])))
        return false;
    for (const char* p = name; *p; ++p) {
        const bool hyphen = *p == '-';
        if (!hyphen && !std::isalnum(static_cast<unsigned char>(*p)))
            return false;
        if (hyphen && (p[1] == '-' || p[1] == '\0'))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const char* module = kDefaultModule;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        }
        if ((arg == "-m" || arg == "-o") && i + 1 < argc) {
            (arg == "-m" ? module : path) = argv[++i];
            continue;
        }
        if (arg == "-m" || arg == "-o")
            std::fprintf(stderr, "nymib-print: %s wants a value\n", arg.c_str());
        else
            std::fprintf(stderr, "nymib-print: unexpected argument '%s'\n", arg.c_str());
        Usage(stderr);
        return 2;
    }
    if (!IsModuleName(module)) {
        std::fprintf(stderr,
                     "nymib-print: bad module name '%s': an uppercase letter, then letters, digits and single "
                     "hyphens, not ending in a hyphen\n",
                     module);
        return 2;
    }
    if (path && !*path) {
        std::fprintf(stderr, "nymib-print: -o wants a file name\n");
        return 2;
    }

    // The printer writes a table's entry, SEQUENCE type and columns once per
    // row object, so the module is printed from a tree with one row per table.
    RelayMib mib;
    VlmSysTableEntry sysEntry("vlmSysEntry", mib.vlmSysTable, 1);
    VlmSvcTableEntry svcEntry("vlmSvcEntry", mib.vlmSvcTable, 1);
    RelayPeerEntry peerEntry("relayPeerEntry", mib.relayPeerTable, 1);
    RelayListenerEntry listenerEntry("relayListenerEntry", mib.relayListenerTable, 1);
    RelayConnEntry connEntry("relayConnEntry", mib.relayConnTable, 1);
    RelayPortRangeEntry portRangeEntry("relayPortRangeEntry", mib.relayPortRangeTable, 1);
    RelayNatRangeEntry natRangeEntry("relayNatRangeEntry", mib.relayNatRangeTable, 1);

    FILE* out = stdout;
    if (path) {
        out = std::fopen(path, "w");
        if (!out) {
            std::fprintf(stderr, "nymib-print: cannot open %s: %s\n", path, std::strerror(errno));
            return 1;
        }
    }

    Needs needs;
    Survey(mib.nyvora, needs);
    // The definitions start below enterprises, which the module imports.
    bool ok = std::fprintf(out, "%s DEFINITIONS ::= BEGIN\n\n", module) >= 0 &&
              PrintImports(out, needs) && mib.nyvora.Print(out) == 0 &&
              std::fputs("\nEND\n", out) >= 0;
    ok = std::fflush(out) == 0 && ok;
    if (path)
        ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "nymib-print: write failed: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
