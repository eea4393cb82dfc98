// SplitRun: the phases of a run of grooval-split.
#include "split/split_run.h"

#include <algorithm>
#include <memory>
#include <new>

#include "base/paths.h"
#include "encode/encoder_stage.h"
#include "engine/stream_format.h"
#include "engine/track_rules.h"
#include "output/output_chain.h"
#include "output/pass_through_writer.h"
#include "split/dry_run_sink.h"
#include "split/formats.h"
#include "split/safe_names.h"
#include "split/side_levels.h"
#include "split/tool_file.h"
#include "split/track_log.h"
#include "split/track_namer.h"
#include "split/utf8_text.h"

namespace {

constexpr int kStatusPollReads = 8;        // reads between two engine polls
constexpr char kSampleNumber[] = "0001";   // the shortest number in a name
constexpr double kMeasuredShare = 0.5;     // of the progress bar, when the side is measured first
constexpr uint32_t kSilenceReadBytes = 1 << 20;  // the digital silence check's reads

// Each track file's mmio buffer when no codec is needed: the disk sees 1 MB writes.
constexpr LONG kDirectWriteBufferBytes = 1 << 20;

// The engine counts a track in frames of 16-bit stereo; a WAV file of wider frames reaches its
// `limit` in fewer of them.
uint32_t MaxTrackBytes(const SampleLayout& tracks, uint32_t limit) {
    const uint64_t frames = limit / tracks.FrameBytes();
    const uint64_t bytes = frames * kCaptureFrameBytes;
    return bytes < kMaxTrackBytesUncapped ? uint32_t(bytes) : kMaxTrackBytesUncapped;
}

// The recorder's Shift+Start and Shift+Stop have no meaning here.
const TrackEngineApi kNoKeyboard{&ShiftNeverHeld};

// The recorder's chain for `chosen`; the capture format itself is written without the codec
// manager, which refuses a PCM-to-PCM copy at some rates (88200, 176400, 192000 Hz).
std::unique_ptr<OutputSink> CreateSplitChain(const WAVEFORMATEX* capture, WAVEFORMATEX* chosen,
                                             uint32_t maxFormatSize) {
    if (!FormatsEqual(chosen, capture)) return CreateOutputChain(capture, chosen, maxFormatSize);
    std::unique_ptr<PassThroughWriter> direct(
        new (std::nothrow) PassThroughWriter(capture, kDirectWriteBufferBytes));
    if (!direct || !direct->IsValid()) return nullptr;
    return direct;
}

// The format to write, in a buffer of maxFormatSize + 18 bytes: the one named, or the stored
// one.
SplitStatus OutputFormat(const SplitSettings& settings, const WAVEFORMATEX* capture,
                         uint32_t maxFormatSize, FormatBuffer& chosen) {
    if (!settings.formatName.empty()) {
        return ChooseOutputFormat(settings.formatName, capture, maxFormatSize, chosen);
    }
    if (!chosen.Allocate(maxFormatSize + kFormatHeaderBytes)) return SplitStatus::OutOfMemory();
    const FormatBuffer& stored = settings.storedFormat;
    const size_t bytes = std::min(stored.Size(), chosen.Size());
    std::copy(stored.Bytes(), stored.Bytes() + bytes, chosen.Bytes());
    return SplitStatus();
}

// Every sample of a plain input is zero (8-bit: 128); read again only when no track was kept.
bool IsDigitalSilence(const std::string& input) {
    WaveReader reader;
    if (!reader.Open(input.c_str())) return false;
    const WAVEFORMATEX* format = reader.Format();
    const bool plain = format->wFormatTag == kFormatTagPcm || format->wFormatTag == kFormatTagFloat;
    if (!plain) return false;
    const uint8_t zero = format->wBitsPerSample == 8 ? 0x80 : 0x00;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[kSilenceReadBytes]);
    if (!bytes) return false;
    for (int32_t count; (count = reader.Read(bytes.get(), kSilenceReadBytes)) != 0;) {
        if (count < 0) return false;
        const uint8_t* begin = bytes.get();
        const uint8_t* end = begin + count;
        if (std::find_if(begin, end, [zero](uint8_t b) { return b != zero; }) != end) {
            return false;
        }
    }
    return true;
}

}  // namespace

