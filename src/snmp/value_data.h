// Internal: copies of the octet and sub-identifier arrays a value owns.
#ifndef NYSNMP_SRC_VALUE_DATA_H
#define NYSNMP_SRC_VALUE_DATA_H

#include <cstddef>
#include <cstring>
#include <new>

namespace nyvalue {

// A new array holding `count` elements copied from `source`, allocated the
// way every owned array of the data model is (::operator new); null when the
// memory is not there.
template <typename T>
T* CopyArray(const T* source, size_t count)
{
    auto* copy = static_cast<T*>(::operator new(count * sizeof(T), std::nothrow));
    if (copy != nullptr)
        std::memcpy(copy, source, count * sizeof(T));
    return copy;
}

} // namespace nyvalue

#endif
