// NyAgentxSession: answering the master from the registered trees: Get,
// GetNext and GetBulk over search ranges, and the four phases of a Set.
#include "agentx/wire.h"
#include "nyagentx.h"
#include "serve/serve.h"

namespace {

using Hooks = nyserve::SessionHooks<NyAgentxSession>;

// An error status of the tree or a hook as a Response error: the SNMPv2
// statuses as they are, anything else a general error.
uint16_t AsResponseError(int status)
{
    return status > 0 && status <= 18 ? static_cast<uint16_t>(status) : NYAGENTX_GEN_ERR;
}

// Starts a Response to `request` in `out`; the payload length is filled in
// by Finish.
void BeginResponse(nyagentx::Writer& out, const NyAgentxPdu& request)
{
    out.U8(NYAGENTX_VERSION);
    out.U8(NYAGENTX_RESPONSE);
    out.U8(NYAGENTX_FLAG_NETWORK_BYTE_ORDER);
    out.U8(0);
    out.U32(request.sessionId);
    out.U32(request.transactionId);
    out.U32(request.packetId);
    out.U32(0);
    out.U32(0);  // sysUpTime: the master keeps its own
    out.U16(0);  // error
    out.U16(0);  // index
}

constexpr unsigned int kErrorAt = NYAGENTX_HEADER_SIZE + 4;

void SetError(nyagentx::Writer& out, uint16_t error, uint16_t index)
{
    unsigned char* p = out.Pos() - out.Size() + kErrorAt;
    p[0] = static_cast<unsigned char>(error >> 8);
    p[1] = static_cast<unsigned char>(error);
    p[2] = static_cast<unsigned char>(index >> 8);
    p[3] = static_cast<unsigned char>(index);
}

} // namespace

int NyAgentxSession::Respond(NyAgentxPdu& request)
{
    switch (request.type) {
    case NYAGENTX_GET:
    case NYAGENTX_GETNEXT:
    case NYAGENTX_GETBULK:
        return AnswerRead(request);
    case NYAGENTX_TESTSET:
        return TestSet(request, m_reply);
    case NYAGENTX_COMMITSET:
        return CommitSet(request, m_reply);
    case NYAGENTX_UNDOSET:
        return UndoSet(request, m_reply);
    case NYAGENTX_CLEANUPSET:
        CleanupSet(request);
        return 0;
    case NYAGENTX_RESPONSE:
    case NYAGENTX_CLOSE:
        return 0;
    default:
        // A Ping from the master is answered; what only a subagent sends is
        // a processing error.
        return Reply(request, m_reply, request.type == NYAGENTX_PING ? NYAGENTX_NO_ERROR : NYAGENTX_PROCESSING_ERROR, 0);
    }
}

int NyAgentxSession::AnswerRead(NyAgentxPdu& request)
{
    const std::vector<NyMibRegInfo*>& records = RecordsFor(request.context);
    Hooks hooks(*this);
    nyagentx::Writer out(m_out.data(), static_cast<unsigned int>(m_out.size()));
    BeginResponse(out, request);
    const unsigned int bindingsAt = out.Size();
    NySnmpVar scratch;

    const size_t count = request.rangeCount < request.ranges.size() ? request.rangeCount : request.ranges.size();
    const bool bulk = request.type == NYAGENTX_GETBULK;
    const size_t plain = bulk ? (request.nonRepeaters < count ? request.nonRepeaters : count) : count;

    // One binding: the value read (`found`), or what stands for its
    // absence.  Other statuses end the request.
    bool found = false;
    auto answer = [&](const NyAgentxRange& range, nyserve::Step step, const NySnmpOid& from) -> int {
        const int status = nyserve::ReadOne(hooks, records, step, from, &range.end, scratch);
        found = status == nyserve::kNoError;
        if (found) {
            out.Binding(scratch.Oid().SmiOid(), scratch.Value());
            return 0;
        }
        if (status != nyserve::kNoSuchName && status != nyserve::kNoAccess)
            return status;
        if (step == nyserve::Step::Exact)
            out.Marker(from.SmiOid(), status == nyserve::kNoSuchName && nyserve::InsideObject(records, from)
                                          ? NYAGENTX_NOSUCHINSTANCE
                                          : NYAGENTX_NOSUCHOBJECT);
        else
            out.Marker(from.SmiOid(), NYAGENTX_ENDOFMIBVIEW);
        return 0;
    };
    auto firstStep = [&](const NyAgentxRange& range) {
        if (request.type == NYAGENTX_GET)
            return nyserve::Step::Exact;
        return range.include ? nyserve::Step::NextOrSelf : nyserve::Step::Next;
    };

    int status = 0;
    size_t failed = 0;
    for (size_t i = 0; i < plain && status == 0; ++i) {
        failed = i;
        status = answer(request.ranges[i], firstStep(request.ranges[i]), request.ranges[i].start);
    }
    if (bulk && status == 0 && count > plain) {
        // Repeaters: row after row, each binding going on from the one above
        // it; an exhausted range keeps answering endOfMibView, and the answer
        // ends after a row where all are exhausted or when it is full.
        const size_t repeaters = count - plain;
        if (m_bulkFrom.size() < repeaters)
            m_bulkFrom.resize(repeaters);
        m_bulkDone.assign(repeaters, false);
        for (unsigned int row = 0; row < request.maxRepetitions && status == 0; ++row) {
            const unsigned int rowStart = out.Size();
            bool anyFound = false;
            for (size_t j = 0; j < repeaters && status == 0; ++j) {
                const NyAgentxRange& range = request.ranges[plain + j];
                if (m_bulkDone[j]) {
                    out.Marker(m_bulkFrom[j].SmiOid(), NYAGENTX_ENDOFMIBVIEW);
                    continue;
                }
                const NySnmpOid& from = row == 0 ? range.start : m_bulkFrom[j];
                failed = plain + j;
                status = answer(range, row == 0 ? firstStep(range) : nyserve::Step::Next, from);
                if (status != 0)
                    break;
                if (found) {
                    m_bulkFrom[j].Assign(scratch.Oid().SmiOid());
                    anyFound = true;
                } else {
                    if (row == 0)
                        m_bulkFrom[j] = range.start;
                    m_bulkDone[j] = true;
                }
            }
            if (!out.Ok()) {
                // Full: the rows that fitted are the answer.
                out.Rewind(rowStart);
                break;
            }
            if (!anyFound)
                break;
        }
    }
    if (status != 0 || !out.Ok()) {
        // An error answer names the ranges asked for, with no values.
        out.Rewind(bindingsAt);
        for (size_t i = 0; i < count; ++i)
            out.Marker(request.ranges[i].start.SmiOid(), NYAGENTX_NULL);
        SetError(out, status != 0 ? AsResponseError(status) : 1 /* tooBig */,
                 static_cast<uint16_t>(status != 0 ? failed + 1 : 0));
        if (!out.Ok()) {
            out.Rewind(bindingsAt);
            SetError(out, status != 0 ? AsResponseError(status) : 1, 0);
        }
    }
    out.PatchU32(16, out.Size() - NYAGENTX_HEADER_SIZE);
    return SendPacket(m_out.data(), out.Size());
}
