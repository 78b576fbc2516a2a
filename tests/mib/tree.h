// Shared helpers of the MIB tree tests: a private tree and identifier text.
#ifndef NYSNMP_TESTS_MIB_TREE_H
#define NYSNMP_TESTS_MIB_TREE_H

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nymib.h"
#include "support/mib_types.h"

// A private tree: the root, and below it "top" at 1.3.6.1.4.1.7.
struct Tree : ::testing::Test {
    NyMibObject root{"1.3.6.1.4.1"};
    NyMibObject top{"top", "1.3.6.1.4.1.7", &root.Children(), 289, kNoAccess};
};

// ".1.3.6": each arc after a dot, unsigned.
inline std::string DottedArcs(const NYSMI_OID& oid)
{
    std::string text;
    for (uint32_t i = 0; i < oid.len; ++i)
        text += "." + std::to_string(oid.ptr[i]);
    return text;
}

// The dotted text of a node's identifier; "-" for no node.
inline std::string Id(const NyMibObject* node) { return node ? DottedArcs(node->Oid().SmiOid()).erase(0, 1) : "-"; }

// Whether identifier `a` sorts before `b`, arcs unsigned.
inline bool Before(const NYSMI_OID& a, const NYSMI_OID& b)
{
    return std::lexicographical_compare(a.ptr, a.ptr + a.len, b.ptr, b.ptr + b.len);
}

// FindNext and Find from identifier text.
inline NyMibObject* Next(NyMibObject& node, NySnmpOid target) { return node.FindNext(target); }
inline NyMibObject* Exact(NyMibObject& node, NySnmpOid target) { return node.Find(target); }

inline std::vector<int32_t> SubIds(const std::vector<NyMibObject*>& list)
{
    std::vector<int32_t> ids;
    for (const NyMibObject* node : list)
        ids.push_back(node->SubId());
    return ids;
}

// The readable value leaves below a node, in identifier order, and what
// repeated FindNext from a target meets (at most one more than the limit).
inline void Leaves(NyMibObject& node, std::vector<NyMibObject*>& out)
{
    if ((node.Syntax() & 0x20) == 0 && (node.Access() == 1 || node.Access() == 2))
        out.push_back(&node);
    for (NyMibObject* child : node.Children())
        Leaves(*child, out);
}

inline std::vector<NyMibObject*> ReadableLeaves(NyMibObject& top)
{
    std::vector<NyMibObject*> leaves;
    Leaves(top, leaves);
    auto compare = [](NyMibObject* x, NyMibObject* y) { return Before(x->Oid().SmiOid(), y->Oid().SmiOid()); };
    // Of leaves with equal identifiers (rows with equal instances) a walk meets the first in tree order.
    std::stable_sort(leaves.begin(), leaves.end(), compare);
    auto same = [&](NyMibObject* x, NyMibObject* y) { return !compare(x, y) && !compare(y, x); };
    leaves.erase(std::unique(leaves.begin(), leaves.end(), same), leaves.end());
    return leaves;
}

inline std::vector<NyMibObject*> Walk(NyMibObject& top, NySnmpOid target, size_t limit)
{
    std::vector<NyMibObject*> walked;
    for (NyMibObject* next = top.FindNext(target); next && walked.size() <= limit; next = top.FindNext(target)) {
        walked.push_back(next);
        target = next->Oid();
    }
    return walked;
}

// A table row with three INTEGER columns 1, 2, 3 of the given access codes,
// built the way product rows are: row, columns, then the table renewed.
struct Row3 {
    NyMibTableEntry entry;
    MibInt c1, c2, c3;
    Row3(NyMibTable& table, int access1, int access2, int access3)
        : entry("entry", table, 1), c1("c1", entry, 1, access1), c2("c2", entry, 2, access2),
          c3("c3", entry, 3, access3)
    {
        table.UpdateChildren();
    }
};

// A record over given arcs, for SetInstanceNumber.
struct Arcs {
    std::vector<uint32_t> arcs;
    NYSMI_OID record;
    Arcs(std::initializer_list<uint32_t> list) : arcs(list), record{uint32_t(arcs.size()), arcs.data()} {}
    Arcs(const Arcs& other) : arcs(other.arcs), record{uint32_t(arcs.size()), arcs.data()} {}
    Arcs& operator=(const Arcs&) = delete;
};

#endif
