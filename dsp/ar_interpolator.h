// ArInterpolator: least-squares autoregressive interpolation of a short gap in a signal, the
// repair of a click.
//
// How it works: an autoregressive model (x[n] = a1 x[n-1] + ... + ap x[n-p] + error) is fitted
// by Burg's method to the samples on both sides of the gap; the gap's values are those that
// minimise the model's prediction error over the gap and the `order` samples after it. That is
// a banded Toeplitz system (the autocorrelation of the prediction error filter), solved by a
// banded Cholesky factorisation. Under the model the interpolation's error energy is the
// innovation variance times the trace of the system's inverse: Innovation() x ErrorTrace() says
// how much a repair of that gap gets wrong by itself, so a repair can be refused when the click
// is not plainly larger.
#pragma once

#include <vector>

class ArInterpolator {
public:
    // `order` of the model, `maxGap` the longest gap it interpolates.
    ArInterpolator(int order, int maxGap);

    // Fits the model to x[from1, to1) and x[from2, to2) together (the segments are not joined).
    // False when they are too short for the order.
    bool Fit(const double* x, int from1, int to1, int from2, int to2);
    // The fitted model's prediction error power per sample over the segments.
    double Innovation() const { return innovation_; }

    // Interpolates x[s..e] into values[0 .. e - s]: x must hold [s - order, e + order], the
    // samples of the gap aside. False when the gap is too long or the system is singular.
    bool Interpolate(const double* x, int s, int e, double* values);
    // The prediction error energy over the rows [s, last + order] with the gap [s, e]
    // interpolated, for each e from s to `last`, into leftover[e - s]: which span leaves the
    // least of a stretch. Faster than interpolating each; false as Interpolate.
    bool Leftovers(const double* x, int s, int last, double* leftover);
    // The model's prediction error of x at n (x must hold [n - order, n]).
    double PredictionError(const double* x, int n) const;
    // The interpolation's expected error energy over the last gap, per unit of innovation
    // variance (the trace of the inverse of its system).
    double ErrorTrace();

private:
    bool Factor(int m);

    const int order_, maxGap_;
    double innovation_ = 0.0;
    std::vector<double> filter_;       // 1, -a1 ... -ap
    std::vector<double> correlation_;  // of the filter: the system's bands
    std::vector<double> chol_;         // the lower factor, band rows of order + 1
    std::vector<double> forward_, backward_, previous_, known_, column_, right_;
    int factored_ = 0;  // the longest gap the factor is for
    int gap_ = 0;       // the last gap's length
};
