/* bench_netsnmp_subagent - the subagent a user would write with net-snmp's
 * agent library: an AgentX subagent serving relayConnTable with N rows
 * through the table helper mib2c generates for table data (netsnmp_tdata),
 * the same rows as bench_e2e_host (e2e/rows.h).  bench/vs_subagent.sh times
 * walks of it beside this library's hosts.
 *
 * usage: bench_netsnmp_subagent --agentx ADDRESS --rows N
 *   ADDRESS as in snmpd's agentXSocket (unix:/path, tcp:127.0.0.1:705, ...)
 * Serves until SIGTERM or SIGINT.
 */
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "e2e/rows.h"

static volatile sig_atomic_t g_stop = 0;

static void on_signal(int number)
{
    (void)number;
    g_stop = 1;
}

static void usage(const char* why)
{
    fprintf(stderr, "bench_netsnmp_subagent: %s\nusage: bench_netsnmp_subagent --agentx ADDRESS --rows N\n", why);
    exit(2);
}

/* One column of the row behind a request, as the table helper hands it over. */
static int answer(netsnmp_variable_list* var, unsigned column, const struct bench_conn_row* row)
{
    switch (column) {
    case 1: return snmp_set_var_typed_integer(var, ASN_INTEGER, BENCH_CONN_STATUS);
    case 2: return snmp_set_var_typed_value(var, ASN_IPADDRESS, row->local_address, 4);
    case 3: return snmp_set_var_typed_integer(var, ASN_INTEGER, row->local_port);
    case 4: return snmp_set_var_typed_value(var, ASN_IPADDRESS, row->remote_address, 4);
    case 5: return snmp_set_var_typed_integer(var, ASN_INTEGER, row->remote_port);
    case 6:
        return snmp_set_var_typed_value(var, ASN_OCTET_STR, BENCH_CONN_LINKED_WITH,
                                        strlen(BENCH_CONN_LINKED_WITH));
    case 7: return snmp_set_var_typed_integer(var, ASN_TIMETICKS, row->up_time);
    case 8: return snmp_set_var_typed_integer(var, ASN_TIMETICKS, row->idle_time);
    case 9: return snmp_set_var_typed_integer(var, ASN_COUNTER, row->received);
    case 10: return snmp_set_var_typed_integer(var, ASN_COUNTER, row->sent);
    case 11: return snmp_set_var_typed_value(var, ASN_OCTET_STR, BENCH_CONN_OWNER, strlen(BENCH_CONN_OWNER));
    case 12: return snmp_set_var_typed_value(var, ASN_OCTET_STR, row->index, strlen(row->index));
    default: return -1;
    }
}

static int relayConnTable_handler(netsnmp_mib_handler* handler, netsnmp_handler_registration* reginfo,
                                  netsnmp_agent_request_info* reqinfo, netsnmp_request_info* requests)
{
    netsnmp_request_info* request;
    (void)handler;
    (void)reginfo;
    if (reqinfo->mode != MODE_GET)
        return SNMP_ERR_NOERROR; /* read-only: the helpers refuse Sets before they get here */
    for (request = requests; request; request = request->next) {
        const struct bench_conn_row* row;
        netsnmp_table_request_info* info;
        if (request->processed)
            continue;
        row = (const struct bench_conn_row*)netsnmp_tdata_extract_entry(request);
        info = netsnmp_extract_table_info(request);
        if (!row || !info) {
            netsnmp_set_request_error(reqinfo, request, SNMP_NOSUCHINSTANCE);
            continue;
        }
        if (answer(request->requestvb, info->colnum, row) != 0)
            netsnmp_set_request_error(reqinfo, request, SNMP_NOSUCHOBJECT);
    }
    return SNMP_ERR_NOERROR;
}

static uint32_t host_order(const uint8_t address[4])
{
    return (uint32_t)address[0] << 24 | (uint32_t)address[1] << 16 | (uint32_t)address[2] << 8 | address[3];
}

static void init_relayConnTable(long rows)
{
    static const oid table_oid[] = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 3, 2, 14, 3};
    netsnmp_tdata* table = netsnmp_tdata_create_table("relayConnTable", 0);
    netsnmp_table_registration_info* info = SNMP_MALLOC_TYPEDEF(netsnmp_table_registration_info);
    netsnmp_handler_registration* reg =
        netsnmp_create_handler_registration("relayConnTable", relayConnTable_handler, table_oid,
                                            OID_LENGTH(table_oid), HANDLER_CAN_RONLY);
    long i;
    if (!table || !info || !reg) {
        fprintf(stderr, "bench_netsnmp_subagent: out of memory\n");
        exit(1);
    }
    netsnmp_table_helper_add_indexes(info, ASN_IPADDRESS, ASN_INTEGER, ASN_IPADDRESS, ASN_INTEGER, 0);
    info->min_column = 1;
    info->max_column = BENCH_CONN_COLUMNS;
    netsnmp_tdata_register(reg, table, info);

    for (i = 0; i < rows; ++i) {
        struct bench_conn_row* entry = SNMP_MALLOC_TYPEDEF(struct bench_conn_row);
        netsnmp_tdata_row* row = netsnmp_tdata_create_row();
        long local_port, remote_port;
        uint32_t local_address, remote_address;
        if (!entry || !row) {
            fprintf(stderr, "bench_netsnmp_subagent: out of memory\n");
            exit(1);
        }
        bench_conn_row_fill((uint32_t)i, entry);
        local_port = entry->local_port;
        remote_port = entry->remote_port;
        /* An IpAddress index is made into arcs from a host-order number. */
        local_address = host_order(entry->local_address);
        remote_address = host_order(entry->remote_address);
        row->data = entry;
        netsnmp_tdata_row_add_index(row, ASN_IPADDRESS, &local_address, 4);
        netsnmp_tdata_row_add_index(row, ASN_INTEGER, &local_port, sizeof local_port);
        netsnmp_tdata_row_add_index(row, ASN_IPADDRESS, &remote_address, 4);
        netsnmp_tdata_row_add_index(row, ASN_INTEGER, &remote_port, sizeof remote_port);
        netsnmp_tdata_add_row(table, row);
    }
}

int main(int argc, char** argv)
{
    const char* address = NULL;
    long rows = -1;
    int i;
    struct sigaction action;

    for (i = 1; i < argc; ++i) {
        if (i + 1 >= argc)
            usage("missing value");
        if (strcmp(argv[i], "--agentx") == 0) {
            address = argv[++i];
        } else if (strcmp(argv[i], "--rows") == 0) {
            char* end = NULL;
            errno = 0;
            rows = strtol(argv[++i], &end, 10);
            if (errno != 0 || *end != '\0' || rows < 0 || rows > 1000000)
                usage("--rows wants 0..1000000");
        } else {
            usage("unknown argument");
        }
    }
    if (!address || rows < 0)
        usage("--agentx and --rows are required");

    memset(&action, 0, sizeof action);
    action.sa_handler = on_signal;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    snmp_enable_stderrlog();
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
    netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET, address);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    init_agent("bench_netsnmp_subagent");
    init_relayConnTable(rows);
    init_snmp("bench_netsnmp_subagent");
    printf("serving %ld rows\n", rows);
    fflush(stdout);

    while (!g_stop)
        agent_check_and_process(1);
    snmp_shutdown("bench_netsnmp_subagent");
    return 0;
}
