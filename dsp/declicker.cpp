// Declicker: detection by the prediction error of a per-block autoregressive model against a
// robust level, repair by least-squares autoregressive interpolation (see declicker.h).
#include "dsp/declicker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kP = kDeclickOrder;
static_assert(kP % 2 == 0, "the prediction sums take the coefficients in pairs");
constexpr int kQ = kDeclickRepairOrder;
constexpr int kBlock = kDeclickBlockFrames;
constexpr int kAhead = kDeclickLookAheadFrames;
constexpr int kModelMargin = 512;  // detection model window: block + margin each side
constexpr int kContext = kDeclickRepairContext;
constexpr int kModelWindow = kBlock + 2 * kModelMargin;
constexpr int kKeepBefore = kModelMargin + kContext;  // samples kept before the next block
constexpr int kCapacity = kKeepBefore + 2 * kBlock + kAhead;
constexpr int kEdge = 2;       // samples added on each side of an event
constexpr int kMergeGap = 8;   // suspects at most this far apart form one event
constexpr int kMaxClickCap = 256;
constexpr int kEndRounds = 4;       // rounds of finding a click's end
constexpr double kTailShare = 0.05;  // a click ends where it falls below 5 % of its peak
constexpr double kTailDeviations = 3.0;  // or below 3 robust deviations
constexpr double kClickGain = 2.0;   // a click's interpolation halves the prediction error
constexpr double kMadToDeviation = 1.4826;  // MAD of a normal distribution to its deviation
constexpr double kDeviationFloor = 1.0;     // one step of 16 bits: digital silence is no noise
constexpr double kNoiseCorrection = 1e-6;   // added to the model's zero lag, for stability
// A repair is kept when the prediction error it leaves, per sample, is at most this many times
// the block's robust variance: the span then fits the music around it like ordinary signal.
constexpr double kRepairFit = 2.0;
constexpr double kPi = 3.14159265358979323846;

int ClickFramesAt(uint32_t rate) {
    const int frames = int(std::lround(kDeclickMaxClickSeconds * double(rate)));
    return std::max(1, std::min(frames, kMaxClickCap));
}

}  // namespace

struct Declicker::Channel {
    std::vector<double> x;         // samples of stream frames [base_, base_ + fill_)
    std::vector<double> residual;  // forward prediction error, same indices as x
    std::vector<double> weighted;  // the model window, weighted
    std::vector<double> scratch;   // magnitudes for the median
    std::vector<uint8_t> masked;   // 1 where a suspect event lies, same indices as x
    std::vector<double> chol, rhs, known, saved;  // interpolation
    std::vector<double> burgForward, burgBackward;  // fitting the repair model
    double detect[kP + 1] = {};    // prediction error filters: 1, -a1 ... -ap
    double repair[kQ + 1] = {};
    uint64_t doneUntil = 0;        // frames before this are decided
    uint64_t longUntil = 0;        // last frame of the last long event, + 1
    bool inLong = false;
    int channel = 0;
};

double Declicker::Threshold(int level) {
    level = std::max(kDeclickMinLevel, std::min(kDeclickMaxLevel, level));
    return 14.0 * std::pow(0.85, double(level - 1));
}

size_t Declicker::LatencyFrames() {
    return size_t(kBlock + kAhead);
}

Declicker::Declicker(uint32_t rate, int level, DeclickListener* listener)
    : maxClick_(ClickFramesAt(rate)), threshold_(Threshold(level)), listener_(listener) {
    const int maxSpan = kMaxClickCap + 2 * kEdge;
    for (int i = 0; i < 2; ++i) {
        channels_[i].reset(new Channel);
        Channel& ch = *channels_[i];
        ch.channel = i;
        ch.x.assign(kCapacity, 0.0);
        ch.residual.assign(kCapacity, 0.0);
        ch.masked.assign(kCapacity, 0);
        ch.weighted.assign(kModelWindow, 0.0);
        ch.scratch.assign(kBlock, 0.0);
        ch.chol.assign(size_t(maxSpan) * maxSpan, 0.0);
        ch.rhs.assign(maxSpan, 0.0);
        ch.known.assign(maxSpan + kQ, 0.0);
        ch.saved.assign(4 * kMaxClickCap + kP + 64, 0.0);
        ch.burgForward.assign(2 * kContext, 0.0);
        ch.burgBackward.assign(2 * kContext, 0.0);
        ch.detect[0] = ch.repair[0] = 1.0;
    }
}

