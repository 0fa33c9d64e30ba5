// Arrays whose bytes are written before they are read: no zero-fill. The web toolchain's
// standard library predates std::make_unique_for_overwrite, hence this one name for both.
#pragma once
#include <cstddef>
#include <memory>

namespace ove {

template <class T>
std::unique_ptr<T[]> MakeUninitialised(std::size_t count) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    return std::make_unique_for_overwrite<T[]>(count);
#else
    return std::unique_ptr<T[]>(new T[count]);
#endif
}

}  // namespace ove
