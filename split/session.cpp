// RunSplit: checks, the conversion of the input, the engine run and the cue sheet.
#include "split/session.h"

#include <cstring>
#include <memory>
#include <new>

#include "split/block_feeder.h"
#include "split/formats.h"
#include "split/track_log.h"
#include "split/wave_reader.h"
#include "engine/stream_format.h"
#include "engine/track_engine.h"
#include "output/acm_converter.h"
#include "output/format_record.h"
#include "output/output_chain.h"
#include "split/declick_stage.h"
#include "split/dry_run_sink.h"
#include "split/encoder_format.h"
#include "split/preview_svg.h"
#include "split/side_levels.h"
#include "split/sleeve.h"
#include "split/track_namer.h"
#include "split/track_plan.h"
#include "split/track_tags.h"
#include "split/utf8_text.h"

namespace {

constexpr uint32_t kReadBytes = 16 * kCaptureBlockBytes;  // one read: 16 blocks of PCM
constexpr uint32_t kConvertBlockBytes = 65536;            // a codec's source block, about
constexpr int kStatusPollReads = 8;                       // reads between two engine polls
constexpr char kProbePrefix[] = "gsp";                    // the folder test's scratch file
constexpr char kSampleNumber[] = "0001";                  // the shortest number in a name

// The recorder's Shift+Start and Shift+Stop have no meaning here.
const TrackEngineApi kNoKeyboard{&ShiftNeverHeld};

int Reject(SplitReport& report, int code, const std::string& problem) {
    report.problem = problem;
    return code;
}

std::string WithoutTrailingSlashes(std::string folder) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

// An existing folder in which a file can be created.
bool CheckFolder(const std::string& folder, std::string& problem) {
    const std::string shown = folder.empty() ? "\\" : folder;
    const DWORD attributes = GetFileAttributesA(folder.empty() ? "\\" : folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        problem = "output folder " + shown + " does not exist";
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        problem = "output folder " + shown + " is not a folder";
        return false;
    }
    char probe[MAX_PATH] = {};
    if (GetTempFileNameA(folder.empty() ? "\\" : folder.c_str(), kProbePrefix, 0, probe) == 0) {
        problem = "output folder " + shown + " is not writable (Windows error " +
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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The input as the cue sheet names it: bare when it lies beside the sheet.
std::string CueInputName(const std::string& input, const std::string& folder) {
    const std::string full = FullPath(input);
    if (lstrcmpiA(FolderOf(full).c_str(),
                  WithoutTrailingSlashes(FullPath(folder + "\\")).c_str()) == 0) {
        return full.substr(full.find_last_of("\\/") + 1);
    }
    return full;
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
                   DeclickStage*& declick, SplitReport& report) {
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
        inputChain =
            CreateDecodingChain(inputFormat, capture, maxFormatSize, std::move(firstStage));
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
    const int made = MakeInputChain(settings, reader, input, capture, maxFormatSize,
                                    std::move(last), chain, declick, report);
    if (made != kSplitDone) return made;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[kReadBytes]);
    if (!bytes) return Reject(report, kSplitOutputFailed, "out of memory");
    uint64_t bytesRead = 0;
    for (;;) {
        if (interrupted && interrupted->load()) {
            return Reject(report, kSplitInterrupted, "interrupted; nothing was written");
        }
        const int32_t count = reader.Read(bytes.get(), kReadBytes);
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
    const std::string name = input.substr(input.find_last_of("\\/") + 1);
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

    uint32_t maxFormatSize = ReadMaxFormatSize();
    if (maxFormatSize < kMp3FormatBytes) maxFormatSize = kMp3FormatBytes;
    // The engine's samples: 16-bit stereo at the input's own rate.
    FormatBuffer capture;
    if (!capture.Allocate(maxFormatSize + kFormatHeaderBytes)) {
        return Reject(report, kSplitOutputFailed, "out of memory");
    }
    MakePcmFormat(capture.Get(), report.rate);

    const std::string folder = WithoutTrailingSlashes(settings.folder);
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
        chain = CreateOutputChain(capture.Get(), chosen.Get(), maxFormatSize);
        if (!chain && settings.formatName.empty()) {
            // As the recorder does with a stored format this system cannot make.
            report.warnings.push_back("the stored output format cannot be made here; writing PCM");
            MakePcmFormat(chosen.Get(), kDefaultOutputRate);
            chain = CreateOutputChain(capture.Get(), chosen.Get(), maxFormatSize);
        }
    }
    if (!chain) {
        return Reject(report, kSplitOutputFailed,
                      "the output format cannot be made from " + FormatSummary(capture.Get()));
    }

    const std::string nameFormat = TrackNameTemplate(folder, settings.prefix);
    const std::string sampleName =
        folder + "\\" + settings.prefix + kSampleNumber + "." + chain->GetExtension();
    if (sampleName.size() >= size_t(kTrackNameBytes)) {
        return Reject(report, kSplitOutputFailed,
                      "track names in " + folder + " would be longer than " +
                          std::to_string(kTrackNameBytes - 1) + " characters");
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
    const int made = MakeInputChain(settings, reader, input, capture.Get(), maxFormatSize,
                                    std::move(ownFeeder), inputChain, declick, report);
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
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kReadBytes]);
    int code = kSplitDone;
    if (!chunk) code = Reject(report, kSplitOutputFailed, "out of memory");
    uint64_t bytesRead = 0;
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
        const int32_t count = reader.Read(chunk.get(), kReadBytes);
        if (count < 0) {
            code = Reject(report, kSplitInputRejected, input + ": " + reader.Problem());
            break;
        }
        if (count == 0) {
            inputChain->Finish(0);
            break;
        }
        inputChain->Write(chunk.get(), count);
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
        const std::string name = CueSheetName(settings.prefix, report.tracks.front().number,
                                              report.tracks.back().number);
        const std::string path = folder + "\\" + name;
        const CueAlbum album{sleeve.album, sleeve.artist, sleeve.year};
        const std::string text =
            CueSheetText(CueInputName(input, folder), report.tracks, report.rate, album);
        if (!WriteCueSheet(path, text, problem)) return Reject(report, kSplitOutputFailed, problem);
        report.cuePath = path;  // an interrupted run lists the tracks it finished
    }
    return code;
}