Declicker::~Declicker() = default;

namespace declick_detail {

const double* HannWindow() {
    static const std::vector<double> window = [] {
        std::vector<double> w(kModelWindow);
        for (int i = 0; i < kModelWindow; ++i)
            w[size_t(i)] = 0.5 - 0.5 * std::cos(2.0 * kPi * (i + 0.5) / kModelWindow);
        return w;
    }();
    return window.data();
}

// The block analysis of one channel. Indices are into the channel's buffers. Prediction error
// filters are 1, -a1 ... -ap for the model x[n] = a1 x[n-1] + ... + ap x[n-p] + error.
class Analysis {
public:
    Analysis(double* x, double* residual, uint8_t* masked, double* detect, double* repair)
        : x_(x), residual_(residual), masked_(masked), detect_(detect), repair_(repair) {}

    // Fits the models to [from, to) under a Hann window, leaving out masked samples: the
    // detection model always, the repair model when asked (Levinson-Durbin passes through the
    // detection model's order on its way).
    void Fit(int from, int to, double* weighted, bool useMask) {
        const int length = to - from;
        const double* window = HannWindow();
        for (int i = 0; i < length; ++i) {
            // A shorter window only at the ends of the stream.
            const double w = length == kModelWindow
                                 ? window[i]
                                 : 0.5 - 0.5 * std::cos(2.0 * kPi * (i + 0.5) / length);
            weighted[i] = useMask && masked_[from + i] ? 0.0 : w * x_[from + i];
        }
        const int order = kP;
        double r[kP + 1];
        // Four lags at a time: one load of each sample serves four independent sums.
        int k = 0;
        for (; k + 3 <= order; k += 4) {
            double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
            const int n = length - k - 3;
            for (int i = 0; i < n; ++i) {
                const double y = weighted[i];
                const double* b = weighted + i + k;
                s0 += y * b[0];
                s1 += y * b[1];
                s2 += y * b[2];
                s3 += y * b[3];
            }
            for (int i = std::max(0, n); i < length - k; ++i) {
                const double y = weighted[i];
                s0 += y * weighted[i + k];
                if (i + k + 1 < length) s1 += y * weighted[i + k + 1];
                if (i + k + 2 < length) s2 += y * weighted[i + k + 2];
            }
            r[k] = s0;
            r[k + 1] = s1;
            r[k + 2] = s2;
            r[k + 3] = s3;
        }
        for (; k <= order; ++k) {
            double sum = 0.0;
            for (int i = 0; i + k < length; ++i)
                sum += weighted[i] * weighted[i + k];
            r[k] = sum;
        }
        r[0] *= 1.0 + kNoiseCorrection;
        double c[kP + 1] = {1.0};
        if (r[0] > 0.0) {  // else digital silence: the residual is the signal
            double error = r[0];
            double previous[kP + 1];
            for (int i = 1; i <= order && error > 0.0; ++i) {
                double acc = r[i];
                for (int j = 1; j < i; ++j)
                    acc += c[j] * r[i - j];
                const double k = -acc / error;
                std::memcpy(previous, c, sizeof(double) * size_t(i));
                for (int j = 1; j < i; ++j)
                    c[j] = previous[j] + k * previous[i - j];
                c[i] = k;
                error *= 1.0 - k * k;
            }
        }
        std::memcpy(detect_, c, sizeof(double) * (kP + 1));
    }

