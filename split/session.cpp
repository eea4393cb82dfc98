// RunSplit: checks, the conversion of the input, the engine run and the cue sheet.
#include "split/session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "engine/track_rules.h"
#include "output/acm_converter.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "split/block_feeder.h"
#include "output/pass_through_writer.h"
#include "split/declick_stage.h"
#include "split/dry_run_sink.h"
#include "split/formats.h"
#include "base/paths.h"
#include "encode/encoder_stage.h"
#include "split/preview_svg.h"
#include "split/sample_converter.h"
#include "split/side_levels.h"
#include "split/sleeve.h"
#include "split/track_log.h"
#include "split/track_namer.h"
#include "split/track_plan.h"
#include "split/sleeve_tags.h"
#include "split/utf8_text.h"
#include "split/wave_reader.h"

namespace {

constexpr uint32_t kReadBytes = 16 * kCaptureBlockBytes;  // one read: 16 blocks of PCM
constexpr uint32_t kConvertBlockBytes = 65536;            // a codec's source block, about
constexpr int kStatusPollReads = 8;                       // reads between two engine polls
constexpr char kProbePrefix[] = "gsp";                    // the folder test's scratch file
constexpr char kSampleNumber[] = "0001";                  // the shortest number in a name

// Each track file's mmio buffer when no codec is needed: the disk sees 1 MB writes.
constexpr LONG kDirectWriteBufferBytes = 1 << 20;

// The recorder's Shift+Start and Shift+Stop have no meaning here.
const TrackEngineApi kNoKeyboard{&ShiftNeverHeld};

int Reject(SplitReport& report, int code, const std::string& problem) {
    report.problem = problem;
    return code;
}

// An existing folder in which a file can be created.
bool CheckFolder(const std::string& folder, std::string& problem) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        problem = "output folder " + folder + " does not exist";
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        problem = "output folder " + folder + " is not a folder";
        return false;
    }
    char probe[MAX_PATH] = {};
    if (GetTempFileNameA(folder.c_str(), kProbePrefix, 0, probe) == 0) {
        problem = "output folder " + folder + " is not writable (Windows error " +
                  std::to_string(GetLastError()) + ")";
        return false;
    }
    DeleteFileA(probe);
    return true;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return path;
    return full;
}

// The input as the cue sheet names it: bare when it lies beside the sheet.
std::string CueInputName(const std::string& input, const std::string& folder) {
    const std::string full = FullPath(input);
    if (lstrcmpiA(NormalizeFolder(FolderOf(full)).c_str(),
                  NormalizeFolder(FullPath(folder)).c_str()) == 0) {
        return BaseName(full);
    }
    return full;
}

// The stages that make 16-bit stereo PCM of the input in front of `successor`: wide samples
// are made 16-bit here (and stereo by the codecs when they are not); anything else goes
// through the codecs alone. None when no way is known.
std::unique_ptr<OutputSink> CreateInputDecoding(const WAVEFORMATEX* input,
                                                const WAVEFORMATEX* capture,
                                                uint32_t maxFormatSize,
                                                std::unique_ptr<OutputSink> successor) {
    if (!IsWideSampleFormat(input)) {
        return CreateDecodingChain(input, capture, maxFormatSize, std::move(successor));
    }
    FormatBuffer narrow(kFormatHeaderBytes);
    if (!narrow.Get()) return nullptr;
    WAVEFORMATEX* format = narrow.Get();
    MakePcmFormat(format, input->nSamplesPerSec);
    format->nChannels = input->nChannels;
    format->nBlockAlign = WORD(input->nChannels * 2);
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
    std::unique_ptr<OutputSink> next =
        FormatsEqual(format, capture)
            ? std::move(successor)
            : CreateDecodingChain(format, capture, maxFormatSize, std::move(successor));
    if (!next) return nullptr;
    return std::unique_ptr<OutputSink>(new (std::nothrow) SampleConverter(input, std::move(next)));
}

// Frames of the stream that one source block of the input gives: the codec says how much it
// decodes a block to; plain samples are one frame per block of the format.
uint64_t FramesPerSourceBlock(OutputSink& chain, const WAVEFORMATEX* input, int32_t sourceBlock) {
    if (const auto* decoder = dynamic_cast<const AcmConverter*>(&chain)) {
        const WORD align = decoder->DestinationFormat()->nBlockAlign;
        return align ? decoder->DestinationBytes() / align : 0;
    }
    return uint64_t(sourceBlock) / input->nBlockAlign;
}

