// The AgentX session's serving side fed with bytes as if they came from the
// master: the receive area, Receive, Respond, search ranges and the four Set
// phases against the shared tree.  Besides staying sound on any input:
// nothing is stored unless its CommitSet follows an accepted TestSet of the
// same transaction, UndoSet puts back exactly what the tree held before the
// commit, an accepted CommitSet stores every binding, OnRollback hears of
// each transaction that ends undone with what it had staged, a second
// transaction or a CommitSet without a test is refused and stores nothing,
// and every answer is a Response to its request that names what was asked.
//
// The session runs without a socket: the input is fed in two pieces, answers
// are taken at SendPacket, and the registrations are kept locally (Register
// fails for want of a master).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "fuzz_tree.h"
#include "nyagentx.h"
#include "nysnmpmsgs.h"
#include "support/caught.h"

namespace {

// The Set transaction as the master sees it from the answers.
struct SetLedger {
    enum State { None, Tested, Failed, Committed } state = None;
    uint32_t transaction = 0;
    NySnmpVbl accepted;      // the bindings of the accepted TestSet
    NySnmpVbl beforeCommit;  // the tree's values when the CommitSet came
    const NyAgentxPdu* request = nullptr;
    size_t stores = 0, rollbacks = 0;  // in answering the request

    bool Open(const NyAgentxPdu& pdu) const { return state != None && pdu.transactionId == transaction; }
    NySnmpVbl Staged() const { return state == Tested || state == Committed ? accepted : NySnmpVbl(); }

    // Stores only in a CommitSet of the tested transaction, of a value it
    // had accepted, or in its UndoSet, of the value held before the commit.
    void Store(NyMibObject& node, const NySnmpValue& value)
    {
        FUZZ_REQUIRE(request != nullptr && Open(*request));
        ++stores;
        const bool commit = request->type == NYAGENTX_COMMITSET;
        FUZZ_REQUIRE(commit ? state == Tested : request->type == NYAGENTX_UNDOSET && state == Committed);
        FUZZ_REQUIRE(Lists(commit ? accepted : beforeCommit, node.Oid(), value));
    }
};

// A binding answering a step on from `from`: the next object (or `from`
// itself with `include`) before the range's end, or endOfMibView naming `from`.
void CheckNext(const NySnmpVar& given, const NySnmpOid& from, bool include, const NySnmpOid& end)
{
    if (given.Value().Syntax() == NYAGENTX_ENDOFMIBVIEW) {
        FUZZ_REQUIRE(given.Oid().Compare(from, 0) == 0);
        return;
    }
    FUZZ_REQUIRE((given.Value().Syntax() & 0x80) == 0);
    FUZZ_REQUIRE(given.Oid().Compare(from, 0) > (include ? -1 : 0));
    FUZZ_REQUIRE(end.Length() == 0 || given.Oid().Compare(end, 0) < 0);
}

void CheckRead(const NyAgentxPdu& request, const NyAgentxPdu& reply)
{
    const size_t count = request.rangeCount;
    const std::vector<NySnmpVar*>& vars = reply.vars.VarList();
    if (reply.error != NYAGENTX_NO_ERROR) {
        // The ranges asked for with no values, or nothing when even that is too big.
        FUZZ_REQUIRE(reply.index <= count);
        FUZZ_REQUIRE(vars.empty() || vars.size() == count);
        for (size_t i = 0; i < vars.size(); ++i)
            FUZZ_REQUIRE(vars[i]->Oid().Compare(request.ranges[i].start, 0) == 0 && vars[i]->Value().Syntax() == NYAGENTX_NULL);
        return;
    }
    // A Get or GetNext: a binding per range.  A GetBulk: N non-repeaters,
    // then up to M rows of R repeaters, each going on from the binding above
    // it; an exhausted column stays exhausted.
    const bool bulk = request.type == NYAGENTX_GETBULK;
    const size_t n = bulk ? std::min<size_t>(request.nonRepeaters, count) : count, r = count - n;
    FUZZ_REQUIRE(vars.size() >= n);
    FUZZ_REQUIRE(r == 0 ? vars.size() == n : (vars.size() - n) % r == 0 && (vars.size() - n) / r <= request.maxRepetitions);
    for (size_t at = 0; at < vars.size(); ++at) {
        const NyAgentxRange& range = request.ranges[at < n ? at : n + (at - n) % r];
        const bool first = at < n + r;
        const NySnmpVar& given = *vars[at];
        if (request.type == NYAGENTX_GET) {
            FUZZ_REQUIRE(given.Oid().Compare(range.start, 0) == 0 && given.Value().Syntax() != NYAGENTX_ENDOFMIBVIEW);
            continue;
        }
        CheckNext(given, first ? range.start : vars[at - r]->Oid(), first && range.include, range.end);
        if (!first && vars[at - r]->Value().Syntax() == NYAGENTX_ENDOFMIBVIEW)
            FUZZ_REQUIRE(given.Value().Syntax() == NYAGENTX_ENDOFMIBVIEW);
    }
}

class FuzzSession : public Refusing<NyAgentxSession> {
public:
    FuzzSession(NySnmpManager& manager, SetLedger& ledger) : Refusing(manager), ledger(ledger) {}
    using NyAgentxSession::Receive;
    using NyAgentxSession::Respond;

