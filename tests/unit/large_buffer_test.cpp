#include "platform/large_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

namespace vesk {
namespace {

TEST(LargeBuffer, SmallAndHugeBuffersHoldWhatIsWritten) {
    for (std::size_t size : {std::size_t{0}, std::size_t{100}, std::size_t{9} << 20}) {
        SCOPED_TRACE(size);
        LargeBytes bytes = allocateLargeBytes(size);
        ASSERT_NE(bytes.get(), nullptr);
        for (std::size_t i = 0; i < size; i += 4096) bytes[i] = static_cast<char>(i / 4096);
        if (size == 0) continue;
        bytes[size - 1] = 'z';
        EXPECT_EQ(bytes[0], 0);
        EXPECT_EQ(bytes[size - 1], 'z');
    }
}

TEST(LargeBuffer, VectorsGrowAndRefuseImpossibleSizes) {
    std::vector<std::uint64_t, LargeAllocator<std::uint64_t>> v;
    v.reserve(1u << 20);
    for (std::uint64_t i = 0; i < (3u << 20); ++i) v.push_back(i);
    EXPECT_EQ(v[(3u << 20) - 1], (3u << 20) - 1);
    LargeAllocator<std::uint64_t> a;
    EXPECT_THROW((void)a.allocate(~std::size_t{0} / 4), std::bad_alloc);
}

}  // namespace
}  // namespace vesk
