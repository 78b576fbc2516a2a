// nysmuxdefs.h - codes of the SNMP multiplexing protocol (SMUX, RFC 1227) and
// of the SNMP PDUs a peer exchanges with the agent.
#ifndef NYSMUXDEFS_H
#define NYSMUXDEFS_H

#include <cstdint>

#include "nysnmp.h"

// SMUX PDU tags.
constexpr int32_t NYSMUX_OPEN = 0x60;
constexpr int32_t NYSMUX_CLOSE = 0x41;
constexpr int32_t NYSMUX_RREQ = 0x62;
constexpr int32_t NYSMUX_RRSP = 0x43;
constexpr int32_t NYSMUX_SOUT = 0x44;

// SNMP PDU tags.
constexpr int32_t NYSMUX_GET = 0xA0;
constexpr int32_t NYSMUX_GETNEXT = 0xA1;
constexpr int32_t NYSMUX_RESPONSE = 0xA2;
constexpr int32_t NYSMUX_SET = 0xA3;
constexpr int32_t NYSMUX_TRAP = 0xA4;
constexpr int32_t NYSMUX_GETBULK = 0xA5;
constexpr int32_t NYSMUX_INFORM = 0xA6;
constexpr int32_t NYSMUX_TRAP2 = 0xA7;
constexpr int32_t NYSMUX_REPORT = 0xA8;

constexpr int32_t NYSMUX_VERSION = 0;         // the version an OpenPDU carries
constexpr unsigned int NYSMUX_DEFAULT_PORT = 7199;
constexpr unsigned int NYSMUX_BUFFER_SIZE = 65536;  // receive area, work buffers

// ClosePDU reasons.
constexpr int NYSMUX_GOING_DOWN = 0;
constexpr int NYSMUX_UNSUPPORTED_VERSION = 1;
constexpr int NYSMUX_PACKET_FORMAT = 2;
constexpr int NYSMUX_PROTOCOL_ERROR = 3;
constexpr int NYSMUX_INTERNAL_ERROR = 4;
constexpr int NYSMUX_AUTHENTICATION_FAILURE = 5;

// RReqPDU operations.
constexpr int NYSMUX_REG_DELETE = 0;
constexpr int NYSMUX_REG_READONLY = 1;
constexpr int NYSMUX_REG_READWRITE = 2;

// SOutPDU values.
constexpr int32_t NYSMUX_SOUT_COMMIT = 0;
constexpr int32_t NYSMUX_SOUT_ROLLBACK = 1;

// SNMP error statuses the session puts into responses.
constexpr int32_t NYSMUX_NO_ERROR = 0;
constexpr int32_t NYSMUX_NO_SUCH_NAME = 2;
constexpr int32_t NYSMUX_BAD_VALUE = 3;
constexpr int32_t NYSMUX_GEN_ERR = 5;
constexpr int32_t NYSMUX_NO_ACCESS = 6;
constexpr int32_t NYSMUX_NOT_WRITABLE = 17;

// Generic trap number of an enterprise-specific SNMPv1 trap.
constexpr int32_t NYSMUX_ENTERPRISE_SPECIFIC = 6;

// Event notifications of the session's socket: everything while it runs,
// only read, write and close once the association is being closed.
constexpr long NYSMUX_SOCKET_EVENTS = 0x37;
constexpr long NYSMUX_CLOSING_EVENTS = 0x23;

#endif // NYSMUXDEFS_H
