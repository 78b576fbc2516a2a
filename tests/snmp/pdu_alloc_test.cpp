// Encoding a PDU allocates nothing.  Counted through a replacement of the
// global allocation function; left out under AddressSanitizer, which brings
// its own.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define NYSNMP_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NYSNMP_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef NYSNMP_COUNT_ALLOCATIONS
#define NYSNMP_COUNT_ALLOCATIONS 1
#endif

#if NYSNMP_COUNT_ALLOCATIONS
#include <atomic>
#include <cstdlib>
#include <new>

#include "nysnmp.h"
#include "support/hex.h"

namespace {
std::atomic<long> g_allocations{0};
}

// Weak, so that another counting replacement in this program takes over
// without a clash; the test then finds nothing counted and skips.
__attribute__((weak)) void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
__attribute__((weak)) void operator delete(void* p) noexcept
{
    std::free(p);
}
__attribute__((weak)) void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

TEST(PduEncode, AllocatesNothing)
{
    Bytes in = Hex("A2 82 00 2C 02 01 05 02 01 00 02 01 00 30 82 00 1F 30 82 00 0C 06 08 2B 06 01 02 01 01 05 00 "
                   "04 00 30 82 00 0B 06 03 2B 06 01 40 04 7F 00 00 01");
    NySnmpPdu pdu;
    unsigned int rem = static_cast<unsigned int>(in.size());
    const long before = g_allocations;
    pdu.FromAsn(in.data(), &rem);
    if (g_allocations == before)
        GTEST_SKIP() << "allocations are not counted in this program";

    Bytes out(256);
    const long encoding = g_allocations;
    for (int i = 0; i < 10; ++i) {
        rem = static_cast<unsigned int>(out.size());
        pdu.AsAsn(out.data(), &rem, 0);
    }
    EXPECT_EQ(g_allocations - encoding, 0);
    EXPECT_EQ(ToHex(out.data(), out.size() - rem), ToHex(in));
}
#endif
