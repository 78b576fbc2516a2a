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

NyMibTableEntry::NyMibTableEntry(char const* name, NyMibTable& table, int subId,
                                 char const* description, NyMibIntValues* intValues,
                                 char const* rowTypeName)
    : NyMibSequence(name, table, subId, nymib::kTableRow, nymib::kNotAccessible, description,
                    intValues, rowTypeName)
{
    m_instance.Assign("0");
}

// The copy's list holds the source's columns, which go on reading the
// source's arcs; the copy has none for them until its own renewal.
NyMibTableEntry::NyMibTableEntry(const NyMibTableEntry& other) : NyMibSequence(other)
{
    m_instance = other.m_instance;
}

NyMibTableEntry& NyMibTableEntry::operator=(const NyMibTableEntry& other)
{
    if (this != &other) {
        NyMibSequence::operator=(other);
        m_instance = other.m_instance;
    }
    return *this;
}

// Columns that outlive their row keep their identifiers.
NyMibTableEntry::~NyMibTableEntry()
{
    Access::DetachColumns(*this);
    delete[] m_block;
}

void NyMibTableEntry::SetInstanceNumber(NYSMI_OID& instance)
{
    // Parsed aside first: a refused instance leaves the row as it was, so the
    // columns' identifiers keep matching the row's instance.
    NySnmpOid fresh;
    fresh.Assign(instance);
    UseInstance(fresh);
}

void NyMibTableEntry::SetInstanceNumber(int instance)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", instance);
    NySnmpOid fresh;
    fresh.Assign(text);
    UseInstance(fresh);
}

void NyMibTableEntry::UseInstance(const NySnmpOid& instance)
{
    m_instance = instance;
    // A new stamp, so that every column is renewed; the parent is not told:
    // the row renews its columns right here.
    m_stamp = nymib::FreshStamp();
    UpdateChildren();
}

namespace {

// What renewing a column changed about it: its identifier, its text, both
// or neither.  A column whose text was never asked for has nothing to
// compare.
bool TextDiffers(const NyMibObject& column, const std::string& text)
{
    const char* kept = Access::CachedText(column);
    return kept != nullptr && text != kept;
}

} // namespace

// Each column answers for one instance: row identifier, column number,
// instance arcs.  The identifier is built from the arcs themselves, so any
// instance length and arcs above 2^31 - 1 are kept exactly; the text shows
// every arc unsigned.  The row's own columns keep no arcs: they read them
// from the row's block (row identifier, a place for the column, instance),
// which this renewal lays out.  A column already renewed for this row
// identifier and instance is left alone, so renewing an unchanged row costs
// nothing.
void NyMibTableEntry::UpdateChildren()
{
    if (m_settledStamp == m_stamp && m_settledCount == m_children.size())
        return;
    nymib::ArcBuffer rowBuffer;
    const NYSMI_OID row = rowBuffer.Of(Access::Identifier(*this));
    const NYSMI_OID& instance = m_instance.SmiOid();
    const uint32_t length = row.len + 1 + instance.len;
    const bool moved = m_block == nullptr || m_blockLength != length || m_slot != row.len ||
                       !std::equal(row.ptr, row.ptr + row.len, m_block) ||
                       !std::equal(instance.ptr, instance.ptr + instance.len, m_block + row.len + 1);
    if (moved) {
        // Every column reading the block changes identifier at once: out of
        // the index under the old one, back in under the new one.
        std::unique_ptr<uint32_t[]> block(new uint32_t[length]);
        std::copy(row.ptr, row.ptr + row.len, block.get());
        block[row.len] = 0;
        std::copy(instance.ptr, instance.ptr + instance.len, block.get() + row.len + 1);
        for (NyMibObject* column : m_children) {
            if (column->m_viaRow && column->m_parent == this)
                column->IndexRemove();
        }
        delete[] m_block;
        m_block = block.release();
        m_blockLength = length;
        m_slot = row.len;
        for (NyMibObject* column : m_children) {
            if (column->m_viaRow && column->m_parent == this) {
                Access::MadeOidFollows(*column);
                Access::DropTexts(*column);
                column->IndexAdd();
                column->m_stamp = nymib::FreshStamp();
            }
        }
    }
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
            bool sameText = true;
            if (Access::CachedText(*column) != nullptr) {
                const bool via = column->m_viaRow;
                column->m_viaRow = true; // the text the block gives
                const std::string text = Access::DerivedText(*column);
                column->m_viaRow = via;
                sameText = !TextDiffers(*column, text);
            }
            if (sameArcs && sameText) {
                if (!wasViaRow) {
                    Access::SetArcs(*column, IdView{nullptr, 0, IdView::kNoSlot, 0});
                    column->m_viaRow = true;
                }
                continue;
            }
            column->IndexRemove();
            Access::SetArcs(*column, IdView{nullptr, 0, IdView::kNoSlot, 0});
            column->m_viaRow = true;
            Access::MadeOidFollows(*column);
            Access::DropTexts(*column);
            column->IndexAdd();
            column->m_stamp = nymib::FreshStamp();
            continue;
        }
        // A node of another row listed here (this row is a copy): arcs and
        // text of its own, as this row gives them.
        if (suffix.empty()) {
            for (uint32_t a = 0; a < instance.len; ++a)
                nymib::AppendArc(suffix, instance.ptr[a], false);
        }
        std::string text = Access::TextOf(*this);
        nymib::AppendArc(text, static_cast<uint32_t>(column->m_subId), true);
        text += suffix;
        if (sameArcs && !TextDiffers(*column, text) && Access::CachedText(*column) != nullptr)
            continue;
        column->IndexRemove();
        Access::SetArcs(*column, wanted);
        Access::MadeOidFollows(*column);
        Access::DropTexts(*column);
        Access::StoreText(*column, text);
        column->IndexAdd();
        column->m_stamp = nymib::FreshStamp();
    }
    m_settledStamp = m_stamp;
    m_settledCount = m_children.size();
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
