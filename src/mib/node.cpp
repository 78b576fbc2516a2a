// The node of the MIB tree: construction, placement among siblings,
// identifiers, user fields and the default get/set.
#include "nymib.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "mib/mibcodes.h"
#include "mib/table_index.h"

namespace {

const char* OrDefault(const char* text, const char* fallback) { return text ? text : fallback; }

bool SameArcs(const NYSMI_OID& a, const NYSMI_OID& b)
{
    return a.len == b.len && (a.len == 0 || std::memcmp(a.ptr, b.ptr, a.len * sizeof(uint32_t)) == 0);
}

} // namespace

namespace nymib {

// Stamps and list sequence numbers: unique over all trees of the process.
uint64_t FreshStamp()
{
    static std::atomic<uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

// Appends "." and the decimal form of `arc` (signed when `asSigned`).
void AppendArc(std::string& text, uint32_t arc, bool asSigned)
{
    char number[16];
    const int n = asSigned ? std::snprintf(number, sizeof number, ".%d", static_cast<int32_t>(arc))
                           : std::snprintf(number, sizeof number, ".%u", arc);
    text.append(number, static_cast<size_t>(n));
}

} // namespace nymib

NyMibObject::NyMibObject(char const* baseOidText)
    : m_parent(nullptr), m_owningList(nullptr), m_baseOidText(OrDefault(baseOidText, "0")),
      m_name("root"), m_oidText("0"), m_subId(0), m_syntax(nymib::kRegistration),
      m_access(nymib::kNotAccessible), m_intValues(nullptr), m_valueKind(nymib::kNoValue),
      m_isIndex(false), m_userEvents(0), m_userParam(0), m_userData(nullptr),
      m_stamp(nymib::FreshStamp()), m_basedOn(0), m_settledStamp(0), m_settledCount(0), m_sequence(nymib::FreshStamp()),
      m_fromRow(false), m_settledInParent(false), m_inIndex(false), m_tableIndex(nullptr)
{
}

NyMibObject::NyMibObject(char const* name, char const* oidText, std::vector<NyMibObject*>* list,
                         uint32_t syntax, int access, char const* description,
                         NyMibIntValues* intValues, char const* typeName)
    : m_parent(nullptr), m_owningList(nullptr), m_baseOidText("0"),
      m_name(OrDefault(name, "unkown")), m_oidText(OrDefault(oidText, "0")), m_subId(0),
      m_syntax(syntax), m_access(access), m_typeName(OrDefault(typeName, "")),
      m_description(OrDefault(description, "")), m_intValues(intValues),
      m_valueKind(nymib::kNoValue), m_isIndex(false), m_userEvents(0), m_userParam(0),
      m_userData(nullptr),
      m_stamp(nymib::FreshStamp()), m_basedOn(0), m_settledStamp(0), m_settledCount(0), m_sequence(nymib::FreshStamp()),
      m_fromRow(false), m_settledInParent(false), m_inIndex(false), m_tableIndex(nullptr)
{
    // The identifier is parsed before the node enters the list, so that a bad
    // text leaves no pointer to a half-built node behind.
    m_oid.Assign(m_oidText.c_str());
    list->push_back(this);
    m_owningList = list;
}

NyMibObject::NyMibObject(char const* name, NyMibObject& parent, int subId, uint32_t syntax,
                         int access, char const* description, NyMibIntValues* intValues,
                         char const* typeName)
    : m_parent(&parent), m_owningList(nullptr), m_baseOidText(parent.m_oidText),
      m_name(OrDefault(name, "unkown")), m_subId(subId), m_syntax(syntax), m_access(access),
      m_typeName(OrDefault(typeName, "")), m_description(OrDefault(description, "")),
      m_intValues(intValues), m_valueKind(nymib::kNoValue), m_isIndex(false), m_userEvents(0),
      m_userParam(0), m_userData(nullptr),
      m_stamp(nymib::FreshStamp()), m_basedOn(0), m_settledStamp(0), m_settledCount(0), m_sequence(nymib::FreshStamp()),
      m_fromRow(false), m_settledInParent(false), m_inIndex(false), m_tableIndex(nullptr)
{
    // Identifier first: a sub-identifier that gives no valid text throws here,
    // before the parent's list has been touched.
    NyMibObject::UpdateOid();
    InsertOrdered();
    IndexAdd();
}

NyMibObject::NyMibObject(const NyMibObject& other)
    : m_parent(other.m_parent), m_owningList(nullptr), m_children(other.m_children),
      m_baseOidText(other.m_baseOidText), m_name(other.m_name), m_oidText(other.m_oidText),
      m_subId(other.m_subId), m_entryTypeName(other.m_entryTypeName), m_syntax(other.m_syntax),
      m_access(other.m_access), m_typeName(other.m_typeName), m_description(other.m_description),
      m_intValues(other.m_intValues), m_valueKind(other.m_valueKind),
      m_isIndex(other.m_isIndex), m_userEvents(other.m_userEvents),
      m_userParam(other.m_userParam), m_userData(other.m_userData),
      m_stamp(nymib::FreshStamp()), m_basedOn(0), m_settledStamp(0), m_settledCount(0), m_sequence(nymib::FreshStamp()),
      m_fromRow(false), m_settledInParent(false), m_inIndex(false), m_tableIndex(nullptr)
{
    // Assignment, not copy construction: the identifier of a root and the
    // trap binding of any node may be empty, which the copy constructors of
    // the value classes refuse.  A copy enters no list, so its destructor has
    // no list to leave (the source's list may be gone by then).
    m_oid = other.m_oid;
    m_trapVar = other.m_trapVar;
}

NyMibObject& NyMibObject::operator=(const NyMibObject& other)
{
    if (this == &other)
        return *this;
    // The node may stand somewhere else in the tree now: its index entry and
    // its own index go, and whatever holds it renews it next time.
    IndexRemove();
    DropTableIndex();
    if (m_parent)
        m_parent->DropTableIndex(); // this row's columns are ordered by its place
    if (m_parent && m_owningList == &m_parent->m_children)
        m_parent->Unsettle(0);
    // Everything but the owning list: this node stays entered where it was,
    // so that its destructor still takes it out of that list.
    m_oid = other.m_oid;
    m_parent = other.m_parent;
    m_children = other.m_children;
    m_baseOidText = other.m_baseOidText;
    m_name = other.m_name;
    m_oidText = other.m_oidText;
    m_subId = other.m_subId;
    m_entryTypeName = other.m_entryTypeName;
    m_syntax = other.m_syntax;
    m_access = other.m_access;
    m_typeName = other.m_typeName;
    m_description = other.m_description;
    m_intValues = other.m_intValues;
    m_valueKind = other.m_valueKind;
    m_trapVar = other.m_trapVar;
    m_isIndex = other.m_isIndex;
    m_userEvents = other.m_userEvents;
    m_userParam = other.m_userParam;
    m_userData = other.m_userData;
    m_stamp = nymib::FreshStamp();
    m_basedOn = 0;
    m_fromRow = false;
    m_settledStamp = 0;
    m_settledCount = 0;
    m_settledInParent = false;
    IndexAdd();
    return *this;
}

NyMibObject::~NyMibObject()
{
    IndexRemove();
    DropTableIndex();
    if (m_owningList == nullptr)
        return;
    auto it = std::find(m_owningList->begin(), m_owningList->end(), this);
    if (it == m_owningList->end())
        return;
    if (m_parent && m_owningList == &m_parent->m_children) {
        // The siblings keep their identifiers: the parent stays as settled as it was.
        const size_t position = static_cast<size_t>(it - m_owningList->begin());
        if (position < m_parent->m_settledCount)
            --m_parent->m_settledCount;
        if (m_parent->m_inIndex) {
            if (nymib::TableIndex* index = m_parent->TableIndexOf())
                --index->deep;
        }
    }
    m_owningList->erase(it);
}

// Siblings are kept in ascending sub-identifier order, a newcomer going after
// those with the same sub-identifier (so table rows stay in creation order).
// Only sub-identifiers are compared: every member of a sound children list
// shares the newcomer's parent, and a parentless member entered by the list
// constructor must not be dereferenced for its parent's text.  The search
// runs from the back: rows are added at the end, and a table of thousands of
// rows is not walked for each of them.
void NyMibObject::InsertOrdered()
{
    std::vector<NyMibObject*>& list = m_parent->m_children;
    size_t position = list.size();
    while (position > 0 && list[position - 1]->m_subId > m_subId)
        --position;
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(position), this);
    m_owningList = &list;
    m_sequence = nymib::FreshStamp();
    m_parent->Unsettle(position);
    if (m_parent->m_inIndex) {
        if (nymib::TableIndex* index = m_parent->TableIndexOf())
            ++index->deep;
    }
}