// Counts the frames the input's conversion hands on (ahead of the declicker's delay).
class FrameCount : public PassThroughSink {
public:
    using PassThroughSink::PassThroughSink;
    int32_t WriteConverted(const void* bytes, int32_t count) override {
        return Write(bytes, count);
    }
    int32_t Write(const void* bytes, int32_t count) override {
        if (count > 0) bytes_ += uint64_t(count);
        return PassThroughSink::Write(bytes, count);
    }
    uint64_t Frames() const { return bytes_ / kCaptureFrameBytes; }

private:
    uint64_t bytes_ = 0;
};

// How the input is read: reads of a converted input are one source block each, so a block
// the codec drops is known by its place.
struct InputReads {
    uint32_t bytes = kReadBytes;
    uint64_t frames = kReadBytes / kCaptureFrameBytes;  // what one whole read gives
    FrameCount* decoded = nullptr;                      // for a converted input
};

// Watches the conversion of the input for passages the codec drops, with an error or with
// less output than they decode to, and keeps the stream's positions those of the input: the
// feeder counts the missing frames as passed.
class DecodeCheck {
public:
    DecodeCheck(const InputReads& reads, BlockFeeder& feeder, const WAVEFORMATEX* input)
        : decoded_(*reads.decoded),
          feeder_(feeder),
          // PCM and block codecs decode every block to the same number of frames; for others
          // (an MPEG stream) only an error tells.
          fixedRatio_(input->wFormatTag == kFormatTagPcm || IsWideSampleFormat(input) ||
                      input->nBlockAlign > 1),
          align_(input->nBlockAlign),
          readBytes_(reads.bytes),
          framesPerRead_(reads.frames) {}

    void Before() { before_ = Position(); }
    // After the chain took a read of `count` bytes with `result`, or finished (`count` 0): a
    // warning for a dropped passage, else empty. A shorter last read is judged at the end.
    std::string After(int32_t count, int32_t result, const std::string& input, uint32_t rate);
    int Damaged() const { return damaged_; }

private:
    uint64_t Position() const { return decoded_.Frames() + skipped_; }
    uint64_t FramesOf(uint64_t bytes) const {
        return bytes / align_ * (framesPerRead_ / (readBytes_ / align_));
    }

    const FrameCount& decoded_;
    BlockFeeder& feeder_;
    const bool fixedRatio_;
    const uint32_t align_;
    const uint32_t readBytes_;
    const uint64_t framesPerRead_;
    uint64_t before_ = 0;
    uint64_t skipped_ = 0;
    uint64_t bytes_ = 0;  // handed to the chain
    int damaged_ = 0;
};

std::string DecodeCheck::After(int32_t count, int32_t result, const std::string& input,
                               uint32_t rate) {
    const uint64_t now = Position();
    const uint64_t rest = bytes_ % readBytes_;
    uint64_t expected;
    bool lost;
    if (count > 0 && uint32_t(count) == readBytes_) {
        expected = before_ + framesPerRead_;
        lost = result != 0 || (fixedRatio_ && now < expected);
    } else if (count == 0) {
        expected = fixedRatio_ ? FramesOf(bytes_) : before_ + rest * framesPerRead_ / readBytes_;
        lost = fixedRatio_ ? now < expected : rest > 0 && now == before_;
    } else {
        bytes_ += uint64_t(count);
        return std::string();
    }
    const uint64_t first = count > 0 ? bytes_ : bytes_ - rest;
    const uint64_t last = count > 0 ? bytes_ + uint64_t(count) - 1 : bytes_ - 1;
    if (count > 0) bytes_ += uint64_t(count);
    if (!lost || feeder_.Failed()) return std::string();
    const uint64_t missing = expected > now ? expected - now : 0;
    if (count > 0) {
        feeder_.SkipFrames(now, missing);
        skipped_ += missing;
    }
    ++damaged_;
    std::string text = input + ": the codec cannot decode the samples at " + CueTime(now, rate) +
                       " (in bytes " + std::to_string(first) + " to " + std::to_string(last) +
                       " of the data";
    if (result != 0 && count > 0) text += ", error " + std::to_string(result);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", rate ? double(missing) / rate : 0.0);
    return text + "); " + seconds + " s are missing from the tracks";
}

