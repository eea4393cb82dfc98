// EncoderStage: the common part of grooval-split's FLAC and MP3 stages, each the last and only
// stage of an output chain. It takes 16-bit stereo PCM at the input's rate in whole frames,
// names its tracks by its own extension, and writes each track into an EncodedFile through the
// encoder its subclass drives; it keeps the calling order and results of the WAV writer:
//   Open     creates the file, asks the tag source for the track's tags and starts the encoder
//            (which writes the file's header); a failure leaves no file open and its text
//   Write    encodes; a failed write closes the file (see EncodedFile) and the caller is told
//            success, as by the WAV writer: the engine sees IsOpen false at its next block
//   Finish   ends the encoder, completes the header, closes the file: 0, kSinkTrackDeleted
//            when the track is shorter than the minimum, kSinkFailed when it cannot be finished
// A stage deleted while a file is open finishes the track with what it was given.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/pass_through_sink.h"
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

protected:
    // `codec` names the encoder in messages ("FLAC").
    EncoderStage(const char* codec, const char* extension, const TrackTagSource& tags,
                 const EncodedFileApi& api);
    // Subclasses call this in their destructor, while their encoder is still theirs.
    void FinishOpenTrack();
    // False, with the message "<codec>: <what> (<detail>)" unless a failed write has closed
    // the file and left its own.
    bool Fail(const char* what, const std::string& detail = std::string());
    // The 16-bit samples of `frames` frames (little-endian bytes) as `Sample`s; false with the
    // message set when memory is short.
    template <typename Sample>
    bool Unpack(const uint8_t* bytes, uint32_t frames, std::vector<Sample>& samples);

    // Makes the encoder for one track and writes the file's header. False with the message
    // set (or the file closed by a failed write).
    // Requires: the track's file just created, nothing written to it.
    virtual bool StartEncoder(const TrackTags& tags) = 0;
    // Encodes `frames` frames of 16-bit stereo (little-endian bytes). False when the encoder
    // or the file failed; the message is set.
    // Requires: StartEncoder succeeded, and neither EndEncoder nor DropEncoder since.
    virtual bool Encode(const uint8_t* bytes, uint32_t frames) = 0;
    // Flushes the encoder and completes the header. False as for Encode.
    // Requires: as for Encode; DropEncoder follows, whatever it answers.
    virtual bool EndEncoder() = 0;
    // Drops the encoder without another write. Any time; a second call does nothing.
    virtual void DropEncoder() = 0;

    EncodedFile file_;
    uint64_t framesIn_ = 0;  // frames given to the encoder in this track

private:
    const char* const codec_;
    const char* const extension_;
    const TrackTagSource& tags_;
};

template <typename Sample>
bool EncoderStage::Unpack(const uint8_t* bytes, uint32_t frames, std::vector<Sample>& samples) {
    const size_t values = size_t(frames) * kCaptureChannels;
    try {
        if (samples.size() < values) samples.resize(values);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    for (size_t i = 0; i < values; ++i) {
        samples[i] = Sample(int16_t(uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8)));
    }
    return true;
}

// The stage for `format` (not None), for tracks of 16-bit stereo at `rate`; `sideFrames` is
// the input's length. None when memory is short.
std::unique_ptr<EncoderStage> CreateEncoderStage(const EncoderFormat& format, uint32_t rate,
                                                 uint64_t sideFrames, const TrackTagSource& tags,
                                                 const EncodedFileApi& api = EncodedFileApi());
