// Internal: the request path both sessions share.  A session cuts requests
// out of its own byte stream and frames its own answers; finding the owner of
// an identifier, access checks, the host's hooks, staging, commit, undo and
// rollback live here once, so SMUX and AgentX answer from the tree alike.
#ifndef NYSNMP_SRC_SERVE_SERVE_H
#define NYSNMP_SRC_SERVE_SERVE_H

#include <cstdint>
#include <vector>

#include "nymib.h"
#include "nysnmp.h"

namespace nyserve {

using Records = std::vector<NyMibRegInfo*>;

// SNMP error statuses of the request path.
constexpr int kNoError = 0;
constexpr int kNoSuchName = 2;
constexpr int kGenErr = 5;
constexpr int kNoAccess = 6;

// The hooks through which a host takes part in answering.
class Hooks {
public:
    virtual int OnMibGet(NyMibObject& node, int32_t userParam, void* userData) = 0;
    virtual int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t userParam,
                                    void* userData) = 0;
    virtual int OnMibSetCommitted(NyMibObject& node, int32_t userParam, void* userData) = 0;
    virtual int OnCommit(NySnmpVbl& staged) = 0;
    virtual int OnRollback(NySnmpVbl& staged) = 0;

protected:
    ~Hooks() = default;
};

// Hands the calls on to a session's virtual hooks of the same names.
template <class Session>
class SessionHooks final : public Hooks {
public:
    explicit SessionHooks(Session& session) : m_session(session) {}
    int OnMibGet(NyMibObject& node, int32_t param, void* data) override
    {
        return m_session.OnMibGet(node, param, data);
    }
    int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t param, void* data) override
    {
        return m_session.OnMibSetUncommitted(node, value, param, data);
    }
    int OnMibSetCommitted(NyMibObject& node, int32_t param, void* data) override
    {
        return m_session.OnMibSetCommitted(node, param, data);
    }
    int OnCommit(NySnmpVbl& staged) override { return m_session.OnCommit(staged); }
    int OnRollback(NySnmpVbl& staged) override { return m_session.OnRollback(staged); }

private:
    Session& m_session;
};

// The node with exactly this identifier in the first registered subtree that
// holds one, or null.
NyMibObject* FindOwner(const Records& records, NySnmpOid& target);

// Whether the identifier lies below a registered table or names an instance
// of a registered scalar: absent there means no such instance, elsewhere no
// such object.
bool InsideObject(const Records& records, const NySnmpOid& target);

// How ReadOne moves from the identifier asked for.
enum class Step {
    Exact,      // Get: that very object
    Next,       // GetNext: the first readable object after it
    NextOrSelf  // AgentX's include flag: the object itself when readable, else the next
};

// Reads one binding into `out` (identifier and value).  `end`, when given and
// not empty, bounds a walk: nothing at or past it is answered.  The result is
// an SNMP error status: kNoSuchName when there is nothing (to) read.
int ReadOne(Hooks& hooks, const Records& records, Step step, const NySnmpOid& asked,
            const NySnmpOid* end, NySnmpVar& out);

// The test phase of a Set for one binding; an SNMP error status.
int TestOne(Hooks& hooks, const Records& records, NySnmpVar& var);

// Stores the staged bindings (OnCommit first; it may refuse them all).  With
// `undo`, the value each node held before is kept there first, so that Undo
// can put it back.  0, or the failing status.
int Commit(Hooks& hooks, const Records& records, NySnmpVbl& staged, NySnmpVbl* undo);

// Puts back the values Commit kept, last stored first.  0, or genErr when a
// value could not be put back.
int Undo(const Records& records, NySnmpVbl& undo);

} // namespace nyserve

#endif
