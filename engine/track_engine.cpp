// TrackEngine: the pool and queues, metering, splitting, the worker loop and track numbering.
#include "engine/track_engine.h"

#include <io.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "engine/block_sums.h"
#include "engine/stream_format.h"

namespace {

// The magnitude in 16 bits: -32768 stays -32768, so it never raises a peak.
int16_t Magnitude16(int16_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value < 0 ? -int32_t(value) : value));
}

void UpdateHold(ChannelLevel& channel) {
    const int16_t p = Magnitude16(channel.peak);
    if (channel.holdCount <= 0 || p > channel.heldPeak) {
        channel.heldPeak = p;
        channel.holdCount = kPeakHoldBlocks;
    }
    channel.holdCount = static_cast<int16_t>(channel.holdCount - 1);
}

int16_t LevelOf(double sumOfSquares, int32_t divisor, double scale) {
    // Only blocks of a few frames can exceed 16 bits; they are capped rather than wrapped.
    // A scale of 1 leaves the quotient exactly as it is.
    const double level = std::sqrt(sumOfSquares) / divisor * scale;
    return level >= 32767.0 ? int16_t(32767) : static_cast<int16_t>(level);
}

// Where the number and the extension go in a name pattern.
struct NamePattern {
    size_t numberAt = 0, numberEnd = 0;  // the number conversion, [numberAt, numberEnd)
    int width = 0;
    bool zeroPad = false;
    bool hasNumber = false;
    size_t extensionAt = 0;  // the "%s"
    bool hasExtension = false;
};

NamePattern ParsePattern(const char* format) {
    NamePattern pattern;
    const size_t length = std::strlen(format);
    size_t limit = length;
    for (size_t i = length; i >= 2; --i) {
        if (format[i - 2] == '%' && format[i - 1] == 's') {
            pattern.hasExtension = true;
            pattern.extensionAt = i - 2;
            limit = i - 2;
            break;
        }
    }
    // The last "%[0][width]d" before the extension.
    for (size_t end = limit; end >= 2; --end) {
        if (format[end - 1] != 'd') continue;
        size_t at = end - 1;
        while (at > 0 && format[at - 1] >= '0' && format[at - 1] <= '9') --at;
        if (at == 0 || format[at - 1] != '%') continue;
        --at;
        pattern.hasNumber = true;
        pattern.numberAt = at;
        pattern.numberEnd = end;
        const char* digits = format + at + 1;
        pattern.zeroPad = digits[0] == '0';
        int width = 0;
        for (const char* d = digits; *d != 'd' && width < 1000; ++d) width = width * 10 + (*d - '0');
        pattern.width = width;
        break;
    }
    return pattern;
}

// Appends `count` bytes of `text` to `out`; false when kTrackNameBytes would be exceeded.
bool Append(char* out, size_t& used, const char* text, size_t count) {
    if (used + count > size_t(kTrackNameBytes - 1)) return false;
    std::memcpy(out + used, text, count);
    used += count;
    out[used] = '\0';
    return true;
}

}  // namespace

BlockLevels MeasureBlock(const int16_t* values, int32_t count, int32_t blockFrames) {
    const BlockSums sums = SumBlock(values, count);
    BlockLevels levels;
    // Deliberately not an RMS: the divisor is a quarter of the value count.
    int32_t divisor = count / 4;
    if (divisor <= 0) divisor = 1;
    // The same sound in a block k times longer measures 1/sqrt(k) of the level.
    const double scale = blockFrames == kCaptureBlockFrames || blockFrames <= 0
                             ? 1.0
                             : std::sqrt(double(blockFrames) / kCaptureBlockFrames);
    // The sums stay far below 2^53, so as doubles they are exact.
    levels.left = LevelOf(double(sums.left), divisor, scale);
    levels.right = LevelOf(double(sums.right), divisor, scale);
    levels.leftPeak = sums.peakLeft;
    levels.rightPeak = sums.peakRight;
    return levels;
}

bool IsShiftKeyDown() { return GetKeyState(VK_SHIFT) < 0; }

bool ShiftNeverHeld() { return false; }

TrackEngine::TrackEngine(const TrackEngineApi& api) : api_(api) {}

TrackEngine::~TrackEngine() {
    StopAndWait();
    delete pendingSink_.exchange(nullptr);
    // sink_, heldBlock_ and the queues free themselves.
}

// ---- Feed ----