// The format to write, in a buffer of maxFormatSize + 18 bytes.
bool OutputFormat(const SplitSettings& settings, const WAVEFORMATEX* capture,
                  uint32_t maxFormatSize, FormatBuffer& chosen, std::string& problem) {
    if (!settings.formatName.empty()) {
        return ChooseOutputFormat(settings.formatName, capture, maxFormatSize, chosen, problem);
    }
    if (!chosen.Allocate(maxFormatSize + kFormatHeaderBytes)) {
        problem = "out of memory";
        return false;
    }
    const FormatBuffer& stored = settings.storedFormat;
    const size_t bytes = stored.Size() < chosen.Size() ? stored.Size() : chosen.Size();
    std::memcpy(chosen.Bytes(), stored.Bytes(), bytes);
    return true;
}

// The stages from the input's bytes to `last`: the codec conversion when the input is not
// 16-bit stereo PCM, and the click repair when asked for, so the engine measures and the files
// hold the repaired samples. Prepared; a SplitExit value.
int MakeInputChain(const SplitSettings& settings, const WaveReader& reader,
                   const std::string& input, const WAVEFORMATEX* capture, uint32_t maxFormatSize,
                   std::unique_ptr<OutputSink> last, std::unique_ptr<OutputSink>& inputChain,
                   DeclickStage*& declick, InputReads& reads, SplitReport& report) {
    const WAVEFORMATEX* inputFormat = reader.Format();
    std::unique_ptr<OutputSink> firstStage = std::move(last);
    declick = nullptr;
    if (settings.declick > 0) {
        std::unique_ptr<DeclickStage> stage(
            new (std::nothrow) DeclickStage(report.rate, settings.declick, std::move(firstStage)));
        if (!stage) return Reject(report, kSplitOutputFailed, "out of memory");
        declick = stage.get();
        firstStage = std::move(stage);
        report.declick = settings.declick;
    }
    if (reader.IsCaptureFormat()) {
        inputChain = std::move(firstStage);
        inputChain->Prepare(kCaptureBlockBytes);
    } else {
        std::unique_ptr<FrameCount> count(new (std::nothrow) FrameCount(std::move(firstStage)));
        if (!count) return Reject(report, kSplitOutputFailed, "out of memory");
        reads.decoded = count.get();
        inputChain = CreateInputDecoding(inputFormat, capture, maxFormatSize, std::move(count));
        // Whole codec blocks of the input, about kConvertBlockBytes.
        const uint32_t align = inputFormat->nBlockAlign;
        const uint32_t blocks = kConvertBlockBytes / align;
        const int32_t sourceBlock = int32_t(align * (blocks > 0 ? blocks : 1));
        int32_t prepared = -1;
        if (inputChain) prepared = inputChain->Prepare(sourceBlock);
        if (prepared != 0) {
            return Reject(report, kSplitInputRejected,
                          input + ": the installed codecs cannot convert " +
                              FormatSummary(inputFormat) + " to 16-bit stereo PCM");
        }
        reads.bytes = uint32_t(sourceBlock);
        reads.frames = FramesPerSourceBlock(*inputChain, inputFormat, sourceBlock);
    }
    return kSplitDone;
}

