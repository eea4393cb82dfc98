// The recorder killed mid-take, the child's side: records from the turntable through the
// Recorder with the window's default settings, armed at once, and after every pass of the
// engine's worker publishes how many blocks it has taken and how many it had when the track
// opened. It ends only when its parent is gone (or is killed, which is the point).
//   killed_take_child.exe FOLDER MAPPING PARENT_PID
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/recorder.h"
#include "engine/track_rules.h"
#include "settings/settings_store.h"
#include "tests/app/killed_take.h"

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const std::string folder = argv[1];
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
    HANDLE published = OpenEventA(EVENT_MODIFY_STATE, FALSE, PublishedEventName(argv[2]).c_str());
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, DWORD(std::strtoul(argv[3], nullptr, 10)));
    if (!mapping || !published || !parent) return 3;
    auto* state = static_cast<volatile TakeState*>(
        MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(TakeState)));
    if (!state) return 4;

    Recorder recorder(ReadMaxFormatSize());
    FormatBuffer pcm(ReadMaxFormatSize() + kFormatHeaderBytes);
    MakePcmFormat(pcm.Get(), kDefaultOutputRate);
    recorder.StartMonitoring(pcm.Get(), true, false, CaptureChoice{});
    TrackEngine* engine = recorder.Engine();
    engine->silenceThreshold = kDefaultSilence;
    engine->gapBlocks = kDefaultDuration;
    engine->discardBlocks = kDefaultDiscard;
    recorder.ToggleRecording(TrackNameTemplate(folder, kKilledTakePrefix));

    const HANDLE wakes[2] = {engine->DrainedEvent(), parent};
    while (WaitForMultipleObjects(2, wakes, FALSE, kChildPatience) == WAIT_OBJECT_0) {
        const LONG processed = engine->ProcessedBlocks();
        if (state->processedAtOpen < 0 && engine->IsTrackOpen()) state->processedAtOpen = processed;
        state->processed = processed;
        SetEvent(published);
    }
    return 0;  // the parent is gone, or nothing was captured for a long time
}
