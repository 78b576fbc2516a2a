// Lookups allocate nothing, however many rows and nodes they pass.
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "tree.h"

#if defined(__SANITIZE_ADDRESS__)
#define NYSNMP_COUNT_ALLOCATIONS 0 // the sanitizer owns operator new
#else
#define NYSNMP_COUNT_ALLOCATIONS 1
#endif

#if NYSNMP_COUNT_ALLOCATIONS
namespace {
thread_local long g_allocations = 0;
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }

void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(MibLookupCost, FindAndFindNextDoNotAllocate)
{
    NyMibObject root("1.3.6.1.4.1");
    NyMibObject top("top", "1.3.6.1.4.1.7", &root.Children(), 289, kNoAccess);
    MibInt scalar("s", top, 1, kReadOnly);
    NyMibTable table("t", top, 2);
    std::vector<std::unique_ptr<Row3>> rows;
    for (int i = 0; i < 50; ++i) {
        rows.push_back(std::make_unique<Row3>(table, kNoAccess, kReadOnly, kReadOnly));
        rows.back()->entry.SetInstanceNumber((i * 17) % 50);
    }
    NySnmpOid start("1.3.6.1.4.1.7"), middle("1.3.6.1.4.1.7.2.1.2.25"), past("1.3.6.1.4.1.8");
    NySnmpOid exact("1.3.6.1.4.1.7.2.1.3.49");

    const long before = g_allocations;
    NyMibObject* next = top.FindNext(start);
    NyMibObject* inside = top.FindNext(middle);
    NyMibObject* none = top.FindNext(past);
    NyMibObject* found = top.Find(exact);
    const long allocations = g_allocations - before;

    EXPECT_EQ(allocations, 0);
    NySnmpOid probe("1.3"); // the counter does see the library's allocations
    EXPECT_GT(g_allocations, before);
    EXPECT_EQ(next, &scalar);
    EXPECT_EQ(Id(inside), "1.3.6.1.4.1.7.2.1.2.26");
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Id(found), "1.3.6.1.4.1.7.2.1.3.49");
}

} // namespace
#endif
