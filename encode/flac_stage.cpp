// FlacStage: libFLAC's stream encoder behind the encoder stage.
#include "encode/flac_stage.h"

#include <cstdio>
#include <new>
#include <string>

#include "engine/stream_format.h"

namespace {

constexpr uint32_t kSeekPointSeconds = 10;  // as the flac tool's default seek table
constexpr unsigned kPaddingBytes = 8192;    // room to add tags without rewriting the file
constexpr size_t kNumberBytes = 12;         // a 32-bit number as text

bool AddComment(FLAC__StreamMetadata* block, const char* name, const std::string& value) {
    if (value.empty()) return true;
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name,
                                                                        value.c_str())) {
        return false;
    }
    return FLAC__metadata_object_vorbiscomment_append_comment(block, entry, /*copy=*/false) != 0;
}

}  // namespace

FlacStage::FlacStage(uint32_t rate, const SampleLayout& layout, int level, uint64_t sideFrames,
                     const TrackTagSource& tags, const EncodedFileApi& api)
    : EncoderStage("FLAC", "flac", layout, tags, api),
      rate_(rate),
      depth_(FlacDepth(layout)),
      level_(level),
      sideFrames_(sideFrames) {}

FlacStage::~FlacStage() {
    FinishOpenTrack();
}

int32_t FlacStage::Query() {
    const bool takes = level_ >= kFlacMinLevel && level_ <= kFlacMaxLevel &&
                       FLAC__format_sample_rate_is_valid(rate_) && layout_.channels >= 1 &&
                       layout_.channels <= FLAC__MAX_CHANNELS;
    return takes ? 0 : kSinkFailed;
}

bool FlacStage::Failed(const char* what) {
    return Fail(what, FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder_.Get())]);
}

bool FlacStage::StartEncoder(const TrackTags& tags) {
    framesOut_ = 0;
    try {
        encoder_.Reset(FLAC__stream_encoder_new());
        comments_.Reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        seekTable_.Reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
        padding_.Reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!encoder_ || !comments_ || !seekTable_ || !padding_) return Fail("out of memory");
        char number[kNumberBytes];
        std::snprintf(number, sizeof number, "%d", int(tags.trackNumber));
        const uint64_t spacing = uint64_t(kSeekPointSeconds) * rate_;
        // One point more than the side needs: a decoded input may come out a little longer.
        const uint64_t span = sideFrames_ + spacing;
        if (!AddComment(comments_.Get(), "TITLE", tags.title) ||
            !AddComment(comments_.Get(), "ARTIST", tags.artist) ||
            !AddComment(comments_.Get(), "ALBUMARTIST", tags.albumArtist) ||
            !AddComment(comments_.Get(), "ALBUM", tags.album) ||
            !AddComment(comments_.Get(), "DATE", tags.year) ||
            !AddComment(comments_.Get(), "TRACKNUMBER", number) ||
            !AddComment(comments_.Get(), "TRACKTOTAL",
                        tags.trackTotal > 0 ? std::to_string(tags.trackTotal) : "") ||
            !FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                seekTable_.Get(), uint32_t(spacing), span) ||
            !FLAC__metadata_object_seektable_template_sort(seekTable_.Get(), /*compact=*/true)) {
            return Fail("out of memory");
        }
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    padding_.Get()->length = kPaddingBytes;
    FLAC__StreamMetadata* blocks[] = {seekTable_.Get(), comments_.Get(), padding_.Get()};

    FLAC__StreamEncoder* encoder = encoder_.Get();
    const bool set = FLAC__stream_encoder_set_channels(encoder, layout_.channels) &&
                     FLAC__stream_encoder_set_bits_per_sample(encoder, depth_) &&
                     FLAC__stream_encoder_set_sample_rate(encoder, rate_) &&
                     FLAC__stream_encoder_set_compression_level(encoder, uint32_t(level_)) &&
                     FLAC__stream_encoder_set_metadata(encoder, blocks, 3);
    if (!set) return Failed("settings refused");
    const FLAC__StreamEncoderInitStatus status =
        FLAC__stream_encoder_init_stream(encoder, OnWrite, OnSeek, OnTell, nullptr, this);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        return Fail("cannot start", FLAC__StreamEncoderInitStatusString[status]);
    }
    return file_.IsOpen();
}

bool FlacStage::Encode(const uint8_t* bytes, uint32_t frames) {
    if (!Unpack(bytes, frames, depth_, samples_)) return false;
    if (!FLAC__stream_encoder_process_interleaved(encoder_.Get(), samples_.data(), frames)) {
        return Failed("encoding failed");
    }
    return true;
}

bool FlacStage::EndEncoder() {
    // Template points past the track's end were never reached: placeholders, sorted last.
    FLAC__StreamMetadata_SeekTable& table = seekTable_.Get()->data.seek_table;
    for (uint32_t i = 0; i < table.num_points; ++i) {
        if (table.points[i].sample_number >= framesIn_) {
            table.points[i].sample_number = FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER;
        }
    }
    if (!FLAC__stream_encoder_finish(encoder_.Get())) return Failed("cannot finish");
    return file_.IsOpen();
}

void FlacStage::DropEncoder() {
    // Deleting an encoder that was not finished writes nothing more.
    encoder_.Reset();
    comments_.Reset();
    seekTable_.Reset();
    padding_.Reset();
}

FLAC__StreamEncoderWriteStatus FlacStage::OnWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes,
                                                  uint32_t samples, uint32_t, void* client) {
    FlacStage& stage = *static_cast<FlacStage*>(client);
    if (!stage.file_.Write(buffer, bytes)) return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    // libFLAC hands over each metadata block and each frame whole.
    stage.framesOut_ += samples;
    stage.file_.MarkWhole(stage.framesOut_);
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus FlacStage::OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* client) {
    FlacStage& stage = *static_cast<FlacStage*>(client);
    return stage.file_.Seek(offset) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                    : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus FlacStage::OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* client) {
    *offset = static_cast<FlacStage*>(client)->file_.Position();
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}
