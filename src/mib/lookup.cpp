// Finding nodes by object identifier: the exact node for Get and Set, the
// next readable leaf for GetNext.  Identifiers are compared in place; no
// lookup allocates.
#include "nymib.h"

#include <algorithm>
#include <mutex>

#include "mib/mibcodes.h"
#include "mib/node_parts.h"
#include "mib/table_index.h"

namespace {

using nymib::Access;
using nymib::CompareIds;
using nymib::IdView;

bool IsReadableLeaf(const NyMibObject* node)
{
    return nymib::IsValueLeaf(node->Syntax()) && nymib::IsReadable(node->Access());
}

} // namespace

NyMibObject* NyMibObject::Find(NySnmpOid& target)
{
    const NYSMI_OID& wanted = target.SmiOid();
    if (CompareIds(Access::Identifier(*this), wanted, wanted.len) == 0)
        return this;
    if (m_syntax == nymib::kTable)
        return TableFind(target);
    for (NyMibObject* child : m_children) {
        if (NyMibObject* found = child->Find(target))
            return found;
    }
    return nullptr;
}

NyMibObject* NyMibObject::FindNext(NySnmpOid& target)
{
    if (nymib::IsValueLeaf(m_syntax) && nymib::IsReadable(m_access) &&
        CompareIds(Access::Identifier(*this), target.SmiOid(), 0) > 0)
        return this;
    if (m_syntax == nymib::kTable)
        return TableWalk(target);
    // Every identifier below this node begins with its own: a subtree that
    // lies wholly before the target holds nothing after it.  A walk through
    // a big tree no longer visits every node ahead of the one it is at.
    const IdView own = Access::Identifier(*this);
    if (own.len != 0 && CompareIds(own, target.SmiOid(), own.len) < 0)
        return nullptr;
    for (NyMibObject* child : m_children) {
        NyMibObject* next = child->FindNext(target);
        if (next != nullptr && nymib::IsValueLeaf(next->Syntax()))
            return next;
    }
    return nullptr;
}

// The next readable column object of a table: among the readable value
// leaves of all rows, the one with the least identifier that follows the
// target; of equal identifiers, the first row in list order.  The result
// walks a table column by column, each column down its rows in instance
// order, whatever the lengths of the instances or where the target points.
//
// The columns of all rows stand in the table's index in exactly that order,
// so the answer is the first readable entry past the target.
NyMibObject* NyMibObject::TableWalk(NySnmpOid& target)
{
    const NYSMI_OID& wanted = target.SmiOid();
    const IdView table = Access::Identifier(*this);
    const int position = CompareIds(table, wanted, table.len);
    if (position < 0)
        return nullptr; // the target lies past the whole table
    NyMibObject* best = Indexed()->Next(wanted);
    // Only a tree whose identifiers were changed behind its back could break
    // the ordering above; even then, never answer with a preceding object.
    if (best != nullptr && CompareIds(Access::Identifier(*best), wanted, 0) <= 0)
        return nullptr;
    return best;
}

// Find below a table (the table itself did not match): the first node in
// pre-order whose identifier begins with the target.  A target that reaches
// into the instance arcs can only be matched by columns (rows are shorter),
// so the index answers it unless some column has nodes of its own.
NyMibObject* NyMibObject::TableFind(NySnmpOid& target)
{
    const NYSMI_OID& wanted = target.SmiOid();
    if (wanted.len > Access::Identifier(*this).len + 2) {
        nymib::TableIndex* index = Indexed();
        if (index->deep == 0)
            return index->FirstWithPrefix(wanted);
    }
    for (NyMibObject* child : m_children) {
        if (NyMibObject* found = child->Find(target))
            return found;
    }
    return nullptr;
}

nymib::TableIndex* NyMibObject::TableIndexOf()
{
    if (!m_inIndex)
        return nullptr;
    const nymib::NodeExtras* extras = m_parent->m_parent->m_extras.load(std::memory_order_acquire);
    return extras ? extras->tableIndex.load(std::memory_order_relaxed) : nullptr;
}

// The table's index, made now if this is the first lookup.  Only one of
// several lookups running at once makes it; the others wait for it.
nymib::TableIndex* NyMibObject::Indexed()
{
    if (const nymib::NodeExtras* extras = m_extras.load(std::memory_order_acquire)) {
        if (nymib::TableIndex* index = extras->tableIndex.load(std::memory_order_acquire))
            return index;
    }
    std::atomic<nymib::TableIndex*>& slot = Access::Extras(*this).tableIndex;
    static std::mutex making;
    std::lock_guard<std::mutex> guard(making);
    nymib::TableIndex* index = slot.load(std::memory_order_relaxed);
    if (index == nullptr) {
        index = new nymib::TableIndex(*this);
        slot.store(index, std::memory_order_release);
    }
    return index;
}

