// Shared checks of the SNMP tests: the library's exception with id, thrown-by
// (null: any) and formatted text (null: any); bindings as text; encoding to hex;
// decoding from a heap block of exactly the given octets, so the sanitizers
// catch a read past them.
#ifndef NYSNMP_TESTS_SNMP_CHECK_H
#define NYSNMP_TESTS_SNMP_CHECK_H

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "support/hex.h"

template <typename Call>
::testing::AssertionResult Throws(Call call, uint32_t id, const char* thrownBy, const char* text = nullptr)
{
    try {
        call();
    } catch (const NySocketException& e) {
        if (static_cast<uint32_t>(e.Id()) == id && (thrownBy == nullptr || std::string(e.ThrownBy()) == thrownBy) &&
            e.NativeError() == NySnmpNativeError(id) && (text == nullptr || std::string(e.Text()) == text))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << std::hex << "got id 0x" << static_cast<uint32_t>(e.Id()) << std::dec
                                             << " native " << e.NativeError() << " by \"" << e.ThrownBy()
                                             << "\" text \"" << e.Text() << "\"";
    }
    return ::testing::AssertionFailure() << "did not throw";
}

// " oid=syntax:text" of each binding.
inline std::string Bindings(NySnmpVbl& vbl)
{
    std::string text;
    for (NySnmpVar* var : vbl.VarList())
        text += std::string(" ") + var->Oid().AsString() + "=" + var->Value().SyntaxName() + ":" + var->Value().AsString();
    return text;
}

inline NYSMI_OCTETS Octets(const std::string& text)
{
    return {static_cast<uint32_t>(text.size()), reinterpret_cast<unsigned char*>(const_cast<char*>(text.data()))};
}

// A value record of the given syntax and octets.
inline NYSMI_VALUE Record(uint32_t syntax, NYSMI_OCTETS octets = {0, nullptr})
{
    NYSMI_VALUE record{};
    record.syntax = syntax;
    record.value.octets = octets;
    return record;
}

// A request PDU binding each identifier to NULL.
inline NySnmpPdu Request(int32_t type, int32_t requestId, const std::vector<const char*>& oids)
{
    NySnmpVbl vars;
    for (const char* oid : oids)
        vars.Append(NySnmpVar(NySnmpOid(oid), Record(5)));
    return NySnmpPdu(type, requestId, 0, 0, vars);
}

// AsAsn into `room` octets; checks the count it leaves against the end returned.
template <typename T>
std::string Encode(T& object, size_t room = 65536)
{
    Bytes out(room);
    unsigned int rem = static_cast<unsigned int>(room);
    unsigned char* end = nullptr;
    if constexpr (std::is_same_v<T, NySnmpPdu>)
        end = object.AsAsn(out.data(), &rem, 0);
    else
        end = object.AsAsn(out.data(), &rem);
    const auto written = static_cast<size_t>(end - out.data());
    EXPECT_EQ(rem, room - written);
    return ToHex(out.data(), written);
}

// FromAsn over the first `size` octets of `in` (default all), copied to an
// exact heap block (one octet when empty, so the position is never null);
// checks count and end agree and returns the octets consumed.
template <typename T>
unsigned int Decode(T& object, const Bytes& in, size_t size = SIZE_MAX)
{
    size = std::min(size, in.size());
    std::unique_ptr<unsigned char[]> exact(new unsigned char[size == 0 ? 1 : size]);
    std::copy(in.begin(), in.begin() + static_cast<long>(size), exact.get());
    unsigned int rem = static_cast<unsigned int>(size);
    const unsigned char* end = object.FromAsn(exact.get(), &rem);
    const auto consumed = static_cast<unsigned int>(end - exact.get());
    EXPECT_EQ(consumed + rem, size);
    return consumed;
}
template <typename T>
unsigned int Decode(T& object, const std::string& hex)
{
    return Decode(object, Hex(hex));
}

#endif
