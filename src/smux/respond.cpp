// NySmuxSession: answering the agent's requests from the MIB tree, with the
// two-phase Set (test and stage, then commit or roll back on the SOutPDU).
#include "nysmuxpeer.h"
#include "serve/serve.h"

namespace {

using Hooks = nyserve::SessionHooks<NySmuxSession>;

int RespondGet(NySmuxSession& session, const nyserve::Records& records, NySnmpPdu& request)
{
    const nyserve::Step step = request.PduType() == NYSMUX_GETNEXT ? nyserve::Step::Next : nyserve::Step::Exact;
    Hooks hooks(session);
    NySnmpPdu response;
    response.SetPduType(NYSMUX_RESPONSE);
    response.SetRequestId(request.RequestId());
    NySnmpVar scratch;
    int32_t index = 0;
    for (NySnmpVar* var : request.Vars().VarList()) {
        ++index;
        const int error = nyserve::ReadOne(hooks, records, step, var->Oid(), nullptr, scratch);
        if (error != NYSMUX_NO_ERROR) {
            // An error answer carries the request's bindings as they came.
            response.Vars().Destroy();
            response.Vars().Copy(request.Vars());
            response.SetErrorStatus(error);
            response.SetErrorIndex(index);
            break;
        }
        response.Vars().Append(scratch);
    }
    return session.Send(response, 60);
}

int RespondSet(NySmuxSession& session, const nyserve::Records& records, NySnmpVbl& staged, NySnmpPdu& request)
{
    Hooks hooks(session);
    NySnmpPdu response(NYSMUX_RESPONSE, request.RequestId(), NYSMUX_NO_ERROR, 0, request.Vars());
    int32_t index = 0;
    for (NySnmpVar* var : request.Vars().VarList()) {
        ++index;
        const int error = nyserve::TestOne(hooks, records, *var);
        if (error != NYSMUX_NO_ERROR) {
            response.SetErrorStatus(error);
            response.SetErrorIndex(index);
            break;
        }
    }
    session.OnSet(response);
    if (response.ErrorStatus() == NYSMUX_NO_ERROR)
        staged.Copy(request.Vars());
    return session.Send(response, 60);
}

} // namespace

int NySmuxSession::Respond(NySnmpPdu& request)
{
    switch (request.PduType()) {
    case NYSMUX_GET:
    case NYSMUX_GETNEXT:
        return RespondGet(*this, m_regInfo, request);
    case NYSMUX_SET:
        // Bindings already staged stay: net-snmp sends one SetRequest per
        // binding of a Set, and the SOutPDUs only after all of them.
        return RespondSet(*this, m_regInfo, m_staged, request);
    case NYSMUX_SOUT:
        // A commit with nothing staged follows no Set this association
        // accepted (its bindings were rolled back when the connection was
        // lost, or an earlier SOutPDU of the same Set took them): the host
        // is not told to commit anything.
        if (request.SOutValue() == NYSMUX_SOUT_COMMIT) {
            if (m_staged.Size() > 0) {
                Hooks hooks(*this);
                nyserve::Commit(hooks, m_regInfo, m_staged, nullptr);
            }
        }
        else
            OnRollback(m_staged);
        m_staged.Destroy();
        return 0;
    case NYSMUX_GETBULK: {
        NySnmpPdu response(NYSMUX_RESPONSE, request.RequestId(), NYSMUX_NO_SUCH_NAME, 1, request.Vars());
        return Send(response, 60);
    }
    default:
        return 0;
    }
}

void NySmuxSession::RollBackStaged()
{
    if (m_staged.Size() == 0)
        return;
    OnRollback(m_staged);
    m_staged.Destroy();
}
