// PanelWindow: a stand-in for the main window in tests, a dialog holding the source box 1001,
// the caption before the trackbar, the recording-level trackbar 1006 and the line switch 1007,
// whose message map routes the mixer messages as the main window's does.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "mixer/mixer_device_list.h"
#include "mixer/recording_panel.h"

class PanelWindow {
public:
    PanelWindow(MixerDeviceList& devices, RecordingPanel& panel);
    ~PanelWindow();
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    HWND Handle() const { return window; }
    // The main window's start-up: enumerate the waveIn mixers, attach the card named
    // `sourceName` (or device 0), run source chosen.
    void StartUp(const std::string& sourceName);
    // Hands the panel this window's source box, level trackbar and line switch.
    void AttachPanel();
    const std::string& SourceName() const { return sourceName; }
    void SetSourceName(const std::string& name) { sourceName = name; }

    // What the user sees.
    std::vector<std::string> Entries() const;
    int Selection() const;
    std::string SelectedText() const;
    bool SourceBoxEnabled() const;
    int SliderMax() const;
    int SliderPosition() const;
    int FirstTick() const;
    std::string Caption() const;
    std::string SwitchText() const;
    bool SwitchVisible() const;
    bool SwitchEnabled() const;
    bool SwitchChecked() const;

    // What the user does: the same messages the controls send.
    void ChooseEntry(int entry);
    void MoveSlider(int position);
    void ClickSwitch(bool checked);

    // Delivers a change message as the platform would (posted), and handles it.
    void PostControlChange(HMIXER handle, DWORD controlId);
    void PostLineChange(HMIXER handle, DWORD lineId);

    // Times the window received WM_COMMAND 1001 CBN_SELENDOK.
    int SourceChosenCount() const { return sourceChosenCount; }
    UINT DeviceChangeMessage() const { return deviceChangeMessage; }

private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    HWND Item(int id) const { return GetDlgItem(window, id); }
    void Pump();

    MixerDeviceList& devices;
    RecordingPanel& panel;
    std::string sourceName;
    HWND window = nullptr;
    int sourceChosenCount = 0;
    UINT deviceChangeMessage = 0;
};
