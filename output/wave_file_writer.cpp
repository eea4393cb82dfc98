// WaveFileWriter: the file-writing last stage of an output chain.
#include "output/wave_file_writer.h"

WaveFileWriter::WaveFileWriter(const WAVEFORMATEX* source, const WAVEFORMATEX* destination,
                               const WaveFileApi& api, uint32_t captureRate)
    : AcmConverter(source, destination, nullptr), file_(api) {
    file_.SetCaptureRate(captureRate ? captureRate : source->nSamplesPerSec);
}

int32_t WaveFileWriter::WriteConverted(const void* bytes, int32_t count) {
    // A failed write closes the file and leaves its text; the engine sees IsOpen false and
    // goes on in a new file, so the caller is told success. Only a full file is told: it took
    // nothing, and the bytes belong in the next file.
    if (count != 0 && file_.Write(count, bytes) == kSinkFileFull) return kSinkFileFull;
    return 0;
}

int32_t WaveFileWriter::Finish(uint32_t frames) {
    AcmConverter::Finish(frames);
    return file_.Close(frames);
}

int32_t WaveFileWriter::Open(const char* fileName, uint32_t minBytes) {
    const int32_t result = file_.Open(fileName, DestinationFormat());
    file_.SetMinBytes(minBytes);
    return result;
}

int32_t WaveFileWriter::Close(uint32_t frames) {
    file_.Close(frames);
    return 0;
}

bool WaveFileWriter::IsOpen() { return file_.IsOpen(); }

int32_t WaveFileWriter::GetLastMessage(char* text) {
    return file_.Message().CopyTo(text);
}

const char* WaveFileWriter::GetExtension() {
    return DestinationFormat()->wFormatTag == kFormatTagMp3 ? "mp3" : "wav";
}
