// The node of the MIB tree: construction, placement among siblings,
// identifiers, what is made on first ask, user fields and the default
// get/set.
#include "nymib.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "mib/mibcodes.h"
#include "mib/node_parts.h"
#include "mib/table_index.h"

using nymib::Access;
using nymib::IdView;

namespace {

char* CopyOf(const std::string& text)
{
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

const char* PublishText(std::atomic<char*>& slot, const std::string& text)
{
    return nymib::Publish(slot, CopyOf(text), [](char* lost) { delete[] lost; });
}

void DropText(std::atomic<char*>& slot)
{
    delete[] slot.exchange(nullptr, std::memory_order_acq_rel);
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

NodeExtras::~NodeExtras()
{
    delete[] oidText.load(std::memory_order_relaxed);
    delete[] baseText.load(std::memory_order_relaxed);
    delete oid.load(std::memory_order_relaxed);
    delete trapVar.load(std::memory_order_relaxed);
    delete instance.load(std::memory_order_relaxed);
}

NYSMI_OID ArcBuffer::Of(const IdView& view)
{
    if (view.slot >= view.len)
        return NYSMI_OID{view.len, const_cast<uint32_t*>(view.ptr)};
    uint32_t* arcs = m_local;
    if (view.len > sizeof m_local / sizeof m_local[0]) {
        m_wide.resize(view.len);
        arcs = m_wide.data();
    }
    std::memcpy(arcs, view.ptr, view.len * sizeof(uint32_t));
    arcs[view.slot] = view.at;
    return NYSMI_OID{view.len, arcs};
}

void Access::CopyIdentifier(const NyMibObject& node, NySnmpOid& into)
{
    ArcBuffer buffer;
    const NYSMI_OID arcs = buffer.Of(Identifier(node));
    if (arcs.len == 0)
        into.Erase();
    else
        into.Assign(arcs);
}

void Access::TypeNameIsEntryType(NyMibObject& node)
{
    const NodeTexts* old = node.m_texts;
    node.m_texts = InternTexts(old->name, old->description, old->typeName, old->typeName);
    ReleaseTexts(old);
}

NodeExtras& Access::Extras(const NyMibObject& node)
{
    NodeExtras* extras = node.m_extras.load(std::memory_order_acquire);
    if (extras != nullptr)
        return *extras;
    return *nymib::Publish(node.m_extras, new NodeExtras, [](NodeExtras* lost) { delete lost; });
}

NySnmpOid& Access::MadeOid(const NyMibObject& node)
{
    NodeExtras& extras = Extras(node);
    if (NySnmpOid* made = extras.oid.load(std::memory_order_acquire))
        return *made;
    auto fresh = std::make_unique<NySnmpOid>();
    ArcBuffer buffer;
    const NYSMI_OID arcs = buffer.Of(Stored(node));
    if (arcs.len != 0)
        fresh->Assign(arcs);
    return *nymib::Publish(extras.oid, fresh.release(), [](NySnmpOid* lost) { delete lost; });
}

const char* Access::CachedText(const NyMibObject& node)
{
    const NodeExtras* extras = node.m_extras.load(std::memory_order_acquire);
    return extras ? extras->oidText.load(std::memory_order_acquire) : nullptr;
}

std::string Access::TextOf(const NyMibObject& node)
{
    if (const char* text = CachedText(node))
        return text;
    return DerivedText(node);
}

// The parent's text and the sub-identifier, for a column also the instance
// from its row: what the tree wrote when it renewed the node.
std::string Access::DerivedText(const NyMibObject& node)
{
    if (node.m_parent == nullptr)
        return "0"; // a root; top-level nodes keep the text they were given
    std::string text = TextOf(*node.m_parent);
    AppendArc(text, static_cast<uint32_t>(node.m_subId), true);
    if (node.m_viaRow) {
        const auto* row = static_cast<const NyMibTableEntry*>(node.m_parent);
        for (uint32_t i = row->m_slot + 1; i < row->m_blockLength; ++i)
            AppendArc(text, row->m_block[i], false);
    }
    return text;
}

void Access::SetArcs(NyMibObject& node, const IdView& view)
{
    uint32_t* arcs = nullptr;
    if (view.len != 0) {
        arcs = new uint32_t[view.len];
        for (uint32_t i = 0; i < view.len; ++i)
            arcs[i] = view[i];
    }
    delete[] node.m_arcs;
    node.m_arcs = arcs;
    node.m_arcCount = view.len;
    node.m_viaRow = false;
}

void Access::StoreText(NyMibObject& node, const std::string& text)
{
    NodeExtras& extras = Extras(node);
    DropText(extras.oidText);
    extras.oidText.store(CopyOf(text), std::memory_order_release);
}

void Access::DropTexts(NyMibObject& node, bool base)
{
    if (NodeExtras* extras = node.m_extras.load(std::memory_order_acquire)) {
        DropText(extras->oidText);
        if (base)
            DropText(extras->baseText);
    }
}

void Access::MadeOidFollows(NyMibObject& node)
{
    NodeExtras* extras = node.m_extras.load(std::memory_order_acquire);
    NySnmpOid* made = extras ? extras->oid.load(std::memory_order_acquire) : nullptr;
    if (made == nullptr)
        return;
    ArcBuffer buffer;
    const NYSMI_OID arcs = buffer.Of(Stored(node));
    if (arcs.len == 0)
        made->Erase();
    else
        made->Assign(arcs);
}

void Access::InstanceFollows(NyMibTableEntry& row)
{
    NodeExtras* extras = row.m_extras.load(std::memory_order_acquire);
    if (NySnmpOid* made = extras ? extras->instance.load(std::memory_order_acquire) : nullptr)
        made->Assign(InstanceOf(row));
}

void Access::Detach(NyMibObject& column)
{
    if (column.m_viaRow)
        SetArcs(column, Stored(column));
}

void Access::DetachColumns(NyMibObject& row)
{
    for (NyMibObject* child : row.m_children) {
        if (child->m_parent == &row)
            Detach(*child);
    }
}

void Access::Release(NyMibObject& node)
{
    delete[] node.m_arcs;
    node.m_arcs = nullptr;
    node.m_arcCount = 0;
    delete node.m_extras.exchange(nullptr, std::memory_order_acq_rel);
    ReleaseTexts(node.m_texts);
    node.m_texts = nullptr;
}

} // namespace nymib

NyMibObject::NyMibObject(char const* baseOidText)
    : m_parent(nullptr), m_owningList(nullptr), m_intValues(nullptr), m_userData(nullptr), m_subId(0),
      m_syntax(nymib::kRegistration), m_access(nymib::kNotAccessible), m_valueKind(nymib::kNoValue),
      m_userEvents(0), m_userParam(0), m_isIndex(false), m_fromRow(false), m_viaRow(false),
      m_settledInParent(false), m_inIndex(false), m_arcCount(0), m_settledCount(0), m_arcs(nullptr), m_texts(nullptr),
      m_stamp(nymib::FreshStamp()), m_basedOn(0), m_settledStamp(0), m_sequence(nymib::FreshStamp()), m_extras(nullptr)
{
    try {
        m_texts = nymib::InternTexts("root", nullptr, nullptr, nullptr);
        if (baseOidText != nullptr)
            Access::Extras(*this).baseText.store(CopyOf(baseOidText), std::memory_order_release);
    } catch (...) {
        Access::Release(*this);
        throw;
    }
}

NyMibObject::NyMibObject(char const* name, char const* oidText, std::vector<NyMibObject*>* list,
                         uint32_t syntax, int access, char const* description,
                         NyMibIntValues* intValues, char const* typeName)
    : m_parent(nullptr), m_owningList(nullptr), m_intValues(intValues), m_userData(nullptr), m_subId(0),
      m_syntax(syntax), m_access(access), m_valueKind(nymib::kNoValue), m_userEvents(0), m_userParam(0),
      m_isIndex(false), m_fromRow(false), m_viaRow(false), m_settledInParent(false), m_inIndex(false),
      m_arcCount(0), m_settledCount(0), m_arcs(nullptr), m_texts(nullptr), m_stamp(nymib::FreshStamp()), m_basedOn(0),
      m_settledStamp(0), m_sequence(nymib::FreshStamp()), m_extras(nullptr)
{
    // The identifier is parsed before the node enters the list, so that a bad
    // text leaves no pointer to a half-built node behind.  A top-level node
    // keeps its text: it is where its identifier comes from.
    try {
        const std::string text = oidText ? oidText : "0";
        const NySnmpOid parsed(text.c_str());
        Access::SetArcs(*this, nymib::ViewOf(parsed.SmiOid()));
        Access::StoreText(*this, text);
        m_texts = nymib::InternTexts(name, description, typeName, nullptr);
        list->push_back(this);
    } catch (...) {
        Access::Release(*this);
        throw;
    }
    m_owningList = list;
}

NyMibObject::NyMibObject(char const* name, NyMibObject& parent, int subId, uint32_t syntax,
                         int access, char const* description, NyMibIntValues* intValues,
                         char const* typeName)
    : m_parent(&parent), m_owningList(nullptr), m_intValues(intValues), m_userData(nullptr),
      m_subId(subId), m_syntax(syntax), m_access(access), m_valueKind(nymib::kNoValue),
      m_userEvents(0), m_userParam(0), m_isIndex(false), m_fromRow(false), m_viaRow(false),
      m_settledInParent(false), m_inIndex(false), m_arcCount(0), m_settledCount(0), m_arcs(nullptr), m_texts(nullptr),
      m_stamp(nymib::FreshStamp()), m_basedOn(0), m_settledStamp(0), m_sequence(nymib::FreshStamp()), m_extras(nullptr)
{
    // Identifier first: a sub-identifier that gives no valid text throws here,
    // before the parent's list has been touched.
    try {
        NyMibObject::UpdateOid();
        m_texts = nymib::InternTexts(name, description, typeName, nullptr);
        InsertOrdered();
    } catch (...) {
        Access::Release(*this);
        throw;
    }
    IndexAdd();
}

NyMibObject::NyMibObject(const NyMibObject& other)
    : m_parent(other.m_parent), m_owningList(nullptr), m_children(other.m_children),
      m_intValues(other.m_intValues), m_userData(other.m_userData), m_subId(other.m_subId),
      m_syntax(other.m_syntax), m_access(other.m_access), m_valueKind(other.m_valueKind),
      m_userEvents(other.m_userEvents), m_userParam(other.m_userParam), m_isIndex(other.m_isIndex),
      m_fromRow(false), m_viaRow(false), m_settledInParent(false), m_inIndex(false), m_arcCount(0),
      m_settledCount(0), m_arcs(nullptr), m_texts(nymib::RetainTexts(other.m_texts)),
      m_stamp(nymib::FreshStamp()), m_basedOn(0), m_settledStamp(0), m_sequence(nymib::FreshStamp()),
      m_extras(nullptr)
{
    // The copy has the source's identifier and texts as they stand now, in
    // arcs of its own.  A copy enters no list, so its destructor has no list
    // to leave (the source's list may be gone by then).
    try {
        Access::SetArcs(*this, Access::Identifier(other));
        Access::StoreText(*this, Access::TextOf(other));
        const nymib::NodeExtras* theirs = other.m_extras.load(std::memory_order_acquire);
        if (const char* base = theirs ? theirs->baseText.load(std::memory_order_acquire) : nullptr)
            Access::Extras(*this).baseText.store(CopyOf(base), std::memory_order_release);
        if (const NySnmpVar* binding = theirs ? theirs->trapVar.load(std::memory_order_acquire) : nullptr)
            TrapVar() = *binding; // assigned: an empty binding may be copied
    } catch (...) {
        Access::Release(*this);
        throw;
    }
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
    // Columns reading this row's arcs keep their identifiers when the row
    // takes another's children.
    Access::DetachColumns(*this);
    // Everything but the owning list: this node stays entered where it was,
    // so that its destructor still takes it out of that list.
    const nymib::NodeTexts* texts = nymib::RetainTexts(other.m_texts);
    nymib::ReleaseTexts(m_texts);
    m_texts = texts;
    Access::SetArcs(*this, Access::Identifier(other));
    Access::MadeOidFollows(*this);
    Access::DropTexts(*this);
    Access::StoreText(*this, Access::TextOf(other));
    const nymib::NodeExtras* theirs = other.m_extras.load(std::memory_order_acquire);
    if (const char* base = theirs ? theirs->baseText.load(std::memory_order_acquire) : nullptr)
        Access::Extras(*this).baseText.store(CopyOf(base), std::memory_order_release);
    const NySnmpVar* binding = theirs ? theirs->trapVar.load(std::memory_order_acquire) : nullptr;
    const nymib::NodeExtras* mine = m_extras.load(std::memory_order_acquire);
    if (binding != nullptr)
        TrapVar() = *binding;
    else if (mine != nullptr && mine->trapVar.load(std::memory_order_acquire) != nullptr)
        TrapVar() = NySnmpVar();
    m_parent = other.m_parent;
    m_children = other.m_children;
    m_subId = other.m_subId;
    m_syntax = other.m_syntax;
    m_access = other.m_access;
    m_intValues = other.m_intValues;
    m_valueKind = other.m_valueKind;
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
    if (m_owningList != nullptr) {
        auto it = std::find(m_owningList->begin(), m_owningList->end(), this);
        if (it != m_owningList->end()) {
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
    }
    Access::Release(*this);
}

char const* NyMibObject::Name() const { return m_texts->name; }

char const* NyMibObject::Description() const { return m_texts->description; }

char const* NyMibObject::TypeName() const { return m_texts->typeName; }

char const* NyMibObject::EntryTypeName() const { return m_texts->entryTypeName; }

char const* NyMibObject::OidText() const
{
    nymib::NodeExtras& extras = Access::Extras(*this);
    if (const char* text = extras.oidText.load(std::memory_order_acquire))
        return text;
    return PublishText(extras.oidText, Access::DerivedText(*this));
}

char const* NyMibObject::BaseOidText() const
{
    if (m_parent == nullptr) {
        // A root keeps the base it was given; a top-level node has "0".
        const nymib::NodeExtras* extras = m_extras.load(std::memory_order_acquire);
        const char* base = extras ? extras->baseText.load(std::memory_order_acquire) : nullptr;
        return base ? base : "0";
    }
    nymib::NodeExtras& extras = Access::Extras(*this);
    if (const char* base = extras.baseText.load(std::memory_order_acquire))
        return base;
    return PublishText(extras.baseText, Access::TextOf(*m_parent));
}

NySnmpVar& NyMibObject::TrapVar()
{
    nymib::NodeExtras& extras = Access::Extras(*this);
    if (NySnmpVar* binding = extras.trapVar.load(std::memory_order_acquire))
        return *binding;
    return *nymib::Publish(extras.trapVar, new NySnmpVar, [](NySnmpVar* lost) { delete lost; });
}

const NySnmpOid& NyMibObject::Oid() const { return Access::MadeOid(*this); }

NySnmpOid& NyMibObject::Oid() { return Access::MadeOid(*this); }

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
        m_settledCount = static_cast<uint32_t>(position);
    NyMibObject* node = this;
    while (node->m_settledInParent && node->m_parent != nullptr) {
        node->m_settledInParent = false;
        NyMibObject* parent = node->m_parent;
        const std::vector<NyMibObject*>& siblings = parent->m_children;
        auto it = std::find(siblings.begin(), siblings.end(), node);
        const size_t at = static_cast<size_t>(it - siblings.begin());
        if (at < parent->m_settledCount)
            parent->m_settledCount = static_cast<uint32_t>(at);
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
        const NySnmpOid parsed(Access::TextOf(*this).c_str());
        const IdView fresh = nymib::ViewOf(parsed.SmiOid());
        if (nymib::CompareIds(Access::Identifier(*this), fresh) == 0)
            return;
        Access::SetArcs(*this, fresh);
        Access::MadeOidFollows(*this);
        Changed();
        return;
    }
    if (!m_fromRow && m_basedOn != 0 && m_basedOn == m_parent->m_stamp)
        return; // derived from this very identifier of the parent already
    // The parent's text (this node's base) may only have changed with it.
    const bool parentChanged = m_basedOn != m_parent->m_stamp;

    const IdView above = Access::Identifier(*m_parent);
    if (m_subId < 0 || above.len == 0) {
        // No arcs to extend (a root's "0"), or a sub-identifier the text form
        // refuses: the text is parsed, and a bad one throws from the parser.
        std::string text = Access::TextOf(*m_parent);
        nymib::AppendArc(text, static_cast<uint32_t>(m_subId), true);
        const NySnmpOid parsed(text.c_str());
        IndexRemove();
        Access::SetArcs(*this, nymib::ViewOf(parsed.SmiOid()));
        Access::MadeOidFollows(*this);
        Access::DropTexts(*this, parentChanged);
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
    for (uint32_t i = 0; i < above.len; ++i)
        arcs[i] = above[i];
    arcs[above.len] = static_cast<uint32_t>(m_subId);
    const IdView fresh{arcs, above.len + 1, IdView::kNoSlot, 0};
    m_basedOn = m_parent->m_stamp;
    m_fromRow = false;
    const bool sameArcs = nymib::CompareIds(Access::Identifier(*this), fresh) == 0;
    bool sameText = true;
    if (const char* kept = Access::CachedText(*this)) {
        std::string text = Access::TextOf(*m_parent);
        nymib::AppendArc(text, static_cast<uint32_t>(m_subId), true);
        sameText = text == kept;
    }
    if (sameArcs && sameText) {
        if (m_viaRow)
            Access::SetArcs(*this, fresh); // the same arcs, kept by the node now
        return;
    }
    IndexRemove();
    Access::SetArcs(*this, fresh);
    Access::MadeOidFollows(*this);
    Access::DropTexts(*this, parentChanged);
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
    size_t i = m_settledStamp == m_stamp ? std::min<size_t>(m_settledCount, m_children.size()) : 0;
    m_settledStamp = m_stamp;
    m_settledCount = static_cast<uint32_t>(i);
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
            m_settledCount = static_cast<uint32_t>(i + 1);
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
