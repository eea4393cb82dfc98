// PassThroughWriter: the WaveFileWriter's file handling without the codec stream.
#include "output/pass_through_writer.h"

PassThroughWriter::PassThroughWriter(const WAVEFORMATEX* format, LONG bufferBytes,
                                     const WaveFileApi& api)
    : file_(api) {
    format_.Assign(format);
    file_.SetBufferBytes(bufferBytes);
}

int32_t PassThroughWriter::Prepare(int32_t sourceBlockBytes) {
    // As a codec stage answers: a second Prepare or an empty block is refused.
    if (prepared_) return MMSYSERR_INVALPARAM;
    sourceBlockBytes_ = sourceBlockBytes;
    if (sourceBlockBytes <= 0) return MMSYSERR_INVALPARAM;
    prepared_ = true;
    return 0;
}

int32_t PassThroughWriter::Unprepare() {
    prepared_ = false;
    return 0;
}

int32_t PassThroughWriter::WriteConverted(const void* bytes, int32_t count) {
    // A failed write closes the file and leaves its text; the engine sees IsOpen false and
    // goes on in a new file, so the caller is told success. Only a full file is told: it took
    // nothing, and the bytes belong in the next file.
    if (count != 0 && file_.Write(count, bytes) == kSinkFileFull) return kSinkFileFull;
    return 0;
}

int32_t PassThroughWriter::Write(const void* bytes, int32_t count) {
    if (!prepared_) return MMSYSERR_INVALHANDLE;
    if (count < 0) return MMSYSERR_INVALPARAM;
    return WriteConverted(bytes, count);
}

int32_t PassThroughWriter::Open(const char* fileName, uint32_t minBytes) {
    const int32_t result = file_.Open(fileName, format_.Get());
    file_.SetMinBytes(minBytes);
    return result;
}

int32_t PassThroughWriter::Close(uint32_t frames) {
    file_.Close(frames);
    return 0;
}

int32_t PassThroughWriter::GetLastMessage(char* text) {
    return file_.Message().CopyTo(text);
}
