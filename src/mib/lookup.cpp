// Finding nodes by object identifier: the exact node for Get and Set, the
// next readable leaf for GetNext.  Identifiers are compared in place; no
// lookup allocates.
#include "nymib.h"

#include <algorithm>
#include <mutex>

#include "mib/mibcodes.h"
#include "mib/table_index.h"

namespace {

// Order of object identifiers with the rule of NySnmpOid::Compare: with n not
// 0 (and at most both lengths) only the first n arcs are compared, otherwise
// the common part, then the lengths.  Arcs compare as unsigned numbers.
int CompareOid(const NYSMI_OID& a, const NYSMI_OID& b, uint32_t n)
{
    const uint32_t span = (n != 0 && n <= a.len && n <= b.len) ? n : (a.len < b.len ? a.len : b.len);
    for (uint32_t i = 0; i < span; ++i) {
        if (a.ptr[i] != b.ptr[i])
            return a.ptr[i] < b.ptr[i] ? -1 : 1;
    }
    if (n != 0) {
        if (span == n)
            return 0;
        return a.len < b.len ? -1 : 1;
    }
    if (a.len == b.len)
        return 0;
    return a.len < b.len ? -1 : 1;
}

bool IsReadableLeaf(NyMibObject* node)
{
    return nymib::IsValueLeaf(node->Syntax()) && nymib::IsReadable(node->Access());
}

} // namespace

NyMibObject* NyMibObject::Find(NySnmpOid& target)
{
    const NYSMI_OID& wanted = target.SmiOid();
    if (CompareOid(m_oid.SmiOid(), wanted, wanted.len) == 0)
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
        CompareOid(m_oid.SmiOid(), target.SmiOid(), 0) > 0)
        return this;
    if (m_syntax == nymib::kTable)
        return TableWalk(target);
    // Every identifier below this node begins with its own: a subtree that
    // lies wholly before the target holds nothing after it.  A walk through
    // a big tree no longer visits every node ahead of the one it is at.
    const NYSMI_OID& own = m_oid.SmiOid();
    if (own.len != 0 && CompareOid(own, target.SmiOid(), own.len) < 0)
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
    const NYSMI_OID& table = m_oid.SmiOid();
    const int position = CompareOid(table, wanted, table.len);
    if (position < 0)
        return nullptr; // the target lies past the whole table
    NyMibObject* best = Indexed()->Next(wanted);
    // Only a tree whose identifiers were changed behind its back could break
    // the ordering above; even then, never answer with a preceding object.
    if (best != nullptr && CompareOid(best->m_oid.SmiOid(), wanted, 0) <= 0)
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
    if (wanted.len > m_oid.SmiOid().len + 2) {
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
    return m_parent->m_parent->m_tableIndex.load(std::memory_order_relaxed);
}

