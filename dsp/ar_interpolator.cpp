// ArInterpolator: Burg's method and the banded least-squares interpolation (see the header).
#include "dsp/ar_interpolator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

ArInterpolator::ArInterpolator(int order, int maxGap)
    : order_(order),
      maxGap_(maxGap),
      filter_(size_t(order) + 1, 0.0),
      correlation_(size_t(order) + 1, 0.0),
      chol_(size_t(maxGap) * size_t(order + 1), 0.0),
      previous_(size_t(order) + 1, 0.0),
      known_(size_t(maxGap + order), 0.0),
      column_(size_t(maxGap), 0.0),
      right_(size_t(maxGap), 0.0) {
    filter_[0] = 1.0;
}

bool ArInterpolator::Fit(const double* x, int from1, int to1, int from2, int to2) {
    const int length1 = std::max(0, to1 - from1), length2 = std::max(0, to2 - from2);
    const int p = order_;
    if (length1 + length2 < 2 * p || length1 <= p / 2 || length2 <= p / 2) return false;
    forward_.assign(x + from1, x + to1);
    forward_.insert(forward_.end(), x + from2, x + to2);
    backward_ = forward_;
    double* f = forward_.data();
    double* b = backward_.data();
    double* c = filter_.data();
    std::fill(c, c + p + 1, 0.0);
    c[0] = 1.0;
    const int starts[2] = {0, length1}, ends[2] = {length1, length1 + length2};
    double power = 0.0;
    for (int n = 0; n < length1 + length2; ++n) power += f[n] * f[n];
    power /= double(length1 + length2);
    for (int m = 1; m <= p; ++m) {
        double num = 0.0, den = 0.0;
        for (int segment = 0; segment < 2; ++segment) {
            for (int n = starts[segment] + m; n < ends[segment]; ++n) {
                num += f[n] * b[n - 1];
                den += f[n] * f[n] + b[n - 1] * b[n - 1];
            }
        }
        const double k = den > 0.0 ? -2.0 * num / den : 0.0;
        std::memcpy(previous_.data(), c, sizeof(double) * size_t(m));
        for (int j = 1; j < m; ++j) c[j] = previous_[size_t(j)] + k * previous_[size_t(m - j)];
        c[m] = k;
        power *= 1.0 - k * k;
        for (int segment = 0; segment < 2; ++segment) {
            for (int n = ends[segment] - 1; n >= starts[segment] + m; --n) {
                const double fn = f[n];
                f[n] = fn + k * b[n - 1];
                b[n] = b[n - 1] + k * fn;
            }
        }
    }
    innovation_ = power;
    // The system's bands: the filter's autocorrelation. A new model needs a new factor.
    for (int j = 0; j <= p; ++j) {
        double sum = 0.0;
        for (int k = 0; k + j <= p; ++k) sum += c[k] * c[k + j];
        correlation_[size_t(j)] = sum;
    }
    factored_ = 0;
    return true;
}

// The banded Cholesky factor of the m x m Toeplitz system; row i keeps its band: element
// (i, j) at chol_[i * (order + 1) + (i - j)]. A longer gap only extends the rows.
bool ArInterpolator::Factor(int m) {
    const int p = order_, w = order_ + 1;
    const double* g = correlation_.data();
    double* l = chol_.data();
    for (int i = factored_; i < m; ++i) {
        const int first = std::max(0, i - p);
        for (int j = first; j <= i; ++j) {
            double sum = g[i - j];
            for (int k = std::max(first, j - p); k < j; ++k)
                sum -= l[i * w + (i - k)] * l[j * w + (j - k)];
            if (i == j) {
                if (sum <= 0.0) return false;
                l[i * w] = std::sqrt(sum);
            } else {
                l[i * w + (i - j)] = sum / l[j * w];
            }
        }
        factored_ = i + 1;
    }
    return true;
}