SplitRun::SplitRun(const SplitSettings& settings, const std::string& input, bool writeCue,
                   SplitReport& report, SplitProgress* progress,
                   const std::atomic<bool>* interrupted, const WaveReadApi& readApi)
    : settings_(settings),
      input_(input),
      writeCue_(writeCue),
      report_(report),
      progress_(progress),
      interrupted_(interrupted),
      readApi_(readApi),
      engine_(kNoKeyboard),
      tags_(sleeve_, sleeveNumber_, engine_.trackNumber, trackTotal_),
      inputChain_(readApi_) {}

SplitRun::~SplitRun() = default;

SplitStatus SplitRun::Run() {
    SplitStatus status = Check();
    if (status.Ok()) status = Plan();
    if (status.Ok()) status = Start();
    if (!status.Ok()) return status;
    status = Collect(Split());
    return Finish(status);
}

// ---- Check: everything that can reject the run, before any file is made ----

SplitStatus SplitRun::Check() {
    SplitStatus status = inputChain_.Open(input_);
    if (!status.Ok()) return status;
    const WaveReader& reader = inputChain_.Reader();
    report_.rate = reader.Format()->nSamplesPerSec;
    report_.trackRate = report_.rate;
    blockFrames_ = SplitBlockFrames(report_.rate);
    report_.inputSeconds = reader.DurationSeconds();
    if (!reader.Warning().empty()) report_.warnings.push_back(input_ + ": " + reader.Warning());

    // A stored prefix may have been pasted into the recorder unfiltered: the same characters
    // are refused whatever the source.
    if (HoldsRefusedPrefixCharacter(settings_.prefix)) {
        return SplitStatus::Usage("the prefix \"" + settings_.prefix + "\" holds one of " +
                                  kRefusedPrefixCharacters + "; give another with --prefix");
    }
    maxFormatSize_ = std::max<uint32_t>(ReadMaxFormatSize(), kMp3FormatBytes);
    // The engine's samples: 16-bit stereo at the input's own rate.
    if (!capture_.Allocate(maxFormatSize_ + kFormatHeaderBytes)) {
        return SplitStatus::OutOfMemory();
    }
    MakePcmFormat(capture_.Get(), report_.rate);
    status = ChooseTrackSamples(reader.Format(), reader.ChannelMask(), settings_, samples_);
    if (!status.Ok()) return status;
    report_.samples = TrackSamplesText(samples_);
    if (settings_.declick > 0 && !samples_.why16.empty()) {
        report_.warnings.push_back("the tracks are 16-bit stereo, not the input's own samples: " +
                                   samples_.why16);
    }
    status = CheckOutputFolder();
    if (status.Ok()) status = MakeOutput();
    if (status.Ok() && settings_.encoder.kind == EncoderKind::Flac && !settings_.dryRun) {
        status = CheckFlacDepth(input_, samples_);
    }
    if (status.Ok()) status = CheckNames();
    if (status.Ok()) {
        status = LoadSleeve(settings_.titlesFile, settings_.artist, settings_.album,
                            settings_.year, sleeve_, report_.warnings);
    }
    trackTotal_ = settings_.tracks > 0 ? settings_.tracks : int32_t(sleeve_.titles.size());
    // The picture is drawn last: whether it can be is known now, not after the tracks.
    if (status.Ok() && !settings_.preview.empty()) status = ProbePreview(settings_.preview);
    if (status.Ok()) status = MakeOutputFolder();
    return status;
}

