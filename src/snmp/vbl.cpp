// NySnmpVbl: the variable-binding list of a PDU and its BER form.
#include <cstdio>
#include <new>
#include <typeinfo>

#include "nysnmp.h"
#include "snmp/constructed.h"

namespace {

const char kAppend[] = "NySnmpVbl::Append";
// The leading blanks belong to these two thrown-by texts.
const char kSet[] = " NySnmpVbl::Set";
const char kDelete[] = " NySnmpVbl::Delete";
const char kAsAsn[] = "NySnmpVbl::AsAsn";
const char kFromAsn[] = "NySnmpVbl::FromAsn";

// A session decodes a PDU, answers it and drops its bindings, again and
// again.  Each thread keeps some dropped bindings whole, with the arrays of
// their name and value, and the next decode fills them in again instead of
// making new ones.  Only bindings that cannot be told from new ones are kept: of the
// class itself, with no message catalog, language or error text set on them
// or their parts.
class SpareVars {
public:
    ~SpareVars()
    {
        t_gone = true;
        while (m_count > 0)
            delete m_vars[--m_count];
    }

    static NySnmpVar* Take()
    {
        if (!t_gone) {
            SpareVars& spares = t_spares;
            if (spares.m_count > 0)
                return spares.m_vars[--spares.m_count];
        }
        return new (std::nothrow) NySnmpVar;
    }

    static void Drop(NySnmpVar* var)
    {
        if (!t_gone) {
            SpareVars& spares = t_spares;
            if (spares.m_count < kCapacity && AsNew(*var)) {
                spares.m_vars[spares.m_count++] = var;
                return;
            }
        }
        delete var;
    }

private:
    static constexpr unsigned kCapacity = 64;

    static bool Plain(NySnmpObject& object)
    {
        return object.Catalog() == nullptr && object.Language() == NySnmpObject::DefaultLanguage &&
               *object.ErrorText() == '\0';
    }
    static bool AsNew(NySnmpVar& var)
    {
        return typeid(var) == typeid(NySnmpVar) && Plain(var) && Plain(var.Oid()) && Plain(var.Value());
    }

    NySnmpVar* m_vars[kCapacity];
    unsigned m_count = 0;

    // Set when the thread's spares are gone; being trivially destructible
    // it can still be read by bindings dropped after that (thread end,
    // program exit).
    static thread_local bool t_gone;
    static thread_local SpareVars t_spares;
};

thread_local bool SpareVars::t_gone = false;
thread_local SpareVars SpareVars::t_spares;

} // namespace

NySnmpVbl::NySnmpVbl() : m_cursor(0) {}

NySnmpVbl::NySnmpVbl(const NySnmpVbl& other) : NySnmpObject(other), m_cursor(0)
{
    try {
        Copy(other);
    } catch (...) {
        Destroy();
        throw;
    }
}

NySnmpVbl::NySnmpVbl(const NySnmpVar& var) : m_cursor(0)
{
    Append(var);
}

NySnmpVbl& NySnmpVbl::operator=(const NySnmpVbl& other)
{
    if (this != &other) {
        NySnmpVbl copy(other);
        NySnmpObject::operator=(other);
        // The old elements leave with `copy`.
        m_vars.swap(copy.m_vars);
        m_cursor = 0;
    }
    return *this;
}

NySnmpVbl::~NySnmpVbl()
{
    Destroy();
}

int NySnmpVbl::Copy(const NySnmpVbl& source)
{
    // Counted up front so that copying a list into itself ends.
    const size_t count = source.m_vars.size();
    for (size_t i = 0; i < count; ++i) {
        const int result = Append(*source.m_vars[i]);
        if (result != 0)
            return result;
    }
    return 0;
}