// The children from `position` on need the next UpdateChildren() of this
// node, and this node needs its parent's, and so on up.
void NyMibObject::Unsettle(size_t position)
{
    if (position < m_settledCount)
        m_settledCount = position;
    NyMibObject* node = this;
    while (node->m_settledInParent && node->m_parent != nullptr) {
        node->m_settledInParent = false;
        NyMibObject* parent = node->m_parent;
        const std::vector<NyMibObject*>& siblings = parent->m_children;
        auto it = std::find(siblings.begin(), siblings.end(), node);
        const size_t at = static_cast<size_t>(it - siblings.begin());
        if (at < parent->m_settledCount)
            parent->m_settledCount = at;
        node = parent;
    }
}

// The identifier changed: the children follow at the next UpdateChildren()
// of this node, which the parent's next pass now makes.
void NyMibObject::Changed()
{
    m_stamp = nymib::FreshStamp();
    DropTableIndex(); // a table's index is keyed under the table's old identifier
    Unsettle(m_settledCount);
}

void NyMibObject::UpdateOid()
{
    if (m_parent == nullptr) {
        // A top-level node re-reads its own text.
        const NySnmpOid before = m_oid.SmiOid().len ? m_oid : NySnmpOid();
        m_oid.Assign(m_oidText.c_str());
        if (!SameArcs(before.SmiOid(), m_oid.SmiOid()))
            Changed();
        return;
    }
    if (!m_fromRow && m_basedOn != 0 && m_basedOn == m_parent->m_stamp)
        return; // derived from this very identifier of the parent already

    std::string text = m_parent->m_oidText;
    nymib::AppendArc(text, static_cast<uint32_t>(m_subId), true);
    const NYSMI_OID& above = m_parent->m_oid.SmiOid();
    if (m_subId < 0 || above.len == 0) {
        // No arcs to extend (a root's "0"), or a sub-identifier the text form
        // refuses: the text is parsed, and a bad one throws from the parser.
        IndexRemove();
        m_oidText = text;
        m_oid.Assign(m_oidText.c_str());
        IndexAdd();
        m_basedOn = m_parent->m_stamp;
        m_fromRow = false;
        Changed();
        return;
    }
    uint32_t local[64];
    std::vector<uint32_t> wide;
    uint32_t* arcs = local;
    if (above.len + 1 > 64) {
        wide.resize(above.len + 1);
        arcs = wide.data();
    }
    std::memcpy(arcs, above.ptr, above.len * sizeof(uint32_t));
    arcs[above.len] = static_cast<uint32_t>(m_subId);
    const NYSMI_OID fresh{above.len + 1, arcs};
    m_basedOn = m_parent->m_stamp;
    m_fromRow = false;
    if (SameArcs(fresh, m_oid.SmiOid()) && text == m_oidText)
        return;
    IndexRemove();
    m_oidText.swap(text);
    m_oid.Assign(fresh);
    IndexAdd();
    Changed();
}

