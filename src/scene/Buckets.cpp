#include "scene/Buckets.h"

#include <algorithm>

namespace ove {

CBuckets::CBuckets(std::int32_t count) : m_buckets(std::size_t(std::max(count, 0))) {}

void CBuckets::Add(std::int32_t index, std::int32_t value) {
    if (index < 0 || index >= Count()) return;
    SBucket& b = m_buckets[std::size_t(index)];
    if (b.count == b.capacity) {
        auto grown = std::make_unique<std::int32_t[]>(std::size_t(b.capacity) + kGrowth);
        std::copy_n(b.storage.get(), b.count, grown.get());
        b.storage = std::move(grown);
        b.capacity += kGrowth;
    }
    b.storage[std::size_t(b.count++)] = value;
}

void CBuckets::ClearAll() {
    for (SBucket& b : m_buckets) b.count = 0;
}

const std::int32_t* CBuckets::Contents(std::int32_t index, std::int32_t& size) const {
    size = 0;
    if (index < 0 || index >= Count()) return nullptr;
    const SBucket& b = m_buckets[std::size_t(index)];
    if (b.count == 0) return nullptr;
    size = b.count;
    return b.storage.get();
}

std::int32_t CBuckets::Capacity(std::int32_t index) const {
    return index < 0 || index >= Count() ? 0 : m_buckets[std::size_t(index)].capacity;
}

}  // namespace ove
