// The lookup index of one table: every column object of every row, ordered
// by identifier, and of equal identifiers in tree order (rows in list
// order, then columns in list order).  Lookups on a big table then cost a
// search of the ordered entries instead of a visit of every row.
//
// The index is built by the first lookup on the table and afterwards kept in
// step by the tree itself: a column entering or leaving a row, a row's
// columns renewed for a new instance, a column's identifier renewed.
#ifndef NYSNMP_SRC_MIB_TABLE_INDEX_H
#define NYSNMP_SRC_MIB_TABLE_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "mib/node_parts.h"
#include "nymib.h"

namespace nymib {

class TableIndex {
public:
    explicit TableIndex(NyMibObject& table);

    // One column: the arcs right after the table's own (row, column and the
    // first instance arcs) are kept in the entry, so that most comparisons
    // are settled without visiting the node.  40 octets.
    struct Entry {
        static constexpr uint32_t kHead = 7;
        NyMibObject* column;
        uint32_t len; // all arcs of the column's identifier
        uint32_t head[kHead];
    };

    // The order of entries, given the number of the table's arcs (the same
    // for every entry, not compared).
    struct Order {
        uint32_t skip;
        bool operator()(const Entry& a, const Entry& b) const;
    };

    // Entries in order, in blocks of a bounded size: about the entries' own
    // size in memory, a search of the blocks then of one block, and an
    // insertion that moves at most one block's entries.
    class Entries {
    public:
        struct Position {
            size_t block;
            size_t item;
        };

        explicit Entries(Order order) : m_order(order) {}
        const Order& Ordering() const { return m_order; }

        // Entries in order, laid out in blocks with some room left.
        void Load(const std::vector<Entry>& sorted);
        void Insert(const Entry& entry);
        // Removes the entry `key` (found by its order); false when it is not
        // where its key says.
        bool Erase(const Entry& key);
        // Removes the entry of `column` wherever it is; false when none.
        bool EraseColumn(const NyMibObject* column);
        void Clear()
        {
            m_blocks.clear();
            m_lasts.clear();
        }
        bool Empty() const { return m_blocks.empty(); }

        Position Begin() const { return {0, 0}; }
        bool AtEnd(const Position& at) const { return at.block >= m_blocks.size(); }
        const Entry& At(const Position& at) const { return m_blocks[at.block]->items[at.item]; }
        void Advance(Position& at) const;
        // The first entry after `target` (an identifier under the table), the
        // first not before it; the first entry not before `entry`.
        Position UpperBound(const NYSMI_OID& target) const;
        Position LowerBound(const NYSMI_OID& target) const;
        Position LowerBound(const Entry& entry) const;

        template <class Visit>
        void ForEach(Visit visit) const
        {
            for (const auto& block : m_blocks) {
                for (uint32_t i = 0; i < block->count; ++i)
                    visit(block->items[i]);
            }
        }

    private:
        static constexpr uint32_t kBlock = 64;
        struct Block {
            uint32_t count = 0;
            Entry items[kBlock];
        };

        void EraseAt(size_t block, size_t item);
        void AddBlock(size_t at, std::unique_ptr<Block> block);
        void DropBlock(size_t at);
        // m_lasts follows the blocks around `at` after a change.
        void Refresh(size_t at);
        // The first entry for which `before` is false (entries for which it
        // holds come first).
        template <class Before>
        Position Search(Before before) const;

        Order m_order;
        std::vector<std::unique_ptr<Block>> m_blocks; // none empty
        std::vector<Entry> m_lasts;                   // each block's last entry, searched first
    };

    // Whether column `a` comes before column `b` in tree order (rows in list
    // order, then columns in list order).
    static bool TreeBefore(const NyMibObject* a, const NyMibObject* b);

    void Add(NyMibObject& column);
    // Sorts `entries` and lays them out in `into` at once.
    void Load(std::vector<Entry>& entries, Entries& into);
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
    bool UnderTable(const IdView& id) const;

    std::vector<uint32_t> m_table; // the table's arcs when the index was made
    Entries m_readable;            // readable value leaves
    Entries m_others;              // every other column
    // Columns whose identifiers do not begin with the table's (only a tree
    // changed behind its back has them): searched one by one.
    std::vector<NyMibObject*> m_strays;
};

} // namespace nymib

#endif
