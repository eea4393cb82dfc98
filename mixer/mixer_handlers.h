// A window's side of the mixer: attaching the chosen card to the recording panel, the
// source-chosen handler, and the handler of the window's mixer messages.
//
// What the main window does with these:
//   construction:   owns a MixerDeviceList and a RecordingPanel (the panel declared after the
//                   list, so it is destroyed first and detaches everything); registers
//                   "winmm_devicechange".
//   initialisation: devices.Enumerate(kMixerKindWaveIn, window); panel.SetControls(its source
//                   box, level trackbar and line switch); AttachRecordingCard(devices, panel,
//                   sourceName, true) and, when it returns a device whose name differs, takes
//                   that name as sourceName; SourceChosen(panel, devices, sourceName).
//   card changed:   panel.SetControls(...); panel.Reset(); AttachRecordingCard(devices, panel,
//                   name, false); SourceChosen(...).
//   message map:    HandleMixerMessage for WM_VSCROLL, MM_MIXM_LINE_CHANGE,
//                   MM_MIXM_CONTROL_CHANGE, the "winmm_devicechange" message and WM_COMMAND;
//                   when it returns true, `result` is the dialog result (SetDlgMsgResult).
// Messages are told apart by the panel's control handles, so the mixer needs no control ids.
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

// The source chosen in the source box (by the user, by the mixer, or directly by the window):
// writes the selector and attaches the chosen source line's controls.
void SourceChosen(RecordingPanel& panel, MixerDeviceList& devices, const char* sourceName);

// Handles one of the window's mixer messages. Returns false for anything else, a WM_VSCROLL or
// WM_COMMAND from another control included.
bool HandleMixerMessage(MixerDeviceList& devices, RecordingPanel& panel, const char* sourceName,
                        UINT deviceChangeMessage, UINT message, WPARAM wParam, LPARAM lParam,
                        INT_PTR& result);
