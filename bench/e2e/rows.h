/* rows.h - the rows of relayConnTable that the benchmark hosts serve.
 *
 * bench_e2e_host (this library, C++) and bench_netsnmp_subagent (net-snmp's
 * agent library, C) both fill row i of N from here, so that walks through
 * either can be compared line by line.  Plain C, included by both.
 *
 * Row i: 10.0.a.b:40000+(i % 20000) -> 192.168.c.d:443 with a.b = i in two
 * octets and c.d = i >> 16, 1 + i % 200: distinct for every i below 2^24.
 */
#ifndef NYSNMP_BENCH_E2E_ROWS_H
#define NYSNMP_BENCH_E2E_ROWS_H

#include <stdint.h>
#include <stdio.h>

#define BENCH_CONN_TABLE_OID "1.3.6.1.4.1.32473.1.1.3.2.14.3"
#define BENCH_CONN_COLUMNS 12
#define BENCH_CONN_STATUS 4 /* relayCstatus */
#define BENCH_CONN_LINKED_WITH "bench peer"
#define BENCH_CONN_OWNER "bench"

struct bench_conn_row {
    uint8_t local_address[4];
    int32_t local_port;
    uint8_t remote_address[4];
    int32_t remote_port;
    uint32_t up_time;   /* TimeTicks */
    uint32_t idle_time; /* TimeTicks */
    uint32_t received;  /* Counter32 */
    uint32_t sent;      /* Counter32 */
    char index[24];     /* relayCindex: "conn-<i>" */
};

static inline void bench_conn_row_fill(uint32_t i, struct bench_conn_row* row)
{
    row->local_address[0] = 10;
    row->local_address[1] = 0;
    row->local_address[2] = (uint8_t)(i >> 8);
    row->local_address[3] = (uint8_t)i;
    row->local_port = (int32_t)(40000 + i % 20000);
    row->remote_address[0] = 192;
    row->remote_address[1] = 168;
    row->remote_address[2] = (uint8_t)(i >> 16);
    row->remote_address[3] = (uint8_t)(1 + i % 200);
    row->remote_port = 443;
    row->up_time = 100 * i;
    row->idle_time = 0;
    row->received = 1000 + i;
    row->sent = 2000 + i;
    snprintf(row->index, sizeof row->index, "conn-%u", (unsigned)i);
}

#endif
