// NyAgentxPdu: one AgentX PDU to and from the wire.
#include <string>

#include "agentx/wire.h"
#include "nyagentx.h"
#include "nysnmpmsgs.h"

namespace {

const char* const kFromWire = "NyAgentxPdu::FromWire";

// Offsets in the 20-octet header.
constexpr unsigned int kFlagsAt = 2;
constexpr unsigned int kPayloadAt = 16;

uint32_t HeaderU32(const unsigned char* p, bool network)
{
    const uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
    return network ? (b0 << 24) | (b1 << 16) | (b2 << 8) | b3 : (b3 << 24) | (b2 << 16) | (b1 << 8) | b0;
}

bool HasBindings(uint8_t type)
{
    return type == NYAGENTX_TESTSET || type == NYAGENTX_NOTIFY || type == NYAGENTX_INDEXALLOCATE ||
           type == NYAGENTX_INDEXDEALLOCATE || type == NYAGENTX_RESPONSE;
}

} // namespace

unsigned int NyAgentxPdu::PacketLength(const unsigned char* data, unsigned int length)
{
    if (!data || length < NYAGENTX_HEADER_SIZE)
        return 0;
    if (data[0] != NYAGENTX_VERSION)
        throw NySocketException("NyAgentxPdu::PacketLength", NySnmpNativeError(NYAGENTX_BAD_HEADER),
                                static_cast<int>(NYAGENTX_BAD_HEADER),
                                ("AgentX header cannot be followed: version " + std::to_string(data[0])).c_str());
    const uint32_t payload = HeaderU32(data + kPayloadAt, (data[kFlagsAt] & NYAGENTX_FLAG_NETWORK_BYTE_ORDER) != 0);
    if (payload > 0xFFFFFFFFu - NYAGENTX_HEADER_SIZE)
        throw NySocketException("NyAgentxPdu::PacketLength", NySnmpNativeError(NYAGENTX_BAD_HEADER),
                                static_cast<int>(NYAGENTX_BAD_HEADER),
                                "AgentX header cannot be followed: payload length");
    return NYAGENTX_HEADER_SIZE + payload;
}

const unsigned char* NyAgentxPdu::FromWire(const unsigned char* pos, unsigned int* rem)
{
    if (!pos || !rem)
        Raise(kFromWire, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kFromWire);
    if (*rem < NYAGENTX_HEADER_SIZE)
        Raise(kFromWire, NYAGENTX_BAD_HEADER, NYAGENTX_BAD_HEADER_TEXT, "fewer than 20 octets");
    if (pos[0] != NYAGENTX_VERSION)
        Raise(kFromWire, NYAGENTX_BAD_HEADER, NYAGENTX_BAD_HEADER_TEXT, ("version " + std::to_string(pos[0])).c_str());
    const bool network = (pos[kFlagsAt] & NYAGENTX_FLAG_NETWORK_BYTE_ORDER) != 0;
    const uint32_t payload = HeaderU32(pos + kPayloadAt, network);
    if (payload > *rem - NYAGENTX_HEADER_SIZE)
        Raise(kFromWire, NYAGENTX_BAD_HEADER, NYAGENTX_BAD_HEADER_TEXT, "payload longer than the data");

    version = pos[0];
    type = pos[1];
    flags = pos[kFlagsAt];
    sessionId = HeaderU32(pos + 4, network);
    transactionId = HeaderU32(pos + 8, network);
    packetId = HeaderU32(pos + 12, network);

    nyagentx::Reader in(pos + NYAGENTX_HEADER_SIZE, payload, network);
    const auto malformed = [this](const char* why) {
        Raise(kFromWire, NYAGENTX_MALFORMED, NYAGENTX_MALFORMED_TEXT, type, why);
    };
    if (payload % 4 != 0)
        malformed("payload length not a multiple of four");

    context.clear();
    if ((flags & NYAGENTX_FLAG_NON_DEFAULT_CONTEXT) && nyagentx::CarriesContext(type))
        in.Text(context);

    bool ok = true;
    bool ignored = false;
    uint8_t skip = 0;
    switch (type) {
    case NYAGENTX_OPEN:
        ok = in.U8(timeout) && in.Skip(3) && in.Oid(oid) && in.Text(description);
        break;
    case NYAGENTX_CLOSE:
        ok = in.U8(reason) && in.Skip(3);
        break;
    case NYAGENTX_REGISTER:
    case NYAGENTX_UNREGISTER:
        // An Unregister has a reserved octet where a Register has its time-out.
        ok = (type == NYAGENTX_REGISTER ? in.U8(timeout) : in.U8(skip)) && in.U8(priority) &&
             in.U8(rangeSubid) && in.Skip(1) && in.Oid(oid);
        if (ok && rangeSubid != 0) {
            ok = in.U32(upperBound);
            if (ok && rangeSubid > oid.Length())
                malformed("range_subid past the subtree");
        }
        break;
    case NYAGENTX_GETBULK:
        ok = in.U16(nonRepeaters) && in.U16(maxRepetitions);
        [[fallthrough]];
    case NYAGENTX_GET:
    case NYAGENTX_GETNEXT:
        rangeCount = 0;
        while (ok && !in.AtEnd()) {
            if (rangeCount == ranges.size())
                ranges.emplace_back();
            NyAgentxRange& range = ranges[rangeCount++];
            ok = in.Oid(range.start, &range.include) && in.Oid(range.end, &ignored);
            // Its answer would have to name it: a binding without a name.
            if (ok && range.start.Length() == 0)
                malformed("search range without a start");
        }
        break;
    case NYAGENTX_ADDAGENTCAPS:
        ok = in.Oid(oid) && in.Text(description);
        break;
    case NYAGENTX_REMOVEAGENTCAPS:
        ok = in.Oid(oid);
        break;
    case NYAGENTX_RESPONSE:
        ok = in.U32(sysUpTime) && in.U16(error) && in.U16(index);
        break;
    case NYAGENTX_TESTSET:
    case NYAGENTX_NOTIFY:
    case NYAGENTX_INDEXALLOCATE:
    case NYAGENTX_INDEXDEALLOCATE:
    case NYAGENTX_COMMITSET:
    case NYAGENTX_UNDOSET:
    case NYAGENTX_CLEANUPSET:
    case NYAGENTX_PING:
        break;
    default:
        malformed("unknown PDU type");
    }
    if (ok && HasBindings(type)) {
        vars.Destroy();
        NySnmpVar var;
        while (ok && !in.AtEnd()) {
            uint16_t valueType = 0;
            ok = in.U16(valueType) && in.Skip(2) && in.Oid(var.Oid()) && in.Value(valueType, var.Value());
            if (ok && var.Oid().Length() == 0)
                malformed("binding without a name");
            if (ok)
                vars.Append(var);
        }
    }
    if (!ok)
        malformed(in.Fault() ? in.Fault() : "truncated");
    if (!in.AtEnd())
        malformed("octets after the last field");
    *rem -= NYAGENTX_HEADER_SIZE + payload;
    return pos + NYAGENTX_HEADER_SIZE + payload;
}

