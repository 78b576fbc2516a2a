// Checks that a call throws the library's exception with a given id,
// thrown-by text (null: any) and formatted text (null: any).
#ifndef NYSNMP_TESTS_SNMP_THROWS_H
#define NYSNMP_TESTS_SNMP_THROWS_H

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "nysnmp.h"

template <typename Call>
::testing::AssertionResult Throws(Call call, uint32_t id, const char* thrownBy, const char* text = nullptr)
{
    try {
        call();
    } catch (const NySocketException& e) {
        const int native = NySnmpNativeError(id);
        if (static_cast<uint32_t>(e.Id()) != id || (thrownBy != nullptr && std::string(e.ThrownBy()) != thrownBy) ||
            e.NativeError() != native || (text != nullptr && std::string(e.Text()) != text))
            return ::testing::AssertionFailure()
                   << std::hex << "got id 0x" << static_cast<uint32_t>(e.Id()) << std::dec << " native "
                   << e.NativeError() << " by \"" << e.ThrownBy() << "\" text \"" << e.Text() << "\"";
        return ::testing::AssertionSuccess();
    } catch (...) {
        return ::testing::AssertionFailure() << "threw something else";
    }
    return ::testing::AssertionFailure() << "did not throw";
}

#endif
