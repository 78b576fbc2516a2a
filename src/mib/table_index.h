// The lookup index of one table: every column object of every row, ordered
// by identifier, and of equal identifiers in tree order (rows in list
// order, then columns in list order).  Lookups on a big table then cost a
// search of the ordered set instead of a visit of every row.
//
// The index is built by the first lookup on the table and afterwards kept in
// step by the tree itself: a column entering or leaving a row, a row's
// columns renewed for a new instance, a column's identifier renewed.
#ifndef NYSNMP_SRC_MIB_TABLE_INDEX_H
#define NYSNMP_SRC_MIB_TABLE_INDEX_H

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "nymib.h"

namespace nymib {

// A number never handed out before in this process (stamps, list order).
uint64_t FreshStamp();
// Appends "." and the decimal form of `arc` (signed when `asSigned`).
void AppendArc(std::string& text, uint32_t arc, bool asSigned);

// Full order of identifiers: arcs as unsigned numbers, a prefix first.
inline int CompareArcs(const NYSMI_OID& a, const NYSMI_OID& b)
{
    const uint32_t common = a.len < b.len ? a.len : b.len;
    for (uint32_t i = 0; i < common; ++i) {
        if (a.ptr[i] != b.ptr[i])
            return a.ptr[i] < b.ptr[i] ? -1 : 1;
    }
    if (a.len == b.len)
        return 0;
    return a.len < b.len ? -1 : 1;
}

class TableIndex {
public:
    explicit TableIndex(NyMibObject& table);

    // One column.  The arcs right after the table's own are kept in the
    // entry, so that most comparisons are settled without visiting the node.
    struct Entry {
        static constexpr uint32_t kHead = 6;
        NyMibObject* column;
        uint32_t len;     // all arcs of the column's identifier
        uint32_t skip;    // the table's arcs, the same for every entry
        uint32_t headLen; // arcs in head
        uint32_t head[kHead];
    };

    struct Order {
        using is_transparent = void;
        bool operator()(const Entry& a, const Entry& b) const;
        bool operator()(const Entry& a, const NYSMI_OID& b) const;
        bool operator()(const NYSMI_OID& a, const Entry& b) const;
    };

    // Whether column `a` comes before column `b` in tree order (rows in list
    // order, then columns in list order).
    static bool TreeBefore(const NyMibObject* a, const NyMibObject* b);

    void Add(NyMibObject& column);
    void Remove(NyMibObject& column);
    // Every column leaves the index (the index is going away).
    void Release();

    // The next readable column after `target`; null when there is none.
    NyMibObject* Next(const NYSMI_OID& target) const;
    // The first column in tree order whose identifier begins with `target`.
    NyMibObject* FirstWithPrefix(const NYSMI_OID& target) const;

    // Nodes below the columns (normally none); the search by prefix is only
    // answered from the index while there are none.
    size_t deep = 0;

private:
    Entry EntryOf(NyMibObject& column) const;
    bool UnderTable(const NYSMI_OID& oid) const;

    std::vector<uint32_t> m_table; // the table's arcs when the index was made
    std::set<Entry, Order> m_all;
    std::set<Entry, Order> m_readable;
    // Columns whose identifiers do not begin with the table's (only a tree
    // changed behind its back has them): searched one by one.
    std::vector<NyMibObject*> m_strays;
};

} // namespace nymib

#endif
