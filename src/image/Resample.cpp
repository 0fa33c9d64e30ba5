#include "image/Resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/Bitmap.h"

namespace ove {
namespace {

struct SWeight {
    int index;
    double weight;
};

// For each target cell, the source cells it covers and their share of its area.
std::vector<std::vector<SWeight>> Coverage(int source, int target) {
    std::vector<std::vector<SWeight>> out(std::size_t(std::max(target, 0)));
    const double step = double(source) / double(target);
    for (int i = 0; i < target; ++i) {
        const double start = i * step, end = (i + 1) * step;
        const int first = std::clamp(int(std::floor(start)), 0, source - 1);
        const int last = std::clamp(int(std::ceil(end)) - 1, first, source - 1);
        for (int j = first; j <= last; ++j) {
            const double overlap = std::min(end, double(j + 1)) - std::max(start, double(j));
            if (overlap > 1e-12) out[std::size_t(i)].push_back({j, overlap / step});
        }
        if (out[std::size_t(i)].empty()) out[std::size_t(i)].push_back({first, 1.0});
    }
    return out;
}

}  // namespace

void ResampleArea(const std::uint8_t* source, int sourceWidth, int sourceHeight, std::size_t sourceStride,
                  std::uint8_t* target, int targetWidth, int targetHeight, std::size_t targetStride) {
    if (!source || !target || sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return;
    const auto columns = Coverage(sourceWidth, targetWidth);
    const auto rows = Coverage(sourceHeight, targetHeight);
    // Horizontal pass into a float buffer, then the vertical pass per target row.
    std::vector<float> across(std::size_t(sourceHeight) * targetWidth * 4);
    for (int y = 0; y < sourceHeight; ++y) {
        const std::uint8_t* in = source + std::size_t(y) * sourceStride;
        float* out = &across[std::size_t(y) * targetWidth * 4];
        for (int x = 0; x < targetWidth; ++x) {
            double sum[4] = {};
            for (const SWeight& w : columns[std::size_t(x)])
                for (int c = 0; c < 4; ++c) sum[c] += w.weight * in[std::size_t(w.index) * 4 + c];
            for (int c = 0; c < 4; ++c) out[x * 4 + c] = float(sum[c]);
        }
    }
    std::vector<double> sum(std::size_t(targetWidth) * 4);
    for (int y = 0; y < targetHeight; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0);
        for (const SWeight& w : rows[std::size_t(y)]) {
            const float* in = &across[std::size_t(w.index) * targetWidth * 4];
            for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += w.weight * in[i];
        }
        std::uint8_t* out = target + std::size_t(y) * targetStride;
        for (std::size_t i = 0; i < sum.size(); ++i) out[i] = std::uint8_t(std::clamp(std::lround(sum[i]), 0L, 255L));
    }
}

bool ResampleArea(const CBitmapInterface& source, CBitmapInterface& target) {
    if (source.IsEmpty() || target.IsEmpty() || source.BitsPerPixel() != 32 || target.BitsPerPixel() != 32)
        return false;
    ResampleArea(source.Pixels(), int(source.Width()), int(source.Height()), source.Stride(), target.Pixels(),
                 int(target.Width()), int(target.Height()), target.Stride());
    return true;
}

}  // namespace ove