unsigned char* NyAgentxPdu::ToWire(unsigned char* pos, unsigned int* rem) const
{
    if (!pos || !rem)
        return nullptr;
    nyagentx::Writer out(pos, *rem);
    const bool withContext = !context.empty() && nyagentx::CarriesContext(type);
    uint8_t headerFlags = static_cast<uint8_t>(flags & ~NYAGENTX_FLAG_NON_DEFAULT_CONTEXT);
    headerFlags |= NYAGENTX_FLAG_NETWORK_BYTE_ORDER;
    if (withContext)
        headerFlags |= NYAGENTX_FLAG_NON_DEFAULT_CONTEXT;
    out.U8(version);
    out.U8(type);
    out.U8(headerFlags);
    out.U8(0);
    out.U32(sessionId);
    out.U32(transactionId);
    out.U32(packetId);
    out.U32(0); // the payload length, filled in below
    if (withContext)
        out.Text(context);

    switch (type) {
    case NYAGENTX_OPEN:
        out.U8(timeout);
        out.Zeros(3);
        out.Oid(oid.SmiOid());
        out.Text(description);
        break;
    case NYAGENTX_CLOSE:
        out.U8(reason);
        out.Zeros(3);
        break;
    case NYAGENTX_REGISTER:
    case NYAGENTX_UNREGISTER:
        out.U8(type == NYAGENTX_REGISTER ? timeout : 0);
        out.U8(priority);
        out.U8(rangeSubid);
        out.U8(0);
        out.Oid(oid.SmiOid());
        if (rangeSubid != 0)
            out.U32(upperBound);
        break;
    case NYAGENTX_GETBULK:
        out.U16(nonRepeaters);
        out.U16(maxRepetitions);
        [[fallthrough]];
    case NYAGENTX_GET:
    case NYAGENTX_GETNEXT:
        for (size_t i = 0; i < rangeCount && i < ranges.size(); ++i) {
            out.Oid(ranges[i].start.SmiOid(), ranges[i].include);
            out.Oid(ranges[i].end.SmiOid());
        }
        break;
    case NYAGENTX_ADDAGENTCAPS:
        out.Oid(oid.SmiOid());
        out.Text(description);
        break;
    case NYAGENTX_REMOVEAGENTCAPS:
        out.Oid(oid.SmiOid());
        break;
    case NYAGENTX_RESPONSE:
        out.U32(sysUpTime);
        out.U16(error);
        out.U16(index);
        break;
    default:
        break;
    }
    if (HasBindings(type)) {
        for (const NySnmpVar* var : vars.VarList())
            out.Binding(var->Oid().SmiOid(), var->Value());
    }
    if (!out.Ok())
        return nullptr;
    out.PatchU32(16, out.Size() - NYAGENTX_HEADER_SIZE);
    *rem -= out.Size();
    return out.Pos();
}

const char* NyAgentxErrorName(int error)
{
    static const char* const snmp[] = {"noError", "tooBig", "noSuchName", "badValue", "readOnly",
                                       "genErr", "noAccess", "wrongType", "wrongLength", "wrongEncoding",
                                       "wrongValue", "noCreation", "inconsistentValue", "resourceUnavailable",
                                       "commitFailed", "undoFailed", "authorizationError", "notWritable",
                                       "inconsistentName"};
    static const char* const own[] = {"openFailed", "notOpen", "indexWrongType", "indexAlreadyAllocated",
                                      "indexNoneAvailable", "indexNotAllocated", "unsupportedContext",
                                      "duplicateRegistration", "unknownRegistration", "unknownAgentCaps",
                                      "parseError", "requestDenied", "processingError"};
    if (error >= 0 && error < static_cast<int>(sizeof snmp / sizeof *snmp))
        return snmp[error];
    if (error >= NYAGENTX_OPEN_FAILED && error <= NYAGENTX_PROCESSING_ERROR)
        return own[error - NYAGENTX_OPEN_FAILED];
    return "";
}

const char* NyAgentxReasonName(int reason)
{
    static const char* const names[] = {"reasonOther",    "reasonParseError", "reasonProtocolError",
                                        "reasonTimeouts", "reasonShutdown",   "reasonByManager"};
    return reason >= 1 && reason <= 6 ? names[reason - 1] : "";
}
