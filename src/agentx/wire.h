// Internal: the AgentX wire primitives.  Every read goes through Reader,
// which checks what is left before it takes anything and stops at the first
// fault; every write through Writer, which checks the room the same way.
#ifndef NYSNMP_SRC_AGENTX_WIRE_H
#define NYSNMP_SRC_AGENTX_WIRE_H

#include <cstdint>
#include <string>

#include "nysnmp.h"

namespace nyagentx {

// Identifiers longer than this are refused both ways.
constexpr uint32_t kMaxSubids = 128;

class Reader {
public:
    Reader(const unsigned char* data, unsigned int length, bool networkOrder)
        : m_pos(data), m_left(length), m_network(networkOrder)
    {
    }

    bool U8(uint8_t& out);
    bool U16(uint16_t& out);
    bool U32(uint32_t& out);
    bool Skip(unsigned int count);
    // An identifier with the internet-prefix compression; `include` gets the
    // include octet when asked for.
    bool Oid(NySnmpOid& out, bool* include = nullptr);
    // An octet string, padded to four octets; `out` points into the data.
    bool Octets(NYSMI_OCTETS& out);
    bool Text(std::string& out);
    // The value of a binding of the given type.
    bool Value(uint16_t type, NySnmpValue& out);

    unsigned int Left() const { return m_left; }
    bool AtEnd() const { return m_left == 0; }
    const char* Fault() const { return m_fault; }

private:
    bool Fail(const char* why)
    {
        if (!m_fault)
            m_fault = why;
        m_left = 0;
        return false;
    }

    const unsigned char* m_pos;
    unsigned int m_left;
    bool m_network;
    const char* m_fault = nullptr;
};

class Writer {
public:
    Writer(unsigned char* data, unsigned int room) : m_start(data), m_pos(data), m_end(data + room) {}

    void U8(uint8_t v);
    void U16(uint16_t v);
    void U32(uint32_t v);
    void Zeros(unsigned int count);
    void Oid(const NYSMI_OID& oid, bool include = false);
    void Octets(const unsigned char* data, uint32_t length);
    void Text(const std::string& text) { Octets(reinterpret_cast<const unsigned char*>(text.data()), static_cast<uint32_t>(text.size())); }
    // A whole binding: type, name, value.  Value syntaxes AgentX lacks are
    // sent as their SNMPv2 equivalents (BITS and NsapAddress as octet
    // strings, UInteger32 as Gauge32).
    void Binding(const NYSMI_OID& name, const NySnmpValue& value);
    // A binding with an empty value of `type` (Null, noSuchObject, ...).
    void Marker(const NYSMI_OID& name, uint16_t type);
    // Fills in a big-endian 32-bit number written earlier at `at`.
    void PatchU32(unsigned int at, uint32_t v);

    bool Ok() const { return m_ok; }
    unsigned int Size() const { return static_cast<unsigned int>(m_pos - m_start); }
    unsigned char* Pos() const { return m_pos; }
    // Back to an earlier size (a half-written binding is dropped).
    void Rewind(unsigned int size)
    {
        m_pos = m_start + size;
        m_ok = true;
    }

private:
    bool Room(unsigned int count)
    {
        if (m_ok && static_cast<unsigned int>(m_end - m_pos) >= count)
            return true;
        m_ok = false;
        return false;
    }

    unsigned char* m_start;
    unsigned char* m_pos;
    unsigned char* m_end;
    bool m_ok = true;
};

// The AgentX type a value of this library's syntax is sent as; 0 for none.
uint16_t WireType(uint32_t syntax);

// Whether PDUs of this type carry a context when NON_DEFAULT_CONTEXT is set.
bool CarriesContext(uint8_t type);

} // namespace nyagentx

#endif
