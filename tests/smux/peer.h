// What the session tests share: a stand-in for the agent on loopback and the
// PDUs it writes and reads, the host tree the sessions serve, a session that
// notes what its hooks see, a host's service thread, and snmpd serving the
// tree through a session.
#ifndef NYSNMP_TESTS_SMUX_PEER_H
#define NYSNMP_TESTS_SMUX_PEER_H

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "nyagentx.h"
#include "nysmuxpeer.h"
#include "support/agent.h"
#include "support/caught.h"
#include "support/loopback.h"
#include "support/mib_types.h"

using FakeAgent = LoopbackPeer;

#define B "1.3.6.1.4.1.32473.99"

// One BER element from the agent's side; empty when none comes in time.
inline Bytes ReadPdu(FakeAgent& agent, int ms = 5000)
{
    Bytes pdu = agent.Read(2, ms);
    if (pdu.size() < 2)
        return {};
    const Bytes octets = pdu[1] & 0x80 ? agent.Read(pdu[1] & 0x7F, ms) : Bytes{};
    size_t length = pdu[1] & 0x80 ? 0 : pdu[1];
    for (unsigned char octet : octets)
        length = length << 8 | octet;
    const Bytes content = agent.Read(length, ms);
    pdu.insert(pdu.end(), octets.begin(), octets.end());
    pdu.insert(pdu.end(), content.begin(), content.end());
    return pdu;
}

inline NySnmpValue Int(int32_t i)
{
    NySnmpValue v;
    v.SetInt32(i);
    return v;
}

inline NySnmpValue Text(const std::string& s)
{
    NySnmpValue v;
    v.SetOctets({static_cast<uint32_t>(s.size()), reinterpret_cast<unsigned char*>(const_cast<char*>(s.data()))});
    return v;
}

// A PDU of the bindings; an empty value text stands for NULL.
inline Bytes Pdu(int32_t type, int32_t id, const std::vector<std::pair<std::string, NySnmpValue>>& bindings)
{
    NySnmpVbl vbl;
    for (const auto& [oid, value] : bindings)
        vbl.Append(NySnmpVar(NySnmpOid(oid.c_str()), value));
    NySnmpPdu pdu(type, id, 0, 0, vbl);
    Bytes out(8192);
    unsigned int rem = static_cast<unsigned int>(out.size());
    out.resize(static_cast<size_t>(pdu.AsAsn(out.data(), &rem, 0) - out.data()));
    return out;
}

// A request binding each identifier to NULL.
inline Bytes Ask(int32_t type, int32_t id, const std::vector<std::string>& oids)
{
    std::vector<std::pair<std::string, NySnmpValue>> bindings;
    NySnmpValue null;
    null.SetNull(0);
    for (const std::string& oid : oids)
        bindings.emplace_back(oid, null);
    return Pdu(type, id, bindings);
}

// " oid=value ..." of the bindings, values as the library shows them and
// exceptions (noSuchObject, endOfMibView ...) by name.
inline std::string Bindings(const NySnmpVbl& vbl)
{
    std::string text;
    for (NySnmpVar* var : vbl.VarList())
        text += std::string(" ") + var->Oid().AsString() + "=" +
                (var->Value().Syntax() >= 0x80 ? var->Value().SyntaxName() : var->Value().AsString());
    return text;
}

// "A2 #id status/index: oid=syntax:text ..." of an encoded PDU.
inline std::string Describe(const Bytes& bytes)
{
    if (bytes.empty())
        return "(nothing)";
    NySnmpPdu pdu;
    unsigned int rem = static_cast<unsigned int>(bytes.size());
    pdu.FromAsn(bytes.data(), &rem);
    std::string text = ToHex(bytes.data(), 1) + " #" + std::to_string(pdu.RequestId()) + " " +
                       std::to_string(pdu.ErrorStatus()) + "/" + std::to_string(pdu.ErrorIndex()) + ":";
    for (NySnmpVar* var : pdu.Vars().VarList())
        text += std::string(" ") + var->Oid().AsString() + "=" + var->Value().SyntaxName() + ":" +
                var->Value().AsString();
    return text;
}

// A table row with a not-accessible index column 1, a read-write label and a read-only load.
struct HostRow {
    NyMibTableEntry entry;
    MibInt index;
    MibOctets label;
    MibGauge load;

    HostRow(NyMibTable& table, int instance, const std::string& text, uint32_t value)
        : entry("hostEntry", table, 1), index("hostIndex", entry, 1, kNoAccess),
          label("hostLabel", entry, 2, kReadWrite), load("hostLoad", entry, 3, kReadOnly)
    {
        index.UseAsIndex(true);
        table.UpdateChildren();
        entry.SetInstanceNumber(instance);
        index.value() = instance;
        label.value() = text;
        load.value() = value;
    }
};