// The first pass: every block of the input measured, through the same input chain. The
// progress covers the first half of the whole run. A SplitExit value.
int MeasureSide(const SplitSettings& settings, const std::string& input,
                const WAVEFORMATEX* capture, uint32_t maxFormatSize, SidePreview& side,
                SplitReport& report, SplitProgress* progress,
                const std::atomic<bool>* interrupted) {
    WaveReader reader;
    if (!reader.Open(input.c_str())) {
        return Reject(report, kSplitInputRejected, input + ": " + reader.Problem());
    }
    std::unique_ptr<SideLevelMeter> last(new (std::nothrow) SideLevelMeter);
    if (!last || last->Failed()) return Reject(report, kSplitOutputFailed, "out of memory");
    SideLevelMeter* meter = last.get();
    std::unique_ptr<OutputSink> chain;
    DeclickStage* declick = nullptr;
    InputReads reads;
    const int made = MakeInputChain(settings, reader, input, capture, maxFormatSize,
                                    std::move(last), chain, declick, reads, report);
    if (made != kSplitDone) return made;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[reads.bytes]);
    if (!bytes) return Reject(report, kSplitOutputFailed, "out of memory");
    uint64_t bytesRead = 0;
    for (;;) {
        if (interrupted && interrupted->load()) {
            return Reject(report, kSplitInterrupted, "interrupted; nothing was written");
        }
        const int32_t count = reader.Read(bytes.get(), reads.bytes);
        if (count < 0) return Reject(report, kSplitInputRejected, input + ": " + reader.Problem());
        if (count == 0) break;
        chain->Write(bytes.get(), count);
        if (meter->Failed()) return Reject(report, kSplitOutputFailed, "out of memory");
        bytesRead += uint64_t(count);
        if (progress && reader.DataBytes() > 0) {
            const double half = 0.5 * double(bytesRead) / reader.DataBytes();
            progress->Update(half, half * report.inputSeconds);
        }
    }
    chain->Finish(0);
    if (meter->Failed()) return Reject(report, kSplitOutputFailed, "out of memory");
    side.levels = meter->TakeLevels();
    side.frames = meter->Frames();
    return kSplitDone;
}

// The --preview picture of what the run did. A SplitExit value.
int DrawPreview(const SplitSettings& settings, const Sleeve& sleeve, const std::string& input,
                SplitReport& report, SidePreview& side) {
    const std::string name = BaseName(input);
    side.heading = sleeve.album.empty() ? Utf8FromAnsi(name) : sleeve.album;
    if (!sleeve.artist.empty()) side.heading = sleeve.artist + " - " + side.heading;
    if (!sleeve.year.empty()) side.heading += " (" + sleeve.year + ")";
    side.subheading = Utf8FromAnsi(name) + ": silence level " + std::to_string(settings.silence) +
                      ", " + (settings.live ? "live mode, " : "");
    side.subheading +=
        settings.tracks > 0
            ? "cut at the " + std::to_string(settings.tracks - 1) + " longest silent runs for " +
                  std::to_string(settings.tracks) + " tracks"
            : "cut after " + std::to_string(settings.gap + 1) + " silent blocks, tracks under " +
                  std::to_string(settings.minimum) + " blocks deleted";
    if (settings.dryRun) side.subheading += " (dry run: nothing written)";
    side.rate = report.rate;
    side.threshold = settings.silence;
    side.tracks = report.tracks;
    side.discarded = report.discarded;
    std::string problem;
    if (!WritePreview(settings.preview, PreviewSvg(side), problem)) {
        return Reject(report, kSplitOutputFailed, problem);
    }
    report.previewPath = settings.preview;
    return kSplitDone;
}

// The recorder's chain for `chosen`; when that turns out to be the capture format itself, the
// same files are written without the codec manager's copy.
std::unique_ptr<OutputSink> CreateSplitChain(const WAVEFORMATEX* capture, WAVEFORMATEX* chosen,
                                             uint32_t maxFormatSize) {
    std::unique_ptr<OutputSink> chain = CreateOutputChain(capture, chosen, maxFormatSize);
    if (!chain || !FormatsEqual(chosen, capture)) return chain;
    std::unique_ptr<PassThroughWriter> direct(
        new (std::nothrow) PassThroughWriter(capture, kDirectWriteBufferBytes));
    if (!direct || !direct->IsValid()) return chain;
    return direct;
}

}  // namespace

