#include "imaging/heap.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Sanitizer builds bring their own allocator, which has none of these settings.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KARVONA_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KARVONA_OWN_ALLOCATOR 1
#endif
#endif

namespace {

// Regression: the settings were compiled out (the glibc test came before any header that
// defines __GLIBC__), so every photograph mapped and faulted in its working images afresh.
TEST(KeepFreedMemoryForReuse, ImageSizedBlocksComeFromTheHeapAndStayThereWhenFreed) {
#if defined(KARVONA_OWN_ALLOCATOR)
    GTEST_SKIP() << "the sanitizer's allocator replaces glibc's";
#elif defined(__GLIBC__)
    ASSERT_TRUE(karvona::imaging::KeepFreedMemoryForReuse());
    constexpr std::size_t kImage = 8 << 20;  // more than a 1024 x 768 colour photograph
    const std::size_t mappedBefore = mallinfo2().hblkhd;
    void* block = std::malloc(kImage);
    ASSERT_NE(block, nullptr);
    std::memset(block, 1, kImage);
    EXPECT_EQ(mallinfo2().hblkhd, mappedBefore);  // not a mapping of its own
    std::free(block);
    EXPECT_GE(mallinfo2().fordblks, kImage);  // kept for the next photograph
#else
    GTEST_SKIP() << "only glibc has these settings";
#endif
}

}  // namespace
