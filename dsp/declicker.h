// Declicker: finds clicks (short impulsive disturbances from dust and scratches) in a stream of
// interleaved 16-bit stereo samples and replaces only their samples with an estimate from the
// music on both sides. Every sample outside a repaired span leaves it bit for bit unchanged.
// Plain C++17: no window, no Windows or Wine API. Deterministic: the same input, cut into any
// pieces, gives the same output.
//
// How it works, per channel and independently. A click is a short disturbance that the music's
// own model cannot explain and that ends within about 2 ms; a drum or pluck attack starts a new
// sustained sound. The first rule is to do no harm: when in doubt the input's samples stay.
//  - The stream is analysed in blocks of kDeclickBlockFrames with kDeclickLookAheadFrames of
//    look-ahead (the music after an event), so the output lags the input by a fixed amount.
//  - Detection: an autoregressive (linear-prediction) model of order kDeclickOrder is fitted to
//    a Hann window over the block and 512 samples on each side (autocorrelation,
//    Levinson-Durbin), again without the suspects when there are any. A sample whose
//    prediction error (residual) exceeds Threshold(level) robust deviations of the block's
//    residual is suspect; suspects at most 8 samples apart form one event.
//  - An event must stand out locally too: above Threshold(level) deviations of the residual
//    just around it (loud passages have a larger residual), and twice as high as the largest
//    residual in the 20 ms on each side (busy drums and loud orchestral passages have many
//    large ones; a click is rare). Else it is left alone and counted.
//  - Smooth clicks (bumps of 1-2 ms) hardly stand out at any one sample: a matched filter for
//    half-sine bumps gathers their prediction error (dsp/bump_filter.h). A bump above the same
//    threshold, the strongest within its width and twice as strong as any in the 20 ms around,
//    is an event too, alone or where a sharp reading of the same samples failed; its repair
//    must take away a bump's shape (kBumpShape) besides meeting every rule below.
//  - No attack: with the longest span set aside, the music in the 20 ms after the event is no
//    more than 3 dB louder than in the 20 ms before it, nor is its prediction error; nor is
//    the other channel's music louder after it (both channels hear the same attack). Where it
//    is, the event is left alone unless the click holds more energy than all the music gains
//    (a loud click in quiet music just before a note).
//  - Span: the repair model (order kDeclickRepairOrder, Burg's method on kDeclickRepairContext
//    samples on each side of the longest span, 2 ms scaled with the rate) interpolates the span
//    of the suspects by least-squares autoregressive interpolation. They must stand out from it
//    by twice the error that interpolating as many samples makes on the music before and after
//    the event (the larger). Of all ends up to the longest span, the one that leaves least of
//    the repair model's prediction error over the longest span is taken, each sample of span
//    costing 16 times the model's error per sample: a click's tail costs far more left in than
//    taken out, the music after it less. A span still growing at 2 ms is longer than a click,
//    left alone.
//  - Kept only when plainly better: the click's energy (input less repair) is at least 4 times
//    the error the repair makes on the music before and after it over a span as long, and 4
//    times the error the repair model itself expects over the span (its innovation times the
//    trace of its system's inverse: dsp/ar_interpolator.h), and the repair takes away three
//    quarters of the detection model's prediction error there and leaves that of the music
//    around (counted for no more than twice the suspects' length, however far the span grew).
//    Else the samples stay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Sensitivity: 1 (only the loudest clicks) to 10 (the faintest). A sample is suspect when its
// prediction error exceeds 14 x 0.85^(level - 1) robust deviations: 7.3 at the default 5 (see
// scripts/declick-bench.sh for its figures on real music and on a synthesized side).
constexpr int kDeclickMinLevel = 1;
constexpr int kDeclickMaxLevel = 10;
constexpr int kDeclickDefaultLevel = 5;

constexpr int kDeclickOrder = 24;           // order of the detection model
constexpr int kDeclickRepairOrder = 256;    // order of the interpolation model
constexpr int kDeclickRepairContext = 1024; // samples on each side it is fitted to
constexpr int kDeclickBlockFrames = 1024;   // analysis block
constexpr int kDeclickLookAheadFrames = 1536;  // a click and the music after it
constexpr double kDeclickMaxClickSeconds = 0.002;  // longer events are left alone