SampleBuffer* TrackEngine::GetFreeBuffer() {
    {
        auto lock = freeLock_.Lock();
        if (SampleBuffer* buffer = freeList_.Pop()) return buffer;
    }
    SampleBuffer* buffer = new (std::nothrow) SampleBuffer;
    if (buffer) InterlockedIncrement(&created_);
    return buffer;
}

void TrackEngine::SubmitBuffer(SampleBuffer* buffer) {
    if (!buffer) return;
    if (workerEnded_) {
        // Nothing would ever take it off the input queue.
        ReturnBuffer(buffer);
        return;
    }
    {
        auto lock = inputLock_.Lock();
        inputQueue_.Push(buffer);
    }
    dataEvent_.Set();
}

void TrackEngine::SubmitBuffers(BufferQueue& buffers) {
    if (buffers.Empty()) return;
    if (workerEnded_) {
        auto lock = freeLock_.Lock();
        freeList_.Splice(buffers);
        return;
    }
    {
        auto lock = inputLock_.Lock();
        inputQueue_.Splice(buffers);
    }
    dataEvent_.Set();
}

void TrackEngine::ReturnBuffer(SampleBuffer* buffer) {
    if (!buffer) return;
    auto lock = freeLock_.Lock();
    freeList_.Push(buffer);
}

// ---- Sinks ----

void TrackEngine::SetSink(OutputSink* newSink) {
    std::unique_ptr<OutputSink> incoming(newSink);
    // Only the worker opens tracks, and it is the one calling (or not yet running).
    bool inTrack = false;
    {
        auto lock = stateLock_.Lock();
        inTrack = inTrack_ || SinkOpen();
    }
    if (inTrack) FinishTrack(1);
    auto lock = stateLock_.Lock();
    sink_.swap(incoming);
    takenSink_ = nullptr;  // the acknowledged sink may be the one going now
    message_[0] = '\0';
    writerText_[0] = '\0';
    FetchWriterText();
    if (sink_ && sink_->PrepareResult() != 0) {
        SetMessage(kWriterNotReadyMessage, sink_->PrepareResult());
    }
}

void TrackEngine::ReplaceSink(OutputSink* newSink) {
    delete pendingSink_.exchange(newSink);
    dataEvent_.Set();
}

bool TrackEngine::AwaitSinkTaken(const OutputSink* handed, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    // The sink taken is compared, never used: it may be gone already. The current sink lives
    // until another is taken, so an earlier one's address cannot come back as `handed`.
    while (takenSink_.load() != handed) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds) return false;
        if (WaitForSingleObject(sinkTakenEvent_.Handle(), milliseconds - spent) == WAIT_FAILED) {
            return false;
        }
    }
    return true;
}

void TrackEngine::TakeOverPendingSink() {
    OutputSink* incoming = pendingSink_.exchange(nullptr);
    if (!incoming) return;
    // A track still open on the old writer (a block armed by a racing Stop) is finished with
    // its blocks rather than deleted by the writer's destructor.
    SetSink(incoming);
    takenSink_ = incoming;
    sinkTakenEvent_.Set();
}

// ---- Window queries ----

void TrackEngine::SetStandby(int32_t value) {
    // No lock: the worker reads the flag unlocked, and Stop must not wait for a track's end.
    if (!api_.shiftHeld()) standby_ = value;
    if (value) {
        // Asked after standby is set, so the pass that ends the track already sees it.
        InterlockedExchange(&endTrackAsked_, 1);
        dataEvent_.Set();
    } else if (standby_ == 0 && api_.armed) {
        api_.armed(*this);
    }
}

int32_t TrackEngine::IsStandby() { return standby_; }

bool TrackEngine::IsTrackEnded() {
    auto lock = WindowLock();
    // A worker that has ended serves no request, and ended its track on the way out.
    if (workerEnded_) return true;
    // The request is taken before the track is ended, and inTrack_ falls only at its end.
    return endTrackAsked_ == 0 && !inTrack_ && !SinkOpen();
}

void TrackEngine::ResetTrackNumber() { InterlockedExchange(&numberResetAsked_, 1); }

CriticalSection::Guard TrackEngine::WindowLock() {
    InterlockedIncrement(&windowWaiting_);
    auto lock = stateLock_.Lock();
    InterlockedDecrement(&windowWaiting_);
    return lock;
}

