// Calls one side's encoder or decoder of bench_vs_netsnmp a given number of
// times, for instruction counts under valgrind --tool=callgrind (see
// count.sh).  Takes the PDUs and the checks from vs_netsnmp.cpp itself.
#define main VsNetsnmpMain
#include "../vs_netsnmp.cpp"
#undef main

#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: count enc|nenc|dec|ndec CALLS BINDINGS\n");
        return 2;
    }
    const std::string op = argv[1];
    const int calls = std::atoi(argv[2]);
    const int bindings = std::atoi(argv[3]);
    CheckSameOctets(bindings);
    std::vector<unsigned char> buffer(65536);
    if (op == "enc") {
        NySnmpPdu pdu = MakeOurs(bindings);
        for (int i = 0; i < calls; ++i) {
            unsigned int rem = static_cast<unsigned int>(buffer.size());
            pdu.AsAsn(buffer.data(), &rem, 0);
        }
    } else if (op == "nenc") {
        netsnmp_pdu* pdu = MakeTheirs(bindings);
        for (int i = 0; i < calls; ++i) {
            size_t left = buffer.size();
            snmp_pdu_build(pdu, buffer.data(), &left);
        }
        snmp_free_pdu(pdu);
    } else if (op == "dec") {
        const std::vector<unsigned char> octets = CommonOctets(bindings);
        NySnmpPdu pdu;
        for (int i = 0; i < calls; ++i) {
            unsigned int left = static_cast<unsigned int>(octets.size());
            pdu.FromAsn(octets.data(), &left);
        }
    } else if (op == "ndec") {
        std::vector<unsigned char> octets = CommonOctets(bindings);
        for (int i = 0; i < calls; ++i) {
            netsnmp_pdu pdu{};
            size_t left = octets.size();
            snmp_pdu_parse(&pdu, octets.data(), &left);
            snmp_free_varbind(pdu.variables);
        }
    } else {
        std::fprintf(stderr, "count: unknown operation %s\n", op.c_str());
        return 2;
    }
    return 0;
}
