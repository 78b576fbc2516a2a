// The AgentX wire primitives: checked reads in either byte order, checked
// writes in network byte order, identifiers with the internet prefix.
#include "agentx/wire.h"

#include <cstring>

#include "nyagentxdefs.h"

namespace nyagentx {

namespace {

// 1.3.6.1: the arcs an identifier must begin with to be sent compressed.
constexpr uint32_t kInternet[4] = {1, 3, 6, 1};

uint32_t Padding(uint32_t length)
{
    return (4u - (length & 3u)) & 3u;
}

} // namespace

bool Reader::U8(uint8_t& out)
{
    if (m_left < 1)
        return Fail("truncated");
    out = m_pos[0];
    ++m_pos;
    --m_left;
    return true;
}

bool Reader::U16(uint16_t& out)
{
    if (m_left < 2)
        return Fail("truncated");
    out = m_network ? static_cast<uint16_t>((m_pos[0] << 8) | m_pos[1])
                    : static_cast<uint16_t>((m_pos[1] << 8) | m_pos[0]);
    m_pos += 2;
    m_left -= 2;
    return true;
}

bool Reader::U32(uint32_t& out)
{
    if (m_left < 4)
        return Fail("truncated");
    const uint32_t b0 = m_pos[0], b1 = m_pos[1], b2 = m_pos[2], b3 = m_pos[3];
    out = m_network ? (b0 << 24) | (b1 << 16) | (b2 << 8) | b3 : (b3 << 24) | (b2 << 16) | (b1 << 8) | b0;
    m_pos += 4;
    m_left -= 4;
    return true;
}

bool Reader::Skip(unsigned int count)
{
    if (m_left < count)
        return Fail("truncated");
    m_pos += count;
    m_left -= count;
    return true;
}

bool Reader::Oid(NySnmpOid& out, bool* include)
{
    uint8_t count = 0, prefix = 0, includeOctet = 0, reserved = 0;
    if (!U8(count) || !U8(prefix) || !U8(includeOctet) || !U8(reserved))
        return false;
    if (include)
        *include = includeOctet != 0;
    if (count > kMaxSubids)
        return Fail("object identifier too long");
    if (m_left / 4 < count)
        return Fail("truncated object identifier");
    uint32_t arcs[kMaxSubids + 5];
    uint32_t n = 0;
    if (prefix != 0) {
        for (uint32_t arc : kInternet)
            arcs[n++] = arc;
        arcs[n++] = prefix;
    }
    for (uint8_t i = 0; i < count; ++i)
        U32(arcs[n++]);
    if (n == 0) {
        out.Erase();
        return true;
    }
    out.Assign(NYSMI_OID{n, arcs});
    return true;
}

bool Reader::Octets(NYSMI_OCTETS& out)
{
    uint32_t length = 0;
    if (!U32(length))
        return false;
    if (length > m_left || Padding(length) > m_left - length)
        return Fail("octet string longer than the data");
    out.len = length;
    out.ptr = const_cast<unsigned char*>(m_pos);
    m_pos += length + Padding(length);
    m_left -= length + Padding(length);
    return true;
}

bool Reader::Text(std::string& out)
{
    NYSMI_OCTETS octets{0, nullptr};
    if (!Octets(octets))
        return false;
    out.assign(reinterpret_cast<const char*>(octets.ptr), octets.len);
    return true;
}

bool Reader::Value(uint16_t type, NySnmpValue& out)
{
    uint32_t number = 0;
    NYSMI_OCTETS octets{0, nullptr};
    switch (type) {
    case NYAGENTX_INTEGER:
        if (!U32(number))
            return false;
        out.SetInt32(static_cast<int32_t>(number));
        return true;
    case NYAGENTX_COUNTER32:
    case NYAGENTX_GAUGE32:
    case NYAGENTX_TIMETICKS:
        if (!U32(number))
            return false;
        if (type == NYAGENTX_COUNTER32)
            out.SetCntr32(number);
        else if (type == NYAGENTX_GAUGE32)
            out.SetGauge32(number);
        else
            out.SetTimeticks(number);
        return true;
    case NYAGENTX_COUNTER64: {
        // One 64-bit number in the sender's byte order: a little-endian
        // sender puts the low half first.
        uint32_t first = 0, second = 0;
        if (!U32(first) || !U32(second))
            return false;
        out.SetCntr64(m_network ? NYSMI_CNTR64{first, second} : NYSMI_CNTR64{second, first});
        return true;
    }
    case NYAGENTX_OCTET_STRING:
    case NYAGENTX_OPAQUE: {
        if (!Octets(octets))
            return false;
        // Through Assign: the setters refuse the empty string, which a master
        // sends for any Set to "" (the type numbers are the syntax codes).
        NYSMI_VALUE record{};
        record.syntax = type;
        record.value.octets = octets;
        out.Assign(record);
        return true;
    }
    case NYAGENTX_IPADDRESS:
        if (!Octets(octets))
            return false;
        if (octets.len != 4)
            return Fail("IpAddress not of four octets");
        out.SetIpAddr(octets);
        return true;
    case NYAGENTX_OBJECT_IDENTIFIER: {
        NySnmpOid oid;
        if (!Oid(oid))
            return false;
        if (oid.Length() == 0)
            return Fail("empty object identifier value");
        out.SetOid(oid.SmiOid());
        return true;
    }
    case NYAGENTX_NULL:
        out.SetNull(0);
        return true;
    case NYAGENTX_NOSUCHOBJECT:
        out.SetNoSuchObject(0);
        return true;
    case NYAGENTX_NOSUCHINSTANCE:
        out.SetNoSuchInstance(0);
        return true;
    case NYAGENTX_ENDOFMIBVIEW:
        out.SetEndOfMibView(0);
        return true;
    default:
        return Fail("unknown value type");
    }
}

void Writer::U8(uint8_t v)
{
    if (Room(1))
        *m_pos++ = v;
}

void Writer::U16(uint16_t v)
{
    if (!Room(2))
        return;
    m_pos[0] = static_cast<unsigned char>(v >> 8);
    m_pos[1] = static_cast<unsigned char>(v);
    m_pos += 2;
}

void Writer::U32(uint32_t v)
{
    if (!Room(4))
        return;
    m_pos[0] = static_cast<unsigned char>(v >> 24);
    m_pos[1] = static_cast<unsigned char>(v >> 16);
    m_pos[2] = static_cast<unsigned char>(v >> 8);
    m_pos[3] = static_cast<unsigned char>(v);
    m_pos += 4;
}

void Writer::Zeros(unsigned int count)
{
    if (!Room(count))
        return;
    std::memset(m_pos, 0, count);
    m_pos += count;
}

void Writer::PatchU32(unsigned int at, uint32_t v)
{
    unsigned char* p = m_start + at;
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

void Writer::Oid(const NYSMI_OID& oid, bool include)
{
    uint32_t skip = 0;
    uint8_t prefix = 0;
    if (oid.len >= 5 && std::memcmp(oid.ptr, kInternet, sizeof kInternet) == 0 && oid.ptr[4] != 0 &&
        oid.ptr[4] <= 255) {
        prefix = static_cast<uint8_t>(oid.ptr[4]);
        skip = 5;
    }
    const uint32_t count = oid.len - skip;
    if (count > kMaxSubids) {
        m_ok = false;
        return;
    }
    if (!Room(4 + 4 * count))
        return;
    U8(static_cast<uint8_t>(count));
    U8(prefix);
    U8(include ? 1 : 0);
    U8(0);
    for (uint32_t i = skip; i < oid.len; ++i)
        U32(oid.ptr[i]);
}

void Writer::Octets(const unsigned char* data, uint32_t length)
{
    const uint32_t pad = Padding(length);
    if (length > 0xFFFF0000u || !Room(4 + length + pad))
        return;
    U32(length);
    if (length > 0)
        std::memcpy(m_pos, data, length);
    m_pos += length;
    Zeros(pad);
}

uint16_t WireType(uint32_t syntax)
{
    switch (syntax) {
    case 0x02: return NYAGENTX_INTEGER;
    case 0x03: // BITS
    case 0x04:
    case 0x45: // NsapAddress
        return NYAGENTX_OCTET_STRING;
    case 0x05: return NYAGENTX_NULL;
    case 0x06: return NYAGENTX_OBJECT_IDENTIFIER;
    case 0x40: return NYAGENTX_IPADDRESS;
    case 0x41: return NYAGENTX_COUNTER32;
    case 0x42:
    case 0x47: // UInteger32
        return NYAGENTX_GAUGE32;
    case 0x43: return NYAGENTX_TIMETICKS;
    case 0x44: return NYAGENTX_OPAQUE;
    case 0x46: return NYAGENTX_COUNTER64;
    case 0x80: return NYAGENTX_NOSUCHOBJECT;
    case 0x81: return NYAGENTX_NOSUCHINSTANCE;
    case 0x82: return NYAGENTX_ENDOFMIBVIEW;
    default: return 0;
    }
}

void Writer::Marker(const NYSMI_OID& name, uint16_t type)
{
    U16(type);
    U16(0);
    Oid(name);
}

void Writer::Binding(const NYSMI_OID& name, const NySnmpValue& value)
{
    const NYSMI_VALUE& v = value.SmiValue();
    const uint16_t type = WireType(v.syntax);
    if (type == 0) {
        m_ok = false;
        return;
    }
    Marker(name, type);
    switch (type) {
    case NYAGENTX_INTEGER:
        U32(static_cast<uint32_t>(v.value.int32));
        break;
    case NYAGENTX_COUNTER32:
    case NYAGENTX_GAUGE32:
    case NYAGENTX_TIMETICKS:
        U32(v.value.uint32);
        break;
    case NYAGENTX_COUNTER64:
        U32(v.value.cntr64.high);
        U32(v.value.cntr64.low);
        break;
    case NYAGENTX_OCTET_STRING:
    case NYAGENTX_IPADDRESS:
    case NYAGENTX_OPAQUE:
        Octets(v.value.octets.ptr, v.value.octets.len);
        break;
    case NYAGENTX_OBJECT_IDENTIFIER:
        Oid(v.value.oid);
        break;
    default:
        break; // Null and the exceptions carry no data
    }
}

bool CarriesContext(uint8_t type)
{
    switch (type) {
    case NYAGENTX_REGISTER:
    case NYAGENTX_UNREGISTER:
    case NYAGENTX_GET:
    case NYAGENTX_GETNEXT:
    case NYAGENTX_GETBULK:
    case NYAGENTX_TESTSET:
    case NYAGENTX_NOTIFY:
    case NYAGENTX_PING:
    case NYAGENTX_INDEXALLOCATE:
    case NYAGENTX_INDEXDEALLOCATE:
    case NYAGENTX_ADDAGENTCAPS:
    case NYAGENTX_REMOVEAGENTCAPS:
        return true;
    default:
        return false;
    }
}

} // namespace nyagentx
