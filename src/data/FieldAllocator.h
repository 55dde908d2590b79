#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

// Allocator for the big per-forecast arrays. Large blocks are 2 MiB aligned and marked for
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

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < 2 * kHuge) {
            if (void* p = std::malloc(bytes ? bytes : 1)) return static_cast<T*>(p);
            throw std::bad_alloc();
        }
        const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
        void* p = std::aligned_alloc(kHuge, rounded);
        if (!p) throw std::bad_alloc();
        madvise(p, rounded, MADV_HUGEPAGE);  // advice only; failure just means small pages
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { std::free(p); }

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
