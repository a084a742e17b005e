#include "platform/large_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vesk {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

void* allocatePlain(std::size_t bytes) {
    void* p = std::malloc(bytes == 0 ? 1 : bytes);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

void* allocateLarge(std::size_t bytes) {
#if !defined(__linux__) || !defined(MADV_HUGEPAGE)
    // Without huge-page advice an aligned block gains nothing (and aligned_alloc is not
    // everywhere, MSVC lacks it).
    return allocatePlain(bytes);
#else
    if (bytes < 2 * kHugePage) return allocatePlain(bytes);
    if (bytes > static_cast<std::size_t>(-1) - kHugePage) throw std::bad_alloc();
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p) throw std::bad_alloc();
    // Only advice: where huge pages are off or scarce, the memory is used as it comes.
    ::madvise(p, rounded, MADV_HUGEPAGE);
    return p;
#endif
}

void adviseLargeBuffer(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the range: advice never reaches memory of others.
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t last = (start + bytes) / kHugePage * kHugePage;
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

void releaseLarge(void* p) noexcept {
    std::free(p);
}

}  // namespace vesk
