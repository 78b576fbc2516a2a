// The manual-reset event and the mutex as the session's loop uses them.
#include <thread>

#include <gtest/gtest.h>

#include "nysocket.h"

TEST(NyEvent, ManualResetAcrossThreads)
{
    NyEvent event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0));
    std::thread setter([&event] { event.Set(); });
    EXPECT_TRUE(event.Wait(5000));
    setter.join();
    EXPECT_TRUE(event.IsSet()) << "stays set until reset";
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
}

TEST(NySocketMutex, RecursiveAndLockGuardable)
{
    NySocketMutex mutex;
    mutex.Lock();
    {
        std::lock_guard<NySocketMutex> again(mutex);
    }
    mutex.Unlock();
    int counter = 0;
    std::thread other([&] {
        for (int i = 0; i < 1000; ++i) {
            std::lock_guard<NySocketMutex> guard(mutex);
            ++counter;
        }
    });
    for (int i = 0; i < 1000; ++i) {
        std::lock_guard<NySocketMutex> guard(mutex);
        ++counter;
    }
    other.join();
    EXPECT_EQ(counter, 2000);
}

TEST(NySocketException, KeepsOwnCopiesOfTexts)
{
    std::string by = "NyAsyncSocket::Send";
    std::string text = "Broken pipe";
    NySocketException e(by.c_str(), 32, static_cast<int>(0xC0080005u), text.c_str());
    by.assign("overwritten");
    text.assign("overwritten");
    NySocketException copy = e;
    EXPECT_STREQ(copy.ThrownBy(), "NyAsyncSocket::Send");
    EXPECT_STREQ(copy.Text(), "Broken pipe");
    EXPECT_STREQ(copy.what(), "Broken pipe");
    EXPECT_EQ(copy.NativeError(), 32);
    EXPECT_EQ(static_cast<uint32_t>(copy.Id()), 0xC0080005u);
}
