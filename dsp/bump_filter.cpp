// BumpFilter: the whitened matched filter for half-sine bumps (see the header).
#include "dsp/bump_filter.h"

#include <algorithm>
#include <cmath>

#include <xmmintrin.h>  // SSE: every x86 processor this program runs on has it

namespace {
constexpr int kBumpNarrowest = 8;   // narrower clicks stand out sample by sample
constexpr double kWidthStep = 1.5;  // the widths scanned, each this much wider
constexpr double kPi = 3.14159265358979323846;

}  // namespace

double BumpFilter::Shape(int i, int width) {
    return std::sin(kPi * (i + 0.5) / width);
}

BumpFilter::BumpFilter(int order, int longest)
    : order_(order),
      longest_(std::max(longest, kBumpNarrowest)),
      filter_(size_t(order) + 1, 0.0f) {
    // Wider steps at high rates: at most kMaxWidths widths, scanned side by side.
    const double step =
        std::max(kWidthStep, std::pow(double(longest_) / kBumpNarrowest, 1.0 / (kMaxWidths - 1)));
    for (double w = kBumpNarrowest; int(w) < longest_ && widths_.size() + 1 < kMaxWidths; w *= step)
        widths_.push_back(int(w));
    widths_.push_back(longest_);
    for (const int w : widths_) {
        std::vector<double> lags(size_t(order) + 1, 0.0);
        for (int lag = 0; lag <= order && lag < w; ++lag) {
            for (int i = 0; i + lag < w; ++i) lags[size_t(lag)] += Shape(i, w) * Shape(i + lag, w);
        }
        shapeLags_.push_back(std::move(lags));
    }
    // The unused widths give nothing (norm_ is 0 there).
    for (size_t j = 0; j < widths_.size(); ++j) {
        const int w = widths_[j];
        cosines_.emplace_back();
        sines_.emplace_back();
        for (int i = 0; i < w; ++i) {
            cosines_.back().push_back(std::cos(kPi * i / w));
            sines_.back().push_back(std::sin(kPi * i / w));
        }
        stepCos_[j] = float(std::cos(kPi / w));
        stepSin_[j] = float(std::sin(kPi / w));
        halfCos_[j] = float(std::cos(kPi / (2.0 * w)));
        halfSin_[j] = float(std::sin(kPi / (2.0 * w)));
    }
    filter_[0] = 1.0f;
}

void BumpFilter::SetModel(const double* filter) {
    const int p = order_;
    for (int k = 0; k <= p; ++k) filter_[size_t(k)] = float(filter[k]);
    std::vector<double> lags(size_t(p) + 1, 0.0);  // the filter's autocorrelation
    for (int lag = 0; lag <= p; ++lag) {
        for (int k = 0; k + lag <= p; ++k) lags[size_t(lag)] += filter[k] * filter[k + lag];
    }
    for (size_t j = 0; j < widths_.size(); ++j) {
        double energy = lags[0] * shapeLags_[j][0];  // |A b|^2
        for (int lag = 1; lag <= p; ++lag)
            energy += 2.0 * lags[size_t(lag)] * shapeLags_[j][size_t(lag)];
        norm_[j] = energy > 0.0 ? float(1.0 / std::sqrt(energy)) : 0.0f;
    }
}

void BumpFilter::Scan(const double* residual, int from, int to, double floor, double* size,
                      uint16_t* width) {
    if (to <= from) return;
    Backward(residual, from, to - from + longest_);
    Slide(to - from, floor, size + from, width + from);
}

// back_[0 .. count) = A' r from r[from], four samples at a time in single precision.
void BumpFilter::Backward(const double* residual, int from, int count) {
    const int p = order_;
    const int padded = (count + 3) / 4 * 4;
    error_.resize(size_t(padded + p));
    for (int i = 0; i < count + p; ++i) error_[size_t(i)] = float(residual[from + i]);
    std::fill(error_.begin() + (count + p), error_.end(), 0.0f);
    back_.resize(size_t(padded));
    for (int i = 0; i < padded; i += 4) {
        __m128 sum = _mm_loadu_ps(&error_[size_t(i)]);  // the filter's first tap is 1
        for (int k = 1; k <= p; ++k) {
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(filter_[size_t(k)]),
                                             _mm_loadu_ps(&error_[size_t(i + k)])));
        }
        _mm_storeu_ps(&back_[size_t(i)], sum);
    }
}

