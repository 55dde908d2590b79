#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

// Allocator for the big per-forecast arrays. Large blocks are mapped directly and marked for
// transparent huge pages: a forecast is hundreds of MiB, and first-touch page faults on 4 KiB pages
// cost more than reading the file. Elements are default-initialised, so a resize before the file's
// values arrive does not write every page twice.
template <class T>
struct FieldAllocator {
    using value_type = T;
    FieldAllocator() = default;
    template <class U>
    FieldAllocator(const FieldAllocator<U>&) {}

    static constexpr std::size_t kHuge = std::size_t(2) << 20;
    static std::size_t mappedSize(std::size_t bytes) { return (bytes + kHuge - 1) / kHuge * kHuge; }

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < 2 * kHuge) {
            if (void* p = std::malloc(bytes ? bytes : 1)) return static_cast<T*>(p);
            throw std::bad_alloc();
        }
        // Mapped directly, not through malloc: freeing a block then returns it to the system at
        // once, so reload after reload never leaves the heap holding old forecasts.
        void* p = mmap(nullptr, mappedSize(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        madvise(p, mappedSize(bytes), MADV_HUGEPAGE);  // advice only; failure just means small pages
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < 2 * kHuge)
            std::free(p);
        else
            munmap(p, mappedSize(bytes));
    }

    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const FieldAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const FieldAllocator<U>&) const { return false; }
};

// One field over all steps: element (t * numRows + row) * numCols + col.
using FloatField = std::vector<float, FieldAllocator<float>>;