// Enters this node in its table's index when it is a column of a row of a
// table whose index exists.
void NyMibObject::IndexAdd()
{
    if (m_inIndex || m_parent == nullptr || m_owningList != &m_parent->m_children)
        return;
    NyMibObject* table = m_parent->m_parent;
    if (table == nullptr || m_parent->m_owningList != &table->m_children)
        return;
    const nymib::NodeExtras* extras = table->m_extras.load(std::memory_order_acquire);
    if (nymib::TableIndex* index = extras ? extras->tableIndex.load(std::memory_order_relaxed) : nullptr)
        index->Add(*this);
}

void NyMibObject::IndexRemove()
{
    if (nymib::TableIndex* index = TableIndexOf())
        index->Remove(*this);
    m_inIndex = false;
}

void NyMibObject::DropTableIndex()
{
    nymib::NodeExtras* extras = m_extras.load(std::memory_order_acquire);
    nymib::TableIndex* index = extras ? extras->tableIndex.exchange(nullptr, std::memory_order_acq_rel) : nullptr;
    if (index == nullptr)
        return;
    index->Release();
    delete index;
}

namespace nymib {

namespace {

uint32_t HeadLength(const TableIndex::Entry& entry, uint32_t skip)
{
    const uint32_t tail = entry.len - skip;
    return tail < TableIndex::Entry::kHead ? tail : TableIndex::Entry::kHead;
}

// Order of an entry against an identifier under the table: the head first,
// the rest from the node.  Inlined into the searches, which call it some
// twenty times per lookup.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline int CompareTail(const TableIndex::Entry& a, const NYSMI_OID& b, uint32_t skip)
{
    const uint32_t aTail = a.len - skip;
    const uint32_t headLen = aTail < TableIndex::Entry::kHead ? aTail : TableIndex::Entry::kHead;
    const uint32_t bLen = b.len - skip;
    const uint32_t* bTail = b.ptr + skip;
    const uint32_t n = headLen < bLen ? headLen : bLen;
    for (uint32_t i = 0; i < n; ++i) {
        if (a.head[i] != bTail[i])
            return a.head[i] < bTail[i] ? -1 : 1;
    }
    if (headLen < TableIndex::Entry::kHead || bLen <= headLen)
        return a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
    return CompareIds(Access::Identifier(*a.column), nymib::ViewOf(b), skip + TableIndex::Entry::kHead);
}

std::vector<uint32_t> ArcsOf(const NyMibObject& node)
{
    const IdView id = Access::Identifier(node);
    std::vector<uint32_t> arcs(id.len);
    for (uint32_t i = 0; i < id.len; ++i)
        arcs[i] = id[i];
    return arcs;
}

} // namespace

TableIndex::TableIndex(NyMibObject& table)
    : m_table(ArcsOf(table)), m_readable(Order{static_cast<uint32_t>(m_table.size())}),
      m_others(Order{static_cast<uint32_t>(m_table.size())})
{
    // Gathered, sorted once and laid out: much faster than entering the
    // columns one by one, and the blocks come out evenly filled.
    std::vector<Entry> readable;
    std::vector<Entry> others;
    for (NyMibObject* row : table.m_children) {
        if (row->m_parent != &table || row->m_owningList != &table.m_children)
            continue;
        for (NyMibObject* column : row->m_children) {
            if (column->m_parent != row || column->m_owningList != &row->m_children)
                continue;
            if (UnderTable(Access::Identifier(*column)))
                (IsReadableLeaf(column) ? readable : others).push_back(EntryOf(*column));
            else
                m_strays.push_back(column);
            deep += column->m_children.size();
            column->m_inIndex = true;
        }
    }
    Load(readable, m_readable);
    Load(others, m_others);
}

void TableIndex::Load(std::vector<Entry>& entries, Entries& into)
{
    std::sort(entries.begin(), entries.end(), into.Ordering());
    into.Load(entries);
}

bool TableIndex::UnderTable(const NYSMI_OID& oid) const
{
    const uint32_t n = static_cast<uint32_t>(m_table.size());
    return oid.len >= n && std::equal(m_table.begin(), m_table.end(), oid.ptr);
}

bool TableIndex::UnderTable(const IdView& id) const
{
    const uint32_t n = static_cast<uint32_t>(m_table.size());
    if (id.len < n)
        return false;
    for (uint32_t i = 0; i < n; ++i) {
        if (id[i] != m_table[i])
            return false;
    }
    return true;
}

TableIndex::Entry TableIndex::EntryOf(NyMibObject& column) const
{
    const IdView id = Access::Identifier(column);
    Entry entry{};
    entry.column = &column;
    entry.len = id.len;
    const uint32_t skip = static_cast<uint32_t>(m_table.size());
    const uint32_t headLen = HeadLength(entry, skip);
    for (uint32_t i = 0; i < headLen; ++i)
        entry.head[i] = id[skip + i];
    return entry;
}

bool TableIndex::Order::operator()(const Entry& a, const Entry& b) const
{
    const uint32_t aHead = HeadLength(a, skip);
    const uint32_t bHead = HeadLength(b, skip);
    const uint32_t n = std::min(aHead, bHead);
    for (uint32_t i = 0; i < n; ++i) {
        if (a.head[i] != b.head[i])
            return a.head[i] < b.head[i];
    }
    int order;
    if (aHead < Entry::kHead || bHead < Entry::kHead)
        order = a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
    else
        order = CompareIds(Access::Identifier(*a.column), Access::Identifier(*b.column), skip + Entry::kHead);
    if (order != 0)
        return order < 0;
    return TreeBefore(a.column, b.column);
}

bool TableIndex::TreeBefore(const NyMibObject* a, const NyMibObject* b)
{
    const NyMibObject* rowA = a->m_parent;
    const NyMibObject* rowB = b->m_parent;
    if (rowA != rowB) {
        if (rowA->m_subId != rowB->m_subId)
            return rowA->m_subId < rowB->m_subId;
        return rowA->m_sequence < rowB->m_sequence;
    }
    if (a->m_subId != b->m_subId)
        return a->m_subId < b->m_subId;
    return a->m_sequence < b->m_sequence;
}

template <class Before>
TableIndex::Entries::Position TableIndex::Entries::Search(Before before) const
{
    // The first block whose last entry is not before holds the answer.
    size_t low = 0;
    size_t high = m_lasts.size();
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (before(m_lasts[mid]))
            low = mid + 1;
        else
            high = mid;
    }
    if (low == m_lasts.size())
        return {low, 0};
    const Block& block = *m_blocks[low];
    uint32_t first = 0;
    uint32_t last = block.count - 1; // the last is not before
    while (first < last) {
        const uint32_t mid = first + (last - first) / 2;
        if (before(block.items[mid]))
            first = mid + 1;
        else
            last = mid;
    }
    return {low, first};
}