    double Forward(int n) const { return Forward(n, detect_, kP); }
    double Backward(int n) const {
        const double* c = detect_;
        const double* x = x_ + n;
        double even = x[0], odd = 0.0;  // two sums: shorter chains of additions
        for (int k = 1; k < kP; k += 2) {
            odd += c[k] * x[k];
            even += c[k + 1] * x[k + 1];
        }
        return even + odd;
    }
    void Residuals(int from, int to) {
        for (int n = from; n < to; ++n)
            residual_[n] = Forward(n);
    }
    // The robust deviation of the residual over [from, to).
    double Deviation(int from, int to, double* scratch) const {
        const int n = to - from;
        if (n <= 0) return kDeviationFloor;
        // Every other sample is enough for the median.
        int count = 0;
        for (int i = 0; i < n; i += 2)
            scratch[count++] = std::fabs(residual_[from + i]);
        std::nth_element(scratch, scratch + count / 2, scratch + count);
        return std::max(kDeviationFloor, kMadToDeviation * scratch[count / 2]);
    }
    // The detection model's prediction error energy over [from, to).
    double Energy(int from, int to) const {
        double sum = 0.0;
        for (int n = from; n < to; ++n) {
            const double e = Forward(n);
            sum += e * e;
        }
        return sum;
    }

    // Fits the repair model by Burg's method to the segments [from1, to1) and [from2, to2)
    // together (the samples around a span, not the span). False when they are too short.
    bool FitRepair(int from1, int to1, int from2, int to2, double* f, double* b) {
        const int length1 = std::max(0, to1 - from1), length2 = std::max(0, to2 - from2);
        if (length1 + length2 < 2 * kQ || length1 <= kQ / 2 || length2 <= kQ / 2) return false;
        std::copy(x_ + from1, x_ + to1, f);
        std::copy(x_ + from2, x_ + to2, f + length1);
        std::copy(f, f + length1 + length2, b);
        double* c = repair_;
        std::fill(c, c + kQ + 1, 0.0);
        c[0] = 1.0;
        double previous[kQ + 1];
        const int starts[2] = {0, length1}, ends[2] = {length1, length1 + length2};
        for (int m = 1; m <= kQ; ++m) {
            double num = 0.0, den = 0.0;
            for (int segment = 0; segment < 2; ++segment) {
                for (int n = starts[segment] + m; n < ends[segment]; ++n) {
                    num += f[n] * b[n - 1];
                    den += f[n] * f[n] + b[n - 1] * b[n - 1];
                }
            }
            const double k = den > 0.0 ? -2.0 * num / den : 0.0;
            std::memcpy(previous, c, sizeof(double) * size_t(m));
            for (int j = 1; j < m; ++j)
                c[j] = previous[j] + k * previous[m - j];
            c[m] = k;
            for (int segment = 0; segment < 2; ++segment) {
                for (int n = ends[segment] - 1; n >= starts[segment] + m; --n) {
                    const double forward = f[n];
                    f[n] = forward + k * b[n - 1];
                    b[n] = b[n - 1] + k * forward;
                }
            }
        }
        return true;
    }

    // Least-squares autoregressive interpolation of [s, e] by the repair model (or the
    // detection model): the values that minimise its prediction error over [s, e + order].
    // False when the system is not positive definite.
    bool Interpolate(int s, int e, bool repairModel, double* chol, double* rhs, double* known,
                     double* values) {
        const double* c = repairModel ? repair_ : detect_;
        const int order = repairModel ? kQ : kP;
        const int m = e - s + 1;
        double g[kQ + 1];
        for (int j = 0; j <= order; ++j) {
            double sum = 0.0;
            for (int k = 0; k + j <= order; ++k)
                sum += c[k] * c[k + j];
            g[j] = sum;
        }
        // The prediction error of each row from the known samples alone.
        for (int n = s; n <= e + order; ++n) {
            double sum = 0.0;
            for (int k = 0; k <= order; ++k) {
                const int at = n - k;
                if (at < s || at > e) sum += c[k] * x_[at];
            }
            known[n - s] = sum;
        }
        for (int i = 0; i < m; ++i) {
            double sum = 0.0;
            for (int k = 0; k <= order; ++k)
                sum += c[k] * known[i + k];
            rhs[i] = -sum;
        }
        // Banded Cholesky of the Toeplitz matrix g(|i - j|).
        for (int i = 0; i < m; ++i) {
            const int first = std::max(0, i - order);
            for (int j = first; j <= i; ++j) {
                double sum = g[i - j];
                for (int k = std::max(first, j - order); k < j; ++k)
                    sum -= chol[i * m + k] * chol[j * m + k];
                if (i == j) {
                    if (sum <= 0.0) return false;
                    chol[i * m + i] = std::sqrt(sum);
                } else {
                    chol[i * m + j] = sum / chol[j * m + j];
                }
            }
        }
        for (int i = 0; i < m; ++i) {
            double sum = rhs[i];
            for (int k = std::max(0, i - order); k < i; ++k)
                sum -= chol[i * m + k] * values[k];
            values[i] = sum / chol[i * m + i];
        }
        for (int i = m - 1; i >= 0; --i) {
            double sum = values[i];
            for (int k = i + 1; k <= std::min(m - 1, i + order); ++k)
                sum -= chol[k * m + i] * values[k];
            values[i] = sum / chol[i * m + i];
        }
        return true;
    }