bool ArInterpolator::Interpolate(const double* x, int s, int e, double* values) {
    const int m = e - s + 1, p = order_, w = order_ + 1;
    if (m < 1 || m > maxGap_ || !Factor(m)) return false;
    const double* c = filter_.data();
    // The prediction error of each row from the known samples alone.
    double* known = known_.data();
    for (int n = s; n <= e + p; ++n) {
        double sum = 0.0;
        for (int k = 0; k <= p; ++k) {
            if (n - k < s || n - k > e) sum += c[k] * x[n - k];
        }
        known[n - s] = sum;
    }
    const double* l = chol_.data();
    for (int i = 0; i < m; ++i) {
        double sum = 0.0;
        for (int k = 0; k <= p; ++k) sum += c[k] * known[i + k];
        sum = -sum;
        for (int k = std::max(0, i - p); k < i; ++k) sum -= l[i * w + (i - k)] * values[k];
        values[i] = sum / l[i * w];
    }
    for (int i = m - 1; i >= 0; --i) {
        double sum = values[i];
        for (int k = i + 1; k <= std::min(m - 1, i + p); ++k) sum -= l[k * w + (k - i)] * values[k];
        values[i] = sum / l[i * w];
    }
    gap_ = m;
    return true;
}

// Gap by gap: the known samples' prediction error and the system's right side lose the new gap
// sample's part. The least error left is that of the known samples less what the gap's values
// explain, the squared norm of the forward solution; the back substitution is not needed.
bool ArInterpolator::Leftovers(const double* x, int s, int last, double* leftover) {
    const int longest = last - s + 1, p = order_, w = order_ + 1;
    if (longest < 1 || longest > maxGap_ || !Factor(longest)) return false;
    const double* c = filter_.data();
    const double* g = correlation_.data();
    const double* l = chol_.data();
    double* known = known_.data();  // rows s .. last + p
    double* right = right_.data();
    double* y = column_.data();
    double energy = 0.0;  // of the known samples' error over all rows
    for (int n = s; n <= last + p; ++n) {
        known[n - s] = PredictionError(x, n);
        energy += known[n - s] * known[n - s];
    }
    for (int j = 0; j < longest; ++j) {  // the gap [s, s + j]
        const double taken = x[s + j];
        for (int k = 0; k <= p; ++k) {
            double& row = known[j + k];
            energy -= row * row;
            row -= c[k] * taken;
            energy += row * row;
        }
        for (int i = std::max(0, j - p); i < j; ++i) right[i] -= taken * g[j - i];
        double sum = 0.0;
        for (int k = 0; k <= p; ++k) sum += c[k] * known[j + k];
        right[j] = sum;
        double explained = 0.0;
        for (int i = 0; i <= j; ++i) {
            double v = right[i];
            for (int k = std::max(0, i - p); k < i; ++k) v -= l[i * w + (i - k)] * y[k];
            y[i] = v / l[i * w];
            explained += y[i] * y[i];
        }
        leftover[j] = energy - explained;
    }
    return true;
}

double ArInterpolator::PredictionError(const double* x, int n) const {
    double sum = 0.0;
    for (int k = 0; k <= order_; ++k) sum += filter_[size_t(k)] * x[n - k];
    return sum;
}

double ArInterpolator::ErrorTrace() {
    // The squared norm of the inverse factor, a column at a time.
    const int m = gap_, p = order_, w = order_ + 1;
    const double* l = chol_.data();
    double* y = column_.data();
    double trace = 0.0;
    for (int j = 0; j < m; ++j) {
        y[j] = 1.0 / l[j * w];
        trace += y[j] * y[j];
        for (int i = j + 1; i < m; ++i) {
            double sum = 0.0;
            for (int k = std::max(j, i - p); k < i; ++k) sum -= l[i * w + (i - k)] * y[k];
            y[i] = sum / l[i * w];
            trace += y[i] * y[i];
        }
    }
    return trace;
}
