#include "nysnmp.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "snmp/raise.h"

namespace {

constexpr int32_t kSysCapacity = 1024;
constexpr int kInserts = 12;

// Expands %1..%12 and %% of `format` into `out` (capacity `cap`, zeroed by the
// caller), writing at most cap - 1 characters.  Inserts are copied verbatim.
// A marker whose insert is missing expands to nothing; a '%' not followed by a
// digit or '%' is kept as it stands.
void Expand(const char* format, const char* const* inserts, char* out, size_t cap)
{
    if (cap == 0)
        return;
    size_t n = 0;
    const size_t limit = cap - 1;
    auto put = [&](char c) {
        if (n < limit)
            out[n++] = c;
    };
    for (const char* p = format; *p != '\0' && n < limit; ++p) {
        if (*p != '%') {
            put(*p);
            continue;
        }
        if (p[1] == '%') {
            put('%');
            ++p;
            continue;
        }
        if (p[1] < '1' || p[1] > '9') {
            put('%');
            continue;
        }
        int number = p[1] - '0';
        ++p;
        // %10, %11 and %12: a second digit that keeps the number in range.
        if (number == 1 && p[1] >= '0' && p[1] <= '2') {
            number = 10 + (p[1] - '0');
            ++p;
        }
        const char* insert = inserts[number - 1];
        for (const char* q = insert ? insert : ""; *q != '\0' && n < limit; ++q)
            put(*q);
    }
}

} // namespace

NySnmpObject::NySnmpObject()
    : m_catalog(nullptr), m_language(DefaultLanguage), m_formatBuffer(nullptr), m_formatCapacity(0),
      m_sysBuffer(nullptr), m_sysCapacity(0)
{
}

NySnmpObject::NySnmpObject(NYNls* catalog, uint32_t language)
    : m_catalog(catalog), m_language(language), m_formatBuffer(nullptr), m_formatCapacity(0),
      m_sysBuffer(nullptr), m_sysCapacity(0)
{
}

NySnmpObject::NySnmpObject(const NySnmpObject& other)
    : m_catalog(other.m_catalog), m_language(other.m_language), m_formatBuffer(nullptr),
      m_formatCapacity(0), m_sysBuffer(nullptr), m_sysCapacity(0)
{
}

NySnmpObject& NySnmpObject::operator=(const NySnmpObject& other)
{
    if (this != &other) {
        m_catalog = other.m_catalog;
        m_language = other.m_language;
        m_errorText = other.m_errorText;
        // Buffers stay with each object: results handed out earlier by either
        // object remain valid.
    }
    return *this;
}

NySnmpObject::~NySnmpObject()
{
    delete[] m_formatBuffer;
    delete[] m_sysBuffer;
}

const char* NySnmpObject::ErrorText()
{
    return m_errorText.c_str();
}

unsigned int NySnmpObject::ErrorTextSize()
{
    return static_cast<unsigned int>(m_errorText.size());
}

void NySnmpObject::SetErrorText(const char* text)
{
    m_errorText = text ? text : "";
}

const char* NySnmpObject::FormatText(uint32_t id, const char* defaultText, const char* i1, const char* i2,
                                     const char* i3, const char* i4, const char* i5, const char* i6,
                                     const char* i7, const char* i8, const char* i9, const char* i10,
                                     const char* i11, const char* i12)
{
    const char* inserts[kInserts] = {i1, i2, i3, i4, i5, i6, i7, i8, i9, i10, i11, i12};

    const char* format = nullptr;
    if (m_catalog != nullptr && id != 0) {
        uintptr_t args[2 + kInserts];
        args[0] = id;
        args[1] = reinterpret_cast<uintptr_t>(defaultText);
        for (int i = 0; i < kInserts; ++i)
            args[2 + i] = reinterpret_cast<uintptr_t>(inserts[i]);
        const char* found = m_catalog->Lookup(id, m_language, args);
        if (found != nullptr && *found != '\0')
            format = found;
    }
    if (format == nullptr)
        format = defaultText ? defaultText : "";

    size_t needed = std::strlen(format) + 1024;
    for (const char* insert : inserts)
        needed += insert ? std::strlen(insert) : 0;

    if (m_formatBuffer == nullptr || static_cast<size_t>(m_formatCapacity) < needed) {
        delete[] m_formatBuffer;
        m_formatBuffer = nullptr;
        m_formatCapacity = 0;
        if (2 * needed > static_cast<size_t>(INT32_MAX))
            return "";
        m_formatBuffer = new (std::nothrow) char[2 * needed];
        if (m_formatBuffer == nullptr)
            return "";
        m_formatCapacity = static_cast<int32_t>(2 * needed);
    }
    std::memset(m_formatBuffer, 0, static_cast<size_t>(m_formatCapacity));
    Expand(format, inserts, m_formatBuffer, static_cast<size_t>(m_formatCapacity));
    return m_formatBuffer;
}

const char* NySnmpObject::FormatText(uint32_t id, const char* defaultText, int i1, const char* i2,
                                     const char* i3, const char* i4, const char* i5, const char* i6,
                                     const char* i7, const char* i8, const char* i9, const char* i10,
                                     const char* i11, const char* i12)
{
    char number[100];
    std::snprintf(number, sizeof number, "%d", i1);
    return FormatText(id, defaultText, number, i2, i3, i4, i5, i6, i7, i8, i9, i10, i11, i12);
}

const char* NySnmpObject::SysErrorMsg(uint32_t code)
{
    if (m_sysBuffer == nullptr || m_sysCapacity < kSysCapacity) {
        delete[] m_sysBuffer;
        m_sysBuffer = new (std::nothrow) char[kSysCapacity];
        if (m_sysBuffer == nullptr) {
            m_sysCapacity = 0;
            return "";
        }
        m_sysCapacity = kSysCapacity;
    }
    m_sysBuffer[0] = '\0';
    if (code > static_cast<uint32_t>(INT32_MAX))
        return m_sysBuffer;
    char scratch[kSysCapacity];
    // GNU strerror_r: returns a pointer to the text, which may or may not be
    // the scratch buffer.
    const char* text = strerror_r(static_cast<int>(code), scratch, sizeof scratch);
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0)
        return m_sysBuffer;
    std::strncpy(m_sysBuffer, text, kSysCapacity - 1);
    m_sysBuffer[kSysCapacity - 1] = '\0';
    return m_sysBuffer;
}

void NySnmpObject::Raise(const char* thrownBy, uint32_t id, const char* defaultText, const char* i1,
                         const char* i2)
{
    const char* text = FormatText(id, defaultText, i1, i2);
    throw NySocketException(thrownBy, NySnmpNativeError(id), static_cast<int>(id), text);
}

void NySnmpObject::Raise(const char* thrownBy, uint32_t id, const char* defaultText, int i1, const char* i2)
{
    const char* text = FormatText(id, defaultText, i1, i2);
    throw NySocketException(thrownBy, NySnmpNativeError(id), static_cast<int>(id), text);
}

void NyRaise(const char* thrownBy, uint32_t id, const char* defaultText, const char* i1, const char* i2)
{
    NySnmpObject formatter;
    const char* text = formatter.FormatText(id, defaultText, i1, i2);
    throw NySocketException(thrownBy, NySnmpNativeError(id), static_cast<int>(id), text);
}

void NyRaise(const char* thrownBy, uint32_t id, const char* defaultText, int i1, const char* i2)
{
    NySnmpObject formatter;
    const char* text = formatter.FormatText(id, defaultText, i1, i2);
    throw NySocketException(thrownBy, NySnmpNativeError(id), static_cast<int>(id), text);
}
