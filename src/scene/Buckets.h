// A fixed number of append-only integer lists, cleared all at once. Scripts sort numbers into
// numbered groups with it each frame; storage grows in steps of 8 and clearing keeps it, so
// steady per-frame use allocates nothing.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace ove {

class CBuckets {
public:
    static constexpr std::int32_t kGrowth = 8;

    // A negative count gives no buckets.
    explicit CBuckets(std::int32_t count);

    std::int32_t Count() const { return std::int32_t(m_buckets.size()); }
    // Ignored when the index is outside 0 .. Count() - 1.
    void Add(std::int32_t index, std::int32_t value);
    void ClearAll();
    // Values of a bucket in the order they were added; null with size 0 when the index is out of
    // range or the bucket is empty.
    const std::int32_t* Contents(std::int32_t index, std::int32_t& size) const;
    // Storage reserved by a bucket (0 for an index out of range).
    std::int32_t Capacity(std::int32_t index) const;

private:
    struct SBucket {
        std::int32_t count = 0;
        std::int32_t capacity = 0;
        std::unique_ptr<std::int32_t[]> storage;
    };
    std::vector<SBucket> m_buckets;
};

}  // namespace ove
