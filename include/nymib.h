// nymib.h - the in-memory MIB object tree: nodes, typed variables, tables,
// rows, traps, registration records, lookup by object identifier.
#ifndef NYMIB_H
#define NYMIB_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "nyexport.h"
#include "nysnmp.h"

namespace nymib {
class TableIndex;
struct NodeTexts;
struct NodeExtras;
struct Access;
}

// One label of an enumerated INTEGER; a table of them ends with a null label.
struct NyMibIntValues {
    char const* label;
    int32_t value;
};

// A node of the MIB tree.  Nodes are owned by the host program (normally as
// members of one object); the tree only links them.  A node enters itself in
// its parent's children list when constructed and leaves it when destroyed.
//
// Syntax codes: the value syntaxes of NySnmpValue for typed leaves, and the
// structural codes 289 (registration node), 290 (trap), 291 (aggregate),
// 292 (table), 293 (table row).  Access: 0 not-accessible, 1 read-only,
// 2 read-write, 3 write-only.  User event bits: 1 hook before a read,
// 2 hook before a Set test, 4 hook after a Set commit.
//
// Memory: a node keeps little of its own, so that tables of many thousands
// of rows stay small.  Its name, description and type names are shared by
// every node given the same texts (an interned, reference-counted copy).  A
// column renewed by its row keeps no identifier of its own: it is the row's
// identifier, the column number and the row's instance.  The identifier
// text, the parent's identifier text, the NySnmpOid that Oid() hands out
// and the trap binding are made when first asked for and then kept.
//
// Threads: reading the tree (lookups, accessors, Oid(), printing) may run
// on several threads at once; changing it (constructing, destroying,
// renewing, SetInstanceNumber, assigning, set) must exclude every other use,
// e.g. under the session's MIB mutex.  What a reader makes on first ask is
// made aside and published with one compare-and-swap of an atomic pointer;
// a thread that loses the race frees its own and takes the winner's (a
// table's lookup index is made by one reader under a mutex while the others
// wait).  Texts returned stay valid until the node's identifier changes or
// the node is assigned or destroyed; the objects returned by Oid(),
// TrapVar() and a row's Instance() stay for the node's whole life (a change
// of identifier is written into them).
class NYSNMP_API NyMibObject {
public:
    // Name-only constructor: a tree root.  `baseOidText` is the identifier
    // text under which the root's top-level nodes live ("0" when null).
    explicit NyMibObject(char const* baseOidText = nullptr);

    // List constructor: a top-level node with an absolute identifier, appended
    // to `list` (normally a root's children list).  `list` must not be null.
    NyMibObject(char const* name, char const* oidText, std::vector<NyMibObject*>* list,
                uint32_t syntax, int access, char const* description = nullptr,
                NyMibIntValues* intValues = nullptr, char const* typeName = nullptr);

    // Parent constructor: a node under `parent` with the last arc `subId`.
    NyMibObject(char const* name, NyMibObject& parent, int subId, uint32_t syntax,
                int access, char const* description = nullptr,
                NyMibIntValues* intValues = nullptr, char const* typeName = nullptr);

    // Member by member: the copy keeps the source's links but enters no list.
    NyMibObject(const NyMibObject& other);
    NyMibObject& operator=(const NyMibObject& other);

    virtual void UpdateChildren();
    virtual void UpdateOid();
    virtual int Print(FILE* stream);
    virtual int PrintSyntaxName(FILE* stream, bool withValues);
    virtual NyMibObject* Find(NySnmpOid& target);
    virtual NyMibObject* FindNext(NySnmpOid& target);
    virtual void UseAsIndex(bool isIndex);
    virtual bool IsAnIndex();
    virtual void SetUserEvents(int32_t events, int32_t param, void* data);
    virtual int32_t UserEvents();
    virtual int32_t UserParam();
    virtual void* UserData();

protected:
    virtual int PrintAsIdentifier(FILE* stream);

public:
    virtual int get(NySnmpValue& value);
    virtual int set(NySnmpValue const& value, bool commit);
    virtual NySnmpOid& Oid();