void TrackEngine::SetNameFormat(const char* text) {
    auto lock = WindowLock();
    const size_t length = text ? std::strlen(text) : 0;
    nameFormatTooLong_ = length >= size_t(kTrackNameBytes);
    if (nameFormatTooLong_) {
        nameFormat_[0] = '\0';
    } else if (length > 0) {
        std::memcpy(nameFormat_, text, length + 1);
    } else {
        nameFormat_[0] = '\0';
    }
}

const char* TrackEngine::StatusText(int32_t blocksPerSecond) {
    uint32_t bytes = 0;
    int32_t queued = 0;
    {
        auto lock = WindowLock();
        if (SinkOpen()) {
            bytes = trackBytes_;
            queued = writeQueue_.Size();
        }
    }
    int32_t seconds = 0;
    if (queued != 0) {
        if (blocksPerSecond > 0) seconds = queued / blocksPerSecond;
        const int32_t rate = StreamRate;
        // 64-bit: four times a large rate does not fit 32 bits.
        if (rate > 0) seconds += int32_t(uint64_t(bytes) / (uint64_t(rate) * kCaptureFrameBytes));
    }
    if (seconds != 0) {
        std::snprintf(statusText_, sizeof statusText_, "%d%.4s%02d", seconds / 60, TimeSeparator,
                      seconds % 60);
    } else {
        std::snprintf(statusText_, sizeof statusText_, "--%.4s--", TimeSeparator);
    }
    return statusText_;
}

int32_t TrackEngine::SinkStatus(char* text) {
    if (!text) return 0;
    auto lock = WindowLock();
    FetchWriterText();
    const char* shown = message_[0] != '\0' && !writerTextNewer_ ? message_ : writerText_;
    if (std::strcmp(text, shown) == 0) return 0;
    std::snprintf(text, kSinkMessageBytes, "%s", shown);
    return 1;
}

void TrackEngine::FetchWriterText() {
    if (sink_ && sink_->GetLastMessage(writerText_) != 0) writerTextNewer_ = true;
}

bool TrackEngine::IsTrackOpen() {
    auto lock = WindowLock();
    return SinkOpen();
}

bool TrackEngine::PlanCuts(const std::vector<int32_t>& endBefore) {
    auto lock = stateLock_.Lock();
    try {
        plannedCuts_ = endBefore;
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::sort(plannedCuts_.begin(), plannedCuts_.end());
    nextCut_ = 0;
    planned_ = true;
    return true;
}

void TrackEngine::EndAtPlannedCut(int32_t blockNumber) {
    while (nextCut_ < plannedCuts_.size() && plannedCuts_[nextCut_] < blockNumber) ++nextCut_;
    if (nextCut_ < plannedCuts_.size() && plannedCuts_[nextCut_] == blockNumber) {
        ++nextCut_;
        FinishTrack(1);
    }
}

TrackEngine::PoolCounts TrackEngine::Pool() {
    PoolCounts counts = {};
    {
        auto lock = inputLock_.Lock();
        counts.input = inputQueue_.Size();
    }
    auto state = stateLock_.Lock();
    counts.delayed = writeQueue_.Size();
    counts.held = heldBlock_ ? 1 : 0;
    auto free = freeLock_.Lock();
    counts.free = freeList_.Size();
    counts.created = created_;
    return counts;
}

// ---- Worker ----

int32_t TrackEngine::Run() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    // Nothing may leave the thread: a standard container or a writer may throw.
    try {
        WaitForBlocks();
    } catch (const std::bad_alloc&) {
        lastResult = E_OUTOFMEMORY;
    } catch (...) {
        lastResult = E_UNEXPECTED;
    }
    try {
        FinishTrack(1);
    } catch (const std::bad_alloc&) {
        if (lastResult == 0) lastResult = E_OUTOFMEMORY;
    } catch (...) {
        if (lastResult == 0) lastResult = E_UNEXPECTED;
    }
    workerEnded_ = 1;
    if (lastResult != 0) {
        auto lock = stateLock_.Lock();
        SetMessage(kWorkerStoppedMessage, lastResult);
    }
    // What was queued before the flag will never be processed: back to the free list.
    for (;;) {
        SampleBuffer* block;
        {
            auto lock = inputLock_.Lock();
            block = inputQueue_.Pop();
        }
        if (!block) break;
        ReturnBuffer(block);
    }
    return 0;
}