// The table's index, made now if this is the first lookup.  Only one of
// several lookups running at once makes it; the others wait for it.
nymib::TableIndex* NyMibObject::Indexed()
{
    nymib::TableIndex* index = m_tableIndex.load(std::memory_order_acquire);
    if (index != nullptr)
        return index;
    static std::mutex making;
    std::lock_guard<std::mutex> guard(making);
    index = m_tableIndex.load(std::memory_order_relaxed);
    if (index == nullptr) {
        index = new nymib::TableIndex(*this);
        m_tableIndex.store(index, std::memory_order_release);
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
    if (nymib::TableIndex* index = table->m_tableIndex.load(std::memory_order_relaxed))
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
    nymib::TableIndex* index = m_tableIndex.exchange(nullptr, std::memory_order_acq_rel);
    if (index == nullptr)
        return;
    index->Release();
    delete index;
}

namespace nymib {

TableIndex::TableIndex(NyMibObject& table)
    : m_table(table.m_oid.SmiOid().ptr, table.m_oid.SmiOid().ptr + table.m_oid.SmiOid().len)
{
    for (NyMibObject* row : table.m_children) {
        if (row->m_parent != &table || row->m_owningList != &table.m_children)
            continue;
        for (NyMibObject* column : row->m_children) {
            if (column->m_parent == row && column->m_owningList == &row->m_children)
                Add(*column);
        }
    }
}

bool TableIndex::UnderTable(const NYSMI_OID& oid) const
{
    const uint32_t n = static_cast<uint32_t>(m_table.size());
    return oid.len >= n && std::equal(m_table.begin(), m_table.end(), oid.ptr);
}

TableIndex::Entry TableIndex::EntryOf(NyMibObject& column) const
{
    const NYSMI_OID& oid = column.m_oid.SmiOid();
    Entry entry{};
    entry.column = &column;
    entry.len = oid.len;
    entry.skip = static_cast<uint32_t>(m_table.size());
    entry.headLen = std::min(Entry::kHead, oid.len - entry.skip);
    std::copy(oid.ptr + entry.skip, oid.ptr + entry.skip + entry.headLen, entry.head);
    return entry;
}

namespace {

// Order of the arcs after the table's: the head first, the rest from the node.
int CompareTail(const TableIndex::Entry& a, const NYSMI_OID& b)
{
    const uint32_t bLen = b.len - a.skip;
    const uint32_t n = std::min(a.headLen, bLen);
    for (uint32_t i = 0; i < n; ++i) {
        if (a.head[i] != b.ptr[a.skip + i])
            return a.head[i] < b.ptr[a.skip + i] ? -1 : 1;
    }
    if (a.headLen < TableIndex::Entry::kHead || bLen <= a.headLen)
        return a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
    return CompareArcs(a.column->Oid().SmiOid(), b);
}

} // namespace

bool TableIndex::Order::operator()(const Entry& a, const Entry& b) const
{
    const uint32_t n = std::min(a.headLen, b.headLen);
    for (uint32_t i = 0; i < n; ++i) {
        if (a.head[i] != b.head[i])
            return a.head[i] < b.head[i];
    }
    int order;
    if (a.headLen < Entry::kHead || b.headLen < Entry::kHead)
        order = a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
    else
        order = CompareArcs(a.column->m_oid.SmiOid(), b.column->m_oid.SmiOid());
    if (order != 0)
        return order < 0;
    return TreeBefore(a.column, b.column);
}

bool TableIndex::Order::operator()(const Entry& a, const NYSMI_OID& b) const
{
    return CompareTail(a, b) < 0;
}

bool TableIndex::Order::operator()(const NYSMI_OID& a, const Entry& b) const
{
    return CompareTail(b, a) > 0;
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

void TableIndex::Add(NyMibObject& column)
{
    if (UnderTable(column.m_oid.SmiOid())) {
        const Entry entry = EntryOf(column);
        m_all.insert(entry);
        if (IsReadableLeaf(&column))
            m_readable.insert(entry);
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
        // Found by its key, unless its identifier was changed behind the
        // tree's back; then by a search of the whole set, so that no entry
        // outlives its node.
        const bool readable = IsReadableLeaf(&column);
        const bool keyed = UnderTable(column.m_oid.SmiOid());
        for (auto* set : {&m_all, &m_readable}) {
            if (set == &m_readable && !readable)
                break;
            auto it = keyed ? set->find(EntryOf(column)) : set->end();
            if (it == set->end())
                it = std::find_if(set->begin(), set->end(),
                                  [&column](const Entry& e) { return e.column == &column; });
            if (it != set->end())
                set->erase(it);
        }
    }
    deep -= std::min(deep, column.m_children.size());
    column.m_inIndex = false;
}

void TableIndex::Release()
{
    for (const Entry& entry : m_all)
        entry.column->m_inIndex = false;
    for (NyMibObject* column : m_strays)
        column->m_inIndex = false;
    m_all.clear();
    m_readable.clear();
    m_strays.clear();
}

NyMibObject* TableIndex::Next(const NYSMI_OID& target) const
{
    NyMibObject* best = nullptr;
    if (!UnderTable(target)) {
        // Before the table (the caller has ruled out past it): the first column.
        if (!m_readable.empty())
            best = m_readable.begin()->column;
    } else {
        auto it = m_readable.upper_bound(target);
        if (it != m_readable.end())
            best = it->column;
    }
    for (NyMibObject* column : m_strays) {
        if (!IsReadableLeaf(column) || CompareArcs(column->m_oid.SmiOid(), target) <= 0)
            continue;
        if (best == nullptr) {
            best = column;
            continue;
        }
        const int order = CompareArcs(column->m_oid.SmiOid(), best->m_oid.SmiOid());
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
        for (auto it = m_all.lower_bound(target); it != m_all.end(); ++it) {
            if (CompareOid(it->column->m_oid.SmiOid(), target, target.len) != 0)
                break;
            if (best == nullptr || TreeBefore(it->column, best))
                best = it->column;
        }
    }
    for (NyMibObject* column : m_strays) {
        if (CompareOid(column->m_oid.SmiOid(), target, target.len) == 0 &&
            (best == nullptr || TreeBefore(column, best)))
            best = column;
    }
    return best;
}

} // namespace nymib