namespace {

// Whether the column of an entry begins with a target under the table (the
// table's arcs are the same): the head first, the rest from the node.
bool BeginsWith(const TableIndex::Entry& entry, const NYSMI_OID& target, uint32_t skip)
{
    if (entry.len < target.len)
        return false;
    const uint32_t tail = target.len - skip;
    const uint32_t head = HeadLength(entry, skip);
    const uint32_t n = tail < head ? tail : head;
    for (uint32_t i = 0; i < n; ++i) {
        if (entry.head[i] != target.ptr[skip + i])
            return false;
    }
    return tail <= head ||
           nymib::FirstDifference(Access::Identifier(*entry.column), target.ptr, skip + head, target.len) == 0;
}

// Entries before a target: all of them up to (upper bound) or short of it.
struct TargetAfter {
    const NYSMI_OID& target;
    uint32_t skip;
    int limit; // 0: entries equal to the target count as before
#if defined(__GNUC__)
    __attribute__((always_inline))
#endif
    bool operator()(const TableIndex::Entry& e) const
    {
        return CompareTail(e, target, skip) < limit;
    }
};

} // namespace

TableIndex::Entries::Position TableIndex::Entries::UpperBound(const NYSMI_OID& target) const
{
    return Search(TargetAfter{target, m_order.skip, 1});
}

TableIndex::Entries::Position TableIndex::Entries::LowerBound(const NYSMI_OID& target) const
{
    return Search(TargetAfter{target, m_order.skip, 0});
}

TableIndex::Entries::Position TableIndex::Entries::LowerBound(const Entry& entry) const
{
    return Search([this, &entry](const Entry& e) { return m_order(e, entry); });
}

void TableIndex::Entries::AddBlock(size_t at, std::unique_ptr<Block> block)
{
    m_lasts.insert(m_lasts.begin() + static_cast<std::ptrdiff_t>(at), block->items[block->count - 1]);
    m_blocks.insert(m_blocks.begin() + static_cast<std::ptrdiff_t>(at), std::move(block));
}