int NySnmpVbl::Append(const NySnmpVar& var)
{
    NySnmpVar* copy = new (std::nothrow) NySnmpVar(var);
    if (copy == nullptr)
        Raise(kAppend, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
    try {
        m_vars.push_back(copy);
    } catch (const std::bad_alloc&) {
        delete copy;
        Raise(kAppend, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
    }
    return 0;
}

int NySnmpVbl::Set(uint32_t position, const NySnmpVar& var)
{
    if (position == 0)
        return Append(var);
    if (position > m_vars.size())
        Raise(kSet, NYSNMP_INDEX_OUT_OF_RANGE, NYSNMP_INDEX_OUT_OF_RANGE_TEXT, static_cast<int>(position));
    m_vars[position - 1]->Assign(var);
    return 0;
}

int NySnmpVbl::Delete(uint32_t position)
{
    if (position == 0 || position > m_vars.size())
        Raise(kDelete, NYSNMP_INDEX_OUT_OF_RANGE, NYSNMP_INDEX_OUT_OF_RANGE_TEXT, static_cast<int>(position));
    delete m_vars[position - 1];
    m_vars.erase(m_vars.begin() + (position - 1));
    return 0;
}

void NySnmpVbl::Destroy()
{
    for (NySnmpVar* var : m_vars)
        SpareVars::Drop(var);
    m_vars.clear();
}

unsigned int NySnmpVbl::Size() const
{
    return static_cast<unsigned int>(m_vars.size());
}

NySnmpVar* NySnmpVbl::GetFirst()
{
    m_cursor = 0;
    if (m_vars.empty())
        return nullptr;
    m_cursor = 1;
    return m_vars[0];
}

NySnmpVar* NySnmpVbl::GetNext()
{
    if (m_cursor >= m_vars.size())
        return nullptr;
    return m_vars[m_cursor++];
}

NySnmpVar* NySnmpVbl::Get(uint32_t position)
{
    if (position == 0 || position > m_vars.size())
        return nullptr;
    m_cursor = position - 1;
    return m_vars[position - 1];
}

std::vector<NySnmpVar*>& NySnmpVbl::VarList()
{
    return m_vars;
}

unsigned char* NySnmpVbl::AsAsn(unsigned char* pos, unsigned int* rem)
{
    if (pos == nullptr || rem == nullptr || *rem == 0)
        Raise(kAsAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kAsAsn);
    NyConstructedHeader header(pos, rem);
    unsigned char* p = header.Content();
    for (NySnmpVar* var : m_vars)
        p = var->AsAsn(p, rem);
    if (!header.Close(0x30))
        Raise(kAsAsn, NYSNMP_LENGTH_TOO_LONG, NYSNMP_LENGTH_TOO_LONG_TEXT);
    return p;
}

const unsigned char* NySnmpVbl::FromAsn(const unsigned char* pos, unsigned int* rem)
{
    if (pos == nullptr || rem == nullptr)
        Raise(kFromAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kFromAsn);
    if (*rem == 0)
        return pos;

    unsigned int left = *rem;
    uint32_t tag = 0;
    unsigned int length = 0;
    const unsigned char* p = NySnmpValue::ParseAsnSequence(pos, &left, tag, length);
    if (tag != 0x30) {
        char found[8];
        std::snprintf(found, sizeof found, "0x%02X", static_cast<unsigned int>(tag & 0xFF));
        Raise(kFromAsn, NYSNMP_EXPECTED_SYNTAX, NYSNMP_EXPECTED_SYNTAX_TEXT, "0x30", found);
    }
    if (length > left)
        Raise(kFromAsn, NYSNMP_FIELD_TOO_LONG, NYSNMP_FIELD_TOO_LONG_TEXT, kFromAsn);

    unsigned int content = length;
    while (content > 0) {
        NySnmpVar* var = SpareVars::Take();
        if (var == nullptr)
            Raise(kFromAsn, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
        try {
            p = var->FromAsn(p, &content);
            m_vars.push_back(var);
        } catch (const std::bad_alloc&) {
            delete var;
            Raise(kFromAsn, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
        } catch (...) {
            delete var;
            throw;
        }
    }
    *rem = left - length;
    return p;
}
