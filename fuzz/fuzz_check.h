// What every fuzz target shares: a check that stops the run with a message
// (libFuzzer then keeps the input), and encoding into a fresh buffer.
#ifndef NYSNMP_FUZZ_CHECK_H
#define NYSNMP_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "nyagentx.h"
#include "nysnmp.h"
#include "support/content.h"

#define FUZZ_REQUIRE(condition)                                                          \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

using Octets = std::vector<unsigned char>;

// The wire form's writer and reader of each kind of object.
template <typename T>
unsigned char* Write(T& object, unsigned char* at, unsigned int* rem) { return object.AsAsn(at, rem); }
inline unsigned char* Write(NySnmpPdu& pdu, unsigned char* at, unsigned int* rem) { return pdu.AsAsn(at, rem, 0); }
inline unsigned char* Write(NyAgentxPdu& pdu, unsigned char* at, unsigned int* rem) { return pdu.ToWire(at, rem); }
template <typename T>
const unsigned char* Read(T& object, const unsigned char* at, unsigned int* rem) { return object.FromAsn(at, rem); }
inline const unsigned char* Read(NyAgentxPdu& pdu, const unsigned char* at, unsigned int* rem) { return pdu.FromWire(at, rem); }

// The wire form of an object, or false when the encoder refuses it (a decoded
// object may hold what cannot be written again, such as an identifier of more
// than 128 sub-identifiers).  What is written must agree with the count left.
template <typename T>
bool EncodeTo(T& object, Octets& out)
{
    // One work area for all runs: clearing 64 KiB per call would cost more
    // than most inputs take to decode.
    static Octets area(65536);
    unsigned int rem = static_cast<unsigned int>(area.size());
    unsigned char* end = nullptr;
    try {
        end = Write(object, area.data(), &rem);
    } catch (const NySocketException&) {
        FUZZ_REQUIRE((!std::is_same_v<T, NyAgentxPdu>)); // it writes all it can read
        return false;
    }
    FUZZ_REQUIRE(end != nullptr && end >= area.data() && end <= area.data() + area.size());
    FUZZ_REQUIRE(static_cast<size_t>(end - area.data()) + rem == area.size());
    out.assign(area.data(), end);
    return true;
}

// Decodes the input: false when the decoder refuses it; else the end and the
// count left must agree and stay within the input.
template <typename T>
bool DecodeInput(T& object, const uint8_t* data, size_t size, const unsigned char** end = nullptr)
{
    unsigned int rem = static_cast<unsigned int>(size);
    const unsigned char* next = nullptr;
    try {
        next = Read(object, data, &rem);
    } catch (const NySocketException&) {
        return false;
    }
    FUZZ_REQUIRE(next != nullptr && next >= data && next <= data + size);
    FUZZ_REQUIRE(static_cast<size_t>(next - data) + rem == size);
    if (end != nullptr)
        *end = next;
    return true;
}

// Decodes octets the library wrote itself (from an exact heap block, so a
// read past the end is caught): that must always succeed and consume them all.
template <typename T>
void DecodeOwn(T& object, const Octets& in)
{
    const Octets exact(in);
    const unsigned char* end = nullptr;
    FUZZ_REQUIRE(DecodeInput(object, exact.data(), exact.size(), &end) && end == exact.data() + exact.size());
}

// What the decoder accepted, written and read back, is the same (`same`) and
// is written again octet for octet.
template <typename T, typename Same>
void RoundTrip(T& object, Same same)
{
    Octets first, second;
    if (!EncodeTo(object, first))
        return;
    T again;
    DecodeOwn(again, first);
    FUZZ_REQUIRE(same(again, object));
    FUZZ_REQUIRE(EncodeTo(again, second) && second == first);
}

#endif