void TableIndex::Entries::DropBlock(size_t at)
{
    m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(at));
    m_lasts.erase(m_lasts.begin() + static_cast<std::ptrdiff_t>(at));
}

void TableIndex::Entries::Refresh(size_t at)
{
    for (size_t b = at > 0 ? at - 1 : 0; b <= at + 1 && b < m_blocks.size(); ++b)
        m_lasts[b] = m_blocks[b]->items[m_blocks[b]->count - 1];
}

void TableIndex::Entries::Load(const std::vector<Entry>& sorted)
{
    // Seven eighths full: room for entries that come later without a split.
    constexpr uint32_t kFill = kBlock - kBlock / 8;
    Clear();
    for (size_t from = 0; from < sorted.size(); from += kFill) {
        auto block = std::make_unique<Block>();
        block->count = static_cast<uint32_t>(std::min<size_t>(kFill, sorted.size() - from));
        std::copy(sorted.begin() + static_cast<std::ptrdiff_t>(from),
                  sorted.begin() + static_cast<std::ptrdiff_t>(from + block->count), block->items);
        AddBlock(m_blocks.size(), std::move(block));
    }
}

void TableIndex::Entries::Insert(const Entry& entry)
{
    if (m_blocks.empty()) {
        auto first = std::make_unique<Block>();
        first->items[0] = entry;
        first->count = 1;
        AddBlock(0, std::move(first));
        return;
    }
    Position at = LowerBound(entry);
    if (at.block == m_blocks.size()) {
        at.block = m_blocks.size() - 1;
        at.item = m_blocks[at.block]->count;
    }
    // The front of a block is also the end of the one before: an entry
    // goes there while it has room.
    if (at.item == 0 && at.block > 0 && m_blocks[at.block - 1]->count < kBlock) {
        --at.block;
        at.item = m_blocks[at.block]->count;
    }
    size_t b = at.block;
    uint32_t p = static_cast<uint32_t>(at.item);
    Block* block = m_blocks[b].get();
    if (block->count == kBlock) {
        // Full: a neighbour with room takes some of its entries (so that
        // blocks stay well filled whatever the order entries come in), else
        // it is split in two.
        Block* left = b > 0 ? m_blocks[b - 1].get() : nullptr;
        Block* right = b + 1 < m_blocks.size() ? m_blocks[b + 1].get() : nullptr;
        if (left != nullptr && left->count < kBlock && p > 0) {
            const uint32_t move = std::min((kBlock - left->count + 1) / 2, p);
            std::copy(block->items, block->items + move, left->items + left->count);
            left->count += move;
            std::copy(block->items + move, block->items + kBlock, block->items);
            block->count -= move;
            p -= move;
        } else if (right != nullptr && right->count < kBlock && p < kBlock) {
            const uint32_t move = std::min((kBlock - right->count + 1) / 2, kBlock - p);
            std::copy_backward(right->items, right->items + right->count, right->items + right->count + move);
            std::copy(block->items + kBlock - move, block->items + kBlock, right->items);
            right->count += move;
            block->count -= move;
        } else if (p == kBlock) {
            auto next = std::make_unique<Block>();
            next->items[0] = entry;
            next->count = 1;
            AddBlock(b + 1, std::move(next));
            Refresh(b);
            return;
        } else {
            auto next = std::make_unique<Block>();
            constexpr uint32_t half = kBlock / 2;
            std::copy(block->items + half, block->items + kBlock, next->items);
            next->count = kBlock - half;
            block->count = half;
            Block* second = next.get();
            AddBlock(b + 1, std::move(next));
            if (p > half) {
                block = second;
                p -= half;
                ++b;
            }
        }
    }
    std::copy_backward(block->items + p, block->items + block->count, block->items + block->count + 1);
    block->items[p] = entry;
    ++block->count;
    Refresh(b);
}

bool TableIndex::Entries::Erase(const Entry& key)
{
    if (key.column != nullptr) {
        Position at = LowerBound(key);
        if (!AtEnd(at) && At(at).column == key.column) {
            EraseAt(at.block, at.item);
            return true;
        }
    }
    return false;
}

bool TableIndex::Entries::EraseColumn(const NyMibObject* column)
{
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        for (uint32_t i = 0; i < m_blocks[b]->count; ++i) {
            if (m_blocks[b]->items[i].column == column) {
                EraseAt(b, i);
                return true;
            }
        }
    }
    return false;
}

