// NySnmpValueSeq: an owning list of typed values and its BER form.
#include <new>

#include "nysnmp.h"

namespace {

const char kFromAsn[] = "NySnmpValueSeq::FromAsn";
const char kCopy[] = "NySnmpValueSeq::Copy";

// A nested constructed or context-class element ends the run of simple values
// (the binding list of a PDU, the PDU inside a message).
bool EndsSimpleValues(unsigned char tag)
{
    return tag == 0x30 || (tag & 0xA0) != 0;
}

} // namespace

NySnmpValueSeq::NySnmpValueSeq() : m_cursor(0) {}

NySnmpValueSeq::NySnmpValueSeq(const NySnmpValueSeq& other) : NySnmpObject(other), m_cursor(0)
{
    int result;
    try {
        result = Copy(other);
    } catch (...) {
        Destroy();
        throw;
    }
    if (result != 0) {
        Destroy();
        Raise(kCopy, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
    }
}

NySnmpValueSeq::NySnmpValueSeq(NySnmpValue& value) : m_cursor(0)
{
    Append(value);
}

NySnmpValueSeq& NySnmpValueSeq::operator=(const NySnmpValueSeq& other)
{
    if (this != &other) {
        NySnmpValueSeq copy(other);
        NySnmpObject::operator=(other);
        // The old elements leave with `copy`.
        m_values.swap(copy.m_values);
        m_cursor = 0;
    }
    return *this;
}

NySnmpValueSeq::~NySnmpValueSeq()
{
    Destroy();
}

int NySnmpValueSeq::Copy(const NySnmpValueSeq& source)
{
    // Counted up front so that copying a list into itself ends.
    const size_t count = source.m_values.size();
    for (size_t i = 0; i < count; ++i) {
        NySnmpValue* copy = new (std::nothrow) NySnmpValue(*source.m_values[i]);
        if (copy == nullptr)
            return NYSNMP_OUT_OF_MEMORY;
        const int result = Append(*copy);
        if (result != 0)
            return result;
    }
    return 0;
}

int NySnmpValueSeq::Append(NySnmpValue& value)
{
    try {
        m_values.push_back(&value);
    } catch (const std::bad_alloc&) {
        // The value was handed over; it must not leak.
        delete &value;
        return NYSNMP_OUT_OF_MEMORY;
    }
    return 0;
}

int NySnmpValueSeq::Set(uint32_t position, NySnmpValue& value)
{
    if (position == 0)
        return Append(value);
    if (position > m_values.size())
        return NYSNMP_INDEX_OUT_OF_RANGE;
    NySnmpValue* stored = m_values[position - 1];
    if (stored != &value)
        stored->Assign(value.SmiValue());
    return 0;
}

int NySnmpValueSeq::Delete(uint32_t position)
{
    if (position == 0 || position > m_values.size())
        return NYSNMP_INDEX_OUT_OF_RANGE;
    delete m_values[position - 1];
    m_values.erase(m_values.begin() + (position - 1));
    return 0;
}

void NySnmpValueSeq::Destroy()
{
    for (NySnmpValue* value : m_values)
        delete value;
    m_values.clear();
}

unsigned int NySnmpValueSeq::Size() const
{
    return static_cast<unsigned int>(m_values.size());
}

NySnmpValue* NySnmpValueSeq::GetFirst()
{
    m_cursor = 0;
    if (m_values.empty())
        return nullptr;
    m_cursor = 1;
    return m_values[0];
}

NySnmpValue* NySnmpValueSeq::GetNext()
{
    if (m_cursor >= m_values.size())
        return nullptr;
    return m_values[m_cursor++];
}

NySnmpValue* NySnmpValueSeq::Get(uint32_t position)
{
    if (position == 0 || position > m_values.size())
        return nullptr;
    m_cursor = position - 1;
    return m_values[position - 1];
}

std::vector<NySnmpValue*>& NySnmpValueSeq::ValueList()
{
    return m_values;
}

unsigned char* NySnmpValueSeq::AsAsn(unsigned char* pos, unsigned int* rem)
{
    for (NySnmpValue* value : m_values)
        pos = value->AsAsn(pos, rem);
    return pos;
}

const unsigned char* NySnmpValueSeq::FromAsn(const unsigned char* pos, unsigned int* rem)
{
    if (pos == nullptr || rem == nullptr)
        Raise(kFromAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kFromAsn);

    unsigned int left = *rem;
    uint32_t tag = 0;
    unsigned int length = 0;
    const unsigned char* p = NySnmpValue::ParseAsnSequence(pos, &left, tag, length);
    if (length > left)
        Raise(kFromAsn, NYSNMP_SEQ_TOO_LONG, NYSNMP_SEQ_TOO_LONG_TEXT, kFromAsn);

    unsigned int content = length;
    while (content > 0 && !EndsSimpleValues(*p)) {
        NySnmpValue* value = new (std::nothrow) NySnmpValue;
        if (value == nullptr)
            Raise(kFromAsn, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
        try {
            p = value->FromAsn(p, &content);
        } catch (...) {
            delete value;
            throw;
        }
        if (Append(*value) != 0)
            Raise(kFromAsn, NYSNMP_OUT_OF_MEMORY, NYSNMP_OUT_OF_MEMORY_TEXT);
    }
    *rem = left - (length - content);
    return p;
}
