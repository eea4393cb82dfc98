// BumpFilter: its sliding sums give the matched filter's output computed directly, and a bump
// hidden in noise is found where it starts, with its width.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/bump_filter.h"

namespace {

constexpr int kOrder = 4;
const double kFilter[kOrder + 1] = {1.0, -1.2, 0.5, 0.1, -0.05};  // 1, -a1 ... -ap

std::vector<double> Noise(size_t count, double scale) {
    std::vector<double> x(count);
    uint64_t state = 99;
    for (double& v : x) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        v = (double(state >> 11) / 9007199254740992.0 - 0.5) * scale;
    }
    return x;
}

// |<r, A b>| / |A b| for the bump of `width` starting at n, summed the long way.
double Direct(const std::vector<double>& r, int n, int width) {
    std::vector<double> filtered(size_t(width + kOrder), 0.0);
    for (int i = 0; i < width; ++i) {
        for (int k = 0; k <= kOrder; ++k)
            filtered[size_t(i + k)] += kFilter[k] * BumpFilter::Shape(i, width);
    }
    double along = 0.0, energy = 0.0;
    for (size_t i = 0; i < filtered.size(); ++i) {
        along += r[size_t(n) + i] * filtered[i];
        energy += filtered[i] * filtered[i];
    }
    return std::fabs(along) / std::sqrt(energy);
}

TEST(BumpFilterTest, SlidingSumsAreTheMatchedFilter) {
    const std::vector<double> r = Noise(4000, 100.0);
    BumpFilter filter(kOrder, 88);
    filter.SetModel(kFilter);
    std::vector<double> size(r.size());
    std::vector<uint16_t> width(r.size());
    filter.Scan(r.data(), 100, 3000, 0.0, size.data(), width.data());
    for (int n : {100, 101, 777, 2999}) {
        // Single precision over 2900 slides: within 1e-4.
        EXPECT_NEAR(size[size_t(n)], Direct(r, n, width[size_t(n)]), 1e-4 * size[size_t(n)]) << n;
        for (int w : {8, 12, 18, 27, 40, 60, 88})  // the widths scanned at 44.1 kHz
            EXPECT_LE(Direct(r, n, w), size[size_t(n)] * (1 + 1e-4)) << n;
    }
}

TEST(BumpFilterTest, FindsABumpWhereItStartsWithItsWidth) {
    // The widest bump is always scanned: 88 samples at 44.1 kHz, 256 at 192 kHz (where the widths
    // step wider to stay within the eight scanned side by side).
    const struct {
        int width, longest;
    } rows[] = {{12, 88}, {40, 88}, {88, 88}, {256, 256}};
    for (const auto& row : rows) {
        const int w = row.width;
        std::vector<double> r = Noise(3000, 10.0);
        // The error a bump of 500 leaves: the bump through the model's filter.
        for (int i = 0; i < w; ++i) {
            for (int k = 0; k <= kOrder; ++k)
                r[size_t(1500 + i + k)] += 500.0 * kFilter[k] * BumpFilter::Shape(i, w);
        }
        BumpFilter filter(kOrder, row.longest);
        filter.SetModel(kFilter);
        std::vector<double> size(r.size());
        std::vector<uint16_t> width(r.size());
        filter.Scan(r.data(), 200, 2600, 0.0, size.data(), width.data());
        int best = 200;
        for (int n = 200; n < 2600; ++n) best = size[size_t(n)] > size[size_t(best)] ? n : best;
        EXPECT_NEAR(best, 1500, 1) << w;
        EXPECT_EQ(width[size_t(best)], w);
    }
}

}  // namespace
