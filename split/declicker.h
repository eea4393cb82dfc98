// Declicker: finds clicks (short impulsive disturbances from dust and scratches) in a stream of
// interleaved 16-bit stereo samples and replaces only their samples with an estimate from the
// music on both sides. Every sample outside a repaired span leaves it bit for bit unchanged.
// Plain C++17: no window, no Windows or Wine API. Deterministic: the same input, cut into any
// pieces, gives the same output.
//
// How it works, per channel and independently:
//  - The stream is analysed in blocks of kDeclickBlockFrames with kDeclickLookAheadFrames of
//    look-ahead, so the output lags the input by a fixed amount and memory stays flat.
//  - For each block an autoregressive (linear-prediction) model of order kDeclickOrder is
//    fitted to a Hann window over the block and half a block on each side (autocorrelation and
//    Levinson-Durbin). Its prediction error (residual) is compared with the block's running
//    robust level, the median absolute deviation (MAD) of the residual scaled to a standard
//    deviation. A sample whose residual exceeds Threshold(level) such deviations is suspect;
//    suspects closer than a few samples form one event.
//  - When a block has events, the model is fitted again without their samples and detection
//    runs again with it. An event starts at its first suspect of the forward residual and ends
//    at its last suspect of the backward residual (prediction from the samples after it), which
//    bound the click from inside; two samples of margin go on each side.
//  - An event of up to 2 ms (88 samples at 44100 Hz) is repaired by least-squares
//    autoregressive interpolation: its samples become those that minimise the model's
//    prediction error over the span and the kDeclickOrder samples after it, given the known
//    samples on both sides. A repair is kept only when the prediction error it leaves is no
//    larger than that of ordinary signal (a step, such as a square wave's edge, or a note's
//    sharp onset, is no click and is left). Longer events, and events that fail that check,
//    are left alone and counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Sensitivity: 1 (only the loudest clicks) to 10 (the faintest); the default suits records.
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