void NyMibObject::UpdateChildren()
{
    if (m_syntax == nymib::kTableRow)
        return;
    // Children before m_settledCount were renewed for this very identifier
    // and nothing below them changed since: only the others are visited.
    // Indexed afresh at every step: the calls may add children themselves.
    size_t i = m_settledStamp == m_stamp ? std::min(m_settledCount, m_children.size()) : 0;
    m_settledStamp = m_stamp;
    m_settledCount = i;
    bool own = true;
    for (; i < m_children.size(); ++i) {
        NyMibObject* child = m_children[i];
        // A top-level node of a root, or a child of the node this one was
        // copied from, has no way back up: this node never settles.
        const bool mine = child->m_parent == this;
        if (mine)
            child->m_settledInParent = false;
        child->UpdateOid();
        child->UpdateChildren();
        if (mine)
            child->m_settledInParent = true;
        else
            own = false;
        if (m_settledCount == i)
            m_settledCount = i + 1;
    }
    if (!own || m_settledStamp != m_stamp)
        m_settledCount = 0;
}

void NyMibObject::UseAsIndex(bool isIndex) { m_isIndex = isIndex; }

bool NyMibObject::IsAnIndex() { return m_isIndex; }

void NyMibObject::SetUserEvents(int32_t events, int32_t param, void* data)
{
    m_userEvents = events;
    m_userParam = param;
    m_userData = data;
}

int32_t NyMibObject::UserEvents() { return m_userEvents; }

int32_t NyMibObject::UserParam() { return m_userParam; }

void* NyMibObject::UserData() { return m_userData; }

int NyMibObject::get(NySnmpValue&) { return nymib::kBadValue; }

int NyMibObject::set(NySnmpValue const&, bool) { return nymib::kBadValue; }

NySnmpOid& NyMibObject::Oid() { return m_oid; }