// One event a channel met: a repaired click, or an event left alone.
struct DeclickEvent {
    uint64_t frame = 0;   // first frame of the span in the stream
    uint32_t frames = 0;  // length of the span
    int channel = 0;      // 0 left, 1 right
    bool repaired = false;
};

namespace declick_detail {
class Analysis;
}

class DeclickListener {
public:
    virtual ~DeclickListener() = default;
    // Called as each event is decided, in stream order per channel.
    virtual void OnDeclickEvent(const DeclickEvent& event) = 0;
};

class Declicker {
public:
    // `rate` scales the longest click repaired (2 ms); `level` is clamped to 1..10.
    explicit Declicker(uint32_t rate, int level = kDeclickDefaultLevel,
                       DeclickListener* listener = nullptr);
    ~Declicker();
    Declicker(const Declicker&) = delete;
    Declicker& operator=(const Declicker&) = delete;

    // Takes `frames` frames of interleaved stereo and appends to `out` the frames that are
    // final (interleaved too); they lag the input by at most LatencyFrames().
    void Process(const int16_t* samples, size_t frames, std::vector<int16_t>& out);
    // The end of the stream: appends every frame still held.
    void Finish(std::vector<int16_t>& out);

    uint64_t RepairedClicks() const { return repaired_; }
    uint64_t LeftEvents() const { return left_; }
    int MaxClickFrames() const { return maxClick_; }
    static size_t LatencyFrames();
    // The residual, in robust standard deviations, above which a sample is suspect.
    static double Threshold(int level);

    enum class Span { None, Repaired, Left, Long };

private:
    struct Channel;
    struct Limits {
        int floor = 0;    // the first sample a span may hold
        int highest = 0;  // the last sample a span may hold
        int dataEnd = 0;  // samples seen
        int residualEnd = 0;  // samples whose residual is known
    };
    // `bump`: the start of the smooth click the event is read as, or -1 for a sharp one.
    Span Decide(declick_detail::Analysis& analysis, Channel& channel, const Limits& limits,
                int bump, int& s, int& e) const;
    Span ClickEnd(declick_detail::Analysis& analysis, Channel& channel, int lead, int lastEnd,
                  int longest, int s, int& e) const;
    double MusicError(declick_detail::Analysis& analysis, Channel& channel, int s, int lastEnd,
                      int length) const;
    // What the music gains after an event over what it had before, as energy: an attack's new
    // sound, in the signal and in its prediction error; 0 when it is no attack, infinite when
    // too little is known to tell.
    struct Rise {
        double signal = 0.0, error = 0.0;
    };
    // What Decide has learnt of an event when its repair is judged.
    struct Evidence {
        double deviation;  // the robust deviation of the prediction error around it
        int bump;          // the start of the smooth click it is read as, or -1
        Rise rise;
        int suspects;      // the length of the span its suspects gave, before it grew
    };
    bool Keep(declick_detail::Analysis& analysis, Channel& channel, const Evidence& evidence,
              int s, int e) const;
    double LouderAfter(const double* x, const Limits& limits, double floor, int s, int e) const;
    Rise Attack(const Channel& channel, const Limits& limits, double deviation, int s,
                int e) const;
    double LocalPeak(const Channel& channel, int first, int last, int dataEnd) const;
    bool MaskSuspects(Channel& channel, int from, int to, int modelFrom, int modelTo,
                      double bound) const;
    void FindBumps(Channel& channel, int blockStart, int from, int to, int residualEnd,
                   double bound) const;
    void Report(declick_detail::Analysis& analysis, Channel& channel, Span span, int s, int e,
                int dataEnd);
    double LocalDeviation(declick_detail::Analysis& analysis, Channel& channel, int first,
                          int last, int dataEnd) const;
    void Analyse(uint64_t blockEnd, uint64_t dataEnd, bool streamEnds);
    void Emit(uint64_t upTo, std::vector<int16_t>& out);
    void Compact();

    const int maxClick_;
    const int attackWindow_;
    const int contrastWindow_;
    const double threshold_;
    DeclickListener* const listener_;
    std::unique_ptr<Channel> channels_[2];
    uint64_t base_ = 0;     // stream frame of the buffers' first sample
    size_t fill_ = 0;       // samples held per channel
    uint64_t pos_ = 0;      // first frame of the next block to analyse
    uint64_t emitted_ = 0;  // frames given out
    uint64_t repaired_ = 0;
    uint64_t left_ = 0;
};
