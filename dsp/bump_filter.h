// BumpFilter: finds smooth clicks (half-sine bumps and the slow swing of a pop, 8 samples to
// the longest click) in the prediction error of an autoregressive model of the music.
//
// Why: a smooth click of 1-2 ms is almost predictable sample by sample, so its prediction
// error hardly stands out at any one sample even when the click is louder than the music; its
// energy is spread over the whole bump. The matched filter gathers it: for a bump b starting at
// n, the prediction error r's correlation with the bump through the model's filter A,
// <r, A b> / |A b|, is the size of the bump the error holds, in the same units as the error
// itself (for white error of deviation d it is normal with deviation d), so the per-sample
// threshold applies to it unchanged. <r, A b> = <A' r, b>: the error is filtered backwards once,
// then each width is a sliding sum of a half period of a complex exponential, O(1) a sample.
// The widths go from 8 samples up by half each time, at most eight of them, which slide side by
// side in SSE registers in single precision.
#pragma once

#include <cstdint>
#include <vector>

class BumpFilter {
public:
    // `order` of the model, `longest` the widest bump (8 samples at least).
    BumpFilter(int order, int longest);

    // The model's prediction error filter: 1, -a1 ... -ap.
    void SetModel(const double* filter);
    // For each start n in [from, to): the strongest bump's output into size[n] (absolute) and,
    // where it exceeds `floor`, its width into width[n] (else 0). `residual` must be known over
    // [from, to + Reach()).
    void Scan(const double* residual, int from, int to, double floor, double* size,
              uint16_t* width);
    int Reach() const { return longest_ + order_; }
    // The bump's value at sample i of `width`: a half period of a sine, peak 1.
    static double Shape(int i, int width);

private:
    void Backward(const double* residual, int from, int count);
    void Slide(int steps, double floor, double* size, uint16_t* width);

    const int order_, longest_;
    std::vector<int> widths_;
    std::vector<std::vector<double>> shapeLags_;  // each width's bump autocorrelation, 0..order
    static constexpr int kMaxWidths = 8;  // two SSE registers of four
    std::vector<std::vector<double>> cosines_, sines_;  // e^(j pi i / w): the first sums
    float norm_[kMaxWidths] = {};                           // 1 / |A b| per width
    float stepCos_[kMaxWidths] = {}, stepSin_[kMaxWidths] = {};  // the slide's step
    float halfCos_[kMaxWidths] = {}, halfSin_[kMaxWidths] = {};
    std::vector<float> filter_;                   // the model's, single precision
    std::vector<float> error_;                    // the residual scanned, single precision
    std::vector<float> back_;                     // A' r
    std::vector<float> leaving_;                  // u[n] + u[n + w], kMaxWidths a step
};