// A folder in which a file can be created; one that does not exist is made once every other
// check has passed (MakeFolder). A dry run writes nothing there.
SplitStatus SplitRun::CheckOutputFolder() {
    folder_ = FullPath(NormalizeFolder(settings_.folder));
    report_.folder = folder_;
    const DWORD attributes = GetFileAttributesA(folder_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (settings_.dryRun) {
            report_.warnings.push_back(folder_ + ": the output folder does not exist; a run "
                                                 "that writes the tracks creates it");
        }
        makeFolder_ = !settings_.dryRun;
        return SplitStatus();
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return SplitStatus::OutputFailed(folder_, "the output folder is not a folder");
    }
    return settings_.dryRun ? SplitStatus() : ProbeFolder(folder_);
}

// The output folder the run needs, created with its parents.
SplitStatus SplitRun::MakeOutputFolder() {
    if (!makeFolder_) return SplitStatus();
    SplitStatus status = MakeFolder(folder_);
    if (status.Ok()) status = ProbeFolder(folder_);
    report_.folderCreated = status.Ok();
    return status;
}

// The encoder stage, or the recorder's chain for the format to write.
SplitStatus SplitRun::MakeOutput() {
    if (settings_.encoder.kind != EncoderKind::None) {
        const uint64_t sideFrames = uint64_t(report_.inputSeconds * report_.rate);
        output_ = CreateEncoderStage(settings_.encoder, report_.rate, samples_.tracks, sideFrames,
                                     tags_);
        if (!output_) return SplitStatus::OutOfMemory();
        // FLAC holds the samples as they are; MP3 is made from them.
        if (settings_.encoder.kind == EncoderKind::Mp3) {
            report_.samples = "MP3 from " + report_.samples;
        }
        if (output_->Query() != 0) {
            return SplitStatus::OutputFailed(
                "", std::string(settings_.encoder.kind == EncoderKind::Flac ? "FLAC" : "LAME") +
                        " cannot encode " + report_.samples + " at " +
                        std::to_string(report_.rate) + " Hz");
        }
        return SplitStatus();
    }
    if (samples_.own) {
        // The input's own format, or its bits as --bits asks.
        const SampleLayout& tracks = samples_.tracks;
        FormatBuffer format;
        std::unique_ptr<PassThroughWriter> writer;
        if (MakeSampleFormat(format, report_.rate, tracks.channels, tracks.bits, tracks.isFloat,
                             samples_.channelMask)) {
            writer.reset(new (std::nothrow)
                             PassThroughWriter(format.Get(), kDirectWriteBufferBytes));
        }
        if (!writer || !writer->IsValid()) return SplitStatus::OutOfMemory();
        output_ = std::move(writer);
        return SplitStatus();
    }
    FormatBuffer chosen;
    const SplitStatus status = OutputFormat(settings_, capture_.Get(), maxFormatSize_, chosen);
    if (!status.Ok()) return status;
    output_ = CreateSplitChain(capture_.Get(), chosen.Get(), maxFormatSize_);
    if (!output_ && settings_.formatName.empty()) {
        // As the recorder does with a stored format this system cannot make, but at the
        // input's own rate: the engine's samples as they are.
        CopyFormat(chosen.Get(), capture_.Get());
        report_.warnings.push_back("the stored output format cannot be made here; writing " +
                                   FormatSummary(chosen.Get()));
        output_ = CreateSplitChain(capture_.Get(), chosen.Get(), maxFormatSize_);
    }
    if (output_ && !FormatsEqual(chosen.Get(), capture_.Get())) {
        report_.trackRate = chosen.Get()->nSamplesPerSec;
        report_.samples = FormatSummary(chosen.Get()) + ", made from " + report_.samples;
    }
    if (output_) return SplitStatus();
    return SplitStatus::OutputFailed(
        "", "the output format cannot be made from " + FormatSummary(capture_.Get()));
}

