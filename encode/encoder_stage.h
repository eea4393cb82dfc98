// EncoderStage: the common part of grooval-split's FLAC and MP3 stages, each the last and only
// stage of an output chain. It takes whole frames of its sample layout at the input's rate (the
// engine's 16-bit stereo, or the input's own frames of any plain layout), names its tracks by
// its own extension, and writes each track into an EncodedFile through the encoder its
// subclass drives; it keeps the calling order and results of the WAV writer:
//   Open     creates the file, asks the tag source for the track's tags and starts the encoder
//            (which writes the file's header); a failure leaves no file open and its text
//   Write    encodes; a failed write closes the file (see EncodedFile) and the caller is told
//            success, as by the WAV writer: the engine sees IsOpen false at its next block
//   Finish   ends the encoder, completes the header, closes the file: 0, kSinkTrackDeleted
//            when the track is shorter than the minimum, kSinkFailed when it cannot be finished
// A stage deleted while a file is open finishes the track with what it was given. The frame
// counts of Finish and the minimum size of Open are in frames, whatever the layout: the engine's
// frames and the input's are the same frames.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/pass_through_sink.h"
#include "dsp/sample_convert.h"
#include "engine/stream_format.h"
#include "encode/encoded_file.h"
#include "encode/encoder_format.h"
#include "encode/track_tags.h"

class EncoderStage : public PassThroughSink {
public:
    int32_t WriteConverted(const void* bytes, int32_t count) override { return Write(bytes, count); }
    int32_t Write(const void* bytes, int32_t count) override;
    int32_t Finish(uint32_t frames) override;
    int32_t Open(const char* fileName, uint32_t minBytes) override;
    // As Finish, answering 0 as the WAV writer does.
    int32_t Close(uint32_t frames) override;
    bool IsOpen() override { return file_.IsOpen(); }
    int32_t GetLastMessage(char* text) override;
    const char* GetExtension() override { return extension_; }

    const EncodedFile& File() const { return file_; }
    const SampleLayout& Layout() const { return layout_; }

protected:
    // `codec` names the encoder in messages ("FLAC").
    EncoderStage(const char* codec, const char* extension, const SampleLayout& layout,
                 const TrackTagSource& tags, const EncodedFileApi& api);
    // Subclasses call this in their destructor, while their encoder is still theirs.
    void FinishOpenTrack();
    // False, with the message "<codec>: <what> (<detail>)" unless a failed write has closed
    // the file and left its own.
    bool Fail(const char* what, const std::string& detail = std::string());
    // The samples of `frames` frames of the layout: as the 16-bit values themselves (a 16-bit
    // layout), as integers of `depth` bits (exactly: false with the message set at the first
    // sample the depth cannot hold), or as floats of full scale 1.0. False with the message set
    // when memory is short.
    bool Unpack(const uint8_t* bytes, uint32_t frames, std::vector<short>& samples);
    bool Unpack(const uint8_t* bytes, uint32_t frames, uint16_t depth,
                std::vector<int32_t>& samples);
    bool Unpack(const uint8_t* bytes, uint32_t frames, std::vector<float>& samples);

    // Makes the encoder for one track and writes the file's header. False with the message
    // set (or the file closed by a failed write).
    // Requires: the track's file just created, nothing written to it.
    virtual bool StartEncoder(const TrackTags& tags) = 0;
    // Encodes `frames` frames of the layout. False when the encoder or the file failed; the
    // message is set.
    // Requires: StartEncoder succeeded, and neither EndEncoder nor DropEncoder since.
    virtual bool Encode(const uint8_t* bytes, uint32_t frames) = 0;
    // Flushes the encoder and completes the header. False as for Encode.
    // Requires: as for Encode; DropEncoder follows, whatever it answers.
    virtual bool EndEncoder() = 0;
    // Drops the encoder without another write. Any time; a second call does nothing.
    virtual void DropEncoder() = 0;

    EncodedFile file_;
    uint64_t framesIn_ = 0;  // frames given to the encoder in this track
    const SampleLayout layout_;

private:
    // Room for the samples of `frames` frames; false with the message set when memory is short.
    template <typename Sample>
    bool SampleRoom(uint32_t frames, std::vector<Sample>& samples);

    const char* const codec_;
    const char* const extension_;
    const TrackTagSource& tags_;
};

template <typename Sample>
bool EncoderStage::SampleRoom(uint32_t frames, std::vector<Sample>& samples) {
    const size_t values = size_t(frames) * layout_.channels;
    try {
        if (samples.size() < values) samples.resize(values);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    return true;
}

// FLAC tracks hold integers of up to kFlacMaxDepth bits: the layout's own depth when it is
// no more, else kFlacMaxDepth, which its samples must then fit exactly (a 24-bit recording in
// 32-bit words or in floats does).
constexpr uint16_t kFlacMaxDepth = 24;
uint16_t FlacDepth(const SampleLayout& layout);
// MP3 tracks hold one or two channels.
constexpr uint16_t kMp3MaxChannels = 2;

// The stage for `format` (not None), for tracks of `layout` at `rate`; `sideFrames` is the
// input's length. None when memory is short.
std::unique_ptr<EncoderStage> CreateEncoderStage(const EncoderFormat& format, uint32_t rate,
                                                 const SampleLayout& layout, uint64_t sideFrames,
                                                 const TrackTagSource& tags,
                                                 const EncodedFileApi& api = EncodedFileApi());
