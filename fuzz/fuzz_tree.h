// The tree the session targets answer from: scalars of each kind and access,
// a table, hooks on some nodes, and a second subtree.  Every leaf reports its
// stores to the target (g_onStore) and checks that a test leaves it alone.
#ifndef NYSNMP_FUZZ_TREE_H
#define NYSNMP_FUZZ_TREE_H

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "nymib.h"
#include "support/mib_types.h"

// Called for every store (set with commit) before it happens; empty: allowed.
inline std::function<void(NyMibObject& node, const NySnmpValue& value)> g_onStore;

// Whether the list holds a binding of this identifier with this value.
inline bool Lists(const NySnmpVbl& list, const NySnmpOid& oid, const NySnmpValue& value)
{
    return std::any_of(list.VarList().begin(), list.VarList().end(), [&](const NySnmpVar* var) {
        return SameOid(var->Oid().SmiOid(), oid.SmiOid()) && SameValue(var->Value(), value);
    });
}

template <class Var>
class Watched : public Var {
public:
    using Var::Var;

    int set(NySnmpValue const& value, bool commit) override
    {
        NySnmpValue before;
        const bool readable = this->get(before) == 0;
        if (commit && g_onStore)
            g_onStore(*this, value);
        const int result = Var::set(value, commit);
        if (!commit && readable) {
            NySnmpValue after;
            FUZZ_REQUIRE(this->get(after) == 0 && SameValue(after, before));
        }
        return result;
    }
};

// A session whose hooks refuse now and then, so that their errors travel
// too: every third read of fzQueue, a test of the integer 13, the commit of
// fzNote.
template <class Session>
class Refusing : public Session {
public:
    using Session::Session;
    int OnMibGet(NyMibObject&, int32_t userParam, void*) override { return userParam == 7 && ++m_reads % 3 == 0 ? 5 : 0; }
    int OnMibSetUncommitted(NyMibObject&, NySnmpValue& value, int32_t, void*) override { return IsInt(value, 13) ? 3 : 0; }
    int OnMibSetCommitted(NyMibObject&, int32_t userParam, void*) override { return userParam == 9 ? 1 : 0; }
    static bool IsInt(const NySnmpValue& value, int32_t n) { return value.Syntax() == 2 && value.SmiValue().value.int32 == n; }

private:
    int m_reads = 0;
};

struct Row {
    NyMibTableEntry entry;
    Watched<MibInt> index;
    Watched<MibOctets> label;
    Watched<MibGauge> load;

    Row(NyMibTable& table, int instance)
        : entry("fzEntry", table, 1), index("fzIndex", entry, 1, kNoAccess),
          label("fzLabel", entry, 2, kReadWrite), load("fzLoad", entry, 3, kReadOnly)
    {
        index.UseAsIndex(true);
        table.UpdateChildren();
        entry.SetInstanceNumber(instance);
        index.value() = instance;
        label.value() = "row";
        load.value() = static_cast<uint32_t>(instance) * 10;
    }
};

// A scalar as agents address it: an identifier node with the variable as
// its instance 0.
template <class Var>
struct Scalar {
    NyMibObject node;
    Watched<Var> var;

    Scalar(const char* name, NyMibObject& parent, int subId, int access)
        : node(name, parent, subId, 289, kNoAccess), var(name, node, 0, access) {}
};

// Scalars of each kind and access (most with instance 0, as net-snmp's
// tools address them, a few as bare leaves), hooks on some (reads of fzQueue
// with user parameter 7; tests and commits of fzLevel and fzNote with 8 and
// 9), a table, and a second subtree registered after the first.
struct Tree {
    std::vector<NyMibObject*> tops;
    NyMibObject base{"fzBase", "1.3.6.1.4.1.32473.99", &tops, 289, kNoAccess};
    Scalar<MibInt> level{"fzLevel", base, 1, kReadWrite};
    Scalar<MibOctets> name{"fzName", base, 2, kReadOnly};
    Scalar<MibOctets> motto{"fzMotto", base, 3, kReadWrite};
    Scalar<MibGauge> queue{"fzQueue", base, 4, kReadWrite};
    Scalar<MibTicks> since{"fzSince", base, 5, kReadWrite};
    Scalar<MibOid> kind{"fzKind", base, 6, kReadWrite};
    Scalar<MibIpAddr> address{"fzAddress", base, 7, kReadWrite};
    Scalar<MibOctets> blob{"fzBlob", base, 8, kReadWrite};
    Scalar<MibOctets> flags{"fzFlags", base, 9, kReadWrite};
    Watched<MibNoSuchInstance> absent{"fzAbsent", base, 10, kReadOnly};
    NyMibTable table{"fzTable", base, 11};
    std::unique_ptr<Row> rows[2];
    Watched<MibCounter> hits{"fzHits", base, 12, kReadOnly};
    Scalar<MibInt> secret{"fzSecret", base, 13, kWriteOnly};
    Scalar<MibCounter64> bytes{"fzBytes", base, 14, kReadOnly};
    Watched<MibInt> bare{"fzBare", base, 15, kReadWrite};
    NyMibObject other{"fzOther", "1.3.6.1.4.1.32473.98", &tops, 289, kNoAccess};
    Watched<MibInt> mode{"fzMode", other, 1, kReadWrite};
    Watched<MibOctets> note{"fzNote", other, 2, kReadWrite};

    Tree()
    {
        level.var.value() = -42;
        name.var.value() = "fuzzed host";
        motto.var.value() = "carpe diem";
        queue.var.value() = 17;
        kind.var.value().Assign("1.3.6.1.4.1.32473.1");
        address.var.value() = std::string("\x7f\x00\x00\x01", 4);
        rows[0] = std::make_unique<Row>(table, 2);
        rows[1] = std::make_unique<Row>(table, 1);
        hits.value() = 4000000000u;
        bytes.var.value() = 0x100000002ull;
        queue.var.SetUserEvents(1, 7, nullptr);
        level.var.SetUserEvents(2 | 4, 8, nullptr);
        note.SetUserEvents(2 | 4, 9, nullptr);
    }

    // Every value the tree holds, in tree order.
    NySnmpVbl Values()
    {
        NySnmpVbl out;
        for (NyMibObject* top : tops)
            Collect(*top, out);
        return out;
    }

private:
    static void Collect(NyMibObject& node, NySnmpVbl& out)
    {
        NySnmpVar var;
        if (node.get(var.Value()) == 0) {
            var.Oid().Assign(node.Oid().SmiOid());
            out.Append(var);
        }
        for (NyMibObject* child : node.Children())
            Collect(*child, out);
    }
};

#endif