    double* X() { return x_; }

private:
    double Forward(int n, const double* c, int order) const {
        const double* x = x_ + n;
        double even = x[0], odd = 0.0;  // two sums: shorter chains of additions
        int k = 1;
        for (; k < order; k += 2) {
            odd += c[k] * x[-k];
            even += c[k + 1] * x[-k - 1];
        }
        if (k == order) odd += c[k] * x[-k];
        return even + odd;
    }

    double* x_;
    double* residual_;
    uint8_t* masked_;
    double* detect_;
    double* repair_;
};

// The next event at or after `from` and before `to`: suspects no more than kMergeGap apart,
// grown up to `limit`. False when there is none.
bool NextEvent(const double* residual, int from, int to, int limit, double bound, int& first,
               int& last) {
    int n = from;
    while (n < to && std::fabs(residual[n]) <= bound)
        ++n;
    if (n >= to) return false;
    first = last = n;
    for (int m = n + 1; m < limit && m <= last + kMergeGap; ++m) {
        if (std::fabs(residual[m]) > bound) last = m;
    }
    return true;
}

}  // namespace declick_detail

using declick_detail::Analysis;
using declick_detail::NextEvent;

void Declicker::Analyse(uint64_t blockEnd64, uint64_t dataEnd64, bool streamEnds) {
    const int blockStart = int(pos_ - base_);
    const int blockEnd = int(blockEnd64 - base_);
    // What the block may see does not depend on how the input was cut into pieces.
    const int dataEnd = std::min(int(dataEnd64 - base_), blockEnd + kAhead);
    const int rangeEnd = dataEnd;
    const int modelFrom = std::max(0, blockStart - kModelMargin);
    const int modelTo = std::min(dataEnd, blockEnd + kModelMargin);
    const int residualFrom = std::max(blockStart, kP);
    if (modelTo - modelFrom < 4 * kP || residualFrom >= blockEnd) return;

    for (auto& owned : channels_) {
        Channel& ch = *owned;
        Analysis analysis(ch.x.data(), ch.residual.data(), ch.masked.data(), ch.detect,
                          ch.repair);
        analysis.Fit(modelFrom, modelTo, ch.weighted.data(), false);
        analysis.Residuals(residualFrom, rangeEnd);
        double deviation = analysis.Deviation(residualFrom, blockEnd, ch.scratch.data());
        double bound = threshold_ * deviation;
        const int doneLocal =
            ch.doneUntil > base_ ? int(std::min<uint64_t>(ch.doneUntil - base_, uint64_t(rangeEnd))) : 0;
        const int scanFrom = std::max(residualFrom, doneLocal);

        // Pass 1: where are the suspects? Then the model again without them.
        int first = 0, last = 0;
        bool any = false;
        for (int n = scanFrom; NextEvent(ch.residual.data(), n, blockEnd, rangeEnd, bound, first,
                                         last);
             n = last + 1) {
            if (!any) std::fill(ch.masked.begin() + modelFrom, ch.masked.begin() + modelTo, 0);
            any = true;
            const int from = std::max(modelFrom, first - kEdge);
            const int to = std::min(modelTo, last + kEdge + 1);
            if (from < to) std::fill(ch.masked.begin() + from, ch.masked.begin() + to, 1);
        }
        if (!any) continue;
        analysis.Fit(modelFrom, modelTo, ch.weighted.data(), true);
        analysis.Residuals(residualFrom, rangeEnd);
        deviation = analysis.Deviation(residualFrom, blockEnd, ch.scratch.data());
        bound = threshold_ * deviation;

        // Pass 2: decide each event.
        const int longLimit = maxClick_ + kP + 2 * kMergeGap;
        const int lowest = std::max(int(emitted_ - base_), kP);
        const int highest = dataEnd - 1 - kQ;  // the last sample a span may hold
        for (int n = scanFrom; NextEvent(ch.residual.data(), n, blockEnd, rangeEnd, bound, first,
                                         last);
             n = last + 1) {
            const uint64_t firstFrame = base_ + uint64_t(first);
            const bool open = !streamEnds && last + kMergeGap >= rangeEnd;
            if (ch.inLong && firstFrame <= ch.longUntil + kMergeGap) {
                ch.longUntil = base_ + uint64_t(last);  // the same long event goes on
                ch.doneUntil = base_ + uint64_t(last) + 1;
                continue;
            }
            ch.inLong = false;
            const int floor = std::max(lowest, doneLocal);
            // The click ends at the last suspect of the backward prediction error.
            int end = first;
            for (int m = std::min(last, highest); m >= first; --m) {
                if (std::fabs(analysis.Backward(m)) > bound) {
                    end = m;
                    break;
                }
            }
            int s = std::max(first - kEdge, floor);
            int e = std::min(end + kEdge, highest);
            Span span = open || last - first + 1 > longLimit
                            ? Span::Long
                            : Repair(analysis, ch, highest, deviation, s, e);
            DeclickEvent event;
            event.frame = base_ + uint64_t(s);
            event.frames = uint32_t(std::max(1, e - s + 1));
            event.channel = ch.channel;
            event.repaired = span == Span::Repaired;
            ch.doneUntil = base_ + uint64_t(std::max(last, e)) + 1;
            if (span == Span::Repaired) {
                ++repaired_;
                // The prediction error after the span no longer holds the click.
                analysis.Residuals(s, std::min(e + kP + 1, rangeEnd));
                last = std::max(last, e);
            } else {
                ++left_;
                if (span == Span::Long) {
                    ch.inLong = true;
                    ch.longUntil = base_ + uint64_t(last);
                }
            }
            if (listener_) listener_->OnDeclickEvent(event);
        }
    }
}

