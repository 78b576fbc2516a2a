// Sequences, tables, table rows, traps and registration records.
#include "nymib.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "mib/mibcodes.h"
#include "mib/node_parts.h"
#include "mib/table_index.h"

using nymib::Access;
using nymib::IdView;

NyMibSequence::NyMibSequence(char const* name, NyMibObject& parent, int subId, uint32_t syntax,
                             int access, char const* description, NyMibIntValues* intValues,
                             char const* typeName)
    : NyMibObject(name, parent, subId, syntax, access, description, intValues, typeName)
{
    Access::TypeNameIsEntryType(*this);
}

NyMibTable::NyMibTable(char const* name, NyMibObject& parent, int subId, char const* description,
                       NyMibIntValues* intValues, char const* rowTypeName)
    : NyMibObject(name, parent, subId, nymib::kTable, nymib::kNotAccessible, description,
                  intValues, rowTypeName)
{
    Access::TypeNameIsEntryType(*this);
}

namespace {

// A block for `row` arcs, the column's place and `instance`.
std::unique_ptr<uint32_t[]> LayOut(const NYSMI_OID& row, const NYSMI_OID& instance)
{
    std::unique_ptr<uint32_t[]> block(new uint32_t[row.len + 1 + instance.len]);
    std::copy(row.ptr, row.ptr + row.len, block.get());
    block[row.len] = 0;
    std::copy(instance.ptr, instance.ptr + instance.len, block.get() + row.len + 1);
    return block;
}

// Whether a column's kept text differs from `text`; a column whose text was
// never asked for has nothing to compare.
bool TextDiffers(const NyMibObject& column, const std::string& text)
{
    const char* kept = Access::CachedText(column);
    return kept != nullptr && text != kept;
}

} // namespace

NyMibTableEntry::NyMibTableEntry(char const* name, NyMibTable& table, int subId,
                                 char const* description, NyMibIntValues* intValues,
                                 char const* rowTypeName)
    : NyMibSequence(name, table, subId, nymib::kTableRow, nymib::kNotAccessible, description,
                    intValues, rowTypeName)
{
    nymib::ArcBuffer buffer;
    uint32_t zero = 0;
    const NYSMI_OID row = buffer.Of(Access::Identifier(*this));
    m_block = LayOut(row, NYSMI_OID{1, &zero}).release(); // instance 0
    m_blockLength = row.len + 2;
    m_slot = row.len;
}

// The copy's list holds the source's columns, which go on reading the
// source's arcs; the copy's own block has the source's instance.
NyMibTableEntry::NyMibTableEntry(const NyMibTableEntry& other) : NyMibSequence(other)
{
    m_block = new uint32_t[other.m_blockLength];
    std::copy(other.m_block, other.m_block + other.m_blockLength, m_block);
    m_blockLength = other.m_blockLength;
    m_slot = other.m_slot;
}

NyMibTableEntry& NyMibTableEntry::operator=(const NyMibTableEntry& other)
{
    if (this != &other) {
        std::unique_ptr<uint32_t[]> block(new uint32_t[other.m_blockLength]);
        std::copy(other.m_block, other.m_block + other.m_blockLength, block.get());
        NyMibSequence::operator=(other); // this row's columns read their own arcs from here on
        delete[] m_block;
        m_block = block.release();
        m_blockLength = other.m_blockLength;
        m_slot = other.m_slot;
        Access::InstanceFollows(*this);
    }
    return *this;
}

// Columns that outlive their row keep their identifiers.
NyMibTableEntry::~NyMibTableEntry()
{
    Access::DetachColumns(*this);
    delete[] m_block;
}

const NySnmpOid& NyMibTableEntry::Instance() const
{
    nymib::NodeExtras& extras = Access::Extras(*this);
    if (NySnmpOid* made = extras.instance.load(std::memory_order_acquire))
        return *made;
    auto fresh = std::make_unique<NySnmpOid>();
    fresh->Assign(Access::InstanceOf(*this));
    return *nymib::Publish(extras.instance, fresh.release(), [](NySnmpOid* lost) { delete lost; });
}

void NyMibTableEntry::SetInstanceNumber(NYSMI_OID& instance)
{
    // Copied aside first: a refused instance leaves the row as it was, so the
    // columns' identifiers keep matching the row's instance.
    NySnmpOid fresh;
    fresh.Assign(instance);
    // A new stamp, so that every column is renewed; the parent is not told:
    // the row renews its columns right here.
    m_stamp = nymib::FreshStamp();
    Renew(&fresh.SmiOid());
}

void NyMibTableEntry::SetInstanceNumber(int instance)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", instance);
    NySnmpOid fresh;
    fresh.Assign(text);
    m_stamp = nymib::FreshStamp();
    Renew(&fresh.SmiOid());
}

void NyMibTableEntry::UpdateChildren()
{
    if (m_settledStamp == m_stamp && m_settledCount == m_children.size())
        return;
    Renew(nullptr);
}

