// nysnmpmsgs.h - message ids and default texts of the library.
//
// Ids follow the message-file layout: severity in the top two bits (both set:
// error), facility in bits 16..27 (9: this library, 8: texts shared with the
// socket component), the code in the low 16 bits.  A message catalog (NYNls)
// may replace the default texts at run time; %1..%12 are insert markers.
#ifndef NYSNMPMSGS_H
#define NYSNMPMSGS_H

#include <cstdint>

// Native error numbers carried by the exceptions.
constexpr int NYSNMP_NATIVE_NOMEM = 12;     // "Out of memory", "Index %1 is out range"
constexpr int NYSNMP_NATIVE_INVAL = 10022;  // every other message

#define NYSNMP_MESSAGES(X) \
    X(NYSNMP_INVALID_ARG,        0xC0090001u, "Invalid argument passed to the method %1") \
    X(NYSNMP_BAD_VALUE,          0xC0090002u, "Bad value passed to the method %1") \
    X(NYSNMP_OUT_OF_MEMORY,      0xC0090003u, "Out of memory") \
    X(NYSNMP_INDEX_OUT_OF_RANGE, 0xC0090004u, "Index %1 is out range") \
    X(NYSNMP_BAD_SUBID,          0xC0090005u, "Invalid sub-identifier at position %1 of %2") \
    X(NYSNMP_EXPECTED_SYNTAX,    0xC0090006u, "Expected syntax %1, found %2") \
    X(NYSNMP_UNSUPPORTED_SYNTAX, 0xC0090007u, "Unsupported value syntax %1") \
    X(NYSNMP_NO_CONSTRUCTOR,     0xC0090009u, "Could not find a required constructor in the packet") \
    X(NYSNMP_LENGTH_TOO_LONG,    0xC009000Bu, "Size of value field is too long. Indefinite length is not supported") \
    X(NYSNMP_BUILD_FAILED,       0xC009000Cu, "Failed to build an ASN.1 form of value with syntax %1") \
    X(NYSNMP_ZERO_LONG_LENGTH,   0xC009000Du, "Invalid zero value of ASN.1 long length type") \
    X(NYSNMP_LONG_LENGTH_TOO_BIG, 0xC009000Eu, "ASN.1 long length too big") \
    X(NYSNMP_NEGATIVE_LENGTH,    0xC009000Fu, "Negative value of ASN.1 length not allowed") \
    X(NYSNMP_INT_TOO_BIG,        0xC0090010u, "Field size is too big for an ASN.1 integer") \
    X(NYSNMP_FIELD_TOO_LONG,     0xC0090012u, "The size of field is longer then the size of remaining data in packet") \
    X(NYSNMP_BAD_SECOND_SUBID,   0xC0090013u, "Bad second sub-identifier") \
    X(NYSNMP_OID_TOO_LONG,       0xC0090014u, "ASN.1 Object ID is too long") \
    X(NYSNMP_BUFFER_TOO_SHORT,   0xC0090015u, "Output buffer too short") \
    X(NYSNMP_SEQ_TOO_LONG,       0xC0090016u, "Sequence longer than remaining size of packet") \
    X(NYSNMP_INCOMPLETE_PDU,     0xC0090017u, "Incomplete PDU received") \
    X(NYSNMP_GET_VALUE_FAILED,   0xC0090018u, "Failed to get a value of object %2, error %1") \
    X(NYSNMP_INCOMPLETE_MSG,     0xC0090019u, "Incomplete SNMP message received") \
    X(NYAGENTX_BAD_ADDRESS,      0xC0090101u, "Invalid AgentX address %1") \
    X(NYAGENTX_BAD_HEADER,       0xC0090102u, "AgentX header cannot be followed: %1") \
    X(NYAGENTX_MALFORMED,        0xC0090103u, "Malformed AgentX PDU of type %1: %2") \
    X(NYAGENTX_NO_ANSWER,        0xC0090104u, "The master agent did not answer %1 within %2 seconds") \
    X(NYAGENTX_REFUSED,          0xC0090105u, "The master agent refused %2: error %1") \
    X(NYAGENTX_CLOSED,           0xC0090106u, "The master agent closed the session: %1") \
    X(NYAGENTX_NOT_CONNECTED,    0xC0090107u, "No connection to the master agent in %1") \
    X(NYSOCK_INVALID_ARG,        0xC0080001u, "Invalid argument passed to method %1") \
    X(NYSOCK_OUT_OF_MEMORY,      0xC0080002u, "Out of memory") \
    X(NYSOCK_CONNECT_FAILED,     0xC008000Du, "Failed to connect the socket in %1: %2") \
    X(NYSOCK_GETHOSTBYNAME,      0xC0080018u, "Gethostbyname failed, error %1: %2")

// For each message NAME: the id NAME and the default text NAME_TEXT.
#define NYSNMP_DECLARE_MESSAGE(name, id, text) \
    constexpr uint32_t name = id; \
    constexpr const char* name##_TEXT = text;
NYSNMP_MESSAGES(NYSNMP_DECLARE_MESSAGE)
#undef NYSNMP_DECLARE_MESSAGE

// The native error number that goes with a message id.
constexpr int NySnmpNativeError(uint32_t id)
{
    return (id == NYSNMP_OUT_OF_MEMORY || id == NYSNMP_INDEX_OUT_OF_RANGE || id == NYSOCK_OUT_OF_MEMORY)
               ? NYSNMP_NATIVE_NOMEM
               : NYSNMP_NATIVE_INVAL;
}

#endif // NYSNMPMSGS_H
