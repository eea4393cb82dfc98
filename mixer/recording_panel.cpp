// RecordingPanel: a source box, level trackbar and line switch driven by the mixer controls
// attached to them.
#include "mixer/recording_panel.h"

#include <commctrl.h>

#include "mixer/level_range.h"

void RecordingPanel::ControlAdded(HMIXER handle, MixerControl* control) {
    if (!control) {
        EndOfSet();
        return;
    }
    // A full panel takes no more: an unheld control must not stay attached.
    if (controlCount == kPanelPlaces) return;
    control->Attach(this);
    int32_t position = controlCount;
    controls[position] = control;
    ++controlCount;

    const MIXERCONTROLA& info = control->Info();
    int32_t values = static_cast<int32_t>(control->ValueCount());
    switch (info.dwControlType) {
    case kControlTypeMute:
        switchIndex = position;
        switchValueCount = values;
        switchHandle = handle;
        SetWindowTextA(lineSwitch_, info.szName);
        control->Refresh(handle);
        break;
    case kControlTypeVolume: {
        levelIndex = position;
        levelValueCount = values;
        levelHandle = handle;
        LevelRange scale = LevelRange::Of(info);
        HWND trackbar = level_;
        SendMessageA(trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(0, scale.range));
        SendMessageA(trackbar, TBM_SETTICFREQ, scale.TickFrequency(), 0);
        if (trackbar) SetWindowTextA(GetWindow(trackbar, GW_HWNDPREV), info.szName);
        control->Refresh(handle);
        break;
    }
    case kControlTypeMux:
        // Only the destination's selector lists the sources; one on a source line would add
        // its items to the same box and, once selected, choose itself again without end.
        if (listComplete) break;
        selectorIndex = position;
        selectorValueCount = values;
        selectorHandle = handle;
        control->FillComboBox(sourceBox_);
        control->Refresh(handle);
        break;
    default:
        break;
    }
}

void RecordingPanel::EndOfSet() {
    if (!listComplete) {
        if (selectorIndex == -1 && levelIndex != -1) {
            // No choice to offer: the box names the recording line itself.
            HWND box = sourceBox_;
            LRESULT entry = SendMessageA(box, CB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(Level()->Line().szName));
            SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
            EnableWindow(box, FALSE);
        }
        destinationCount = controlCount;
        listComplete = true;
    }
    HWND lineSwitch = lineSwitch_;
    bool hasSwitch = switchIndex != -1;
    EnableWindow(lineSwitch, hasSwitch);
    ShowWindow(lineSwitch, hasSwitch ? SW_SHOWNA : SW_HIDE);
}

void RecordingPanel::ControlChanged(HMIXER, DWORD controlId) {
    int32_t i = 0;
    while (i < controlCount && !(controls[i] && controls[i]->Info().dwControlID == controlId)) ++i;
    if (i == controlCount) return;
    MixerControl& control = *controls[i];
    const DWORD* shadow = control.Shadow();
    if (!shadow) return;

    if (i == selectorIndex) {
        ShowSelection(control);
    } else if (i == switchIndex) {
        SendMessageA(lineSwitch_, BM_SETCHECK,
                     shadow[0] != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (i == levelIndex) {
        LevelRange scale = LevelRange::Of(control.Info());
        DWORD position = scale.PositionOf(LevelAverage(shadow, static_cast<DWORD>(levelValueCount)));
        SendMessageA(level_, TBM_SETPOS, TRUE, static_cast<LPARAM>(position));
    }
}

void RecordingPanel::ShowSelection(MixerControl& selector) {
    const DWORD* shadow = selector.Shadow();
    const MIXERCONTROLDETAILS_LISTTEXTA* items = selector.Items();
    int32_t entries = selector.ItemEntries();
    // The box holds only the non-empty names, so entry e shows item k.
    int32_t e = -1;
    for (int32_t k = 0; k < selectorValueCount; ++k) {
        const bool listed = k < entries && items[k].szName[0] != '\0';
        if (listed) ++e;
        if (shadow[k] == 0) continue;
        // A source left out of the box (it has no controls) selects no entry: showing the one
        // before it would also make it the card's input.
        if (!listed) e = -1;
        HWND box = sourceBox_;
        SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(e), 0);
        // As the box itself reports a choice, so its window runs its source-chosen handler.
        if (listComplete)
            SendMessageA(GetParent(box), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), CBN_SELENDOK),
                         reinterpret_cast<LPARAM>(box));
        return;
    }
}

