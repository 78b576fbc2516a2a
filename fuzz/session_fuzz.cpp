// The session's serving side fed with bytes as if they came from the agent:
// the receive area, ProcessRequests, Respond and the two-phase Set against a
// small tree.  Besides staying sound on any input, a Set may only ever be
// stored when the agent had it tested and accepted, and only on a commit.
//
// The session runs without a socket: the bytes come in through its OnReceive
// notification from a socket object that reads from the input, responses are
// taken at SendPacket, and a reconnection makes no connection.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "fuzz_tree.h"
#include "nysmuxpeer.h"

namespace {

// The bindings the agent has seen accepted since the last SOutPDU, and
// whether an SOutPDU asking for the commit is being answered.
struct SetLedger {
    NySnmpVbl accepted;
    bool committing = false;

    // A store happens only in answer to an SOutPDU asking for the commit,
    // and only of what the agent saw accepted.
    void Store(NyMibObject& node, const NySnmpValue& value)
    {
        FUZZ_REQUIRE(committing);
        FUZZ_REQUIRE(Lists(accepted, node.Oid(), value));
    }
};

// A socket that is never connected: what the session reads from it is the
// fuzzer's input, a piece at a time.
class InputSocket : public NyAsyncSocket {
public:
    InputSocket(NySocketManager& manager, NySocketOwner& owner, const uint8_t* data, size_t size)
        : NyAsyncSocket(manager, owner, true), m_data(data), m_left(size) {}
    int Receive(void* buffer, int count, int) override
    {
        const size_t n = std::min(m_left, static_cast<size_t>(count));
        std::memcpy(buffer, m_data, n);
        m_data += n;
        m_left -= n;
        return static_cast<int>(n);
    }
    size_t Left() const { return m_left; }

private:
    const uint8_t* m_data;
    size_t m_left;
};

class FuzzSession : public Refusing<NySmuxSession> {
public:
    FuzzSession(NySnmpManager& manager, SetLedger& ledger) : Refusing(manager), m_ledger(ledger) {}

    int Respond(NySnmpPdu& request) override
    {
        const int32_t type = request.PduType();
        m_answered = false;
        m_ledger.committing = type == NYSMUX_SOUT && request.SOutValue() == NYSMUX_SOUT_COMMIT;
        const int result = NySmuxSession::Respond(request);
        m_ledger.committing = false;

        switch (type) {
        case NYSMUX_GET:
        case NYSMUX_GETNEXT:
            CheckRead(request);
            break;
        case NYSMUX_SET:
            FUZZ_REQUIRE(m_answered && m_response.RequestId() == request.RequestId());
            FUZZ_REQUIRE(SameVbl(m_response.Vars(), request.Vars()));
            if (m_response.ErrorStatus() == NYSMUX_NO_ERROR)
                m_ledger.accepted.Copy(request.Vars());
            break;
        case NYSMUX_GETBULK:
            FUZZ_REQUIRE(m_answered && m_response.ErrorStatus() == NYSMUX_NO_SUCH_NAME);
            break;
        case NYSMUX_SOUT:
            FUZZ_REQUIRE(!m_answered);
            m_ledger.accepted.Destroy();
            break;
        default:
            FUZZ_REQUIRE(!m_answered);
        }
        // The session stages exactly what the agent saw accepted.
        FUZZ_REQUIRE(SameVbl(StagedVars(), m_ledger.accepted));
        return result;
    }

    // Every answer must be a Response the library itself can read back.
    int SendPacket(unsigned char* packet, unsigned int length, int) override
    {
        FUZZ_REQUIRE(packet != nullptr && length > 0 && !m_answered);
        m_response.Erase();
        DecodeOwn(m_response, Octets(packet, packet + length));
        FUZZ_REQUIRE(m_response.PduType() == NYSMUX_RESPONSE);
        m_answered = true;
        return 0;
    }

protected:
    // No connection is made: as if no socket object could be had.
    int ReInit() override { return -1; }

private:
    void CheckRead(NySnmpPdu& request)
    {
        FUZZ_REQUIRE(m_answered && m_response.RequestId() == request.RequestId());
        if (m_response.ErrorStatus() != NYSMUX_NO_ERROR) {
            FUZZ_REQUIRE(SameVbl(m_response.Vars(), request.Vars()));
            FUZZ_REQUIRE(m_response.ErrorIndex() >= 1 &&
                         m_response.ErrorIndex() <= static_cast<int32_t>(request.Vars().Size()));
            return;
        }
        FUZZ_REQUIRE(m_response.Vars().Size() == request.Vars().Size());
        for (unsigned int i = 1; i <= request.Vars().Size(); ++i) {
            NySnmpVar& asked = *request.Vars().Get(i);
            NySnmpVar& given = *m_response.Vars().Get(i);
            const int order = given.Oid().Compare(asked.Oid(), 0);
            FUZZ_REQUIRE(request.PduType() == NYSMUX_GET ? order == 0 : order > 0);
            FUZZ_REQUIRE((given.Value().Syntax() & 0x80) == 0);
        }
    }

    SetLedger& m_ledger;
    NySnmpPdu m_response;
    bool m_answered = false;
};

void Serve(FuzzSession& session, InputSocket& input)
{
    // Bounded: each round takes bytes off the input or ends.
    for (int round = 0; round < 8 && input.Left() > 0; ++round) {
        session.OnReceive(input, 0);
        int volatile stop = 0;
        session.ProcessRequests(stop, 0, nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetLedger ledger;
    g_onStore = [&ledger](NyMibObject& node, const NySnmpValue& value) { ledger.Store(node, value); };
    NySnmpManager manager;
    Tree tree;
    auto session = std::make_unique<FuzzSession>(manager, ledger);
    for (NyMibObject* top : tree.tops) {
        int priority = -1;
        session->Register(*top, priority, NYSMUX_REG_READWRITE);
    }

    // The stream in two pieces, so that a PDU may arrive split.
    const size_t half = size / 2;
    InputSocket first(manager, *session, data, half);
    Serve(*session, first);
    InputSocket second(manager, *session, data + half, size - half);
    Serve(*session, second);
    g_onStore = nullptr;
    return 0;
}