void TrackEngine::WaitForBlocks() {
    const HANDLE handles[2] = {dataEvent_.Handle(), stopEvent.Handle()};
    for (;;) {
        // Only the worker changes the track's byte counts: read here without the lock.
        const DWORD patience = HeaderBehind() ? kHeaderPauseMilliseconds : INFINITE;
        const DWORD woken = api_.waitForMultipleObjects(2, handles, FALSE, patience);
        if (woken == WAIT_OBJECT_0) {
            ProcessInput();
        } else if (woken == WAIT_TIMEOUT) {
            auto lock = stateLock_.Lock();
            UpdateHeader();
        } else if (woken == WAIT_OBJECT_0 + 1) {
            return;
        } else if (woken == WAIT_FAILED) {
            // The handles are unusable: waiting again would only spin.
            lastResult = LONG(HRESULT_FROM_WIN32(GetLastError()));
            if (lastResult == 0) lastResult = E_FAIL;
            return;
        }
    }
}

void TrackEngine::ProcessInput() {
    bool gapEnded = false;
    for (;;) {
        // Tracks end here, outside the lock, so their delayed blocks are written one per lock.
        if (gapEnded) FinishTrack(liveMode);
        gapEnded = false;
        if (InterlockedExchange(&endTrackAsked_, 0)) FinishTrack(1);
        const int32_t armed = standby_ == 0;  // one snapshot governs the whole pass
        TakeOverPendingSink();
        SampleBuffer* block;
        {
            auto lock = inputLock_.Lock();
            block = inputQueue_.Pop();
        }
        if (!block) break;
        MeasureLevels(*block);

        auto lock = stateLock_.Lock();
        if (planned_) EndAtPlannedCut(processedBlocks_);
        if (armed && IsSoundBlock(left.level, right.level, silenceThreshold)) {
            silentBlocks_ = 0;
            if (heldBlock_) WriteBlock(heldBlock_.release());
            WriteBlock(block);
        } else if (armed && inTrack_) {
            silentBlocks_ += 1;
            WriteBlock(block);
            gapEnded = !planned_ && silentBlocks_ == gapBlocks + 1;
        } else {
            if (heldBlock_) Recycle(heldBlock_.release());
            heldBlock_.reset(block);
        }
        InterlockedIncrement(&processedBlocks_);
    }
    drainedEvent_.Set();
}

void TrackEngine::MeasureLevels(const SampleBuffer& block) {
    const BlockLevels levels = MeasureBlock(block.Samples(), block.Count(), levelBlockFrames);
    left.level = levels.left;
    right.level = levels.right;
    left.peak = levels.leftPeak;
    right.peak = levels.rightPeak;
    UpdateHold(left);
    UpdateHold(right);
}

void TrackEngine::WriteBlock(SampleBuffer* block) {
    auto lock = stateLock_.Lock();
    writeQueue_.Push(block);
    if (!SinkOpen()) OpenFile();
    if (SinkOpen()) {
        if (writeQueue_.Size() >= gapBlocks) WriteFront();
    } else {
        // While no file opens, keep only what a track opened now would still hold in its
        // delay; older blocks could reach a file only by pushing the delay past gapBlocks.
        TrimUnopenedQueue(std::max<int32_t>(gapBlocks - 1, 1));
    }
}

void TrackEngine::WriteFront() {
    SampleBuffer* block = writeQueue_.Front();
    if (!block) return;
    const uint32_t bytes = uint32_t(block->Count()) * 2;
    if (trackBytes_ > 0 && bytes > FileLimit() - trackBytes_) {
        // The file is full: the recording goes on in the next one, from this block.
        CloseTrackFile();
        KeepClosedFile();
        InterlockedIncrement(&sizeLimitSplits_);
        if (!OpenFile()) return;  // the block stays queued, as for any file that fails
    }
    if (sink_->Write(block->Samples(), int32_t(bytes)) == kSinkFileFull) {
        // The writer's own limit came first and it took nothing: the block opens the next file.
        InterlockedIncrement(&sizeLimitSplits_);
        NoteClosedFile();
        if (!OpenFile()) return;
        if (sink_->Write(block->Samples(), int32_t(bytes)) == kSinkFileFull) return;
    }
    writeQueue_.Pop();
    trackBytes_ += bytes;
    trackTotalBytes_ += bytes;
    Recycle(block);
    if (!sink_->IsOpen()) {
        ContinueClosedFile();
    } else if (headerUpdateBytes != 0 && trackBytes_ - headerBytes_ >= headerUpdateBytes) {
        UpdateHeader();
    }
}

