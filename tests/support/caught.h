// The library exception a call throws, for tests that check its fields.
#ifndef NYSNMP_TESTS_CAUGHT_H
#define NYSNMP_TESTS_CAUGHT_H

#include <cstdint>
#include <optional>

#include "nysocket.h"

template <typename Call>
std::optional<NySocketException> Caught(Call call)
{
    try {
        call();
    } catch (const NySocketException& e) {
        return e;
    }
    return std::nullopt;
}

inline uint32_t IdOf(const std::optional<NySocketException>& e)
{
    return e ? static_cast<uint32_t>(e->Id()) : 0u;
}

#endif