// Decides one event whose suspects span [s, e] and repairs it when it is a click; [s, e] is the
// final span.
Declicker::Span Declicker::Repair(Analysis& analysis, Channel& ch, int highest, double deviation,
                                  int& s, int& e) const {
    double* x = analysis.X();
    const int longest = maxClick_ + 2 * kEdge;
    e = std::min(e, highest);
    if (e < s) return Span::Long;
    if (s < kQ) return Span::Left;  // the first samples of the stream have too little before them
    double* values = ch.rhs.data();  // solved in place of the right-hand side
    auto interpolate = [&](int to, bool repairModel) {
        return analysis.Interpolate(s, to, repairModel, ch.chol.data(), ch.rhs.data(),
                                    ch.known.data(), values);
    };
    auto put = [&](int to) {
        for (int i = 0; i < to - s + 1; ++i) {
            const double v = std::round(values[i]);
            x[s + i] = v < -32768.0 ? -32768.0 : v > 32767.0 ? 32767.0 : v;
        }
    };
    const int lastEnd = std::min(highest, s + longest - 1);
    std::copy(x + s, x + std::max(e, lastEnd) + 1, ch.saved.begin());
    auto restore = [&](int to) { std::copy(ch.saved.begin(), ch.saved.begin() + (to - s + 1), x + s); };

    // Is it a click at all? Interpolating the suspects by the detection model must take away
    // most of the prediction error there; at a step or a sharp onset it does not.
    if (e - s + 1 <= longest) {
        const double before = analysis.Energy(s, e + kP + 1);
        if (!interpolate(e, false)) return Span::Left;
        put(e);
        const double after = analysis.Energy(s, e + kP + 1);
        restore(e);
        if (after * kClickGain > before) return Span::Left;
    }

    // The repair model, from the music on both sides of the longest span.
    const int afterEnd = std::min(highest + 1 + kQ, lastEnd + 1 + kContext);
    if (!analysis.FitRepair(std::max(0, s - kContext), s, lastEnd + 1, afterEnd,
                            ch.burgForward.data(), ch.burgBackward.data())) {
        return Span::Left;
    }

    // Where does the click end? Its smooth decay hardly shows in the prediction error, so the
    // longest span is interpolated and the span cut back to the last sample that still stands
    // out from the interpolation like the click; then again, on the shorter span.
    int end = lastEnd;
    bool current = false;  // values hold the interpolation of [s, end]
    for (int round = 0; round < kEndRounds; ++round) {
        if (!interpolate(end, true)) return Span::Left;
        current = true;
        double peak = 0.0;
        for (int n = s; n <= end; ++n)
            peak = std::max(peak, std::fabs(ch.saved[size_t(n - s)] - values[n - s]));
        const double level = std::max(kTailShare * peak, kTailDeviations * deviation);
        int stands = s;
        for (int n = end; n > s; --n) {
            if (std::fabs(ch.saved[size_t(n - s)] - values[n - s]) > level) {
                stands = n;
                break;
            }
        }
        if (round == 0 && stands + kEdge >= lastEnd && lastEnd - s + 1 >= longest) {
            return Span::Long;  // it goes on past the longest click
        }
        const int shorter = std::min(end, stands + kEdge);
        if (shorter >= end) break;
        end = shorter;
        current = false;
    }
    if (!current && !interpolate(end, true)) return Span::Left;
    e = end;

    // Kept only when the repaired samples fit the music around them like ordinary signal.
    const double before = analysis.Energy(s, e + kP + 1);
    put(e);
    const double after = analysis.Energy(s, e + kP + 1);
    if (!(after < before && after <= kRepairFit * double(kP + e - s + 1) * deviation * deviation)) {
        restore(e);
        return Span::Left;
    }
    return Span::Repaired;
}

