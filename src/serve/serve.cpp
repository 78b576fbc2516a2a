// The request path both sessions share: owner search, access checks, hooks,
// the test phase, commit with the old values kept, and undo.
#include "serve/serve.h"

#include "mib/mibcodes.h"
#include "mib/node_parts.h"

namespace nyserve {

namespace {

bool IsExceptionValue(const NySnmpValue& value)
{
    return (value.Syntax() & 0x80) != 0;
}

using nymib::Access;

// Whether the node's identifier is a prefix of (or equal to) `oid`.  Read
// through the tree's own arcs: asking a node for Oid() would make it an
// object of its own.
bool Covers(const NyMibObject& node, const NySnmpOid& oid)
{
    NySnmpOid prefix;
    Access::CopyIdentifier(node, prefix);
    const uint32_t n = prefix.Length();
    if (n > oid.Length())
        return false;
    return n == 0 || prefix.Compare(oid, static_cast<int>(n)) == 0;
}

NyMibObject* ExactIn(NyMibObject& node, const NySnmpOid& target)
{
    if (Access::Compare(node, target) == 0)
        return &node;
    for (NyMibObject* child : node.Children()) {
        if (NyMibObject* found = ExactIn(*child, target))
            return found;
    }
    return nullptr;
}

// The least readable object after `target` in any registered subtree.
NyMibObject* FindNextOwner(const Records& records, NySnmpOid& target)
{
    NyMibObject* best = nullptr;
    NySnmpOid bestOid;
    for (NyMibRegInfo* record : records) {
        NyMibObject* found = record->Object().FindNext(target);
        if (!found || (best && Access::Compare(*found, bestOid) >= 0))
            continue;
        best = found;
        if (records.size() > 1)
            Access::CopyIdentifier(*best, bestOid);
    }
    return best;
}

// The node a read may answer from: readable, and (for a walk) before `end`.
NyMibObject* Candidate(const Records& records, Step step, NySnmpOid& target, const NySnmpOid* end)
{
    NyMibObject* node = nullptr;
    if (step != Step::Next) {
        node = FindOwner(records, target);
        if (step == Step::NextOrSelf && node &&
            !(nymib::IsValueLeaf(node->Syntax()) && nymib::IsReadable(node->Access())))
            node = nullptr;
    }
    if (!node && step != Step::Exact)
        node = FindNextOwner(records, target);
    if (node && step != Step::Exact && end && end->Length() > 0 && Access::Compare(*node, *end) >= 0)
        return nullptr;
    return node;
}

} // namespace

// Find alone would also take a node whose identifier merely begins with the
// target (a column asked for without its instance), and answer or write
// another object under its name.
NyMibObject* FindOwner(const Records& records, NySnmpOid& target)
{
    for (NyMibRegInfo* record : records) {
        NyMibObject* found = record->Object().Find(target);
        if (!found)
            continue;
        if (Access::Compare(*found, target) == 0)
            return found;
        // Find stops at the first prefix match in pre-order; an exact node may
        // still come later (instances 1.2 and 1 in one table).
        if ((found = ExactIn(record->Object(), target)) != nullptr)
            return found;
    }
    return nullptr;
}

bool InsideObject(const Records& records, const NySnmpOid& target)
{
    for (NyMibRegInfo* record : records) {
        NyMibObject* node = &record->Object();
        if (!Covers(*node, target))
            continue;
        // Down the chain of nodes whose identifiers begin the target; a table's
        // rows are not searched, everything below a table is its instances.
        for (;;) {
            if (node->Syntax() == nymib::kTable || nymib::IsValueLeaf(node->Syntax()))
                return true;
            NyMibObject* below = nullptr;
            for (NyMibObject* child : node->Children()) {
                if (Covers(*child, target)) {
                    below = child;
                    break;
                }
            }
            if (!below)
                break;
            node = below;
        }
    }
    return false;
}

int ReadOne(Hooks& hooks, const Records& records, Step step, const NySnmpOid& asked, const NySnmpOid* end,
            NySnmpVar& out)
{
    // Lookups take identifiers by reference without changing them; a copy is
    // made only when a walk must go on past an absent object.
    NySnmpOid* target = const_cast<NySnmpOid*>(&asked);
    NySnmpOid later;
    for (;;) {
        NyMibObject* node = Candidate(records, step, *target, end);
        if (!node)
            return kNoSuchName;
        if (step == Step::Exact && !nymib::IsReadable(node->Access()))
            return kNoAccess;
        if (node->UserEvents() & 1) {
            const int s = hooks.OnMibGet(*node, node->UserParam(), node->UserData());
            if (s != 0)
                return s;
        }
        Access::CopyIdentifier(*node, out.Oid());
        const int s = node->get(out.Value());
        if (s != 0)
            return s;
        if (!IsExceptionValue(out.Value()))
            return kNoError;
        // An object that reads as absent ends a Get; a walk goes on past it
        // rather than lose the rest of the subtree.  FindNext moves strictly
        // forward, so this ends.
        if (step == Step::Exact)
            return kNoSuchName;
        Access::CopyIdentifier(*node, later);
        target = &later;
        step = Step::Next;
    }
}

int TestOne(Hooks& hooks, const Records& records, NySnmpVar& var)
{
    NyMibObject* node = FindOwner(records, var.Oid());
    if (!node)
        return kNoSuchName;
    if (!nymib::IsWritable(node->Access()))
        return kNoAccess;
    if (node->UserEvents() & 2) {
        const int s = hooks.OnMibSetUncommitted(*node, var.Value(), node->UserParam(), node->UserData());
        if (s != 0)
            return s;
    }
    return node->set(var.Value(), false);
}

int Commit(Hooks& hooks, const Records& records, NySnmpVbl& staged, NySnmpVbl* undo)
{
    const int refused = hooks.OnCommit(staged);
    if (refused != 0)
        return refused;
    int result = kNoError;
    NySnmpVar before;
    for (NySnmpVar* var : staged.VarList()) {
        NyMibObject* node = FindOwner(records, var->Oid());
        if (!node || !nymib::IsWritable(node->Access())) {
            // Gone since the test (a row destroyed meanwhile): nothing to store.
            result = result != kNoError ? result : kGenErr;
            continue;
        }
        if (undo) {
            Access::CopyIdentifier(*node, before.Oid());
            if (node->get(before.Value()) != 0)
                before.Value().Erase();  // kept empty: Undo reports it cannot restore this one
            undo->Append(before);
        }
        const int s = node->set(var->Value(), true);
        if (s != kNoError && result == kNoError)
            result = s;
        if (node->UserEvents() & 4) {
            const int h = hooks.OnMibSetCommitted(*node, node->UserParam(), node->UserData());
            if (h != 0)
                return h;
        }
    }
    return result;
}

int Undo(const Records& records, NySnmpVbl& undo)
{
    int result = kNoError;
    std::vector<NySnmpVar*>& list = undo.VarList();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        NySnmpVar* var = *it;
        NyMibObject* node = FindOwner(records, var->Oid());
        if (!node || var->Value().Syntax() == 0 || node->set(var->Value(), true) != kNoError)
            result = kGenErr;
    }
    return result;
}

} // namespace nyserve