void TrackEngine::ContinueClosedFile() {
    // The write failed and the writer closed the file. Blocks waiting for it open the next one
    // at once, so they keep their order and the gap goes on counting; with none waiting (the
    // track's last block) no file is made.
    NoteClosedFile();
    if (!writeQueue_.Empty()) OpenFile();
}

uint32_t TrackEngine::FileLimit() const {
    const uint32_t own = sink_->FileSourceBytes();
    return own != 0 && own < maxTrackBytes ? own : maxTrackBytes;
}

void TrackEngine::NoteClosedFile() {
    // A file closed before its track's end (a failed write, or full). The next one opens when
    // a block needs it, so a disk that stays full does not leave a file per block.
    FetchWriterText();
    trackBytes_ = 0;
    headerBytes_ = 0;
    if (KeepClosedFile()) {
        emptyFiles_ = 0;
        return;
    }
    // Nothing of the take reached it, and the writer removed it: its number goes to the next.
    trackNumber = trackNumber - 1;
    if (++emptyFiles_ < kEmptyFilesBeforeGivingUp) return;
    filesGivenUp_ = true;
    SetMessage(kDiskFullMessage);
}

void TrackEngine::UpdateHeader() {
    if (SinkOpen() && trackBytes_ != headerBytes_) {
        sink_->UpdateHeader(trackBytes_ / kCaptureFrameBytes);
        if (!sink_->IsOpen()) {
            ContinueClosedFile();  // as after a failed write
            return;
        }
    }
    headerBytes_ = trackBytes_;
}

void TrackEngine::TrimUnopenedQueue(int32_t keep) {
    while (writeQueue_.Size() > keep) {
        SampleBuffer* lost = writeQueue_.Pop();
        // Within a track a lost block still counts toward its length.
        if (inTrack_) trackTotalBytes_ += uint32_t(lost->Count()) * 2;
        Recycle(lost);
    }
}

void TrackEngine::FinishTrack(int32_t keepDelayed) {
    bool open = false;
    {
        auto lock = stateLock_.Lock();
        open = inTrack_ || SinkOpen();
    }
    // One lock per delayed block: the window's questions wait for one block, not the delay.
    // A write that fails or a file that fills up closes the file; the rest goes on in the next
    // one, as WriteBlock would do it.
    while (open && keepDelayed) {
        {
            auto lock = stateLock_.Lock();
            if (writeQueue_.Empty()) break;
            if (!SinkOpen() && !OpenFile()) break;
            WriteFront();
        }
        // Critical sections are not fair: a window call waiting for the lock gets it first.
        for (int32_t turn = 0; windowWaiting_ != 0 && turn < kWindowTurnYields; ++turn) {
            api_.yield();
        }
    }
    auto lock = stateLock_.Lock();
    if (open) {
        if (SinkOpen()) CloseTrackFile();
        if (keepDelayed) TrimUnopenedQueue(0);  // what no file took still counts
        if (judgeWholeTrack_) DiscardShortTrack();
        trackBytes_ = 0;
        headerBytes_ = 0;
        trackTotalBytes_ = 0;
        inTrack_ = false;
        judgeWholeTrack_ = false;
        closedFiles_.clear();
        emptyFiles_ = 0;
        filesGivenUp_ = false;
    }
    {
        auto free = freeLock_.Lock();
        freeList_.Splice(writeQueue_);
    }
    silentBlocks_ = 0;
}

bool TrackEngine::KeepClosedFile() {
    judgeWholeTrack_ = true;
    if (_access(openName_, 0) != 0) return false;
    try {
        closedFiles_.emplace_back(openName_);
    } catch (const std::bad_alloc&) {
        // Then this file stays however short its track turns out.
    }
    return true;
}

void TrackEngine::DiscardShortTrack() {
    // A track of several files is judged as a whole: the writer saw only one file of it.
    const uint32_t minBytes = DiscardBytes();
    if (trackTotalBytes_ >= minBytes || trackFirstNumber_ <= 0) return;
    for (const std::string& name : closedFiles_) DeleteFileA(name.c_str());
    DeleteFileA(openName_);  // the last file, finished as a continuation
    trackNumber = trackFirstNumber_ - 1;
}

