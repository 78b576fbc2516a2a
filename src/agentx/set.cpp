// NyAgentxSession: the four phases of a Set on the staged two-phase Set.
// TestSet checks and stages, CommitSet stores and keeps the old values,
// UndoSet puts them back, CleanupSet ends the transaction.
#include "agentx/wire.h"
#include "nyagentx.h"
#include "serve/serve.h"

namespace {

using Hooks = nyserve::SessionHooks<NyAgentxSession>;

uint16_t AsSetError(int status)
{
    // In SNMPv2 terms: an object that is not there cannot be created, one
    // that may not be written is not writable.
    if (status == nyserve::kNoSuchName)
        return NYAGENTX_NO_CREATION;
    if (status == nyserve::kNoAccess)
        return NYAGENTX_NOT_WRITABLE;
    return status > 0 && status <= 18 ? static_cast<uint16_t>(status) : NYAGENTX_GEN_ERR;
}

} // namespace

int NyAgentxSession::TestSet(NyAgentxPdu& request, NyAgentxPdu& response)
{
    uint16_t error = NYAGENTX_NO_ERROR;
    uint16_t index = 0;
    if (m_setState != SetState::None) {
        // One transaction at a time: the open one is left as it is.
        error = NYAGENTX_PROCESSING_ERROR;
    } else {
        m_transactionId = request.transactionId;
        m_setContext = request.context;
        m_staged.Destroy();
        m_undo.Destroy();
        Hooks hooks(*this);
        const std::vector<NyMibRegInfo*>& records = RecordsFor(request.context);
        for (NySnmpVar* var : request.vars.VarList()) {
            ++index;
            const int status = nyserve::TestOne(hooks, records, *var);
            if (status != nyserve::kNoError) {
                error = AsSetError(status);
                break;
            }
        }
        if (error == NYAGENTX_NO_ERROR) {
            index = 0;
            m_staged.Copy(request.vars);
            m_setState = SetState::Tested;
        } else {
            m_setState = SetState::Failed;
        }
    }
    return Reply(request, response, error, index);
}

int NyAgentxSession::CommitSet(NyAgentxPdu& request, NyAgentxPdu& response)
{
    if (m_setState != SetState::Tested || request.transactionId != m_transactionId)
        return Reply(request, response, NYAGENTX_PROCESSING_ERROR, 0);
    Hooks hooks(*this);
    // Committed from here on, even in part: UndoSet can put back what was stored.
    m_setState = SetState::Committed;
    const int status = nyserve::Commit(hooks, RecordsFor(m_setContext), m_staged, &m_undo);
    return Reply(request, response, status == nyserve::kNoError ? NYAGENTX_NO_ERROR : NYAGENTX_COMMIT_FAILED, 0);
}

int NyAgentxSession::UndoSet(NyAgentxPdu& request, NyAgentxPdu& response)
{
    if (m_setState == SetState::None || request.transactionId != m_transactionId)
        return Reply(request, response, NYAGENTX_PROCESSING_ERROR, 0);
    int status = nyserve::kNoError;
    if (m_setState == SetState::Committed)
        status = nyserve::Undo(RecordsFor(m_setContext), m_undo);
    // Nothing of it stays: the transaction ends here, rolled back.
    EndTransaction(true);
    return Reply(request, response, status == nyserve::kNoError ? NYAGENTX_NO_ERROR : NYAGENTX_UNDO_FAILED, 0);
}

void NyAgentxSession::CleanupSet(NyAgentxPdu& request)
{
    if (m_setState == SetState::None || request.transactionId != m_transactionId)
        return;
    EndTransaction(m_setState != SetState::Committed);
}

void NyAgentxSession::EndTransaction(bool rolledBack)
{
    if (rolledBack)
        OnRollback(m_staged);
    m_staged.Destroy();
    m_undo.Destroy();
    m_setState = SetState::None;
}

int NyAgentxSession::Reply(NyAgentxPdu& request, NyAgentxPdu& response, uint16_t error, uint16_t index)
{
    response.version = NYAGENTX_VERSION;
    response.type = NYAGENTX_RESPONSE;
    response.flags = NYAGENTX_FLAG_NETWORK_BYTE_ORDER;
    response.sessionId = request.sessionId;
    response.transactionId = request.transactionId;
    response.packetId = request.packetId;
    response.context.clear();
    response.sysUpTime = 0;
    response.error = error;
    response.index = index;
    response.vars.Destroy();
    return SendPdu(response);
}
