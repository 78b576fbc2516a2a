// Shared helpers of the MIB tree tests: variable types and identifier text.
#ifndef NYSNMP_TESTS_MIB_TREE_H
#define NYSNMP_TESTS_MIB_TREE_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nymib.h"

using MibInt = nymibvar<int32_t, 1, 2>;
using MibCounter = nymibvar<uint32_t, 2, 65>;
using MibGauge = nymibvar<uint32_t, 2, 66>;
using MibCounter64 = nymibvar<uint64_t, 3, 70>;
using MibOctets = nymibvar<std::string, 4, 4>;
using MibIpAddr = nymibvar<std::string, 4, 64>;
using MibOid = nymibvar<NySnmpOid, 5, 6>;
using MibNull = nymibvar<unsigned char, 0, 5>;
using MibNoSuchInstance = nymibvar<unsigned char, 0, 129>;

constexpr int kNoAccess = 0;
constexpr int kReadOnly = 1;
constexpr int kReadWrite = 2;
constexpr int kWriteOnly = 3;

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
