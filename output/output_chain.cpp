// CreateOutputChain: asks the codec manager how the capture format becomes the chosen format,
// directly or through an intermediate PCM format, and builds the stages for it.
#include "output/output_chain.h"

#include <msacm.h>

#include <new>

#include "engine/track_engine.h"
#include "output/acm_converter.h"
#include "output/format_record.h"
#include "output/wave_file_writer.h"

namespace {

constexpr DWORD kSuggestTagChannelsRate =
    ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_NSAMPLESPERSEC;

template <typename Stage, typename... Args>
std::unique_ptr<Stage> MakeStage(Args&&... args) {
    std::unique_ptr<Stage> stage(new (std::nothrow) Stage(std::forward<Args>(args)...));
    if (stage && !stage->IsValid()) stage.reset();
    return stage;
}

// A codec stage that can be asked before anything is given to it.
bool Converts(const WAVEFORMATEX* from, const WAVEFORMATEX* to) {
    AcmConverter probe(from, to, nullptr);
    return probe.IsValid() && probe.Query() == 0;
}

// The chain through an intermediate PCM format with the chosen channel count and rate, for
// codecs that take the chosen format only from PCM at its own rate.
std::unique_ptr<OutputSink> CreateTwoStageChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                                uint32_t formatBufferSize, WORD bitsPerSample,
                                                WORD blockAlign, const WaveFileApi& fileApi) {
    FormatBuffer intermediate;
    if (!intermediate.Allocate(formatBufferSize)) return nullptr;
    WAVEFORMATEX* middle = intermediate.Get();
    middle->wFormatTag = source->wFormatTag;
    middle->nChannels = chosen->nChannels;
    middle->nSamplesPerSec = chosen->nSamplesPerSec;
    WAVEFORMATEX* from = const_cast<WAVEFORMATEX*>(source);  // the manager does not write it
    if (acmFormatSuggest(nullptr, from, middle, formatBufferSize, kSuggestTagChannelsRate) !=
        MMSYSERR_NOERROR) {
        return nullptr;
    }
    const DWORD bitsFlag = bitsPerSample != 0 ? ACM_FORMATSUGGESTF_WBITSPERSAMPLE : 0;
    if (acmFormatSuggest(nullptr, middle, chosen, formatBufferSize,
                         ACM_FORMATSUGGESTF_WFORMATTAG | bitsFlag) != MMSYSERR_NOERROR) {
        return nullptr;
    }
    CompleteMp3Format(chosen);
    if (bitsPerSample == 0) {
        chosen->wBitsPerSample = 0;
        chosen->nBlockAlign = blockAlign;
    }
    std::unique_ptr<WaveFileWriter> last =
        MakeStage<WaveFileWriter>(middle, chosen, fileApi, source->nSamplesPerSec);
    if (!last) return nullptr;
    return MakeStage<AcmConverter>(source, middle, std::move(last));
}

// Where the output grows faster than the source (a higher rate, more bits), the source bytes
// whose output fills a file as far as the engine fills one of source bytes.
void LimitFiles(OutputSink& chain, const WAVEFORMATEX* source, const WAVEFORMATEX* output) {
    const DWORD in = source->nAvgBytesPerSec, out = output->nAvgBytesPerSec;
    if (in == 0 || out <= in) return;
    const uint64_t bytes = uint64_t(kMaxTrackBytes) * in / out;
    const uint32_t align = source->nBlockAlign != 0 ? source->nBlockAlign : 1;
    chain.SetFileSourceBytes(uint32_t(bytes - bytes % align));
}

std::unique_ptr<OutputSink> BuildOutputChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                             uint32_t formatBufferSize, const WaveFileApi& fileApi);

}  // namespace

std::unique_ptr<OutputSink> CreateOutputChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                              uint32_t formatBufferSize, const WaveFileApi& fileApi) {
    std::unique_ptr<OutputSink> chain = BuildOutputChain(source, chosen, formatBufferSize, fileApi);
    if (chain) LimitFiles(*chain, source, chosen);
    return chain;
}

