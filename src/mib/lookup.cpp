// Finding nodes by object identifier: the exact node for Get and Set, the
// next readable leaf for GetNext.  Identifiers are compared in place; no
// lookup allocates.
#include "nymib.h"

#include "mib/mibcodes.h"

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

// Full lexicographic order of two identifiers known to share their first
// `from` arcs.
int CompareFrom(const NYSMI_OID& a, const NYSMI_OID& b, uint32_t from)
{
    const uint32_t common = a.len < b.len ? a.len : b.len;
    for (uint32_t i = from; i < common; ++i) {
        if (a.ptr[i] != b.ptr[i])
            return a.ptr[i] < b.ptr[i] ? -1 : 1;
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
// Identifiers are table.entry.column.instance; the tree keeps every column's
// identifier prefixed by its row's and every row's by the table's, and the
// columns of a row in ascending order.  So the first `tableLen` arcs are
// never compared again after the position test, and each row is searched
// for its first column past the target by bisection, starting at the column
// the target names.
NyMibObject* NyMibObject::TableWalk(NySnmpOid& target)
{
    const NYSMI_OID& wanted = target.SmiOid();
    const NYSMI_OID& table = m_oid.SmiOid();
    const uint32_t tableLen = table.len;
    const int position = CompareOid(table, wanted, tableLen);
    if (position < 0)
        return nullptr; // the target lies past the whole table
    const bool before = position > 0;

    // Columns are normally numbered 1, 2, 3 ... from the front of each row, so
    // the target's column arc tells where a row's search should start.
    size_t guess = 0;
    if (!before && wanted.len > tableLen + 1 && wanted.ptr[tableLen + 1] > 0)
        guess = wanted.ptr[tableLen + 1] - 1;

    NyMibObject* best = nullptr;
    for (NyMibObject* row : m_children) {
        const std::vector<NyMibObject*>& columns = row->m_children;
        const size_t count = columns.size();
        size_t first = 0;
        if (!before && count > 0) {
            // Invariant: columns below `low` precede or equal the target,
            // columns from `high` on follow it.
            size_t low = 0;
            size_t high = count;
            auto probe = [&](size_t i) {
                if (CompareFrom(columns[i]->m_oid.SmiOid(), wanted, tableLen) <= 0)
                    low = i + 1;
                else
                    high = i;
            };
            const size_t start = guess < count ? guess : count - 1;
            probe(start);
            if (low == start + 1 && low < count)
                probe(low);
            else if (high == start && start > 0)
                probe(start - 1);
            while (low < high)
                probe(low + (high - low) / 2);
            first = low;
        }
        for (size_t i = first; i < count; ++i) {
            NyMibObject* column = columns[i];
            if (!IsReadableLeaf(column))
                continue;
            if (best == nullptr ||
                CompareFrom(column->m_oid.SmiOid(), best->m_oid.SmiOid(), tableLen) < 0)
                best = column;
            break;
        }
    }
    // Only a tree whose identifiers were changed behind its back could break
    // the ordering above; even then, never answer with a preceding object.
    if (best != nullptr && CompareOid(best->m_oid.SmiOid(), wanted, 0) <= 0)
        return nullptr;
    return best;
}