    // Virtual so that a node created with new may be deleted through any of
    // its bases; declared after the operations above to keep their order.
    virtual ~NyMibObject();

    char const* Name() const;
    char const* OidText() const;
    char const* BaseOidText() const;
    NyMibObject* Parent() const { return m_parent; }
    const std::vector<NyMibObject*>& Children() const { return m_children; }
    std::vector<NyMibObject*>& Children() { return m_children; }
    int32_t SubId() const { return m_subId; }
    uint32_t Syntax() const { return m_syntax; }
    int32_t Access() const { return m_access; }
    char const* Description() const;
    char const* TypeName() const;
    char const* EntryTypeName() const;
    NyMibIntValues* IntValues() const { return m_intValues; }
    int32_t ValueKind() const { return m_valueKind; }
    const NySnmpOid& Oid() const;

    // The binding the session fills when this node is a variable of a trap
    // being sent.
    NySnmpVar& TrapVar();

protected:
    NyMibObject* m_parent;
    std::vector<NyMibObject*>* m_owningList;
    std::vector<NyMibObject*> m_children;
    NyMibIntValues* m_intValues;
    void* m_userData;
    int32_t m_subId;
    uint32_t m_syntax;
    int32_t m_access;
    int32_t m_valueKind;
    int32_t m_userEvents;
    int32_t m_userParam;
    bool m_isIndex;

private:
    friend class NyMibTableEntry; // sets its columns' identifiers
    friend class nymib::TableIndex;
    friend struct nymib::Access;

    void InsertOrdered();
    NyMibObject* TableWalk(NySnmpOid& target);
    NyMibObject* TableFind(NySnmpOid& target);

    // Renewal bookkeeping.  Every identifier change (for a row also an
    // instance change) gives the node a fresh stamp; a node remembers the
    // parent stamp its identifier was derived from, so renewing it again for
    // the same parent costs nothing.  m_settledCount leading children are
    // known to be current for m_settledStamp, so UpdateChildren() on a table
    // visits only the rows added since its last pass.
    void Changed();
    void Unsettle(size_t position);
    void IndexAdd();
    void IndexRemove();
    void DropTableIndex();
    nymib::TableIndex* TableIndexOf();

    bool m_fromRow;          // identifier given by the row: row.column.instance
    bool m_viaRow;           // ... and read from the row's arcs, none of its own
    bool m_settledInParent;  // the parent's last pass took this node in
    bool m_inIndex;          // entered in the lookup index of its table
    uint32_t m_arcCount;     // the identifier's arcs when not m_viaRow
    uint32_t m_settledCount;
    uint32_t* m_arcs;
    const nymib::NodeTexts* m_texts;
    uint64_t m_stamp;
    uint64_t m_basedOn;
    uint64_t m_settledStamp;
    uint64_t m_sequence;
    // What readers make on first ask (texts, the Oid() object, the trap
    // binding, a table's lookup index); null until then.
    mutable std::atomic<nymib::NodeExtras*> m_extras;
    nymib::TableIndex* Indexed();
};

// A typed leaf holding a live value of one SNMP syntax.  `Kind` is the storage
// kind (0 byte, 1 signed 32-bit, 2 unsigned 32-bit, 3 unsigned 64-bit, 4 byte
// string, 5 object identifier) and `SyntaxCode` the syntax it answers with.
// The sixteen instances the library provides are declared below.
template <class T, int Kind, uint32_t SyntaxCode>
class NYSNMP_API nymibvar : public NyMibObject {
public:
    nymibvar(char const* name, NyMibObject& parent, int subId, int access,
             char const* description = nullptr, NyMibIntValues* intValues = nullptr,
             char const* typeName = nullptr);
    nymibvar(const nymibvar& other);
    nymibvar& operator=(const nymibvar& other);
    ~nymibvar() override;

    NyMibObject* This() { return this; }

    int get(NySnmpValue& value) override;
    int set(NySnmpValue const& value, bool commit) override;
    virtual void erase();

    // Text form of the held value, valid until the next c_str(), erase(),
    // assignment or destruction.
    char const* c_str();