// The names the engine and the cue sheet will make fit the path limits; known now, not after
// the split.
SplitStatus SplitRun::CheckNames() {
    // An untitled run's files have the engine's numbered names: a device's would find no free
    // number.
    const std::string firstName = settings_.prefix + kSampleNumber;
    if (settings_.titlesFile.empty() && WithoutDeviceName(firstName) != firstName) {
        return SplitStatus::Usage("the prefix \"" + settings_.prefix + "\" makes \"" + firstName +
                                  "\" a device's name; give another with --prefix");
    }
    const std::string sampleName =
        InFolder(folder_, settings_.prefix + kSampleNumber + "." + output_->GetExtension());
    if (sampleName.size() >= size_t(kTrackNameBytes)) {
        return SplitStatus::OutputFailed(folder_, "track names would be longer than " +
                                                      std::to_string(kTrackNameBytes - 1) +
                                                      " characters");
    }
    // The cue sheet's name is the longer one, and may take a copy number.
    if (writeCue_ && InFolder(folder_, CueSheetName(settings_.prefix, 1, 1)).size() +
                             sizeof kCopySuffixRoom - 1 >= MAX_PATH) {
        return SplitStatus::OutputFailed(folder_, "the cue sheet's name would be longer than " +
                                                      std::to_string(MAX_PATH - 1) +
                                                      " characters");
    }
    return SplitStatus();
}

// ---- Plan: the whole side measured first when the cuts or the picture need it ----

SplitStatus SplitRun::Plan() {
    if (progress_) progress_->Begin(report_.inputSeconds);
    if (MeasuresFirst()) {
        const SplitStatus measured = MeasureSide();
        if (!measured.Ok()) {
            if (progress_) progress_->Done();
            return measured;
        }
    }
    ChooseSilenceLevel();
    if (settings_.tracks > 0) {
        plan_ = PlanTrackCuts(side_.levels, silence_.level, settings_.tracks,
                              settings_.live ? settings_.gap + 1 : kTrailingSilentBlocks);
        if (plan_.threshold != silence_.level) {
            report_.warnings.push_back("too few silent runs at " +
                                       SilenceLevelName(silence_.level) +
                                       ": cut at the quietest long runs, " +
                                       SilenceLevelName(plan_.threshold));
            silence_.level = plan_.threshold;
            report_.silence = silence_;
        }
    }
    return SplitStatus();
}

// The automatic level, the cuts of --tracks and the picture of --preview need the whole side's
// levels first.
bool SplitRun::MeasuresFirst() const {
    return settings_.autoSilence || settings_.tracks > 0 || !settings_.preview.empty();
}

// The measuring pass: every block of the input measured, through an input chain of its own.
SplitStatus SplitRun::MeasureSide() {
    InputChain input(readApi_);
    SplitStatus status = input.Open(input_);
    if (!status.Ok()) return status;
    std::unique_ptr<SideLevelMeter> last(new (std::nothrow)
                                             SideLevelMeter(blockFrames_, report_.rate));
    if (!last || last->Failed()) return SplitStatus::OutOfMemory();
    SideLevelMeter* meter = last.get();
    if (settings_.declick > 0) report_.declick = settings_.declick;
    status = input.Build(capture_.Get(), maxFormatSize_, settings_.declick, blockFrames_,
                         std::move(last));
    // Blocks cut where the split's feeder cuts them, at a dropped passage too.
    if (status.Ok()) status = input.WatchDecoding(*meter);
    if (!status.Ok()) return status;
    const FeedPass pass{0.0, kMeasuredShare, "interrupted; nothing was written", false,
                        [meter](int) { return meter->Failed(); }};
    status = Feed(input, pass);
    if (status.Code() == kSplitInputFailed) {
        return SplitStatus::InputRejected(input_, input.Reader().Problem() +
                                                      "; nothing was written");
    }
    if (status.Ok() && meter->Failed()) status = SplitStatus::OutOfMemory();
    if (!status.Ok()) return status;
    side_.levels = meter->TakeLevels();
    side_.frames = meter->Frames();
    silence_.measured = true;
    // Found without the rumble, measured as the engine hears it.
    const NoiseFloor withoutRumble = EstimateNoiseFloor(meter->LoudnessWithoutRumble());
    silence_.floor = NoiseFloorIn(withoutRumble, meter->Loudness());
    silence_.rumbleDb = silence_.floor.db - withoutRumble.db;
    return SplitStatus();
}