// Each column answers for one instance: row identifier, column number,
// instance arcs.  The identifier is built from the arcs themselves, so any
// instance length and arcs above 2^31 - 1 are kept exactly; the text shows
// every arc unsigned.  The row's own columns keep no arcs: they read them
// from the row's block (row identifier, a place for the column, instance),
// laid out here for the row's identifier and `instance` (null: the one it
// has).  A column already renewed for this row identifier and instance is
// left alone, so renewing an unchanged row costs nothing.
void NyMibTableEntry::Renew(const NYSMI_OID* instance)
{
    nymib::ArcBuffer rowBuffer;
    const NYSMI_OID row = rowBuffer.Of(Access::Identifier(*this));
    const NYSMI_OID present = Access::InstanceOf(*this);
    const NYSMI_OID& wantedInstance = instance ? *instance : present;
    const bool rowMoved = m_slot != row.len || !std::equal(row.ptr, row.ptr + row.len, m_block);
    const bool moved = rowMoved || present.len != wantedInstance.len ||
                       !std::equal(present.ptr, present.ptr + present.len, wantedInstance.ptr);
    if (moved) {
        // Every column reading the block changes identifier at once: out of
        // the index under the old one, back in under the new one.
        std::unique_ptr<uint32_t[]> block = LayOut(row, wantedInstance);
        for (NyMibObject* column : m_children) {
            if (column->m_viaRow && column->m_parent == this)
                column->IndexRemove();
        }
        delete[] m_block;
        m_block = block.release();
        m_blockLength = row.len + 1 + wantedInstance.len;
        m_slot = row.len;
        Access::InstanceFollows(*this);
        for (NyMibObject* column : m_children) {
            if (column->m_viaRow && column->m_parent == this) {
                Access::MadeOidFollows(*column);
                Access::DropTexts(*column, rowMoved); // the row's text is the base
                column->IndexAdd();
                column->m_stamp = nymib::FreshStamp();
            }
        }
    }
    const IdView none{nullptr, 0, IdView::kNoSlot, 0};
    std::string suffix; // the instance in text, for columns of another row
    for (size_t i = 0; i < m_children.size(); ++i) {
        NyMibObject* column = m_children[i];
        // A column renewed here reports a later change of its own identifier
        // (its UpdateOid called directly) back up, so that the next pass
        // over the table renews it again.
        const bool mine = column->m_parent == this;
        column->m_settledInParent = mine;
        if (column->m_fromRow && column->m_basedOn == m_stamp)
            continue;
        column->m_basedOn = m_stamp;
        column->m_fromRow = true;
        const IdView wanted{m_block, m_blockLength, m_slot, static_cast<uint32_t>(column->m_subId)};
        const bool sameArcs = nymib::CompareIds(Access::Identifier(*column), wanted) == 0;
        if (mine) {
            // From now on read from the block; made objects and texts follow.
            const bool wasViaRow = column->m_viaRow;
            column->m_viaRow = true;
            const bool sameText = Access::CachedText(*column) == nullptr ||
                                  !TextDiffers(*column, Access::DerivedText(*column));
            column->m_viaRow = wasViaRow;
            const bool same = sameArcs && sameText;
            if (!same)
                column->IndexRemove();
            if (!wasViaRow) {
                Access::SetArcs(*column, none);
                column->m_viaRow = true;
            }
            if (!same) {
                Access::MadeOidFollows(*column);
                Access::DropTexts(*column, false);
                column->IndexAdd();
                column->m_stamp = nymib::FreshStamp();
            }
            continue;
        }
        // A node of another row listed here (this row is a copy): arcs and
        // text of its own, as this row gives them.
        if (suffix.empty()) {
            for (uint32_t a = m_slot + 1; a < m_blockLength; ++a)
                nymib::AppendArc(suffix, m_block[a], false);
        }
        std::string text = Access::TextOf(*this);
        nymib::AppendArc(text, static_cast<uint32_t>(column->m_subId), true);
        text += suffix;
        if (sameArcs && Access::CachedText(*column) != nullptr && !TextDiffers(*column, text))
            continue;
        column->IndexRemove();
        Access::SetArcs(*column, wanted);
        Access::MadeOidFollows(*column);
        Access::StoreText(*column, text);
        column->IndexAdd();
        column->m_stamp = nymib::FreshStamp();
    }
    m_settledStamp = m_stamp;
    m_settledCount = static_cast<uint32_t>(m_children.size());
}

NyMibTrap::NyMibTrap(char const* name, NyMibObject& parent, int subId, char const* description,
                     NyMibIntValues* intValues, char const* typeName)
    : NyMibObject(name, parent, subId, nymib::kTrap, nymib::kNotAccessible, description,
                  intValues, typeName)
{
    parent.UpdateChildren();
    Access::TypeNameIsEntryType(*this);
}

NyMibRegInfo::NyMibRegInfo(NyMibObject& object, int priority, int action)
    : m_priority(priority), m_object(object), m_action(action)
{
}

NyMibRegInfo::NyMibRegInfo(const NyMibRegInfo& other)
    : m_priority(other.m_priority), m_object(other.m_object), m_action(other.m_action)
{
}

NyMibRegInfo::~NyMibRegInfo() = default;

NyMibObject& NyMibRegInfo::Object() { return m_object; }

int NyMibRegInfo::Priority() { return m_priority; }

int NyMibRegInfo::Action() { return m_action; }
