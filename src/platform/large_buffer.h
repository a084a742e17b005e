// Memory for the few large buffers a reader fills in one go: a whole address book file and the
// index built over it. Each fresh 4 KiB page costs a page fault when first touched, and on a
// virtual machine a fault costs microseconds, so a 60 MB book would spend more time in faults
// than in reading. On Linux such buffers are asked for in transparent huge pages (2 MiB);
// elsewhere, and for small sizes, they are plain allocations.
#pragma once

#include <cstddef>
#include <memory>

namespace vesk {

/// Asks for huge pages for the part of [p, p + bytes) not yet touched: for a std::string just
/// reserved to be filled (a book's whole text). Small ranges are left as they are.
void adviseLargeBuffer(void* p, std::size_t bytes) noexcept;

/// At least `bytes` of uninitialised memory; throws std::bad_alloc. Free with releaseLarge.
void* allocateLarge(std::size_t bytes);
void releaseLarge(void* p) noexcept;

struct LargeDeleter {
    void operator()(char* p) const noexcept { releaseLarge(p); }
};
using LargeBytes = std::unique_ptr<char[], LargeDeleter>;

/// `size` uninitialised bytes.
inline LargeBytes allocateLargeBytes(std::size_t size) {
    return LargeBytes(static_cast<char*>(allocateLarge(size)));
}

/// An allocator for containers that grow large (a vector reserved once for a whole file).
template <class T>
struct LargeAllocator {
    using value_type = T;

    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>& /*other*/) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(allocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t /*n*/) noexcept { releaseLarge(p); }

    template <class U>
    bool operator==(const LargeAllocator<U>& /*other*/) const noexcept {
        return true;
    }
};

}  // namespace vesk
