// Shared helpers of the MIB tree tests: a private tree and identifier text.
#ifndef NYSNMP_TESTS_MIB_TREE_H
#define NYSNMP_TESTS_MIB_TREE_H

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

// The dotted text of a node's identifier, arcs unsigned; "-" for no node.
inline std::string Id(const NyMibObject* node)
{
    if (node == nullptr)
        return "-";
    const NYSMI_OID& oid = node->Oid().SmiOid();
    std::string text;
    for (uint32_t i = 0; i < oid.len; ++i)
        text += (i ? "." : "") + std::to_string(oid.ptr[i]);
    return text;
}

// FindNext and Find from identifier text.
inline NyMibObject* Next(NyMibObject& node, const std::string& target)
{
    NySnmpOid oid(target.c_str());
    return node.FindNext(oid);
}

inline NyMibObject* Exact(NyMibObject& node, const std::string& target)
{
    NySnmpOid oid(target.c_str());
    return node.Find(oid);
}

inline std::vector<int32_t> SubIds(const std::vector<NyMibObject*>& list)
{
    std::vector<int32_t> ids;
    for (const NyMibObject* node : list)
        ids.push_back(node->SubId());
    return ids;
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