    // Every answer must be a whole PDU the library itself can read back.
    int SendPacket(const unsigned char* data, unsigned int length) override
    {
        ++answers;
        DecodeOwn(reply, Octets(data, data + length));
        return 0;
    }
    // A commit with the integer 99 anywhere is refused.
    int OnCommit(NySnmpVbl& staged) override
    {
        for (const NySnmpVar* var : staged.VarList())
            if (IsInt(var->Value(), 99))
                return 5;
        return 0;
    }
    int OnRollback(NySnmpVbl& staged) override
    {
        ++ledger.rollbacks;
        FUZZ_REQUIRE(SameVbl(staged, ledger.Staged()));
        return 0;
    }

    int answers = 0;
    NyAgentxPdu reply;
    SetLedger& ledger;
};

// Answers one request and checks the answer and the tree against the ledger.
void Answer(FuzzSession& session, Tree& tree, NyAgentxPdu& request)
{
    SetLedger& ledger = session.ledger;
    const NySnmpVbl before = tree.Values();
    const uint8_t type = request.type;
    const bool open = ledger.Open(request);
    if (type == NYAGENTX_COMMITSET && open && ledger.state == SetLedger::Tested)
        ledger.beforeCommit = before;
    // An UndoSet, or a CleanupSet without a commit, ends the transaction undone.
    const bool undone = open && (type == NYAGENTX_UNDOSET || (type == NYAGENTX_CLEANUPSET && ledger.state != SetLedger::Committed));
    session.answers = 0;
    ledger.stores = ledger.rollbacks = 0;
    ledger.request = &request;
    session.Respond(request);
    ledger.request = nullptr;
    FUZZ_REQUIRE(ledger.rollbacks == (undone ? 1u : 0u));

    const NyAgentxPdu& reply = session.reply;
    const bool silent = type == NYAGENTX_CLEANUPSET || type == NYAGENTX_RESPONSE;
    FUZZ_REQUIRE(session.answers == (silent ? 0 : 1));
    FUZZ_REQUIRE(silent || (reply.type == NYAGENTX_RESPONSE && reply.packetId == request.packetId &&
                            reply.sessionId == request.sessionId && reply.transactionId == request.transactionId));
    const NySnmpVbl after = tree.Values();
    bool unchanged = SameVbl(after, before);
    // A phase out of turn is refused and leaves the transaction as it was.
    const bool refused = type == NYAGENTX_TESTSET     ? ledger.state != SetLedger::None
                         : type == NYAGENTX_COMMITSET ? !open || ledger.state != SetLedger::Tested
                                                      : type == NYAGENTX_UNDOSET && !open;
    if (refused)
        FUZZ_REQUIRE(reply.error == NYAGENTX_PROCESSING_ERROR && reply.index == 0);
    else switch (type) {
    case NYAGENTX_GET:
    case NYAGENTX_GETNEXT:
    case NYAGENTX_GETBULK:
        CheckRead(request, reply);
        break;
    case NYAGENTX_TESTSET:
        ledger.transaction = request.transactionId;
        ledger.state = reply.error == NYAGENTX_NO_ERROR ? SetLedger::Tested : SetLedger::Failed;
        ledger.accepted.Destroy();
        if (reply.error == NYAGENTX_NO_ERROR)
            ledger.accepted.Copy(request.vars);
        else
            FUZZ_REQUIRE(reply.index >= 1 && reply.index <= request.vars.Size());
        break;
    case NYAGENTX_COMMITSET:
        // Each store was checked as it happened; an accepted commit stored every binding.
        FUZZ_REQUIRE(reply.error == NYAGENTX_COMMIT_FAILED || (reply.error == NYAGENTX_NO_ERROR && ledger.stores == ledger.accepted.Size()));
        ledger.state = SetLedger::Committed;
        unchanged = true;
        break;
    case NYAGENTX_UNDOSET:
        FUZZ_REQUIRE(reply.error == NYAGENTX_NO_ERROR);
        if (ledger.state == SetLedger::Committed) {
            FUZZ_REQUIRE(SameVbl(after, ledger.beforeCommit));
            unchanged = true;
        }
        ledger.state = SetLedger::None;
        break;
    case NYAGENTX_CLEANUPSET:
        if (open)
            ledger.state = SetLedger::None;
        break;
    case NYAGENTX_RESPONSE:
        break;
    default:
        FUZZ_REQUIRE(reply.error == (type == NYAGENTX_PING ? NYAGENTX_NO_ERROR : NYAGENTX_PROCESSING_ERROR));
    }
    FUZZ_REQUIRE(unchanged);
    FUZZ_REQUIRE(SameVbl(session.StagedVars(), ledger.Staged()));
}

// Serves what the piece completes; false when the session gave the stream up.
bool Serve(FuzzSession& session, Tree& tree, NyAgentxPdu& request, const uint8_t* data, size_t size)
{
    session.Feed(data, static_cast<unsigned int>(size));
    // Bounded: a round takes at least one header off the stream or ends.
    for (int round = 0; round < 4096; ++round) {
        const NySnmpVbl before = tree.Values();
        int got = 0;
        if (const auto e = Caught([&] { got = session.Receive(request, 0); })) {
            // An unfollowable header drops the connection; a transaction it
            // leaves open ends without storing anything.
            FUZZ_REQUIRE(e->Id() == static_cast<int>(NYAGENTX_BAD_HEADER));
            FUZZ_REQUIRE(SameVbl(tree.Values(), before) && session.StagedVars().Size() == 0);
            return false;
        }
        // A Close ends the session; the loop would drop the connection there.
        if (got < 0 || (got > 0 && request.type == NYAGENTX_CLOSE))
            return got < 0;
        if (got > 0)
            Answer(session, tree, request);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetLedger ledger;
    g_onStore = [&ledger](NyMibObject& node, const NySnmpValue& value) { ledger.Store(node, value); };
    NySnmpManager manager;
    Tree tree;
    {
        FuzzSession session(manager, ledger);
        for (NyMibObject* top : tree.tops) {
            int priority = NYAGENTX_DEFAULT_PRIORITY;
            // Kept locally, with no master to tell.
            FUZZ_REQUIRE(IdOf(Caught([&] { session.Register(*top, priority, 0); })) == NYAGENTX_NOT_CONNECTED);
        }
        FUZZ_REQUIRE(session.RegInfo().size() == tree.tops.size());
        NyAgentxPdu request;
        const size_t half = size / 2;
        if (Serve(session, tree, request, data, half))
            Serve(session, tree, request, data + half, size - half);
    }
    g_onStore = nullptr;
    return 0;
}
