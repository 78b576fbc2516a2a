// nyagentxdefs.h - codes of the Agent Extensibility protocol (AgentX,
// RFC 2741) that a subagent exchanges with its master agent.
#ifndef NYAGENTXDEFS_H
#define NYAGENTXDEFS_H

#include <cstdint>

#include "nyexport.h"

constexpr uint8_t NYAGENTX_VERSION = 1;
constexpr unsigned int NYAGENTX_HEADER_SIZE = 20;
constexpr unsigned int NYAGENTX_BUFFER_SIZE = 65536;  // receive area: header and payload
constexpr int NYAGENTX_DEFAULT_PRIORITY = 127;
// Where net-snmp's master listens unless told otherwise.
constexpr const char* NYAGENTX_DEFAULT_ADDRESS = "unix:/var/agentx/master";
constexpr unsigned int NYAGENTX_DEFAULT_TCP_PORT = 705;

// PDU types.
constexpr uint8_t NYAGENTX_OPEN = 1;
constexpr uint8_t NYAGENTX_CLOSE = 2;
constexpr uint8_t NYAGENTX_REGISTER = 3;
constexpr uint8_t NYAGENTX_UNREGISTER = 4;
constexpr uint8_t NYAGENTX_GET = 5;
constexpr uint8_t NYAGENTX_GETNEXT = 6;
constexpr uint8_t NYAGENTX_GETBULK = 7;
constexpr uint8_t NYAGENTX_TESTSET = 8;
constexpr uint8_t NYAGENTX_COMMITSET = 9;
constexpr uint8_t NYAGENTX_UNDOSET = 10;
constexpr uint8_t NYAGENTX_CLEANUPSET = 11;
constexpr uint8_t NYAGENTX_NOTIFY = 12;
constexpr uint8_t NYAGENTX_PING = 13;
constexpr uint8_t NYAGENTX_INDEXALLOCATE = 14;
constexpr uint8_t NYAGENTX_INDEXDEALLOCATE = 15;
constexpr uint8_t NYAGENTX_ADDAGENTCAPS = 16;
constexpr uint8_t NYAGENTX_REMOVEAGENTCAPS = 17;
constexpr uint8_t NYAGENTX_RESPONSE = 18;

// Header flags.
constexpr uint8_t NYAGENTX_FLAG_INSTANCE_REGISTRATION = 0x01;
constexpr uint8_t NYAGENTX_FLAG_NEW_INDEX = 0x02;
constexpr uint8_t NYAGENTX_FLAG_ANY_INDEX = 0x04;
constexpr uint8_t NYAGENTX_FLAG_NON_DEFAULT_CONTEXT = 0x08;
constexpr uint8_t NYAGENTX_FLAG_NETWORK_BYTE_ORDER = 0x10;

// Value types of a binding (the SNMPv2 ones; the numbers are the BER tags).
constexpr uint16_t NYAGENTX_INTEGER = 2;
constexpr uint16_t NYAGENTX_OCTET_STRING = 4;
constexpr uint16_t NYAGENTX_NULL = 5;
constexpr uint16_t NYAGENTX_OBJECT_IDENTIFIER = 6;
constexpr uint16_t NYAGENTX_IPADDRESS = 64;
constexpr uint16_t NYAGENTX_COUNTER32 = 65;
constexpr uint16_t NYAGENTX_GAUGE32 = 66;
constexpr uint16_t NYAGENTX_TIMETICKS = 67;
constexpr uint16_t NYAGENTX_OPAQUE = 68;
constexpr uint16_t NYAGENTX_COUNTER64 = 70;
constexpr uint16_t NYAGENTX_NOSUCHOBJECT = 128;
constexpr uint16_t NYAGENTX_NOSUCHINSTANCE = 129;
constexpr uint16_t NYAGENTX_ENDOFMIBVIEW = 130;

// Close reasons.
constexpr int NYAGENTX_REASON_OTHER = 1;
constexpr int NYAGENTX_REASON_PARSE_ERROR = 2;
constexpr int NYAGENTX_REASON_PROTOCOL_ERROR = 3;
constexpr int NYAGENTX_REASON_TIMEOUTS = 4;
constexpr int NYAGENTX_REASON_SHUTDOWN = 5;
constexpr int NYAGENTX_REASON_BY_MANAGER = 6;

// Errors of a Response: the SNMPv2 error statuses, then AgentX's own.
constexpr int NYAGENTX_NO_ERROR = 0;
constexpr int NYAGENTX_GEN_ERR = 5;
constexpr int NYAGENTX_NO_ACCESS = 6;
constexpr int NYAGENTX_NO_CREATION = 11;
constexpr int NYAGENTX_COMMIT_FAILED = 14;
constexpr int NYAGENTX_UNDO_FAILED = 15;
constexpr int NYAGENTX_NOT_WRITABLE = 17;
constexpr int NYAGENTX_OPEN_FAILED = 256;
constexpr int NYAGENTX_NOT_OPEN = 257;
constexpr int NYAGENTX_INDEX_WRONG_TYPE = 258;
constexpr int NYAGENTX_INDEX_ALREADY_ALLOCATED = 259;
constexpr int NYAGENTX_INDEX_NONE_AVAILABLE = 260;
constexpr int NYAGENTX_INDEX_NOT_ALLOCATED = 261;
constexpr int NYAGENTX_UNSUPPORTED_CONTEXT = 262;
constexpr int NYAGENTX_DUPLICATE_REGISTRATION = 263;
constexpr int NYAGENTX_UNKNOWN_REGISTRATION = 264;
constexpr int NYAGENTX_UNKNOWN_AGENT_CAPS = 265;
constexpr int NYAGENTX_PARSE_ERROR = 266;
constexpr int NYAGENTX_REQUEST_DENIED = 267;
constexpr int NYAGENTX_PROCESSING_ERROR = 268;

// The readable name of a Response error or a Close reason ("" when unknown).
NYSNMP_API const char* NyAgentxErrorName(int error);
NYSNMP_API const char* NyAgentxReasonName(int reason);

#endif // NYAGENTXDEFS_H
