// Memory whose bytes are written before they are read: no zero-fill. The web toolchain's
// standard library predates std::make_unique_for_overwrite, hence this one name for both.
#pragma once
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace ove {

template <class T>
std::unique_ptr<T[]> MakeUninitialised(std::size_t count) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    return std::make_unique_for_overwrite<T[]>(count);
#else
    return std::unique_ptr<T[]>(new T[count]);
#endif
}

// An allocator whose value-less construction leaves the element as it was: a vector of bytes
// that is lengthened and then written whole skips the zero-fill.
template <class T>
struct CNoFillAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = CNoFillAllocator<U>;
    };
    CNoFillAllocator() = default;
    template <class U>
    CNoFillAllocator(const CNoFillAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Bytes that a decoder fills: lengthening does not zero them.
using ByteVector = std::vector<unsigned char, CNoFillAllocator<unsigned char>>;

}  // namespace ove