void RecordingPanel::ExcludeSources(HMIXER handle, const DWORD* lineIds, int32_t count) {
    if (selectorIndex == -1) return;
    MixerControl& selector = *controls[selectorIndex];
    HWND box = sourceBox_;
    SendMessageA(box, CB_RESETCONTENT, 0, 0);
    const MIXERCONTROLDETAILS_LISTTEXTA* items = selector.Items();
    int32_t entries = selector.ItemEntries();
    for (int32_t k = 0; k < selectorValueCount && k < entries; ++k) {
        for (int32_t n = 0; n < count; ++n) {
            if (items[k].dwParam1 == lineIds[n]) {
                selector.HideItem(k);
                break;
            }
        }
    }
    selector.FillComboBox(box);
    // Always reported: selects the current source among the remaining entries.
    selector.SetShadowValid(false);
    selector.Refresh(handle);
}

DWORD RecordingPanel::ApplySourceSelection() {
    HWND box = sourceBox_;
    LRESULT entry = SendMessageA(box, CB_GETCURSEL, 0, 0);
    // Nothing chosen: writing would leave the selector with no source at all.
    if (entry == CB_ERR) return kNoSourceLine;
    DWORD lineId = static_cast<DWORD>(SendMessageA(box, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0));
    MixerControl* selector = Selector();
    if (!selector || !selector->Shadow()) return lineId;
    DWORD* shadow = selector->Shadow();
    const MIXERCONTROLDETAILS_LISTTEXTA* items = selector->Items();
    int32_t entries = selector->ItemEntries();
    for (int32_t k = 0; k < selectorValueCount; ++k)
        shadow[k] = (k < entries && items[k].dwParam1 == lineId) ? 1 : 0;
    selector->Apply(selectorHandle);
    return lineId;
}

void RecordingPanel::ApplyLevel() {
    MixerControl* level = Level();
    if (!level || !level->Shadow()) return;
    DWORD position = static_cast<DWORD>(SendMessageA(level_, TBM_GETPOS, 0, 0));
    DWORD value = LevelRange::Of(level->Info()).ValueAt(position);
    DWORD* shadow = level->Shadow();
    for (int32_t j = 0; j < levelValueCount; ++j) shadow[j] = value;
    level->Apply(levelHandle);
}

void RecordingPanel::ApplySwitch() {
    bool on = SendMessageA(lineSwitch_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    MixerControl* lineSwitch = Switch();
    if (!lineSwitch || !lineSwitch->Shadow()) return;
    DWORD* shadow = lineSwitch->Shadow();
    for (int32_t j = 0; j < switchValueCount; ++j) shadow[j] = on ? 1 : 0;
    lineSwitch->Apply(switchHandle);
}

void RecordingPanel::DropLineControls() {
    for (int32_t i = destinationCount; i < controlCount; ++i) {
        if (!controls[i]) continue;
        controls[i]->Detach();
        controls[i] = nullptr;
        if (i == switchIndex)
            switchIndex = -1;
        else if (i == levelIndex)
            levelIndex = -1;
    }
    controlCount = destinationCount;
}

void RecordingPanel::Clear() {
    for (int32_t i = 0; i < controlCount; ++i) {
        if (!controls[i]) continue;
        controls[i]->Detach();
        controls[i] = nullptr;
    }
    controlCount = 0;
    listComplete = false;
    destinationCount = 0;
    selectorIndex = -1;
    switchIndex = -1;
    levelIndex = -1;
}

void RecordingPanel::Reset() {
    HWND box = sourceBox_;
    SendMessageA(box, CB_RESETCONTENT, 0, 0);
    EnableWindow(box, TRUE);
    DropLineControls();
    Clear();
}
