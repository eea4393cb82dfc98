// RecordingPanel: keeps a window's recording source box, recording level trackbar (captioned
// by the control before it) and line switch in step with the chosen card's mixer. It is the
// mixer model's only listener.
//
// How it works: the first set of controls handed over is the recording destination's; the
// panel keeps them in places 0 to destinationCount - 1. Every later set (the controls of the
// source line chosen in 1001) goes above them and is dropped when another source is chosen.
// Of the controls held, three play a role: the selector (MUX) fills the source box, the level
// (VOLUME) drives the trackbar, the switch (MUTE) drives the check box; each index names the
// latest of its type. Selecting a source in the mixer (here or elsewhere) sends the box's
// window WM_COMMAND CBN_SELENDOK from the box, so the window's source-chosen handler runs
// nested inside the panel's calls. Everything runs on that window's thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

#include "mixer/mixer_control.h"

constexpr int32_t kPanelPlaces = 64;   // controls held at once; further ones are not attached
constexpr DWORD kNoSourceLine = 0xFFFFFFFF;  // ApplySourceSelection with no entry selected

class RecordingPanel : public MixerListener {
public:
    RecordingPanel() = default;
    ~RecordingPanel() override { Clear(); }
    RecordingPanel(const RecordingPanel&) = delete;
    RecordingPanel& operator=(const RecordingPanel&) = delete;

    // The three controls the panel drives; set before every attachment.
    void SetControls(HWND sourceBox, HWND levelTrackbar, HWND lineSwitch) {
        sourceBox_ = sourceBox;
        level_ = levelTrackbar;
        lineSwitch_ = lineSwitch;
    }
    HWND SourceBox() const { return sourceBox_; }
    HWND LevelTrackbar() const { return level_; }
    HWND LineSwitch() const { return lineSwitch_; }

    // MixerListener.
    void ControlAdded(HMIXER handle, MixerControl* control) override;
    void ControlChanged(HMIXER handle, DWORD controlId) override;
    void ExcludeSources(HMIXER handle, const DWORD* lineIds, int32_t count) override;

    // Writes the entry chosen in the source box to the selector; returns that entry's line identifier
    // (kNoSourceLine when none is selected, which writes nothing).
    DWORD ApplySourceSelection();
    bool HasSelector() const { return selectorIndex != -1; }
    // Writes the trackbar's position to the level, the check box to the switch.
    void ApplyLevel();
    void ApplySwitch();
    // Detaches the source line's controls, keeping the destination's.
    void DropLineControls();
    // Detaches everything; the next set is a destination's again.
    void Clear();
    // Clear, with the source box emptied and enabled: for a change of card.
    void Reset();

    // What the panel holds, for the window and for tests.
    int32_t ControlCount() const { return controlCount; }
    MixerControl* ControlAt(int32_t position) const { return controls[position]; }
    int32_t DestinationCount() const { return destinationCount; }
    bool ListComplete() const { return listComplete; }
    MixerControl* Selector() const { return At(selectorIndex); }
    MixerControl* Switch() const { return At(switchIndex); }
    MixerControl* Level() const { return At(levelIndex); }

private:
    MixerControl* At(int32_t index) const { return index == -1 ? nullptr : controls[index]; }
    void ShowLevel(MixerControl& control);
    void ShowSelection(MixerControl& selector);
    void EndOfSet();

    MixerControl* controls[kPanelPlaces] = {};
    int32_t controlCount = 0;
    int32_t selectorIndex = -1;
    int32_t switchIndex = -1;
    int32_t levelIndex = -1;
    int32_t selectorValueCount = 0;
    int32_t switchValueCount = 0;
    int32_t levelValueCount = 0;
    HMIXER selectorHandle = nullptr;
    HMIXER switchHandle = nullptr;
    HMIXER levelHandle = nullptr;
    HWND sourceBox_ = nullptr;
    HWND level_ = nullptr;
    HWND lineSwitch_ = nullptr;
    int32_t destinationCount = 0;
    bool listComplete = false;
};
