// Declicker: finds clicks (short impulsive disturbances from dust and scratches) in a stream of
// interleaved 16-bit stereo samples and replaces only their samples with an estimate from the
// music on both sides. Every sample outside a repaired span leaves it bit for bit unchanged.
// Plain C++17: no window, no Windows or Wine API. Deterministic: the same input, cut into any
// pieces, gives the same output.
//
// How it works, per channel and independently:
//  - The stream is analysed in blocks of kDeclickBlockFrames with kDeclickLookAheadFrames of
//    look-ahead, so the output lags the input by a fixed amount and memory stays flat.
//  - Detection: an autoregressive (linear-prediction) model of order kDeclickOrder is fitted to
//    a Hann window over the block and 512 samples on each side (autocorrelation,
//    Levinson-Durbin). Its prediction error (residual) is compared with the block's robust
//    level, the median absolute deviation (MAD) of the residual scaled to a standard deviation:
//    a sample whose residual exceeds Threshold(level) such deviations is suspect, and suspects
//    at most 8 samples apart form one event. When a block has events the model is fitted again
//    without their samples and detection runs again with it. An event starts at its first
//    suspect (less two samples); the backward prediction error bounds its end from inside.
//  - Is it a click? Interpolating the suspects by the detection model must at least halve the
//    prediction error there; at a step (a square wave's edge) or a sharp onset it does not,
//    and the event is left alone.
//  - Repair: a model of order kDeclickRepairOrder is fitted by Burg's method to the
//    kDeclickRepairContext samples on each side of the longest span (2 ms, 88 samples at
//    44100 Hz, scaled with the rate). The span is interpolated by least-squares autoregressive
//    interpolation (the values that minimise the model's prediction error, given the samples on
//    both sides), then cut back to where the click, the difference between the input and the
//    interpolation, falls below 5 % of its peak or 3 deviations, and interpolated again (a
//    click's smooth decay hardly shows in the prediction error). An event that still stands
//    out at the end of the longest span is longer than a click and left alone.
//  - The repair is kept only when the repaired samples' prediction error is that of ordinary
//    signal; else the event is left alone. Every event left alone is counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Sensitivity: 1 (only the loudest clicks) to 10 (the faintest). A sample is suspect when its
// prediction error exceeds 14 x 0.85^(level - 1) robust deviations: 7.3 at the default 5, where
// a synthesized side of music with surface noise had no false repairs at all (see
// scripts/declick-bench.sh).
constexpr int kDeclickMinLevel = 1;
constexpr int kDeclickMaxLevel = 10;
constexpr int kDeclickDefaultLevel = 5;

constexpr int kDeclickOrder = 24;           // order of the detection model
constexpr int kDeclickRepairOrder = 192;    // order of the interpolation model
constexpr int kDeclickRepairContext = 512;  // samples on each side it is fitted to
constexpr int kDeclickBlockFrames = 1024;   // analysis block
constexpr int kDeclickLookAheadFrames = 768;  // a click and the repair model's context
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

private:
    struct Channel;
    enum class Span { Repaired, Left, Long };
    Span Repair(declick_detail::Analysis& analysis, Channel& channel, int highest,
                double deviation, int& s, int& e) const;
    void Analyse(uint64_t blockEnd, uint64_t dataEnd, bool streamEnds);
    void Emit(uint64_t upTo, std::vector<int16_t>& out);
    void Compact();

    const int maxClick_;
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