// Scalars of several syntaxes, a write-only scalar, a node that reads as
// absent, and a table whose rows are created out of instance order.
struct HostTree {
    std::vector<NyMibObject*> tops;
    NyMibObject base{"hostBase", B, &tops, 289, kNoAccess};
    MibInt level{"hostLevel", base, 1, kReadWrite};
    MibOctets name{"hostName", base, 2, kReadOnly};
    MibCounter hits{"hostHits", base, 3, kReadOnly};
    MibGauge queue{"hostQueue", base, 4, kReadWrite};
    MibTicks since{"hostSince", base, 5, kReadOnly};
    MibOid kind{"hostKind", base, 6, kReadOnly};
    MibIpAddr address{"hostAddress", base, 7, kReadOnly};
    MibCounter64 bytes{"hostBytes", base, 8, kReadOnly};
    MibInt secret{"hostSecret", base, 9, kWriteOnly};
    MibNoSuchInstance absent{"hostAbsent", base, 10, kReadOnly};
    NyMibTable table{"hostTable", base, 11};
    std::vector<std::unique_ptr<HostRow>> rows;
    MibOctets motto{"hostMotto", base, 12, kReadWrite};

    // The three rows 3, 1, 2 and `extra` more from 4 on.
    explicit HostTree(int extra = 0)
    {
        level.value() = -42;
        name.value() = "nysnmp test host";
        hits.value() = 4000000000u;
        queue.value() = 17;
        since.value() = 123456;
        kind.value().Assign("1.3.6.1.4.1.32473.1");
        address.value() = std::string("\x7f\x00\x00\x01", 4);
        bytes.value() = 0x100000002ull;
        for (int instance : {3, 1, 2})
            rows.push_back(std::make_unique<HostRow>(table, instance, instance == 1 ? "first" : instance == 2 ? "second" : "third",
                                                     10u * instance));
        for (int i = 4; i < 4 + extra; ++i)
            rows.push_back(std::make_unique<HostRow>(table, i, "row " + std::to_string(i), i));
        motto.value() = "carpe diem";
    }
    HostRow& Row(int instance)
    {
        for (auto& row : rows)
            if (row->index.value() == instance)
                return *row;
        return *rows[0];
    }
    // Every readable object in walk order, "." first as the tools print them.
    std::vector<std::string> Walk() const
    {
        std::vector<std::string> oids;
        for (int scalar = 1; scalar <= 8; ++scalar)
            oids.push_back("." B "." + std::to_string(scalar));
        for (int column = 2; column <= 3; ++column)
            for (size_t instance = 1; instance <= rows.size(); ++instance)
                oids.push_back("." B ".11.1." + std::to_string(column) + "." + std::to_string(instance));
        oids.push_back("." B ".12");
        return oids;
    }
};

// A session with its protected steps open, which notes what its hooks see
// (from any thread) and answers them as told.
class NotingSession : public NySmuxSession {
public:
    using NySmuxSession::NySmuxSession;
    using NySmuxSession::ReInit;
    using NySmuxSession::SendClosePdu;

    int getAnswer = 0, committedAnswer = 0, commitAnswer = 0;

    int OnSet(NySnmpPdu& response) override
    {
        return Note("OnSet " + std::to_string(response.ErrorStatus()) + "/" + std::to_string(response.ErrorIndex()), 0);
    }
    int OnCommit(NySnmpVbl& staged) override { return Note("OnCommit" + Bindings(staged), commitAnswer); }
    int OnRollback(NySnmpVbl& staged) override { return Note("OnRollback" + Bindings(staged), 0); }
    int OnMibGet(NyMibObject& node, int32_t param, void*) override
    {
        return Note(std::string("OnMibGet ") + node.Name() + " " + std::to_string(param), getAnswer);
    }
    // Refuses with the node's user parameter.
    int OnMibSetUncommitted(NyMibObject& node, NySnmpValue& value, int32_t param, void*) override
    {
        return Note(std::string("OnMibSetUncommitted ") + node.Name() + " " + value.AsString() + " holding " + Held(node),
                    param);
    }
    int OnMibSetCommitted(NyMibObject& node, int32_t, void*) override
    {
        return Note(std::string("OnMibSetCommitted ") + node.Name() + " holding " + Held(node), committedAnswer);
    }
    std::vector<std::string> Notes()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_notes;
    }

    // Waits (bounded) on the session's sockets until the condition holds.
    template <class Condition>
    bool WaitUntil(Condition condition, int rounds = 50)
    {
        for (int i = 0; i < rounds && !condition(); ++i) {
            timeval tv{0, 100000};
            WaitForSocketEvents(&tv);
        }
        return condition();
    }
    bool Connect(uint16_t port)
    {
        return Init(0, port, "127.0.0.1") == 0 && WaitUntil([this] { return Socket() && Socket()->IsReadyToSend(); });
    }

