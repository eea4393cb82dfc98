// ArInterpolator: gaps in a signal its model describes are filled in, and the error it expects
// of itself is the error it makes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/ar_interpolator.h"

namespace {

// Near-normal noise of unit deviation, the same on every platform.
class Noise {
public:
    double Next() {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
            sum += double(state_ >> 11) / 9007199254740992.0;
        }
        return (sum - 2.0) * 1.7320508075688772;
    }

private:
    uint64_t state_ = 12345;
};

// Interpolates [at, at + gap) of x from `context` samples on each side; the RMS error.
double GapError(ArInterpolator& model, const std::vector<double>& x, int at, int gap,
                int context) {
    std::vector<double> values(static_cast<size_t>(gap));
    EXPECT_TRUE(model.Fit(x.data(), at - context, at, at + gap, at + gap + context));
    EXPECT_TRUE(model.Interpolate(x.data(), at, at + gap - 1, values.data()));
    double sum = 0.0;
    for (int i = 0; i < gap; ++i) {
        const double d = values[size_t(i)] - x[size_t(at + i)];
        sum += d * d;
    }
    return std::sqrt(sum / gap);
}

// Two tones of 5000 and 2000 with noise of 10.
std::vector<double> TwoTones(size_t length) {
    std::vector<double> x(length);
    Noise noise;
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = 5000.0 * std::sin(0.031 * n) + 2000.0 * std::sin(0.29 * n + 1.0) +
               10.0 * noise.Next();
    return x;
}

TEST(ArInterpolatorTest, FillsGapsInTonesUpToTwoMilliseconds) {
    // The gap comes back to within three times the noise (the noise in it cannot be known).
    const std::vector<double> x = TwoTones(8192);
    ArInterpolator model(32, 128);
    for (int gap : {1, 10, 40, 88}) EXPECT_LT(GapError(model, x, 4000, gap, 1024), 30.0) << gap;
}

TEST(ArInterpolatorTest, ExpectsTheErrorItMakes) {
    // A resonant second-order process of unit innovation: over many gaps, the mean squared
    // error is what Innovation() x ErrorTrace() says, within sampling error.
    std::vector<double> x(200000);
    Noise noise;
    const double a1 = 2.0 * 0.97 * std::cos(0.3), a2 = -0.97 * 0.97;
    for (size_t n = 2; n < x.size(); ++n) x[n] = a1 * x[n - 1] + a2 * x[n - 2] + noise.Next();
    ArInterpolator model(8, 64);
    for (int gap : {1, 8, 40}) {
        double made = 0.0, expected = 0.0;
        for (int at = 2048; at + gap + 1024 < int(x.size()); at += 1500) {
            const double rms = GapError(model, x, at, gap, 1000);
            made += rms * rms * gap;
            expected += model.Innovation() * model.ErrorTrace();
        }
        EXPECT_NEAR(made / expected, 1.0, 0.25) << gap;
    }
}

TEST(ArInterpolatorTest, TellsTheErrorLeftByEachGap) {
    // A click on two tones: what each gap [at, at + j] leaves of the prediction error, computed
    // gap by gap for the whole stretch, is the error of the interpolated signal itself.
    std::vector<double> x = TwoTones(4096);
    for (int k = 0; k < 30; ++k) x[size_t(2000 + k)] += 8000.0 * std::exp(-0.1 * k);
    const int order = 32, at = 2000, longest = 60;
    ArInterpolator model(order, longest);
    ASSERT_TRUE(model.Fit(x.data(), 900, at, at + longest, at + longest + 1000));
    std::vector<double> leftovers(longest), values(longest);
    ASSERT_TRUE(model.Leftovers(x.data(), at, at + longest - 1, leftovers.data()));
    for (int gap : {1, 2, 20, 30, 31, 60}) {
        ASSERT_TRUE(model.Interpolate(x.data(), at, at + gap - 1, values.data()));
        std::vector<double> y = x;
        std::copy(values.begin(), values.begin() + gap, y.begin() + at);
        double direct = 0.0;
        for (int n = at; n < at + longest + order; ++n) {
            const double e = model.PredictionError(y.data(), n);
            direct += e * e;
        }
        EXPECT_NEAR(leftovers[size_t(gap - 1)], direct, 1e-6 * direct) << gap;
    }
    EXPECT_GT(leftovers[28], 10.0 * leftovers[30]) << "the click's tail is taken out";
}

TEST(ArInterpolatorTest, RefusesWhatItCannotDo) {
    std::vector<double> x(4096, 1.0);
    ArInterpolator model(32, 16);
    std::vector<double> values(64);
    EXPECT_FALSE(model.Fit(x.data(), 0, 10, 20, 2000)) << "one side shorter than half the order";
    EXPECT_FALSE(model.Fit(x.data(), 0, 20, 30, 60)) << "both sides shorter than twice the order";
    for (size_t n = 0; n < x.size(); ++n) x[n] = std::sin(0.1 * n) + 0.01 * std::sin(1.7 * n * n);
    ASSERT_TRUE(model.Fit(x.data(), 0, 2000, 2020, 4000));
    EXPECT_TRUE(model.Interpolate(x.data(), 2000, 2015, values.data()));
    EXPECT_FALSE(model.Interpolate(x.data(), 2000, 2016, values.data())) << "longer than 16";
}

}  // namespace