// The level given, or with --silence auto the one the side's noise floor calls for.
void SplitRun::ChooseSilenceLevel() {
    silence_.level = settings_.silence;
    if (settings_.silenceDbfs) {
        silence_.from = SilenceFrom::Decibels;
        silence_.givenDbfs = *settings_.silenceDbfs;
    }
    if (settings_.autoSilence && !silence_.floor.found) {
        silence_.from = SilenceFrom::NoFloor;
        report_.warnings.push_back(
            "no noise floor found between the side's sounds (is it all music?): cut at the "
            "fixed " + SilenceLevelName(silence_.level));
    } else if (settings_.autoSilence) {
        silence_.from = SilenceFrom::Floor;
        const bool rumble = silence_.rumbleDb > kAutoRumbleDb;
        silence_.level =
            AutoSilenceLevel(silence_.floor.db, rumble ? 0.0 : silence_.floor.belowMusicDb);
        if (SilenceLevelDbfs(silence_.level) < silence_.floor.db + kAutoMinMarginDb) {
            report_.warnings.push_back(
                "the side's noise floor, " + NoiseFloorText(silence_.floor) +
                (rumble ? ", mostly rumble below 20 Hz, is above the highest automatic silence "
                          "level, and soft music under it would be lost"
                        : ", is near or above the highest automatic silence level and not "
                          "clearly below the music") +
                ": songs may run together; " + CuttingLevelOption(silence_.floor.db) +
                " would cut there (see --declick, --tracks and --silence)");
        }
    }
    report_.silence = silence_;
}

// ---- Start: the stages around the engine, and the engine itself ----

SplitStatus SplitRun::Start() {
    // A dry run writes no samples: it needs none carried.
    if (samples_.own && !settings_.dryRun) {
        source_.reset(new (std::nothrow) SourceFrames(samples_.input.FrameBytes()));
        if (!source_) return SplitStatus::OutOfMemory();
    }
    std::unique_ptr<BlockFeeder> feeder(
        new (std::nothrow) BlockFeeder(engine_, positions_, blockFrames_, source_.get()));
    if (!feeder || feeder->Failed()) return SplitStatus::OutOfMemory();
    feeder_ = feeder.get();
    if (settings_.declick > 0) report_.declick = settings_.declick;
    SplitStatus status = inputChain_.Build(capture_.Get(), maxFormatSize_, settings_.declick,
                                           blockFrames_, std::move(feeder), source_.get());
    if (status.Ok()) status = inputChain_.WatchDecoding(*feeder_);
    if (!status.Ok()) return status;

    std::unique_ptr<OutputSink> first;
    status = MakeOutputStages(first);
    if (!status.Ok()) return status;
    OutputSink* stages = first.get();
    engine_.SetSink(first.release());  // the engine owns the stages and, through them, the chain
    const int32_t prepared = stages->Prepare(blockFrames_ * kCaptureFrameBytes);
    if (prepared != 0) {
        return SplitStatus::OutputFailed(
            "", "the codec refuses the output format (error " + std::to_string(prepared) + ")");
    }
    return StartEngine();
}

// In front of the output (or, in a dry run, of a stand-in): the track log and, with a sleeve,
// the namer; `first` receives the first stage.
SplitStatus SplitRun::MakeOutputStages(std::unique_ptr<OutputSink>& first) {
    if (settings_.dryRun) {
        const std::string extension = output_->GetExtension();
        output_.reset(new (std::nothrow) DryRunSink(extension));
        if (!output_) return SplitStatus::OutOfMemory();
    }
    if (source_) {
        output_.reset(new (std::nothrow) SourceFrameSink(std::move(output_), positions_,
                                                         samples_.input, samples_.tracks));
        if (!output_) return SplitStatus::OutOfMemory();
    }
    std::unique_ptr<TrackLogSink> log(new (std::nothrow) TrackLogSink(
        std::move(output_), positions_, sleeve_.titled ? sleeveNumber_ : engine_.trackNumber,
        engine_, workerFailure_));
    if (!log) return SplitStatus::OutOfMemory();
    log_ = log.get();
    first = std::move(log);
    if (!sleeve_.HasTags()) return SplitStatus();
    // FLAC and MP3 tracks carry their tags themselves: no INFO chunk after them.
    const bool writeInfo = !settings_.dryRun && settings_.encoder.kind == EncoderKind::None;
    std::unique_ptr<TrackNamer> namer(
        new (std::nothrow) TrackNamer(std::move(first), sleeve_, folder_, settings_.prefix,
                                      writeInfo, sleeveNumber_, engine_, workerFailure_));
    if (!namer) return SplitStatus::OutOfMemory();
    first = std::move(namer);
    return SplitStatus();
}

