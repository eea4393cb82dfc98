// Declicker: detection by the prediction error of a per-block autoregressive model against a
// robust level, repair by least-squares autoregressive interpolation (see declicker.h).
#include "dsp/declicker.h"

#include "dsp/ar_interpolator.h"
#include "dsp/bump_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {


constexpr int kP = kDeclickOrder;
static_assert(kP % 2 == 0, "the prediction sums take the coefficients in pairs");
constexpr int kQ = kDeclickRepairOrder;
constexpr int kBlock = kDeclickBlockFrames;
constexpr int kAhead = kDeclickLookAheadFrames;
constexpr int kModelMargin = 512;  // detection model window: block + margin each side
constexpr int kContext = kDeclickRepairContext;
constexpr int kModelWindow = kBlock + 2 * kModelMargin;
constexpr int kAttackCap = 960;     // the longest stretch of music compared around an event
constexpr int kKeepBefore = kModelMargin + kDeclickRepairContext + 64;  // kept before a block
static_assert(kKeepBefore >= kModelMargin + kDeclickRepairContext, "the models' context");
static_assert(kKeepBefore >= kAttackCap + 2 * kP + 16, "the music compared around an event");
constexpr int kCapacity = kKeepBefore + 2 * kBlock + kAhead;
constexpr int kEdge = 2;       // samples added on each side of an event
constexpr int kMergeGap = 8;   // suspects at most this far apart form one event
constexpr int kMaxClickCap = 256;
constexpr int kLocal = 256;          // residual samples on each side for the local level
constexpr int kGuard = 8;            // kept clear between the event and the local level
constexpr int kLead = 8;            // a smooth click's onset before its first suspect
// The longest span interpolated: the longest click with its edges, and a smooth onset before.
constexpr int kMaxSpan = kMaxClickCap + 2 * kEdge + kLead;
constexpr double kTailMusic = 2.0;  // a click stands above twice the music's interpolation error
// Each sample of a repair's span costs this many times the music's prediction error per
// sample: a click's tail takes away far more, the music after it less.
constexpr double kSpanCost = 16.0;
// A repair is made only when the click's energy is this many times the error the
// interpolation makes on the music next to it, and the error the model itself expects (its
// innovation times the trace of its system's inverse): on average it then takes away far more
// than it adds.
constexpr double kHarm = 4.0;
// A click's interpolation takes away most of its prediction error: it is plainly better.
constexpr double kClickGain = 4.0;
// An attack: the music after the event louder than before it by this factor (3 dB), or its
// prediction error staying that much higher.
constexpr double kAttackRise = 1.41;
constexpr double kAttackSeconds = 0.02;  // the music compared on each side of an event
// A click stands out from the music's own largest prediction errors nearby by this factor:
// busy drums and loud orchestral passages have many large ones, a click is rare.
constexpr double kContrast = 2.0;
constexpr double kContrastSeconds = 0.02;  // the music compared on each side of an event
constexpr double kMadToDeviation = 1.4826;  // MAD of a normal distribution to its deviation
constexpr double kDeviationFloor = 1.0;     // one step of 16 bits: digital silence is no noise
constexpr double kNoiseCorrection = 1e-6;   // added to the model's zero lag, for stability
// A smooth click's repair takes away a bump: at least this share of what it takes away has the
// bump's shape (on real sides clicks give 0.6 to 1, misread music 0 to 0.5).
constexpr double kBumpShape = 0.6;
// A repair is kept when the prediction error it leaves, per sample, is at most this many times
// the block's robust variance: the span then fits the music around it like ordinary signal.
constexpr double kRepairFit = 2.0;
constexpr int kGrownAllowance = 2;  // a grown span's allowance: twice its suspects' length
constexpr double kPi = 3.14159265358979323846;

int FramesAt(uint32_t rate, double seconds, int cap) {
    const int frames = int(std::lround(seconds * double(rate)));
    return std::max(1, std::min(frames, cap));
}

}  // namespace

