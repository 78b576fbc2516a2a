// Sequences, tables, table rows, traps and registration records.
#include "nymib.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "mib/mibcodes.h"
#include "mib/table_index.h"

NyMibSequence::NyMibSequence(char const* name, NyMibObject& parent, int subId, uint32_t syntax,
                             int access, char const* description, NyMibIntValues* intValues,
                             char const* typeName)
    : NyMibObject(name, parent, subId, syntax, access, description, intValues, typeName)
{
    m_entryTypeName = m_typeName;
}

NyMibTable::NyMibTable(char const* name, NyMibObject& parent, int subId, char const* description,
                       NyMibIntValues* intValues, char const* rowTypeName)
    : NyMibObject(name, parent, subId, nymib::kTable, nymib::kNotAccessible, description,
                  intValues, rowTypeName)
{
    m_entryTypeName = m_typeName;
}

NyMibTableEntry::NyMibTableEntry(char const* name, NyMibTable& table, int subId,
                                 char const* description, NyMibIntValues* intValues,
                                 char const* rowTypeName)
    : NyMibSequence(name, table, subId, nymib::kTableRow, nymib::kNotAccessible, description,
                    intValues, rowTypeName)
{
    m_instance.Assign("0");
}

NyMibTableEntry::NyMibTableEntry(const NyMibTableEntry& other) : NyMibSequence(other)
{
    m_instance = other.m_instance;
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

// Each column answers for one instance: row identifier, column number,
// instance arcs.  The identifier is built from the arcs themselves, so any
// instance length and arcs above 2^31 - 1 are kept exactly; the text shows
// every arc unsigned.  A column already renewed for this row identifier and
// instance is left alone, so renewing an unchanged row costs nothing.
void NyMibTableEntry::UpdateChildren()
{
    if (m_settledStamp == m_stamp && m_settledCount == m_children.size())
        return;
    const NYSMI_OID& row = m_oid.SmiOid();
    const NYSMI_OID& instance = m_instance.SmiOid();
    std::vector<uint32_t> arcs;
    std::string suffix;
    std::string text;
    for (size_t i = 0; i < m_children.size(); ++i) {
        NyMibObject* column = m_children[i];
        // A column renewed here reports a later change of its own identifier
        // (its UpdateOid called directly) back up, so that the next pass
        // over the table renews it again.
        column->m_settledInParent = column->m_parent == this;
        if (column->m_fromRow && column->m_basedOn == m_stamp)
            continue;
        if (suffix.empty()) {
            for (uint32_t a = 0; a < instance.len; ++a)
                nymib::AppendArc(suffix, instance.ptr[a], false);
            arcs.reserve(row.len + 1 + instance.len);
        }
        arcs.assign(row.ptr, row.ptr + row.len);
        arcs.push_back(static_cast<uint32_t>(column->m_subId));
        arcs.insert(arcs.end(), instance.ptr, instance.ptr + instance.len);
        text = m_oidText;
        nymib::AppendArc(text, static_cast<uint32_t>(column->m_subId), true);
        text += suffix;
        const NYSMI_OID record{static_cast<uint32_t>(arcs.size()), arcs.data()};
        column->m_basedOn = m_stamp;
        column->m_fromRow = true;
        const NYSMI_OID& present = column->m_oid.SmiOid();
        if (present.len == record.len &&
            std::equal(record.ptr, record.ptr + record.len, present.ptr) && text == column->m_oidText)
            continue;
        column->IndexRemove();
        column->m_oid.Assign(record);
        column->m_oidText.swap(text);
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
    m_entryTypeName = m_typeName;
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