private:
    int Note(const std::string& text, int answer)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_notes.push_back(text);
        return answer;
    }
    static std::string Held(NyMibObject& node)
    {
        NySnmpValue value;
        return node.get(value) == 0 ? value.AsString() : "-";
    }
    std::mutex m_lock;
    std::vector<std::string> m_notes;
};

// A host program's service thread: ProcessRequests again after whatever
// ended it, with a pause after a failure, until the test stops it.
template <class Session>
class BasicServiceLoop {
public:
    explicit BasicServiceLoop(Session& session, std::chrono::milliseconds pause = std::chrono::milliseconds(200))
        : m_session(session), m_pause(pause)
    {
    }
    ~BasicServiceLoop() { Stop(); }
    void Start()
    {
        m_stop = 0;
        m_wake.Reset();
        m_thread = std::thread([this] {
            while (m_stop == 0)
                if (Caught([this] {
                        if (const int r = m_session.ProcessRequests(m_stop, 1, &m_wake))
                            lastResult = r;
                    })) {
                    ++failures;
                    std::this_thread::sleep_for(m_pause);
                }
        });
    }
    // Asks the loop to end; a wait under way ends only at an event on the session's sockets or its time-out.
    void Halt()
    {
        m_stop = 1;
        m_wake.Set();
    }
    void Stop()
    {
        Halt();
        if (m_thread.joinable())
            m_thread.join();
    }
    std::atomic<int> failures{0}; // loops that ended in an exception
    std::atomic<int> lastResult{0}; // the last failure a loop ended with after recovering

private:
    Session& m_session;
    std::chrono::milliseconds m_pause;
    int volatile m_stop = 0;
    NyEvent m_wake;
    std::thread m_thread;
};

using ServiceLoop = BasicServiceLoop<NySmuxSession>;

// net-snmp's snmpd on loopback (snmptrapd as its trap sink when asked) and a
// session of the kind serving the host tree through it; the test opens the
// session and starts the loop, the fixture ends both.
template <class Session, int RetryPauseMs = 200>
struct SnmpdHost : ::testing::Test {
    TrapReceiver receiver;
    SnmpAgent agent;
    std::unique_ptr<HostTree> tree = std::make_unique<HostTree>();
    NySnmpManager manager;
    Session session{manager};
    BasicServiceLoop<Session> loop{session, std::chrono::milliseconds(RetryPauseMs)};

    // trapSink: the snmpd.conf directive ("trapsink", "trap2sink") pointed at snmptrapd, when wanted.
    void StartAgent(const std::string& trapSink = "")
    {
        if (!trapSink.empty()) {
            ASSERT_TRUE(receiver.Start()) << receiver.Error();
            agent.Options().extraLines.push_back(trapSink + " 127.0.0.1:" + std::to_string(receiver.Port()) + " public");
        }
        ASSERT_TRUE(agent.Start()) << agent.Error();
    }
    void TearDown() override
    {
        loop.Stop();
        Caught([this] { Bye(session); }); // the connection may be gone
        session.End();
    }
    void ExpectWholeWalk(const std::string& why, const std::string& version = "-v2c")
    {
        std::vector<std::string> expected = tree->Walk();
        if (version == "-v1")
            expected.erase(expected.begin() + 7); // SNMPv1 cannot carry a Counter64: the agent passes it over
        CommandResult r = agent.Walk(B, version);
        EXPECT_EQ(r.status, 0) << why << "\n" << r.err << agent.Log();
        EXPECT_EQ(r.err, "") << why;
        EXPECT_EQ(WalkedOids(r.out), expected) << why;
    }
    // The agent answers from the peer's tree again within 5 seconds.
    void ExpectServedAgain(const char* after)
    {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(WaitFor([&] { return agent.Get({B ".1"}).out.find("INTEGER: -42") != std::string::npos; }, 15000, 100))
            << after << "\n" << agent.Log();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << after;
    }
    // The condition on the tree holds, checked under the MIB mutex, within 5 seconds.
    template <class Condition>
    bool Holds(Condition condition)
    {
        return WaitFor([&] {
            std::lock_guard<NySocketMutex> guard(session.MibMutex());
            return condition();
        }, 5000, 50);
    }
    // Sends the trap (with the loop stopped: sending and serving share the
    // session) and finds the lines in snmptrapd's log, the first once it arrived.
    void ExpectTrapLogged(NyMibTrap& trap, const std::vector<std::string>& lines)
    {
        loop.Stop();
        ASSERT_EQ(session.Send(trap, 5), 0);
        ASSERT_TRUE(receiver.WaitForLog(lines[0])) << receiver.Log() << "\n--- agent ---\n" << agent.Log();
        const std::string log = receiver.Log();
        for (const std::string& line : lines)
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    static void Bye(NySmuxSession& s) { s.Close(NYSMUX_GOING_DOWN, 5); }
    static void Bye(NyAgentxSession& s) { s.Close(NYAGENTX_REASON_SHUTDOWN, 2); }
};

#endif
