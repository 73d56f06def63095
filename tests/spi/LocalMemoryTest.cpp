// The local-memory blocks shared with the plug-ins: small and picture-sized blocks alike keep their exact
// size, start zeroed when asked, can be written end to end, and are gone once freed.
#include "spi/include/tovari_spi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

TEST(LocalMemory, BlocksOfEverySizeKeepTheirSizeAndContents)
{
    constexpr std::size_t kMiB = std::size_t(1) << 20;
    const std::size_t sizes[] = {0, 1, 4095, 8 * kMiB - 1, 8 * kMiB, 9 * kMiB + 3};
    for (const std::size_t size : sizes) {
        for (const unsigned flags : {unsigned(LMEM_FIXED), unsigned(LMEM_ZEROINIT)}) {
            HLOCAL block = LocalAlloc(flags, size);
            ASSERT_NE(block, nullptr) << size;
            EXPECT_EQ(LocalSize(block), size);
            auto* bytes = static_cast<unsigned char*>(LocalLock(block));
            ASSERT_NE(bytes, nullptr);
            EXPECT_TRUE(flags != LMEM_ZEROINIT || std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; }))
                << size;
            std::memset(bytes, 0xA5, size);
            EXPECT_EQ(LocalUnlock(block), 0);
            EXPECT_EQ(LocalFree(block), nullptr);
            EXPECT_EQ(LocalSize(block), 0u);
            EXPECT_EQ(LocalLock(block), nullptr);
        }
    }
}

TEST(LocalMemory, ImpossibleSizesAreRefused)
{
    for (const std::size_t size : {SIZE_MAX, SIZE_MAX - 1, SIZE_MAX / 2 + 1})
        EXPECT_EQ(LocalAlloc(LMEM_FIXED, size), nullptr) << size;
}