    // The held value; the host program keeps it current through these.
    T& value() { return m_value; }
    const T& value() const { return m_value; }

private:
    T m_value;
    std::unique_ptr<std::string> m_text; // made by the first c_str()
};

extern template class nymibvar<int32_t, 1, 2>;
extern template class nymibvar<uint32_t, 2, 65>;
extern template class nymibvar<uint32_t, 2, 66>;
extern template class nymibvar<uint32_t, 2, 67>;
extern template class nymibvar<uint32_t, 2, 71>;
extern template class nymibvar<uint64_t, 3, 70>;
extern template class nymibvar<std::string, 4, 4>;
extern template class nymibvar<std::string, 4, 3>;
extern template class nymibvar<std::string, 4, 64>;
extern template class nymibvar<std::string, 4, 68>;
extern template class nymibvar<std::string, 4, 69>;
extern template class nymibvar<NySnmpOid, 5, 6>;
extern template class nymibvar<unsigned char, 0, 5>;
extern template class nymibvar<unsigned char, 0, 128>;
extern template class nymibvar<unsigned char, 0, 129>;
extern template class nymibvar<unsigned char, 0, 130>;

// A node standing for a SEQUENCE type: an aggregate object (syntax 291) or
// the base of a table row.
class NYSNMP_API NyMibSequence : public NyMibObject {
public:
    NyMibSequence(char const* name, NyMibObject& parent, int subId, uint32_t syntax,
                  int access, char const* description = nullptr,
                  NyMibIntValues* intValues = nullptr, char const* typeName = nullptr);

    int Print(FILE* stream) override;
};

// A table object (SEQUENCE OF its row type); its children are the rows.
class NYSNMP_API NyMibTable : public NyMibObject {
public:
    NyMibTable(char const* name, NyMibObject& parent, int subId,
               char const* description = nullptr, NyMibIntValues* intValues = nullptr,
               char const* rowTypeName = nullptr);

    int Print(FILE* stream) override;
};

// One row of a table.  Its children are the column variables; each column's
// identifier is table.entry.column.instance.
class NYSNMP_API NyMibTableEntry : public NyMibSequence {
public:
    NyMibTableEntry(char const* name, NyMibTable& table, int subId,
                    char const* description = nullptr, NyMibIntValues* intValues = nullptr,
                    char const* rowTypeName = nullptr);
    NyMibTableEntry(const NyMibTableEntry& other);
    NyMibTableEntry& operator=(const NyMibTableEntry& other);
    ~NyMibTableEntry() override;

    void UpdateChildren() override;
    virtual void SetInstanceNumber(NYSMI_OID& instance);
    virtual void SetInstanceNumber(int instance);

    // Made on first ask, like Oid(); a new instance is written into it.
    const NySnmpOid& Instance() const;

private:
    friend class NyMibObject;
    friend struct nymib::Access;

    void Renew(const NYSMI_OID* instance);

    // The row's instance and the arcs its own columns read their identifiers
    // from: the row's identifier, a place for the column number (at m_slot),
    // the instance.
    uint32_t* m_block = nullptr;
    uint32_t m_blockLength = 0;
    uint32_t m_slot = 0;
};

// A trap definition; its children are the variables sent with it.  The
// sub-identifier is the specific-trap number.
class NYSNMP_API NyMibTrap : public NyMibObject {
public:
    NyMibTrap(char const* name, NyMibObject& parent, int subId,
              char const* description = nullptr, NyMibIntValues* intValues = nullptr,
              char const* typeName = nullptr);

    int Print(FILE* stream) override;
};

// What the session keeps for each subtree it has registered with the agent.
class NYSNMP_API NyMibRegInfo {
public:
    NyMibRegInfo(NyMibObject& object, int priority, int action);
    NyMibRegInfo(const NyMibRegInfo& other);
    NyMibRegInfo& operator=(const NyMibRegInfo&) = delete;

    virtual NyMibObject& Object();
    virtual int Priority();
    virtual int Action();

    virtual ~NyMibRegInfo();

private:
    int32_t m_priority;
    NyMibObject& m_object;
    int32_t m_action;
};

#endif // NYMIB_H