// The recorder's settings, as its window writes them into its engine, and the start.
SplitStatus SplitRun::StartEngine() {
    engine_.blockBytes = blockFrames_ * kCaptureFrameBytes;
    engine_.levelBlockFrames = blockFrames_;
    // Only a RIFF file must end below 2 GB.
    if (settings_.encoder.kind != EncoderKind::None) {
        engine_.maxTrackBytes = kMaxTrackBytesUncapped;
    } else if (samples_.own) {
        engine_.maxTrackBytes = MaxTrackBytes(samples_.tracks, settings_.trackBytesLimit);
    } else {
        engine_.maxTrackBytes = settings_.trackBytesLimit;
    }
    engine_.silenceThreshold = silence_.level;
    engine_.gapBlocks = settings_.gap;
    // The sleeve's count says each piece is a track, however short.
    engine_.discardBlocks = settings_.tracks > 0 ? 0 : settings_.minimum;
    if (settings_.tracks > 0 && !engine_.PlanCuts(plan_.cuts)) return SplitStatus::OutOfMemory();
    engine_.liveMode = settings_.live ? 1 : 0;
    // A titled run's numbered names are only searched; they must not be devices all the same.
    const std::string prefix =
        sleeve_.titled ? WithoutDeviceName(settings_.prefix) : settings_.prefix;
    const std::string nameFormat = InFolder(folder_, prefix + kTrackNumberPattern);
    engine_.SetNameFormat(nameFormat.c_str());
    engine_.SetStandby(0);
    if (!engine_.Start()) return SplitStatus::OutputFailed("", "the engine cannot be started");
    return SplitStatus();
}

// ---- Split: the feed loop both passes share ----

SplitStatus SplitRun::Split() {
    const bool measured = MeasuresFirst();
    // Stops early when the worker's stages failed or the engine cannot open tracks (no free
    // number): the failure is reported once the worker has ended.
    const FeedPass pass{measured ? kMeasuredShare : 0.0, measured ? 1.0 - kMeasuredShare : 1.0,
                        "interrupted; the open track was finished", true, [this](int reads) {
                            return workerFailure_.Failed() || feeder_->Failed() ||
                                   (reads % kStatusPollReads == 0 &&
                                    engine_.SinkStatus(sinkStatus_) && sinkStatus_[0] != '\0');
                        }};
    SplitStatus fed = Feed(inputChain_, pass);
    if (fed.Code() == kSplitInputFailed) {
        fed = SplitStatus::InputFailed(input_, "reading failed part-way: " +
                                                   inputChain_.Reader().Problem() +
                                                   "; the open track was finished");
    }
    feeder_->WaitUntilProcessed();
    engine_.StopAndWait();  // the worker finishes the open track with all its blocks
    if (progress_) progress_->Done();
    return fed;
}

SplitStatus SplitRun::Feed(InputChain& input, const FeedPass& pass) {
    for (int reads = 0;; ++reads) {
        if (interrupted_ && interrupted_->load()) {
            return SplitStatus::Interrupted(pass.interruptedText);
        }
        if (pass.stopped(reads)) return SplitStatus();
        bool ended = false;
        std::vector<std::string> warnings;
        const SplitStatus step = input.Step(ended, pass.warns ? report_.warnings : warnings);
        if (!step.Ok() || ended) return step;
        if (progress_) {
            const double fraction = pass.progressFrom + pass.progressSpan * input.ReadFraction();
            progress_->Update(fraction, fraction * report_.inputSeconds);
        }
    }
}