void Declicker::Emit(uint64_t upTo, std::vector<int16_t>& out) {
    if (upTo <= emitted_) return;
    const size_t from = size_t(emitted_ - base_);
    const size_t to = size_t(upTo - base_);
    const double* left = channels_[0]->x.data();
    const double* right = channels_[1]->x.data();
    const size_t at = out.size();
    out.resize(at + 2 * (to - from));
    int16_t* target = out.data() + at;
    for (size_t i = from; i < to; ++i) {
        *target++ = int16_t(left[i]);
        *target++ = int16_t(right[i]);
    }
    emitted_ = upTo;
}

void Declicker::Compact() {
    const uint64_t keepFrom = pos_ > uint64_t(kKeepBefore) ? pos_ - uint64_t(kKeepBefore) : 0;
    const uint64_t drop = std::min(keepFrom, emitted_) - base_;
    if (std::min(keepFrom, emitted_) <= base_ || drop < uint64_t(kBlock)) return;
    const size_t rest = fill_ - size_t(drop);
    for (auto& owned : channels_) {
        Channel& ch = *owned;
        std::memmove(ch.x.data(), ch.x.data() + drop, rest * sizeof(double));
        std::memmove(ch.residual.data(), ch.residual.data() + drop, rest * sizeof(double));
        std::memmove(ch.masked.data(), ch.masked.data() + drop, rest);
    }
    base_ += drop;
    fill_ = rest;
}

void Declicker::Process(const int16_t* samples, size_t frames, std::vector<int16_t>& out) {
    while (frames > 0) {
        const size_t take = std::min(frames, size_t(kCapacity) - fill_);
        double* left = channels_[0]->x.data() + fill_;
        double* right = channels_[1]->x.data() + fill_;
        for (size_t i = 0; i < take; ++i) {
            left[i] = samples[2 * i];
            right[i] = samples[2 * i + 1];
        }
        samples += 2 * take;
        frames -= take;
        fill_ += take;
        while (base_ + fill_ >= pos_ + uint64_t(kBlock + kAhead)) {
            Analyse(pos_ + kBlock, base_ + fill_, false);
            pos_ += kBlock;
            Emit(pos_ - kEdge, out);
            Compact();
        }
    }
}

void Declicker::Finish(std::vector<int16_t>& out) {
    const uint64_t end = base_ + fill_;
    while (pos_ < end) {
        const uint64_t blockEnd = std::min(pos_ + uint64_t(kBlock), end);
        Analyse(blockEnd, end, true);
        pos_ = blockEnd;
    }
    Emit(end, out);
}