// size[n] and width[n] for the bumps starting at back_[n], n < steps.
void BumpFilter::Slide(int steps, double floor, double* size, uint16_t* width) {
    // All widths slide together, one sample at a time, four to an SSE register (single
    // precision: a slide of a few thousand samples drifts far less than the threshold's
    // resolution). z = sum of u[n + i] e^(j pi i / w); the bump's sum is Im(z e^(j pi / 2w)).
    const float* u = back_.data();
    const int widths = int(widths_.size());
    float re[kMaxWidths] = {}, im[kMaxWidths] = {};
    for (int j = 0; j < widths; ++j) {
        double sumRe = 0.0, sumIm = 0.0;
        for (int i = 0; i < widths_[size_t(j)]; ++i) {
            sumRe += u[i] * cosines_[size_t(j)][size_t(i)];
            sumIm += u[i] * sines_[size_t(j)][size_t(i)];
        }
        re[j] = float(sumRe);
        im[j] = float(sumIm);
    }
    // What leaves each window at each step, laid out ahead of the slide.
    leaving_.assign(size_t(steps) * kMaxWidths, 0.0f);
    for (int n = 0; n < steps; ++n) {
        for (int j = 0; j < widths; ++j)
            leaving_[size_t(n) * kMaxWidths + size_t(j)] = u[n] + u[n + widths_[size_t(j)]];
    }
    __m128 re0 = _mm_loadu_ps(re), re1 = _mm_loadu_ps(re + 4);
    __m128 im0 = _mm_loadu_ps(im), im1 = _mm_loadu_ps(im + 4);
    const __m128 stepCos0 = _mm_loadu_ps(stepCos_), stepCos1 = _mm_loadu_ps(stepCos_ + 4);
    const __m128 stepSin0 = _mm_loadu_ps(stepSin_), stepSin1 = _mm_loadu_ps(stepSin_ + 4);
    // The output's factors: Im(z e^(j pi / 2w)) / |A b|.
    const __m128 outSin0 = _mm_mul_ps(_mm_loadu_ps(halfSin_), _mm_loadu_ps(norm_));
    const __m128 outSin1 = _mm_mul_ps(_mm_loadu_ps(halfSin_ + 4), _mm_loadu_ps(norm_ + 4));
    const __m128 outCos0 = _mm_mul_ps(_mm_loadu_ps(halfCos_), _mm_loadu_ps(norm_));
    const __m128 outCos1 = _mm_mul_ps(_mm_loadu_ps(halfCos_ + 4), _mm_loadu_ps(norm_ + 4));
    const float floor2 = float(floor * floor);
    for (int n = 0; n < steps; ++n) {
        const __m128 v0 = _mm_add_ps(_mm_mul_ps(re0, outSin0), _mm_mul_ps(im0, outCos0));
        const __m128 v1 = _mm_add_ps(_mm_mul_ps(re1, outSin1), _mm_mul_ps(im1, outCos1));
        const __m128 e0 = _mm_mul_ps(v0, v0), e1 = _mm_mul_ps(v1, v1);
        __m128 most = _mm_max_ps(e0, e1);
        most = _mm_max_ps(most, _mm_movehl_ps(most, most));
        most = _mm_max_ss(most, _mm_shuffle_ps(most, most, 1));
        const float best = _mm_cvtss_f32(most);
        size[n] = best;
        width[n] = 0;
        if (best > floor2) {  // which width, only where it may matter
            float out[kMaxWidths];
            _mm_storeu_ps(out, e0);
            _mm_storeu_ps(out + 4, e1);
            int chosen = 0;
            while (out[chosen] < best) ++chosen;
            width[n] = uint16_t(widths_[size_t(chosen)]);
        }
        const float* leave = &leaving_[size_t(n) * kMaxWidths];
        const __m128 a0 = _mm_sub_ps(re0, _mm_loadu_ps(leave));
        const __m128 a1 = _mm_sub_ps(re1, _mm_loadu_ps(leave + 4));
        re0 = _mm_add_ps(_mm_mul_ps(a0, stepCos0), _mm_mul_ps(im0, stepSin0));
        re1 = _mm_add_ps(_mm_mul_ps(a1, stepCos1), _mm_mul_ps(im1, stepSin1));
        im0 = _mm_sub_ps(_mm_mul_ps(im0, stepCos0), _mm_mul_ps(a0, stepSin0));
        im1 = _mm_sub_ps(_mm_mul_ps(im1, stepCos1), _mm_mul_ps(a1, stepSin1));
    }
    for (int n = 0; n < steps; ++n) size[n] = std::sqrt(size[n]);
}