// ---- Collect: what the worker did ----

SplitStatus SplitRun::Collect(const SplitStatus& fed) {
    report_.tracks = log_->Tracks();
    if (const DeclickStage* declick = inputChain_.Declick()) {
        for (CueTrack& track : report_.tracks) {
            declick->Count(track.startFrame, track.endFrame, track.clicks, track.clicksLeft);
        }
        report_.clicksRepaired = declick->Repaired();
        report_.clicksLeft = declick->Left();
    }
    report_.blocks = feeder_->SubmittedBlocks();
    report_.buffersCreated = engine_.Pool().created;
    if (engine_.SizeLimitSplits() > 0) {
        report_.warnings.push_back(std::to_string(engine_.SizeLimitSplits()) +
                                   " track file(s) reached 2 GB, the most one holds; each track "
                                   "went on in the next file");
    }
    if (fed.Ok()) {
        const SplitStatus failure = WorkerFailure();
        if (!failure.Ok()) return failure;
    } else if (fed.Code() != kSplitInterrupted && fed.Code() != kSplitInputFailed) {
        return fed;
    }
    report_.discarded = log_->Discarded();
    if (sleeve_.HasTags()) TitleTracks(sleeve_, report_.tracks, report_.warnings);
    return fed;
}

// The first failure of the stages on the worker, of the engine's own sink status, or of the
// feeder.
SplitStatus SplitRun::WorkerFailure() {
    if (workerFailure_.Failed()) return workerFailure_.First();
    sinkStatus_[0] = '\0';
    engine_.SinkStatus(sinkStatus_);
    if (sinkStatus_[0] != '\0') return SplitStatus::OutputFailed("", OneLine(sinkStatus_));
    if (feeder_->Failed()) {
        return SplitStatus::OutputFailed("", "out of memory: blocks could not be fed");
    }
    return SplitStatus();
}

// ---- Finish: the cue sheet, the preview, the track count and the damage ----

SplitStatus SplitRun::Finish(SplitStatus status) {
    // What the run wrote is listed first, the picture drawn next; each is done whatever failed
    // before, and the first failure stays the run's.
    if (writeCue_ && !settings_.dryRun && !report_.tracks.empty()) KeepFirst(status, WriteCue());
    if (!settings_.preview.empty()) KeepFirst(status, DrawPreview());
    const size_t tracks = CountTracks(report_.tracks);
    if (status.Ok() && settings_.tracks > int32_t(tracks)) {
        status = SplitStatus::FewerTracks(
            input_, "asked for " + std::to_string(settings_.tracks) + " tracks, the side has " +
                        std::to_string(tracks) +
                        " (too few silent runs between sounds)");
    }
    if (status.Ok() && tracks == 0) status = NothingKept();
    if (status.Ok() && inputChain_.Damaged() > 0) {
        return SplitStatus::InputDamaged(
            input_, "damaged: " + std::to_string(inputChain_.Damaged()) +
                        " passage(s) could not be decoded and are missing from the tracks");
    }
    return status;
}

// A run that kept no track says why, with the exit code of a side with fewer tracks than
// asked for.
SplitStatus SplitRun::NothingKept() {
    const size_t discarded = CountTracks(report_.discarded);
    std::string why;
    if (discarded > 0) {
        why = std::to_string(discarded) + (discarded == 1 ? " track" : " tracks") +
              " shorter than the minimum (" +
              SecondsText(settings_.minimum, kBlocksPerSecond, ".") + " s) " +
              (discarded == 1 ? "was" : "were") + " not kept (see --min)";
    } else if (inputChain_.Reader().DataBytes() == 0) {
        why = "the input holds no samples";
    } else if (IsDigitalSilence(input_)) {
        why = "the side is digital silence: nothing recorded?";
    } else {
        why = "no sound above " + SilenceLevelName(silence_.level) + " (see --silence)";
    }
    return SplitStatus::FewerTracks(
        input_, why + (settings_.dryRun ? "; no track to list" : "; nothing was written"));
}

