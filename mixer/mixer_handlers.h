// The main window's side of the mixer: attaching the chosen card to the recording panel, the
// source-chosen handler, and the handlers of the window's mixer messages.
//
// What the main window does with these:
//   construction:   owns a MixerDeviceList and a RecordingPanel (the panel declared after the
//                   list, so it is destroyed first and detaches everything); registers
//                   "winmm_devicechange".
//   initialisation: devices.Enumerate(kMixerKindWaveIn, window); panel.SetWindow(window);
//                   AttachRecordingCard(devices, panel, sourceName, true) and, when it returns
//                   a device whose name differs, takes that name as sourceName;
//                   SourceChosen(panel, devices, sourceName); shows sourceName in 1024.
//   card changed:   panel.SetWindow(window); panel.Reset(); show the name in 1024 when
//                   devices.Count() > 0; AttachRecordingCard(devices, panel, name, false);
//                   SourceChosen(...).
//   message map:    HandleMixerMessage for WM_VSCROLL, MM_MIXM_LINE_CHANGE,
//                   MM_MIXM_CONTROL_CHANGE, the "winmm_devicechange" message and WM_COMMAND;
//                   when it returns true, `result` is the dialog result (SetDlgMsgResult).
#pragma once

#include <windows.h>

#include "mixer/mixer_device_list.h"
#include "mixer/recording_panel.h"

constexpr char kDeviceChangeMessageName[] = "winmm_devicechange";

// Hands the panel the recording destination's controls of the first device named
// `sourceName`; when none has that name and `fallBackToFirst` is set, those of device 0.
// Returns the device attached, or nullptr when none was.
MixerDevice* AttachRecordingCard(MixerDeviceList& devices, RecordingPanel& panel,
                                 const char* sourceName, bool fallBackToFirst);

// The source chosen in 1001 (by the user, by the mixer, or directly by the main window):
// writes the selector and attaches the chosen source line's controls.
void SourceChosen(RecordingPanel& panel, MixerDeviceList& devices, const char* sourceName);

// Handles one of the main window's mixer messages. Returns false for anything else, a
// WM_VSCROLL from another control included.
bool HandleMixerMessage(MixerDeviceList& devices, RecordingPanel& panel, const char* sourceName,
                        UINT deviceChangeMessage, UINT message, WPARAM wParam, LPARAM lParam,
                        INT_PTR& result);