struct Declicker::Channel {
    std::vector<double> x;         // samples of stream frames [base_, base_ + fill_)
    std::vector<double> residual;  // forward prediction error, same indices as x
    std::vector<double> weighted;  // the model window, weighted
    std::vector<double> scratch;   // magnitudes for the median
    std::vector<uint8_t> masked;   // 1 where a suspect event lies, same indices as x
    std::vector<double> bump;      // the strongest smooth bump starting at each sample
    std::vector<uint16_t> bumpWidth;  // and its width; same indices as x
    std::unique_ptr<BumpFilter> bumps;
    std::vector<int> candidates;   // starts of smooth clicks in the block
    std::vector<double> values, saved;  // interpolation
    std::vector<double> leftover;  // what each span's interpolation leaves of the error
    ArInterpolator repairModel{kQ, kMaxSpan};
    double detect[kP + 1] = {};    // prediction error filters: 1, -a1 ... -ap
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
    : maxClick_(FramesAt(rate, kDeclickMaxClickSeconds, kMaxClickCap)),
      attackWindow_(FramesAt(rate, kAttackSeconds, kAttackCap)),
      contrastWindow_(FramesAt(rate, kContrastSeconds, kAttackCap)),
      threshold_(Threshold(level)),
      listener_(listener) {
    for (int i = 0; i < 2; ++i) {
        channels_[i].reset(new Channel);
        Channel& ch = *channels_[i];
        ch.channel = i;
        ch.x.assign(kCapacity, 0.0);
        ch.residual.assign(kCapacity, 0.0);
        ch.masked.assign(kCapacity, 0);
        ch.bump.assign(kCapacity, 0.0);
        ch.bumpWidth.assign(kCapacity, 0);
        ch.bumps.reset(new BumpFilter(kP, maxClick_));
        ch.weighted.assign(kModelWindow, 0.0);
        ch.scratch.assign(kBlock + 2 * kLocal, 0.0);
        ch.values.assign(kMaxSpan, 0.0);
        ch.saved.assign(kMaxSpan, 0.0);
        ch.leftover.assign(kMaxSpan, 0.0);
        ch.detect[0] = 1.0;
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
    Analysis(double* x, double* residual, uint8_t* masked, double* detect)
        : x_(x), residual_(residual), masked_(masked), detect_(detect) {}

    // Fits the detection model to [from, to) under a Hann window (autocorrelation,
    // Levinson-Durbin); `weighted` keeps the weighted window for FitWithoutMasked.
    void Fit(int from, int to, double* weighted) {
        const int length = to - from;
        const double* window = HannWindow();
        for (int i = 0; i < length; ++i) {
            // A shorter window only at the ends of the stream.
            const double w = length == kModelWindow
                                 ? window[i]
                                 : 0.5 - 0.5 * std::cos(2.0 * kPi * (i + 0.5) / length);
            weighted[i] = w * x_[from + i];
        }
        // Four lags at a time: one load of each sample serves four independent sums.
        int k = 0;
        for (; k + 3 <= kP; k += 4) {
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
            lags_[k] = s0;
            lags_[k + 1] = s1;
            lags_[k + 2] = s2;
            lags_[k + 3] = s3;
        }
        for (; k <= kP; ++k) {
            double sum = 0.0;
            for (int i = 0; i + k < length; ++i)
                sum += weighted[i] * weighted[i + k];
            lags_[k] = sum;
        }
        Solve(lags_);
    }

    // Fits it again with the masked samples of [from, to) left out: the products that involve
    // them are taken from the last Fit's autocorrelation (few samples are masked).
    void FitWithoutMasked(int from, int to, const double* weighted) {
        const int length = to - from;
        double r[kP + 1];
        std::memcpy(r, lags_, sizeof r);
        for (int i = 0; i < length; ++i) {
            if (!masked_[from + i]) continue;
            for (int k = 0; k <= kP; ++k) {
                if (i + k < length) r[k] -= weighted[i] * weighted[i + k];
                if (k > 0 && i - k >= 0 && !masked_[from + i - k])
                    r[k] -= weighted[i - k] * weighted[i];
            }
        }
        Solve(r);
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
    // The robust deviation of the residual over [from, to) and [from2, to2).
    double Deviation(int from, int to, double* scratch) const {
        return Deviation(from, to, to, to, scratch);
    }
    double Deviation(int from, int to, int from2, int to2, double* scratch) const {
        // Every other sample is enough for the median.
        int count = 0;
        for (int i = from; i < to; i += 2) scratch[count++] = std::fabs(residual_[i]);
        for (int i = from2; i < to2; i += 2) scratch[count++] = std::fabs(residual_[i]);
        if (count == 0) return kDeviationFloor;
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

    double* X() { return x_; }

private:
    // Levinson-Durbin from the autocorrelation r.
    void Solve(const double* lags) {
        double r[kP + 1];
        std::memcpy(r, lags, sizeof r);
        r[0] *= 1.0 + kNoiseCorrection;
        double c[kP + 1] = {1.0};
        if (r[0] > 0.0) {  // else digital silence: the residual is the signal
            double error = r[0];
            double previous[kP + 1];
            for (int i = 1; i <= kP && error > 0.0; ++i) {
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
    double lags_[kP + 1] = {};  // the last Fit's autocorrelation
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
    const int modelFrom = std::max(0, blockStart - kModelMargin);
    const int modelTo = std::min(dataEnd, blockEnd + kModelMargin);
    const int residualFrom = std::max(blockStart, kP);
    // An event's residual reaches this far: the longest click, then the music compared with it.
    const int residualEnd = std::min(
        dataEnd, blockEnd + maxClick_ + kP + kGuard + std::max({kLocal, contrastWindow_, attackWindow_}));
    if (modelTo - modelFrom < 4 * kP || residualFrom >= blockEnd) return;

    for (auto& owned : channels_) {
        Channel& ch = *owned;
        Analysis analysis(ch.x.data(), ch.residual.data(), ch.masked.data(), ch.detect);
        analysis.Fit(modelFrom, modelTo, ch.weighted.data());
        analysis.Residuals(residualFrom, modelTo);  // the suspects matter to the model only there
        double bound = threshold_ * analysis.Deviation(residualFrom, blockEnd, ch.scratch.data());
        const int doneLocal =
            ch.doneUntil > base_ ? int(std::min<uint64_t>(ch.doneUntil - base_, uint64_t(dataEnd))) : 0;
        const int scanFrom = std::max(residualFrom, doneLocal);

        // Pass 1: where are the suspects? Then the model again without them.
        if (MaskSuspects(ch, scanFrom, blockEnd, modelFrom, modelTo, bound)) {
            analysis.FitWithoutMasked(modelFrom, modelTo, ch.weighted.data());
            analysis.Residuals(residualFrom, residualEnd);
            bound = threshold_ * analysis.Deviation(residualFrom, blockEnd, ch.scratch.data());
        } else {  // no sharp suspects; smooth clicks are looked for all the same
            analysis.Residuals(modelTo, residualEnd);
        }
        int first = 0, last = 0;

        // Pass 2: decide each event.
        const int lowest = std::max(int(emitted_ - base_), kP);
        Limits limits;
        limits.dataEnd = dataEnd;
        limits.residualEnd = residualEnd;
        // Room after a span for the music compared with it and for its control interpolation.
        limits.highest = dataEnd - 1 - std::max(2 * kQ + maxClick_ + 2 * kEdge + kGuard,
                                                attackWindow_ + kP + 1);
        FindBumps(ch, residualFrom, scanFrom, blockEnd, residualEnd, bound);
        size_t nextBump = 0;
        for (int n = scanFrom;; n = last + 1) {
            const bool sharp = NextEvent(ch.residual.data(), n, blockEnd, residualEnd, bound,
                                         first, last);
            // The smooth clicks before the event, clear of it, in stream order.
            for (; nextBump < ch.candidates.size(); ++nextBump) {
                const int start = ch.candidates[nextBump];
                if (sharp && start + ch.bumpWidth[size_t(start)] - 1 + kMergeGap >= first) break;
                if (base_ + uint64_t(start) < ch.doneUntil + kMergeGap) continue;
                limits.floor = std::max(lowest, int(std::max(ch.doneUntil, base_) - base_));
                int s = start, e = start + ch.bumpWidth[size_t(start)] - 1;
                const Span span = Decide(analysis, ch, limits, start, s, e);
                if (span == Span::Repaired) Report(analysis, ch, span, s, e, dataEnd);
            }
            if (!sharp) break;
            const uint64_t firstFrame = base_ + uint64_t(first);
            if (ch.inLong && firstFrame <= ch.longUntil + kMergeGap) {
                ch.longUntil = base_ + uint64_t(last);  // the same long event goes on
                ch.doneUntil = base_ + uint64_t(last) + 1;
                continue;
            }
            ch.inLong = false;
            limits.floor = std::max(lowest, doneLocal);
            const bool open = !streamEnds && last + kMergeGap >= residualEnd;
            int s = first, e = last;
            Span span = open ? Span::Long : Decide(analysis, ch, limits, -1, s, e);
            // Not a sharp click: it may still hold a smooth one.
            for (; nextBump < ch.candidates.size() && ch.candidates[nextBump] <= last + kMergeGap;
                 ++nextBump) {
                const int start = ch.candidates[nextBump];
                int bs = start, be = start + ch.bumpWidth[size_t(start)] - 1;
                if ((span == Span::None || span == Span::Left) &&
                    Decide(analysis, ch, limits, start, bs, be) == Span::Repaired) {
                    span = Span::Repaired;
                    s = bs;
                    e = be;
                }
            }
            ch.doneUntil = base_ + uint64_t(std::max(last, e)) + 1;
            if (span == Span::None) continue;
            Report(analysis, ch, span, s, e, dataEnd);
            if (span == Span::Repaired) last = std::max(last, e);
            if (span == Span::Long) {
                ch.inLong = true;
                ch.longUntil = base_ + uint64_t(last);
            }
        }
    }
}

// Marks the events of suspects above `bound` in [from, to) in ch.masked over [modelFrom,
// modelTo); false when there are none.
bool Declicker::MaskSuspects(Channel& ch, int from, int to, int modelFrom, int modelTo,
                             double bound) const {
    int first = 0, last = 0;
    bool any = false;
    for (int n = from; NextEvent(ch.residual.data(), n, to, modelTo, bound, first, last);
         n = last + 1) {
        if (!any) std::fill(ch.masked.begin() + modelFrom, ch.masked.begin() + modelTo, 0);
        any = true;
        const int begin = std::max(modelFrom, first - kEdge);
        const int end = std::min(modelTo, last + kEdge + 1);
        if (begin < end) std::fill(ch.masked.begin() + begin, ch.masked.begin() + end, 1);
    }
    return any;
}

// The smooth clicks that start in [from, to): bumps above `bound` that are the strongest within
// their width and kContrast times stronger than any in the music around them. Their starts go
// into ch.candidates, in order. The whole block, from `blockStart`, is scanned: the next block
// compares its bumps with these.
void Declicker::FindBumps(Channel& ch, int blockStart, int from, int to, int residualEnd,
                          double bound) const {
    ch.candidates.clear();
    const int limit = residualEnd - ch.bumps->Reach();  // the bumps whose residual is known
    to = std::min(to, limit);
    if (to <= blockStart) return;
    ch.bumps->SetModel(ch.detect);
    ch.bumps->Scan(ch.residual.data(), blockStart, to, bound, ch.bump.data(), ch.bumpWidth.data());
    // After the block only as far as a candidate needs; before it, the earlier blocks' values.
    int scanned = to;
    auto scanTo = [&](int end) {
        end = std::min(end, limit);
        if (end <= scanned) return;
        ch.bumps->Scan(ch.residual.data(), scanned, end, bound, ch.bump.data(),
                       ch.bumpWidth.data());
        scanned = end;
    };
    const double* size = ch.bump.data();
    auto peak = [&](int a, int b) {
        double most = 0.0;
        for (int n = std::max(a, kP); n < std::min(b, scanned); ++n) most = std::max(most, size[n]);
        return most;
    };
    for (int n = from; n < to; ++n) {
        if (size[n] <= bound) continue;
        const int w = ch.bumpWidth[size_t(n)];
        scanTo(n + w + 1);
        if (peak(n - w, n) >= size[n] || peak(n + 1, n + w + 1) > size[n]) continue;
        // Its own lobe aside: the same bump matched a little early or late, or by another width.
        const int lobeFrom = n - w - kGuard, lobeTo = n + 2 * w + kGuard;
        scanTo(lobeTo + contrastWindow_);
        const double around = std::max(peak(lobeFrom - contrastWindow_, lobeFrom),
                                       peak(lobeTo, lobeTo + contrastWindow_));
        if (size[n] > kContrast * around) {
            ch.candidates.push_back(n);
            n += w;
        }
    }
}

// Counts the event [s, e] and tells the listener; after a repair the prediction error no longer
// holds the click.
void Declicker::Report(Analysis& analysis, Channel& ch, Span span, int s, int e, int dataEnd) {
    DeclickEvent event;
    event.frame = base_ + uint64_t(s);
    event.frames = uint32_t(std::max(1, e - s + 1));
    event.channel = ch.channel;
    event.repaired = span == Span::Repaired;
    if (span == Span::Repaired) {
        ++repaired_;
        analysis.Residuals(s, std::min(e + kP + 1, dataEnd));
        ch.doneUntil = std::max(ch.doneUntil, base_ + uint64_t(e) + 1);
    } else {
        ++left_;
    }
    if (listener_) listener_->OnDeclickEvent(event);
}

// The robust deviation of the residual around the event [first, last]: before it, and after
// the longest click that may start there.
double Declicker::LocalDeviation(Analysis& analysis, Channel& ch, int first, int last,
                                 int dataEnd) const {
    const int beforeTo = std::max(kP, first - kGuard);
    const int beforeFrom = std::max(kP, beforeTo - kLocal);
    const int afterFrom = std::min(dataEnd, std::max(last, first + maxClick_) + kP);
    const int afterTo = std::min(dataEnd, afterFrom + kLocal);
    return analysis.Deviation(beforeFrom, beforeTo, afterFrom, afterTo, ch.scratch.data());
}


// The largest prediction error in the music around the event [first, last], the event's own
// samples and the longest click after it left out.
double Declicker::LocalPeak(const Channel& ch, int first, int last, int dataEnd) const {
    const double* residual = ch.residual.data();
    const int beforeFrom = std::max(kP, first - kGuard - contrastWindow_);
    const int afterFrom = std::min(dataEnd, std::max(last, first + maxClick_) + kP + kGuard);
    const int afterTo = std::min(dataEnd, afterFrom + contrastWindow_);
    double peak = 0.0;
    for (int n = beforeFrom; n < first - kGuard; ++n) peak = std::max(peak, std::fabs(residual[n]));
    for (int n = afterFrom; n < afterTo; ++n) peak = std::max(peak, std::fabs(residual[n]));
    return peak;
}

// Decides the event whose suspects are [s, e] and repairs it when it is a click; [s, e] is the
// final span.
Declicker::Span Declicker::Decide(Analysis& analysis, Channel& ch, const Limits& limits,
                                  int bump, int& s, int& e) const {
    const int first = s, last = e;
    const double deviation = LocalDeviation(analysis, ch, first, last, limits.residualEnd);
    const double bound = threshold_ * deviation;
    const int longest = maxClick_ + 2 * kEdge;
    if (bump < 0) {  // a sharp event: its samples stand out
        double peak = 0.0;
        for (int n = first; n <= last; ++n)
            peak = std::max(peak, std::fabs(ch.residual[size_t(n)]));
        if (peak <= bound) return Span::None;  // ordinary for the music around it
        if (peak <= kContrast * LocalPeak(ch, first, last, limits.residualEnd)) return Span::Left;
        if (last - first + 1 > longest + kP) return Span::Long;
    }
    const int room = 2 * kQ + 2 * longest + kGuard + kLead;  // the models and the control
    if (first - kEdge < std::max(limits.floor, room)) return Span::Left;

    // A smooth click ends with its bump; a sharp one at its last suspect of the backward
    // prediction error, or later.
    int end = bump < 0 ? first : std::min(last, limits.highest);
    for (int m = std::min(last, limits.highest); bump < 0 && m > first; --m) {
        if (std::fabs(analysis.Backward(m)) > bound) {
            end = m;
            break;
        }
    }
    s = first - kEdge;
    const int lastEnd = std::min(limits.highest, s + longest - 1);
    if (lastEnd < s) return Span::Long;
    e = std::min(end + kEdge, lastEnd);
    // A smooth click may begin before its first suspect: the models and the music compared
    // keep clear of kLead samples before the span.
    const int lead = s - kLead;
    // An attack is music, whatever its start looks like. The other channel hears the same
    // music: louder after the event there is an attack too. Keep weighs the rise against the
    // click, which may be louder than any note that follows it.
    Rise rise = Attack(ch, limits, deviation, lead, lastEnd);
    const Channel& other = *channels_[1 - ch.channel];
    rise.signal =
        std::max(rise.signal, LouderAfter(other.x.data(), limits, deviation, lead, lastEnd));
    if (std::isinf(rise.signal)) return Span::Left;  // too little music known to tell

    // The repair model, from the music on both sides of the longest span.
    const int contextEnd = std::min(limits.dataEnd, lastEnd + 1 + kContext);
    if (!ch.repairModel.Fit(analysis.X(), std::max(0, lead - kContext), lead, lastEnd + 1,
                            contextEnd)) {
        return Span::Left;
    }
    const int suspects = e - s + 1;
    const Span span = ClickEnd(analysis, ch, lead, lastEnd, longest, s, e);
    if (span == Span::Repaired && e - s + 1 > longest) return Span::Long;
    if (span != Span::Repaired) return span;
    const Evidence evidence{deviation, bump, rise, suspects};
    return Keep(analysis, ch, evidence, s, e) ? Span::Repaired : Span::Left;
}

// The error per sample, squared, of the repair model's interpolation of the music over a span
// of `length` before and after the event's longest span [s, lastEnd] (far enough that the
// click takes no part in it), the larger: how well it would repair a click that long there.
double Declicker::MusicError(Analysis& analysis, Channel& ch, int s, int lastEnd,
                             int length) const {
    double* values = ch.values.data();
    const double* x = analysis.X();
    double worst = 0.0;
    for (const int from : {s - kGuard - length - kQ, lastEnd + 1 + kGuard + kQ}) {
        if (!ch.repairModel.Interpolate(analysis.X(), from, from + length - 1, values)) {
            return -1.0;
        }
        double sum = 0.0;
        for (int i = 0; i < length; ++i) sum += (x[from + i] - values[i]) * (x[from + i] - values[i]);
        worst = std::max(worst, sum / length);
    }
    return worst;
}

// Where does the click end? Each end from the suspects' to the longest click's is tried: the
// repair model's prediction error left over a fixed stretch after interpolating the span, and
// each sample of span costing kSpanCost times the error per sample the model expects of the
// music. The cheapest end wins: a click's tail costs more left in than taken out, the music
// after it less. Repaired here means: a click, e its last sample.
Declicker::Span Declicker::ClickEnd(Analysis& analysis, Channel& ch, int lead, int lastEnd,
                                    int longest, int s, int& e) const {
    const double coreError = MusicError(analysis, ch, lead, lastEnd, e - s + 1);
    double* values = ch.values.data();
    ArInterpolator& model = ch.repairModel;
    const double* x = analysis.X();
    if (coreError < 0.0 || !model.Interpolate(x, s, e, values)) return Span::Left;
    double core = 0.0;
    for (int n = s; n <= e; ++n) core = std::max(core, std::fabs(x[n] - values[n - s]));
    // The suspects themselves must stand out from what interpolating as many samples of the
    // music would get wrong; else nothing tells the click from the music.
    if (core <= kTailMusic * std::sqrt(coreError)) return Span::Left;
    double* leftover = ch.leftover.data();
    if (!model.Leftovers(x, s, lastEnd, leftover)) return Span::Left;
    const double perSample = kSpanCost * model.Innovation();
    double best = 0.0;
    int bestEnd = -1;
    for (int end = e; end <= lastEnd; ++end) {
        const double cost = leftover[end - s] + perSample * (end - s + 1);
        if (bestEnd < 0 || cost < best) {
            best = cost;
            bestEnd = end;
        }
    }
    if (bestEnd + kMergeGap > lastEnd && lastEnd - lead + 1 >= longest) return Span::Long;
    e = bestEnd;
    return Span::Repaired;
}

namespace {

// The share of the click's energy, x less values over [s, e], that the bump of `width` starting
// at `start` explains: a smooth click has a bump's shape, a misreading of the music has not.
double BumpShare(const double* x, const double* values, int s, int e, int start, int width) {
    double along = 0.0, bumpEnergy = 0.0, clickEnergy = 0.0;
    for (int n = s; n <= e; ++n) {
        const double d = x[n] - values[n - s];
        clickEnergy += d * d;
        if (n < start || n >= start + width) continue;
        const double b = BumpFilter::Shape(n - start, width);
        along += d * b;
        bumpEnergy += b * b;
    }
    return bumpEnergy > 0.0 && clickEnergy > 0.0 ? along * along / (bumpEnergy * clickEnergy) : 0.0;
}

}  // namespace

// Repairs [s, e] when that does no harm: the click is plainly larger than the error the repair
// itself makes on music (measured before and after the event, over a span as long), and the
// repair takes away most of the detection model's prediction error there and leaves that of
// the music around. Else the input's samples stay.
bool Declicker::Keep(Analysis& analysis, Channel& ch, const Evidence& evidence, int s,
                     int e) const {
    const int m = e - s + 1;
    const double repairError = MusicError(analysis, ch, s, s + maxClick_ + 2 * kEdge - 1, m);
    double* values = ch.values.data();
    if (repairError < 0.0 || !ch.repairModel.Interpolate(analysis.X(), s, e, values)) {
        return false;
    }
    double* x = analysis.X();
    double clickEnergy = 0.0;
    for (int n = s; n <= e; ++n) clickEnergy += (x[n] - values[n - s]) * (x[n] - values[n - s]);
    const int bump = evidence.bump;
    if (bump >= 0 && BumpShare(x, values, s, e, bump, ch.bumpWidth[size_t(bump)]) < kBumpShape) {
        return false;
    }
    if (clickEnergy < kHarm * repairError * m ||
        clickEnergy < kHarm * ch.repairModel.Innovation() * ch.repairModel.ErrorTrace()) {
        return false;
    }

    if (clickEnergy <= evidence.rise.signal) return false;  // no larger than an attack's sound
    double* saved = ch.saved.data();
    std::copy(x + s, x + e + 1, saved);
    const double before = analysis.Energy(s, e + kP + 1);
    if (before <= evidence.rise.error) return false;
    for (int i = 0; i < m; ++i) {
        const double v = std::round(values[i]);
        x[s + i] = v < -32768.0 ? -32768.0 : v > 32767.0 ? 32767.0 : v;
    }
    const double after = analysis.Energy(s, e + kP + 1);
    // A span grown far past its suspects is allowed no more than twice their length: music
    // taken in by the growth must fit as well as the click's own samples.
    const int allowed = std::min(m, kGrownAllowance * evidence.suspects) + kP;
    const double ordinary = kRepairFit * double(allowed) * evidence.deviation * evidence.deviation;
    if (after * kClickGain > before || after > ordinary) {
        std::copy(saved, saved + m, x + s);
        return false;
    }
    return true;
}

// An attack, not a click: with the event taken away, the music after it is louder than before
// it, or its prediction error stays high (a drum's noise, a new note's excitation). What is
// measured is what the music after the event gains over the music before it, an energy over
// the attack window.
namespace {

constexpr double kTooLittle = std::numeric_limits<double>::infinity();

// The gain of `after` (summed over `count` samples) over `before` (a mean square, below
// `floor` counted as `floor`), or 0 when it is below kAttackRise.
double Gain(double after, double count, double before, double floor) {
    const double bar = kAttackRise * kAttackRise * std::max(before, floor) * count;
    return after > bar ? after - before * count : 0.0;
}

}  // namespace

// The gain of the music in x after [s, e] (the mean square below `floor` squared counts as
// that); infinite when too little of it is known.
double Declicker::LouderAfter(const double* x, const Limits& limits, double floor, int s,
                              int e) const {
    const int w = attackWindow_;
    const int afterTo = std::min(limits.residualEnd, e + kP + 1 + w);
    const int beforeFrom = std::max(kP, s - w);
    if (afterTo - (e + kP + 1) < w / 2 || s - beforeFrom < w / 2) return kTooLittle;
    double before = 0.0, after = 0.0;
    for (int n = beforeFrom; n < s; ++n) before += x[n] * x[n];
    for (int n = e + 1; n < afterTo; ++n) after += x[n] * x[n];
    return Gain(after, double(afterTo - (e + 1)), before / double(s - beforeFrom), floor * floor);
}

// The gain of the channel's music and of its prediction error after [s, e].
Declicker::Rise Declicker::Attack(const Channel& ch, const Limits& limits, double deviation,
                                  int s, int e) const {
    const double* x = ch.x.data();
    const double* residual = ch.residual.data();
    const int w = attackWindow_;
    const int afterTo = std::min(limits.residualEnd, e + kP + 1 + w);
    const int beforeFrom = std::max(kP, s - w);
    if (afterTo - (e + kP + 1) < w / 2 || s - beforeFrom < w / 2) {
        return {kTooLittle, kTooLittle};
    }
    double signalBefore = 0.0, signalAfter = 0.0, errorBefore = 0.0, errorAfter = 0.0;
    for (int n = beforeFrom; n < s; ++n) {
        signalBefore += x[n] * x[n];
        errorBefore += residual[n] * residual[n];
    }
    for (int n = e + 1; n < afterTo; ++n) signalAfter += x[n] * x[n];
    for (int n = e + kP + 1; n < afterTo; ++n) errorAfter += residual[n] * residual[n];
    const double count = double(s - beforeFrom);
    const double noise = deviation * deviation;  // below this, loudness is no measure
    Rise rise;
    rise.signal = Gain(signalAfter, double(afterTo - (e + 1)), signalBefore / count, noise);
    rise.error = Gain(errorAfter, double(afterTo - (e + kP + 1)), errorBefore / count, noise);
    return rise;
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
        std::memmove(ch.bump.data(), ch.bump.data() + drop, rest * sizeof(double));
        std::memmove(ch.bumpWidth.data(), ch.bumpWidth.data() + drop, rest * sizeof(uint16_t));
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