void SplitRun::KeepFirst(SplitStatus& status, const SplitStatus& next) {
    if (next.Ok()) return;
    if (status.Ok()) {
        status = next;
    } else {
        report_.warnings.push_back(next.Text());
    }
}

// The --preview picture of what the run did.
SplitStatus SplitRun::DrawPreview() {
    const std::string name = BaseName(input_);
    side_.heading = sleeve_.album.empty() ? Utf8FromAnsi(name) : sleeve_.album;
    if (!sleeve_.artist.empty()) side_.heading = sleeve_.artist + " - " + side_.heading;
    if (!sleeve_.year.empty()) side_.heading += " (" + sleeve_.year + ")";
    side_.subheading = Utf8FromAnsi(name) + ": " + SilenceLevelText(silence_) + ", " +
                       (settings_.live ? "live mode, " : "");
    side_.subheading +=
        settings_.tracks > 0
            ? "cut at the " + std::to_string(settings_.tracks - 1) + " longest silent runs for " +
                  std::to_string(settings_.tracks) + " tracks"
            : "cut after " + std::to_string(settings_.gap + 1) + " silent blocks, tracks under " +
                  std::to_string(settings_.minimum) + " blocks deleted";
    if (settings_.dryRun) side_.subheading += " (dry run: nothing written)";
    side_.rate = report_.rate;
    side_.blockFrames = blockFrames_;
    side_.threshold = silence_.level;
    side_.floor = silence_.floor;
    side_.tracks = report_.tracks;
    side_.discarded = report_.discarded;
    const SplitStatus written = WritePreview(settings_.preview, PreviewSvg(side_));
    if (written.Ok()) report_.previewPath = settings_.preview;
    return written;
}

// The cue sheet of the tracks written (an interrupted run's too).
SplitStatus SplitRun::WriteCue() {
    const std::vector<CueTrack>& tracks = report_.tracks;
    const size_t listed = std::min(tracks.size(), kCueMaxTracks);
    if (listed < tracks.size()) {
        report_.warnings.push_back("a cue sheet holds " + std::to_string(kCueMaxTracks) +
                                   " tracks: " + tracks[listed].file + " to " +
                                   tracks.back().file + " are not in it");
    }
    // Named by the tracks' numbers; when that is taken (another side's sheet), " (2)" and on.
    const std::string name = WithoutDeviceName(
        CueSheetName(settings_.prefix, tracks.front().number, tracks[listed - 1].number));
    const std::string stem = name.substr(0, name.rfind('.'));
    const std::string path = FreeTrackPath(folder_, stem, kCueExtension);
    if (path.empty()) {
        return SplitStatus::OutputFailed(folder_, "no free name for the cue sheet " + name);
    }
    const CueAlbum album{sleeve_.album, sleeve_.artist, sleeve_.year};
    // Relative, so the sheet still finds the side when both are moved together.
    const std::string text =
        CueSheetText(RelativePath(FullPath(input_), folder_), tracks, report_.rate, album);
    const SplitStatus written = WriteCueSheet(path, text);
    if (written.Ok()) report_.cuePath = path;
    return written;
}

int RunSplit(const SplitSettings& settings, const std::string& input, bool writeCue,
             SplitReport& report, SplitProgress* progress, const std::atomic<bool>* interrupted,
             const WaveReadApi& readApi) {
    report = SplitReport();
    SplitRun run(settings, input, writeCue, report, progress, interrupted, readApi);
    const SplitStatus status = run.Run();
    report.problem = status.Text();
    return status.Code();
}

std::string SplitSummary(const SplitReport& report, bool dryRun) {
    const size_t tracks = CountTracks(report.tracks);
    const size_t files = report.tracks.size();
    std::string text = std::to_string(tracks) + (tracks == 1 ? " track " : " tracks ");
    if (files != tracks) text += "in " + std::to_string(files) + " files ";
    text += (dryRun ? "for " : "in ") + report.folder;
    if (report.folderCreated) text += " (a new folder)";
    return dryRun ? text + " (dry run: no file written)" : text;
}