std::unique_ptr<OutputSink> CreateDecodingChain(const WAVEFORMATEX* input, const WAVEFORMATEX* target,
                                                uint32_t formatBufferSize,
                                                std::unique_ptr<OutputSink> successor) {
    if (Converts(input, target)) return MakeStage<AcmConverter>(input, target, std::move(successor));
    FormatBuffer decoded;
    if (!decoded.Allocate(formatBufferSize + kFormatHeaderBytes)) return nullptr;
    decoded.Get()->wFormatTag = kFormatTagPcm;
    if (acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(input), decoded.Get(), formatBufferSize,
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) {
        return nullptr;
    }
    if (!Converts(input, decoded.Get()) || !Converts(decoded.Get(), target)) return nullptr;
    std::unique_ptr<OutputSink> second =
        MakeStage<AcmConverter>(decoded.Get(), target, std::move(successor));
    if (!second) return nullptr;
    return MakeStage<AcmConverter>(input, decoded.Get(), std::move(second));
}

namespace {

std::unique_ptr<OutputSink> BuildOutputChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                             uint32_t formatBufferSize, const WaveFileApi& fileApi) {
    // A record claiming more extra bytes than its buffer holds would be read past its end.
    if (FormatSize(chosen) > formatBufferSize + kFormatHeaderBytes) return nullptr;
    FormatBuffer original;
    if (!original.Assign(chosen)) return nullptr;

    const WORD bitsPerSample = chosen->wBitsPerSample;
    const WORD blockAlign = chosen->nBlockAlign;
    const DWORD avgBytesPerSec = chosen->nAvgBytesPerSec;
    const DWORD samplesPerSec = chosen->nSamplesPerSec;
    const DWORD bitsFlag = bitsPerSample != 0 ? ACM_FORMATSUGGESTF_WBITSPERSAMPLE : 0;

    CompleteMp3Format(chosen);
    WAVEFORMATEX* from = const_cast<WAVEFORMATEX*>(source);  // the manager does not write it
    if (acmFormatSuggest(nullptr, from, chosen, formatBufferSize,
                         kSuggestTagChannelsRate | bitsFlag) != MMSYSERR_NOERROR) {
        CopyFormat(chosen, original.Get());
        return CreateTwoStageChain(source, chosen, formatBufferSize, bitsPerSample, blockAlign, fileApi);
    }
    chosen->nSamplesPerSec = samplesPerSec;
    if (bitsPerSample == 0) {
        // Formats without a bit depth keep the user's block alignment and byte rate.
        chosen->wBitsPerSample = 0;
        chosen->nBlockAlign = blockAlign;
        chosen->nAvgBytesPerSec = avgBytesPerSec;
    }
    CompleteMp3Format(chosen);
    std::unique_ptr<WaveFileWriter> direct = MakeStage<WaveFileWriter>(source, chosen, fileApi);
    if (!direct || direct->Query() == MMSYSERR_NOERROR) return direct;

    // Some codecs suggest a rate or channel count they cannot convert to from the capture
    // format; through PCM at that rate they can. Without such a way the direct chain stands.
    FormatBuffer suggested;
    if (!suggested.Assign(chosen)) return direct;
    CopyFormat(chosen, original.Get());
    std::unique_ptr<OutputSink> twoStage =
        CreateTwoStageChain(source, chosen, formatBufferSize, bitsPerSample, blockAlign, fileApi);
    if (twoStage && twoStage->Query() == MMSYSERR_NOERROR) return twoStage;
    CopyFormat(chosen, suggested.Get());
    return direct;
}

}  // namespace

std::unique_ptr<OutputSink> CreateRecordingChain(const WAVEFORMATEX* source, WAVEFORMATEX* chosen,
                                                 uint32_t formatBufferSize, int32_t blockBytes,
                                                 bool chosenUsable) {
    if (chosenUsable) {
        // A copy: a failed build may leave the record half suggested.
        FormatBuffer trial(size_t(formatBufferSize) + kFormatHeaderBytes);
        if (!trial.Empty() && FormatSize(chosen) <= trial.Size()) {
            CopyFormat(trial.Get(), chosen);
            std::unique_ptr<OutputSink> chain =
                CreateOutputChain(source, trial.Get(), formatBufferSize);
            if (chain && chain->Prepare(blockBytes) == 0) {
                CopyFormat(chosen, trial.Get());
                return chain;
            }
        }
    }
    FormatBuffer pcm(kFormatHeaderBytes);
    if (pcm.Empty()) return nullptr;
    MakePcmFormat(pcm.Get(), kDefaultOutputRate);
    std::unique_ptr<WaveFileWriter> writer = MakeStage<WaveFileWriter>(source, pcm.Get());
    if (!writer) return nullptr;
    writer->SetNotice(kPcmFallbackMessage);
    LimitFiles(*writer, source, pcm.Get());
    // A failed Prepare is the engine's to retry; the chain is handed over all the same.
    writer->Prepare(blockBytes);
    return writer;
}