int RunSplit(const SplitSettings& settings, const std::string& input, bool writeCue,
             SplitReport& report, SplitProgress* progress, const std::atomic<bool>* interrupted) {
    report = SplitReport();

    // ---- Everything that can reject the run, before any file is made ----
    WaveReader reader;
    if (!reader.Open(input.c_str())) {
        return Reject(report, kSplitInputRejected, input + ": " + reader.Problem());
    }
    const WAVEFORMATEX* inputFormat = reader.Format();
    report.rate = inputFormat->nSamplesPerSec;
    report.inputSeconds = reader.DurationSeconds();
    if (!reader.Warning().empty()) report.warnings.push_back(input + ": " + reader.Warning());

    // A stored prefix may have been pasted into the recorder unfiltered: the same characters
    // are refused whatever the source.
    if (HoldsRefusedPrefixCharacter(settings.prefix)) {
        return Reject(report, kSplitUsage,
                      "the prefix \"" + settings.prefix + "\" holds one of " +
                          kRefusedPrefixCharacters + "; give another with --prefix");
    }

    uint32_t maxFormatSize = ReadMaxFormatSize();
    if (maxFormatSize < kMp3FormatBytes) maxFormatSize = kMp3FormatBytes;
    // The engine's samples: 16-bit stereo at the input's own rate.
    FormatBuffer capture;
    if (!capture.Allocate(maxFormatSize + kFormatHeaderBytes)) {
        return Reject(report, kSplitOutputFailed, "out of memory");
    }
    MakePcmFormat(capture.Get(), report.rate);

    const std::string folder = NormalizeFolder(settings.folder);
    std::string problem;
    if (!CheckFolder(folder, problem)) return Reject(report, kSplitOutputFailed, problem);

    // Declared before the engine: until it ends, its worker writes into the log, numbers the
    // sleeve's tracks and, through a FLAC or MP3 stage, asks for the tags of each track.
    Sleeve sleeve;
    volatile int32_t sleeveNumber = 0;
    BlockPositions positions;
    TrackEngine engine(kNoKeyboard);
    const SleeveTrackTags tags(sleeve, sleeveNumber, engine.trackNumber);

    std::unique_ptr<OutputSink> chain;
    if (settings.encoder.kind != EncoderKind::None) {
        const uint64_t sideFrames = uint64_t(report.inputSeconds * report.rate);
        chain = CreateEncoderStage(settings.encoder, report.rate, sideFrames, tags);
        if (!chain) return Reject(report, kSplitOutputFailed, "out of memory");
        if (chain->Query() != 0) {
            return Reject(report, kSplitOutputFailed,
                          std::string(settings.encoder.kind == EncoderKind::Flac ? "FLAC" : "LAME") +
                              " cannot encode " + FormatSummary(capture.Get()));
        }
    } else {
        FormatBuffer chosen;
        if (!OutputFormat(settings, capture.Get(), maxFormatSize, chosen, problem)) {
            return Reject(report, kSplitUsage, problem);
        }
        chain = CreateSplitChain(capture.Get(), chosen.Get(), maxFormatSize);
        if (!chain && settings.formatName.empty()) {
            // As the recorder does with a stored format this system cannot make.
            report.warnings.push_back("the stored output format cannot be made here; writing PCM");
            MakePcmFormat(chosen.Get(), kDefaultOutputRate);
            chain = CreateSplitChain(capture.Get(), chosen.Get(), maxFormatSize);
        }
    }
    if (!chain) {
        return Reject(report, kSplitOutputFailed,
                      "the output format cannot be made from " + FormatSummary(capture.Get()));
    }

    const std::string nameFormat = InFolder(folder, settings.prefix + kTrackNumberPattern);
    const std::string sampleName =
        InFolder(folder, settings.prefix + kSampleNumber + "." + chain->GetExtension());
    if (sampleName.size() >= size_t(kTrackNameBytes)) {
        return Reject(report, kSplitOutputFailed,
                      "track names in " + folder + " would be longer than " +
                          std::to_string(kTrackNameBytes - 1) + " characters");
    }
    // The cue sheet's name is the longer one; known now, not after the split.
    if (writeCue && InFolder(folder, CueSheetName(settings.prefix, 1, 1)).size() >= MAX_PATH) {
        return Reject(report, kSplitOutputFailed,
                      "the cue sheet's name in " + folder + " would be longer than " +
                          std::to_string(MAX_PATH - 1) + " characters");
    }

    // ---- The sleeve, and the whole side measured first when the cuts or the picture need it ----
    if (!LoadSleeve(settings.titlesFile, settings.artist, settings.album, settings.year, sleeve,
                    report.warnings, problem)) {
        return Reject(report, kSplitInputRejected, problem);
    }
    if (progress) progress->Begin(report.inputSeconds);
    SidePreview side;
    const bool measured = settings.tracks > 0 || !settings.preview.empty();
    if (measured) {
        const int code = MeasureSide(settings, input, capture.Get(), maxFormatSize, side, report,
                                     progress, interrupted);
        if (code != kSplitDone) {
            if (progress) progress->Done();
            return code;
        }
    }
    TrackPlan plan;
    if (settings.tracks > 0) {
        plan = PlanTrackCuts(side.levels, settings.silence, settings.tracks,
                             settings.live ? settings.gap + 1 : kTrailingSilentBlocks);
    }
    if (settings.dryRun) {
        const std::string extension = chain->GetExtension();
        chain.reset(new (std::nothrow) DryRunSink(extension));
        if (!chain) return Reject(report, kSplitOutputFailed, "out of memory");
    }
    std::unique_ptr<BlockFeeder> ownFeeder(new (std::nothrow) BlockFeeder(engine, positions));
    if (!ownFeeder || ownFeeder->Failed())
        return Reject(report, kSplitOutputFailed, "out of memory");
    BlockFeeder* feeder = ownFeeder.get();
    std::unique_ptr<OutputSink> inputChain;
    DeclickStage* declick = nullptr;
    InputReads reading;
    const int made = MakeInputChain(settings, reader, input, capture.Get(), maxFormatSize,
                                    std::move(ownFeeder), inputChain, declick, reading, report);
    if (made != kSplitDone) return made;

    std::unique_ptr<TrackLogSink> ownLog(new (std::nothrow) TrackLogSink(
        std::move(chain), positions, sleeve.titled ? sleeveNumber : engine.trackNumber));
    if (!ownLog) return Reject(report, kSplitOutputFailed, "out of memory");
    TrackLogSink* log = ownLog.get();
    std::unique_ptr<OutputSink> output = std::move(ownLog);
    TrackNamer* namer = nullptr;
    if (sleeve.HasTags()) {
        // FLAC and MP3 tracks carry their tags themselves: no INFO chunk after them.
        const bool writeInfo = !settings.dryRun && settings.encoder.kind == EncoderKind::None;
        std::unique_ptr<TrackNamer> stage(new (std::nothrow) TrackNamer(
            std::move(output), sleeve, folder, settings.prefix, writeInfo, sleeveNumber));
        if (!stage) return Reject(report, kSplitOutputFailed, "out of memory");
        namer = stage.get();
        output = std::move(stage);
    }
    OutputSink* first = output.get();
    engine.SetSink(output.release());  // the engine owns the stages and, through them, the chain
    const int32_t prepared = first->Prepare(kCaptureBlockBytes);
    if (prepared != 0) {
        return Reject(
            report, kSplitOutputFailed,
            "the codec refuses the output format (error " + std::to_string(prepared) + ")");
    }

    // The recorder's settings, as its window writes them into its engine.
    engine.blockBytes = kCaptureBlockBytes;
    // Only a RIFF file must end below 2 GB.
    if (settings.encoder.kind != EncoderKind::None) engine.maxTrackBytes = kMaxTrackBytesUncapped;
    engine.silenceThreshold = settings.silence;
    engine.gapBlocks = settings.gap;
    // The sleeve's count says each piece is a track, however short.
    engine.discardBlocks = settings.tracks > 0 ? 0 : settings.minimum;
    if (settings.tracks > 0 && !engine.PlanCuts(plan.cuts)) {
        return Reject(report, kSplitOutputFailed, "out of memory");
    }
    engine.liveMode = settings.live ? 1 : 0;
    engine.SetNameFormat(nameFormat.c_str());
    engine.SetStandby(0);
    if (!engine.Start()) return Reject(report, kSplitOutputFailed, "the engine cannot be started");

    // ---- The split ----
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[reading.bytes]);
    int code = kSplitDone;
    if (!chunk) code = Reject(report, kSplitOutputFailed, "out of memory");
    uint64_t bytesRead = 0;
    std::unique_ptr<DecodeCheck> decoding;
    if (reading.decoded) {
        decoding.reset(new (std::nothrow) DecodeCheck(reading, *feeder, inputFormat));
        if (!decoding) code = Reject(report, kSplitOutputFailed, "out of memory");
    }
    char status[kSinkMessageBytes] = {};
    for (int reads = 0; code == kSplitDone; ++reads) {
        if (interrupted && interrupted->load()) {
            code = Reject(report, kSplitInterrupted, "interrupted; the open track was finished");
            break;
        }
        if (log->Failed() || feeder->Failed() || (namer && namer->Failed())) break;
        if (reads % kStatusPollReads == 0 && engine.SinkStatus(status) && status[0] != '\0') {
            break;  // the engine itself cannot open tracks (no free number)
        }
        const int32_t count = reader.Read(chunk.get(), reading.bytes);
        if (count < 0) {
            code = Reject(report, kSplitInputRejected, input + ": " + reader.Problem());
            break;
        }
        if (decoding) decoding->Before();
        const int32_t result = count > 0 ? inputChain->Write(chunk.get(), count)
                                         : inputChain->Finish(0);
        if (decoding) {
            const std::string damage = decoding->After(count, result, input, report.rate);
            if (!damage.empty()) report.warnings.push_back(damage);
        }
        if (count == 0) break;
        bytesRead += uint64_t(count);
        if (progress && reader.DataBytes() > 0) {
            double fraction = double(bytesRead) / reader.DataBytes();
            if (measured) fraction = 0.5 + 0.5 * fraction;  // after the first pass
            progress->Update(fraction, fraction * report.inputSeconds);
        }
    }
    feeder->WaitUntilProcessed();
    engine.StopAndWait();  // the worker finishes the open track with all its blocks
    if (progress) progress->Done();

    report.tracks = log->Tracks();
    if (declick) {
        for (CueTrack& track : report.tracks) {
            declick->Count(track.startFrame, track.endFrame, track.clicks, track.clicksLeft);
        }
        report.clicksRepaired = declick->Repaired();
        report.clicksLeft = declick->Left();
    }
    report.blocks = feeder->SubmittedBlocks();
    report.buffersCreated = engine.Pool().created;
    if (engine.SizeLimitSplits() > 0) {
        report.warnings.push_back(std::to_string(engine.SizeLimitSplits()) +
                                  " track file(s) reached 2 GB, the most one holds; each track "
                                  "went on in the next file");
    }
    if (code == kSplitDone) {
        if (log->Failed()) return Reject(report, kSplitOutputFailed, log->Failure());
        if (namer && namer->Failed()) return Reject(report, kSplitOutputFailed, namer->Failure());
        status[0] = '\0';
        engine.SinkStatus(status);
        if (status[0] != '\0') return Reject(report, kSplitOutputFailed, status);
        if (feeder->Failed()) {
            return Reject(report, kSplitOutputFailed, "out of memory: blocks could not be fed");
        }
    } else if (code != kSplitInterrupted) {
        return code;
    }

    report.discarded = log->Discarded();
    if (sleeve.HasTags()) TitleTracks(sleeve, report.tracks, report.warnings);
    if (!settings.preview.empty()) {
        const int drawn = DrawPreview(settings, sleeve, input, report, side);
        if (drawn != kSplitDone) return drawn;
    }
    if (code == kSplitDone && settings.tracks > int32_t(report.tracks.size())) {
        code = Reject(report, kSplitFewerTracks,
                      "asked for " + std::to_string(settings.tracks) + " tracks, the side has " +
                          std::to_string(report.tracks.size()) +
                          " (too few silent runs between sounds)");
    }

    if (writeCue && !settings.dryRun && !report.tracks.empty()) {
        const size_t listed = std::min(report.tracks.size(), kCueMaxTracks);
        if (listed < report.tracks.size()) {
            report.warnings.push_back("a cue sheet holds " + std::to_string(kCueMaxTracks) +
                                      " tracks: " + report.tracks[listed].file + " to " +
                                      report.tracks.back().file + " are not in it");
        }
        const std::string name = CueSheetName(settings.prefix, report.tracks.front().number,
                                              report.tracks[listed - 1].number);
        const std::string path = InFolder(folder, name);
        const CueAlbum album{sleeve.album, sleeve.artist, sleeve.year};
        const std::string text =
            CueSheetText(CueInputName(input, folder), report.tracks, report.rate, album);
        if (!WriteCueSheet(path, text, problem)) return Reject(report, kSplitOutputFailed, problem);
        report.cuePath = path;  // an interrupted run lists the tracks it finished
    }
    if (code == kSplitDone && decoding && decoding->Damaged() > 0) {
        return Reject(report, kSplitInputDamaged,
                      "the input is damaged: " + std::to_string(decoding->Damaged()) +
                          " passage(s) could not be decoded and are missing from the tracks");
    }
    return code;
}
