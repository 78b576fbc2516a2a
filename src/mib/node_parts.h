// Internal: the parts of a node kept outside it (shared texts, what is made
// on first ask), the view of a node's identifier that lookups compare, and
// the library's own access to it that makes nothing.
#ifndef NYSNMP_SRC_MIB_NODE_PARTS_H
#define NYSNMP_SRC_MIB_NODE_PARTS_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "nymib.h"

namespace nymib {

// A number never handed out before in this process (stamps, list order).
uint64_t FreshStamp();
// Appends "." and the decimal form of `arc` (signed when `asSigned`).
void AppendArc(std::string& text, uint32_t arc, bool asSigned);

// The texts of a node, shared by every node constructed with the same ones
// (compared by content, not by address: the caller's buffers may change).
// Each text is interned on its own too, so that a description given to
// nodes of different names is still stored once.
struct NodeTexts {
    const char* name;
    const char* description;
    const char* typeName;
    const char* entryTypeName;
};

// The record for these texts (null pointers taken as the defaults), taken
// once more; every record taken is given back with ReleaseTexts.
const NodeTexts* InternTexts(const char* name, const char* description, const char* typeName,
                             const char* entryTypeName);
const NodeTexts* RetainTexts(const NodeTexts* texts);
void ReleaseTexts(const NodeTexts* texts);
// Records and texts held (for the tests).
size_t InternedCount();

// What a node makes when first asked; each part published on its own with
// a compare-and-swap, and freed with the node.
struct NodeExtras {
    std::atomic<char*> oidText{nullptr};
    std::atomic<char*> baseText{nullptr};
    std::atomic<NySnmpOid*> oid{nullptr};
    std::atomic<NySnmpVar*> trapVar{nullptr};
    std::atomic<NySnmpOid*> instance{nullptr}; // a row's Instance()
    // A table's own index, made by the first lookup.  Lookups only read the
    // tree, so two of them may run at once (the tree's changes never do).
    std::atomic<TableIndex*> tableIndex{nullptr};
    ~NodeExtras();
};

// Publishes `made` in `slot` unless another thread was first (then `made`
// is freed); returns what stands there.
template <class T, class Free>
T* Publish(std::atomic<T*>& slot, T* made, Free free)
{
    T* present = nullptr;
    if (slot.compare_exchange_strong(present, made, std::memory_order_acq_rel, std::memory_order_acquire))
        return made;
    free(made);
    return present;
}

// A node's identifier as it stands: the arcs at `ptr`, but for the one at
// `slot` (a column read from its row's arcs), which is `at`.
struct IdView {
    static constexpr uint32_t kNoSlot = UINT32_MAX;
    const uint32_t* ptr;
    uint32_t len;
    uint32_t slot;
    uint32_t at;
    uint32_t operator[](uint32_t i) const { return i == slot ? at : ptr[i]; }
};

inline IdView ViewOf(const NYSMI_OID& oid) { return {oid.ptr, oid.len, IdView::kNoSlot, 0}; }

// Where x and y first differ among arcs [from, to): -1 or 1, 0 if nowhere.
inline int FirstDifference(const uint32_t* x, const uint32_t* y, uint32_t from, uint32_t to)
{
    for (uint32_t i = from; i < to; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}

// The same between a view and plain arcs; the view's own slot, when among
// them, is compared on its own, so the rest runs over plain arrays.
inline int FirstDifference(const IdView& a, const uint32_t* b, uint32_t from, uint32_t to)
{
    if (a.slot < from || a.slot >= to)
        return FirstDifference(a.ptr, b, from, to);
    if (const int order = FirstDifference(a.ptr, b, from, a.slot))
        return order;
    if (a.at != b[a.slot])
        return a.at < b[a.slot] ? -1 : 1;
    return FirstDifference(a.ptr, b, a.slot + 1, to);
}

// Full order of identifiers: arcs as unsigned numbers, a prefix first.  The
// arcs before `from` are known to be the same and are not looked at.
inline int CompareIds(const IdView& a, const IdView& b, uint32_t from = 0)
{
    const uint32_t common = a.len < b.len ? a.len : b.len;
    if (b.slot >= common || b.slot < from) {
        if (const int order = FirstDifference(a, b.ptr, from, common))
            return order;
    } else {
        for (uint32_t i = from; i < common; ++i) {
            const uint32_t x = a[i];
            const uint32_t y = b[i];
            if (x != y)
                return x < y ? -1 : 1;
        }
    }
    if (a.len == b.len)
        return 0;
    return a.len < b.len ? -1 : 1;
}

// The order of NySnmpOid::Compare: with n not 0 (and at most both lengths)
// only the first n arcs are compared, otherwise the common part, then the
// lengths.
inline int CompareIds(const IdView& a, const NYSMI_OID& b, uint32_t n)
{
    const uint32_t span = (n != 0 && n <= a.len && n <= b.len) ? n : (a.len < b.len ? a.len : b.len);
    if (const int order = FirstDifference(a, b.ptr, 0, span))
        return order;
    if (n != 0) {
        if (span == n)
            return 0;
        return a.len < b.len ? -1 : 1;
    }
    if (a.len == b.len)
        return 0;
    return a.len < b.len ? -1 : 1;
}

// The library's own way into a node.
struct Access {
    // The identifier lookups answer by: the Oid() object when one was made
    // (a caller may have rewritten it), else the arcs the tree keeps.
    static IdView Identifier(const NyMibObject& node)
    {
        if (const NodeExtras* extras = node.m_extras.load(std::memory_order_acquire)) {
            if (const NySnmpOid* made = extras->oid.load(std::memory_order_acquire)) {
                const NYSMI_OID& oid = made->SmiOid();
                return {oid.ptr, oid.len, IdView::kNoSlot, 0};
            }
        }
        return Stored(node);
    }

    // The arcs the tree keeps for the node (its own, or its row's).
    static IdView Stored(const NyMibObject& node)
    {
        if (node.m_viaRow) {
            const auto* row = static_cast<const NyMibTableEntry*>(node.m_parent);
            return {row->m_block, row->m_blockLength, row->m_slot, static_cast<uint32_t>(node.m_subId)};
        }
        return {node.m_arcs, node.m_arcCount, IdView::kNoSlot, 0};
    }

    // The identifier written into `into`, without making the node's Oid().
    static void CopyIdentifier(const NyMibObject& node, NySnmpOid& into);

    // NySnmpOid::Compare(other, 0) of the node's identifier.
    static int Compare(const NyMibObject& node, const NySnmpOid& other)
    {
        return CompareIds(Identifier(node), other.SmiOid(), 0);
    }

    // A row's instance, the arcs after the column's place in its block.
    static NYSMI_OID InstanceOf(const NyMibTableEntry& row)
    {
        return NYSMI_OID{row.m_blockLength - row.m_slot - 1, row.m_block + row.m_slot + 1};
    }
    // A made Instance() object takes the row's instance.
    static void InstanceFollows(NyMibTableEntry& row);

    // Sequences, tables and traps show their type name as the entry type.
    static void TypeNameIsEntryType(NyMibObject& node);

    // The node's parts made on first ask, made now if need be.
    static NodeExtras& Extras(const NyMibObject& node);
    static NySnmpOid& MadeOid(const NyMibObject& node);
    static const char* CachedText(const NyMibObject& node);
    // The identifier text: the one kept, else as derived from the parent
    // (nothing is kept on the way).
    static std::string TextOf(const NyMibObject& node);
    static std::string DerivedText(const NyMibObject& node);

    // Changes (exclusive).
    static void SetArcs(NyMibObject& node, const IdView& arcs);
    static void StoreText(NyMibObject& node, const std::string& text);
    // Drops the identifier text, and with `base` the parent's too.
    static void DropTexts(NyMibObject& node, bool base = true);
    // A made Oid() object takes the identifier the tree keeps.
    static void MadeOidFollows(NyMibObject& node);
    // A column read from its row's arcs gets arcs of its own (the same).
    static void Detach(NyMibObject& column);
    // Detaches every column of `row` that reads its arcs.
    static void DetachColumns(NyMibObject& row);
    static void Release(NyMibObject& node);
};

// Arcs of an identifier laid out in one array: on the stack when short.
class ArcBuffer {
public:
    NYSMI_OID Of(const IdView& view);

private:
    uint32_t m_local[64];
    std::vector<uint32_t> m_wide;
};

} // namespace nymib

#endif