void TableIndex::Entries::EraseAt(size_t block, size_t item)
{
    Block& from = *m_blocks[block];
    std::copy(from.items + item + 1, from.items + from.count, from.items + item);
    --from.count;
    if (from.count == 0) {
        DropBlock(block);
        return;
    }
    // Two neighbours that fit in half a block become one.
    if (block + 1 < m_blocks.size() && from.count + m_blocks[block + 1]->count <= kBlock / 2) {
        Block& next = *m_blocks[block + 1];
        std::copy(next.items, next.items + next.count, from.items + from.count);
        from.count += next.count;
        DropBlock(block + 1);
    }
    Refresh(block);
}

void TableIndex::Entries::Advance(Position& at) const
{
    if (++at.item >= m_blocks[at.block]->count) {
        ++at.block;
        at.item = 0;
    }
}

void TableIndex::Add(NyMibObject& column)
{
    if (UnderTable(Access::Identifier(column))) {
        const Entry entry = EntryOf(column);
        (IsReadableLeaf(&column) ? m_readable : m_others).Insert(entry);
    } else {
        m_strays.push_back(&column);
    }
    deep += column.m_children.size();
    column.m_inIndex = true;
}

void TableIndex::Remove(NyMibObject& column)
{
    auto stray = std::find(m_strays.begin(), m_strays.end(), &column);
    if (stray != m_strays.end()) {
        m_strays.erase(stray);
    } else {
        Entries& likely = IsReadableLeaf(&column) ? m_readable : m_others;
        Entries& other = &likely == &m_readable ? m_others : m_readable;
        const bool keyed = UnderTable(Access::Identifier(column));
        // Found by its key, unless its identifier was changed behind the
        // tree's back; then by a visit of all, so that no entry outlives its
        // node.
        const Entry key = keyed ? EntryOf(column) : Entry{nullptr, 0, {}};
        if (!likely.Erase(key) && !other.Erase(key) && !likely.EraseColumn(&column))
            other.EraseColumn(&column);
    }
    deep -= std::min(deep, column.m_children.size());
    column.m_inIndex = false;
}

void TableIndex::Release()
{
    for (const Entries* set : {&m_readable, &m_others})
        set->ForEach([](const Entry& entry) { entry.column->m_inIndex = false; });
    for (NyMibObject* column : m_strays)
        column->m_inIndex = false;
    m_readable.Clear();
    m_others.Clear();
    m_strays.clear();
}

NyMibObject* TableIndex::Next(const NYSMI_OID& target) const
{
    NyMibObject* best = nullptr;
    if (target.len <= m_table.size() || !UnderTable(target)) {
        // Before the table (the caller has ruled out past it) or the table
        // itself, where walks start: the first column.
        if (!m_readable.Empty())
            best = m_readable.At(m_readable.Begin()).column;
    } else {
        const Entries::Position at = m_readable.UpperBound(target);
        if (!m_readable.AtEnd(at))
            best = m_readable.At(at).column;
    }
    for (NyMibObject* column : m_strays) {
        const IdView id = Access::Identifier(*column);
        if (!IsReadableLeaf(column) || CompareIds(id, target, 0) <= 0)
            continue;
        if (best == nullptr) {
            best = column;
            continue;
        }
        const int order = CompareIds(id, Access::Identifier(*best));
        if (order < 0 || (order == 0 && TreeBefore(column, best)))
            best = column;
    }
    return best;
}

NyMibObject* TableIndex::FirstWithPrefix(const NYSMI_OID& target) const
{
    // The matches form one run of the order; the first of them in tree order
    // is the answer (instances 1 and 1.2 both begin with 1).
    NyMibObject* best = nullptr;
    if (UnderTable(target)) {
        const uint32_t skip = static_cast<uint32_t>(m_table.size());
        for (const Entries* set : {&m_readable, &m_others}) {
            if (set->Empty())
                continue;
            for (Entries::Position at = set->LowerBound(target); !set->AtEnd(at); set->Advance(at)) {
                const Entry& entry = set->At(at);
                if (!BeginsWith(entry, target, skip))
                    break;
                if (best == nullptr || TreeBefore(entry.column, best))
                    best = entry.column;
            }
        }
    }
    for (NyMibObject* column : m_strays) {
        if (CompareIds(Access::Identifier(*column), target, target.len) == 0 &&
            (best == nullptr || TreeBefore(column, best)))
            best = column;
    }
    return best;
}

} // namespace nymib