uint32_t TrackEngine::DiscardBytes() const {
    const int32_t discard = discardBlocks, bytes = blockBytes;
    return discard > 0 && bytes > 0 ? uint32_t(discard) * uint32_t(bytes) : 0u;
}

void TrackEngine::CloseTrackFile() {
    const int32_t finished = sink_->Finish(trackBytes_ / kCaptureFrameBytes);
    if (finished == kSinkTrackDeleted) trackNumber = trackNumber - 1;
    FetchWriterText();
    sink_->Unprepare();
    const int32_t prepared = sink_->Prepare(sink_->SourceBlockBytes());
    if (prepared != 0) SetMessage(kWriterNotReadyMessage, prepared);
    trackBytes_ = 0;
    headerBytes_ = 0;
}

void TrackEngine::Recycle(SampleBuffer* buffer) {
    auto lock = freeLock_.Lock();
    freeList_.Push(buffer);
}

void TrackEngine::SetMessage(const char* format, int32_t code) {
    std::snprintf(message_, sizeof message_, format, unsigned(code));
    writerTextNewer_ = false;
}

// ---- Track names ----

bool TrackEngine::FormatName(char* name, int32_t number, const char* extension) const {
    name[0] = '\0';
    if (nameFormatTooLong_) return false;
    const NamePattern pattern = ParsePattern(nameFormat_);
    const char* format = nameFormat_;
    const size_t length = std::strlen(format);
    size_t used = 0;
    size_t at = 0;
    if (pattern.hasNumber) {
        if (!Append(name, used, format, pattern.numberAt)) return false;
        char digits[1100];
        std::snprintf(digits, sizeof digits, pattern.zeroPad ? "%0*d" : "%*d", pattern.width, number);
        if (!Append(name, used, digits, std::strlen(digits))) return false;
        at = pattern.numberEnd;
    }
    if (pattern.hasExtension) {
        if (!Append(name, used, format + at, pattern.extensionAt - at)) return false;
        if (!Append(name, used, extension, std::strlen(extension))) return false;
        at = pattern.extensionAt + 2;
    }
    return Append(name, used, format + at, length - at);
}

bool TrackEngine::PrepareSink() {
    if (sink_->PrepareResult() == 0) return true;
    sink_->Unprepare();
    const int32_t size = sink_->SourceBlockBytes() > 0 ? sink_->SourceBlockBytes() : blockBytes;
    const int32_t prepared = sink_->Prepare(size);
    if (prepared == 0) return true;
    SetMessage(kWriterNotReadyMessage, prepared);
    return false;
}

bool TrackEngine::OpenFile() {
    trackBytes_ = 0;
    headerBytes_ = 0;
    if (!OpenNextTrack(inTrack_)) return false;
    inTrack_ = true;
    return true;
}

bool TrackEngine::OpenNextTrack(bool continuation) {
    if (filesGivenUp_) return false;  // said once; the track's end tries again
    if (!sink_) {
        SetMessage(kNoWriterMessage);
        return false;
    }
    // Writing to an unprepared chain would drop every block of the track.
    if (!PrepareSink()) return false;
    // A new prefix numbers from the start; a track already running keeps its numbers.
    if (!continuation && InterlockedExchange(&numberResetAsked_, 0)) trackNumber = 0;
    char name[kTrackNameBytes];
    for (int32_t tries = 0;; ++tries) {
        const char* extension = sink_->GetExtension();
        trackNumber = trackNumber + 1;
        if (!FormatName(name, trackNumber, extension ? extension : "")) {
            // The name will not fit until the user shortens it: keep the number for then.
            trackNumber = trackNumber - 1;
            SetMessage(kNameTooLongMessage);
            return false;
        }
        if (_access(name, 0) != 0) break;
        // Every name tried exists: better no track than an overwritten one.
        if (tries >= kNameSearchRetries) {
            SetMessage(kNoFreeNumberMessage);
            return false;
        }
    }
    // A continuation is the rest of a track that began in another file: the minimum is the
    // whole track's, judged at its end (DiscardShortTrack), never one file's.
    sink_->Open(name, continuation ? 0u : DiscardBytes());
    FetchWriterText();
    if (!sink_->IsOpen()) return false;
    message_[0] = '\0';
    std::memcpy(openName_, name, sizeof name);
    if (!continuation) trackFirstNumber_ = trackNumber;
    return true;
}
