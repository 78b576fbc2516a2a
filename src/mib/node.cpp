// The node of the MIB tree: construction, placement among siblings,
// identifiers, user fields and the default get/set.
#include "nymib.h"

#include <algorithm>
#include <cstdio>

#include "mib/mibcodes.h"

namespace {

const char* OrDefault(const char* text, const char* fallback) { return text ? text : fallback; }

} // namespace

NyMibObject::NyMibObject(char const* baseOidText)
    : m_parent(nullptr), m_owningList(nullptr), m_baseOidText(OrDefault(baseOidText, "0")),
      m_name("root"), m_oidText("0"), m_subId(0), m_syntax(nymib::kRegistration),
      m_access(nymib::kNotAccessible), m_intValues(nullptr), m_valueKind(nymib::kNoValue),
      m_isIndex(false), m_userEvents(0), m_userParam(0), m_userData(nullptr)
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
      m_userData(nullptr)
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
      m_userParam(0), m_userData(nullptr)
{
    // Identifier first: a sub-identifier that gives no valid text throws here,
    // before the parent's list has been touched.
    NyMibObject::UpdateOid();
    InsertOrdered();
}

NyMibObject::NyMibObject(const NyMibObject& other)
    : m_parent(other.m_parent), m_owningList(nullptr), m_children(other.m_children),
      m_baseOidText(other.m_baseOidText), m_name(other.m_name), m_oidText(other.m_oidText),
      m_subId(other.m_subId), m_entryTypeName(other.m_entryTypeName), m_syntax(other.m_syntax),
      m_access(other.m_access), m_typeName(other.m_typeName), m_description(other.m_description),
      m_intValues(other.m_intValues), m_valueKind(other.m_valueKind),
      m_isIndex(other.m_isIndex), m_userEvents(other.m_userEvents),
      m_userParam(other.m_userParam), m_userData(other.m_userData)
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
    return *this;
}

NyMibObject::~NyMibObject()
{
    if (m_owningList == nullptr)
        return;
    auto it = std::find(m_owningList->begin(), m_owningList->end(), this);
    if (it != m_owningList->end())
        m_owningList->erase(it);
}

// Siblings are kept in ascending sub-identifier order, a newcomer going after
// those with the same sub-identifier (so table rows stay in creation order).
// Only sub-identifiers are compared: every member of a sound children list
// shares the newcomer's parent, and a parentless member entered by the list
// constructor must not be dereferenced for its parent's text.
void NyMibObject::InsertOrdered()
{
    std::vector<NyMibObject*>& list = m_parent->m_children;
    auto it = std::find_if(list.begin(), list.end(),
                           [this](const NyMibObject* present) { return present->m_subId > m_subId; });
    list.insert(it, this);
    m_owningList = &list;
}

void NyMibObject::UpdateOid()
{
    if (m_parent != nullptr) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%d", m_subId);
        m_oidText = m_parent->m_oidText;
        m_oidText += suffix;
    }
    m_oid.Assign(m_oidText.c_str());
}

void NyMibObject::UpdateChildren()
{
    if (m_syntax == nymib::kTableRow)
        return;
    // Indexed afresh at every step: the calls may add children themselves.
    for (size_t i = 0; i < m_children.size(); ++i) {
        NyMibObject* child = m_children[i];
        child->UpdateOid();
        child->UpdateChildren();
    }
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
