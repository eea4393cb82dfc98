// A window's mixer handlers: card attachment, source chosen, message routing.
#include "mixer/mixer_handlers.h"

MixerDevice* AttachRecordingCard(MixerDeviceList& devices, RecordingPanel& panel,
                                 const char* sourceName, bool fallBackToFirst) {
    MixerDevice* device = devices.FindByName(sourceName);
    if (!device && fallBackToFirst && devices.Count() > 0) device = &devices.Item(0);
    if (device) device->AttachControlsOfType(kComponentTypeRecording, panel);
    return device;
}

void SourceChosen(RecordingPanel& panel, MixerDeviceList& devices, const char* sourceName) {
    DWORD lineId = panel.ApplySourceSelection();
    if (!panel.HasSelector()) return;
    panel.DropLineControls();
    MixerDevice* device = devices.FindByName(sourceName);
    if (device) device->AttachControlsOfLine(lineId, panel);
}

bool HandleMixerMessage(MixerDeviceList& devices, RecordingPanel& panel, const char* sourceName,
                        UINT deviceChangeMessage, UINT message, WPARAM wParam, LPARAM lParam,
                        INT_PTR& result) {
    // Devices are not enumerated again when the system's set of devices changes.
    if (deviceChangeMessage != 0 && message == deviceChangeMessage) {
        result = 1;
        return true;
    }
    const HWND from = reinterpret_cast<HWND>(lParam);
    switch (message) {
    case WM_VSCROLL:
        if (!from || from != panel.LevelTrackbar()) return false;
        panel.ApplyLevel();  // every scroll code, so the level follows a dragged thumb
        result = 1;
        return true;
    case MM_MIXM_LINE_CHANGE:
        devices.OnLineChange(reinterpret_cast<HMIXER>(wParam), static_cast<DWORD>(lParam));
        result = 0;
        return true;
    case MM_MIXM_CONTROL_CHANGE:
        devices.OnControlChange(reinterpret_cast<HMIXER>(wParam), static_cast<DWORD>(lParam));
        result = 0;
        return true;
    case WM_COMMAND:
        if (!from) return false;
        if (from == panel.SourceBox() && HIWORD(wParam) == CBN_SELENDOK) {
            SourceChosen(panel, devices, sourceName);
            result = 1;
            return true;
        }
        if (from == panel.LineSwitch() && HIWORD(wParam) == BN_CLICKED) {
            panel.ApplySwitch();
            result = 1;
            return true;
        }
        return false;
    default:
        return false;
    }
}
