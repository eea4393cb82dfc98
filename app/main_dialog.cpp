// The main window: construction, initialisation, the refresh, the level scale, the detection
// sliders and the format label. The commands are in main_commands.cpp.
#include "app/main_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/languages.h"
#include "app/level_scale.h"
#include "engine/track_rules.h"
#include "output/format_description.h"
#include "resources/resource_ids.h"

namespace {

constexpr char kHelpLibrary[] = "HHCTRL.OCX";
constexpr char kHelpEntry[] = "HtmlHelpA";

std::string AbsolutePath(const char* path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return full;
}

void SetText(HWND control, const std::string& text) {
    if (control) SetWindowTextA(control, text.c_str());
}

}  // namespace

// ---- Construction and destruction ----

MainDialog::MainDialog(const MainDialogApi& api)
    : helpFolder_(AbsolutePath(".")),
      maxFormatSize_(ReadMaxFormatSize()),
      settings_(maxFormatSize_, DefaultFolder()),
      recorder_(maxFormatSize_, api.recorder),
      api_(api) {
    helpLibrary_.Reset(LoadLibraryA(kHelpLibrary));
    if (helpLibrary_) {
        // Through void (*)(): any function pointer converts to it without complaint.
        help_.htmlHelp = reinterpret_cast<HtmlHelpFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(helpLibrary_.Get(), kHelpEntry)));
    }
    help_.helpFile = helpFolder_ + kHelpFileName;
    deviceChangeMessage_ = RegisterWindowMessageA(kDeviceChangeMessageName);
}

// The shutdown has normally stopped both threads before the dialog ended; the recorder's own
// end covers a window that ended some other way.
MainDialog::~MainDialog() = default;

void MainDialog::SetDecimalSeparator(const char* separator) {
    std::snprintf(decimalSeparator_, sizeof decimalSeparator_, "%s", separator ? separator : "");
}

// ---- Message map ----

bool MainDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return true;
    case WM_CLOSE:
        Close();
        return true;
    case WM_DESTROY:
        ReleaseWindowResources();
        return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUT) ShowAbout();
        return false;  // always passed on
    case WM_TIMER:
        return OnTimer(static_cast<UINT_PTR>(wParam));
    case WM_HSCROLL:
        return OnHScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
    case WM_VSCROLL:
    case MM_MIXM_CONTROL_CHANGE:
    case MM_MIXM_LINE_CHANGE:
        return RouteMixerMessage(message, wParam, lParam, result);
    case WM_HELP:
        return OnHelp(reinterpret_cast<const HELPINFO*>(lParam));
    case WM_CONTEXTMENU:
        return OnContextMenu(lParam);
    case WM_PAINT:
        Paint();
        return true;
    case WM_COMMAND:
        break;
    default:
        if (message == deviceChangeMessage_ && deviceChangeMessage_ != 0) {
            return RouteMixerMessage(message, wParam, lParam, result);
        }
        return false;
    }

    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    switch (id) {
    case IDC_MAIN_SAVE_FILES_TO:
        SaveFilesTo();
        return true;
    case IDC_MAIN_CLOSE:
        Close();
        return true;
    case IDC_MAIN_HELP:
        OpenHelpFile();
        return true;
    case IDC_MAIN_RECORDING_CONTROLS:
        ShowRecordingControls();
        return true;
    case IDC_MAIN_RECORD:
        RecordButton();
        return true;
    case IDC_MAIN_PREFIX:
        if (code == EN_CHANGE) {
            prefixFilter_.StripRefused();
            return true;
        }
        if (code != EN_KILLFOCUS) return false;
        PrefixEdited();
        return true;
    case IDC_MAIN_OPTIONS:
        Options();
        return true;
    case IDC_MAIN_SOURCE:
    case IDC_MAIN_LINE_SWITCH:
        return RouteMixerMessage(message, wParam, lParam, result);
    default:
        return false;  // Escape (2) has no handler: the window stays open
    }
}

// ---- Initialisation ----

LRESULT MainDialog::OnInitDialog() {
    for (int i = 0; i < kLevelBands; ++i) {
        bandBrushes_[i].Reset(CreateSolidBrush(kLevelBandTable[i].colour));
    }
    CenterOverOwner(Window());  // no owner: the screen's work area

    const HINSTANCE instance = GetModuleHandleA(nullptr);
    largeIcon_ = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    smallIcon_.Reset(static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON, 0, 0, 0)));
    SendMessageA(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
    SendMessageA(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));

    LoadTexts();
    AdjustSystemMenu();
    // Without the minimize box the caption shows the template's context-help button.
    const LONG style = GetWindowLongA(Window(), GWL_STYLE);
    SetWindowLongA(Window(), GWL_STYLE, style & ~WS_MINIMIZEBOX);
    SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    KeepControlHandles();
    PlaceStatusArea();
    SetText(folderText_, settings_.folder);
    SetText(prefixEdit_, settings_.prefix);
    SetUpMetersAndSliders();
    // PCM for this run when the stored format cannot be produced; the setting itself stays.
    recorder_.StartMonitoring(settings_.outputFormat.Get(), !settings_.storedFormatUnusable,
                              settings_.liveMode != 0, ChosenCapture());
    ShowFormatLabel();
    ApplySlider(silenceSlider_);
    ApplySlider(gapSlider_);
    ApplySlider(discardSlider_);
    AttachMixer();
    SourceChosen();
    ShowSourceName();
    SetTimer(Window(), kRefreshTimer, kRefreshMilliseconds, nullptr);
    return TRUE;
}

void MainDialog::LoadTexts() {
    texts_.cueing = LoadLanguageString(IDS_CUEING);
    texts_.notRecording = LoadLanguageString(IDS_NOT_RECORDING);
    texts_.programName = LoadLanguageString(IDS_PROGRAM_NAME);
    texts_.trackNumber = LoadLanguageString(IDS_TRACK_NUMBER);
    texts_.aboutMenu = LoadLanguageString(IDS_ABOUT_MENU);
    texts_.soundCardBusy = LoadLanguageString(IDS_SOUND_CARD_BUSY);
    texts_.monitor = LoadLanguageString(IDS_MONITOR);
    texts_.newTrackAfter = LoadLanguageString(IDS_NEW_TRACK_AFTER);
    texts_.discardShorter = LoadLanguageString(IDS_DISCARD_SHORTER);
    texts_.whatsThis = LoadLanguageString(IDS_WHATS_THIS);
    help_.whatsThis = texts_.whatsThis;
}

void MainDialog::AdjustSystemMenu() {
    HMENU menu = GetSystemMenu(Window(), FALSE);
    if (!menu) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, texts_.aboutMenu.c_str());
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
}

void MainDialog::KeepControlHandles() {
    leftMeter_ = Item(IDC_MAIN_LEFT_METER);
    rightMeter_ = Item(IDC_MAIN_RIGHT_METER);
    gapSlider_ = Item(IDC_MAIN_SILENCE_LENGTH);
    discardSlider_ = Item(IDC_MAIN_DISCARD_LENGTH);
    silenceSlider_ = Item(IDC_MAIN_SILENCE_LEVEL);
    folderText_ = Item(IDC_MAIN_FOLDER);
    recordButton_ = Item(IDC_MAIN_RECORD);
    prefixEdit_ = Item(IDC_MAIN_PREFIX);
    saveFilesTo_ = Item(IDC_MAIN_SAVE_FILES_TO);
    trackText_ = Item(IDC_MAIN_TRACK);
    elapsedText_ = Item(IDC_MAIN_ELAPSED);
    statusArea_ = Item(IDC_MAIN_SINK_STATUS);
    gapCaption_ = Item(IDC_MAIN_SILENCE_LENGTH_CAPTION);
    discardCaption_ = Item(IDC_MAIN_DISCARD_CAPTION);

    if (folderText_) {
        const LONG style = GetWindowLongA(folderText_, GWL_STYLE);
        SetWindowLongA(folderText_, GWL_STYLE, style | SS_PATHELLIPSIS);
    }
    prefixFilter_.Attach(prefixEdit_);
}

void MainDialog::PlaceStatusArea() {
    // Only the English template names its file-location group box; elsewhere the status area
    // stays where the template put it.
    HWND group = Item(IDC_MAIN_FILE_GROUP);
    if (!statusArea_ || !group) return;
    RECT bounds{};
    GetWindowRect(group, &bounds);
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&bounds), 2);
    SetWindowPos(statusArea_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainDialog::SetUpMetersAndSliders() {
    SendMessageA(leftMeter_, PBM_SETRANGE, 0, MAKELPARAM(0, kMeterRange));
    SendMessageA(rightMeter_, PBM_SETRANGE, 0, MAKELPARAM(0, kMeterRange));
    RECT left{}, right{};
    GetWindowRect(leftMeter_, &left);
    GetWindowRect(rightMeter_, &right);
    levelScaleRect_ = RECT{left.right + kScaleMeterGap, left.top, right.left - kScaleMeterGap,
                           left.bottom};
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&levelScaleRect_), 2);

    SendMessageA(silenceSlider_, TBM_SETRANGE, FALSE, MAKELPARAM(kLevelSliderMin, kLevelSliderMax));
    SendMessageA(gapSlider_, TBM_SETRANGE, TRUE, MAKELPARAM(kGapSliderMin, kLengthSliderMax));
    SendMessageA(discardSlider_, TBM_SETRANGE, TRUE, MAKELPARAM(kDiscardSliderMin, kLengthSliderMax));
    SendMessageA(discardSlider_, TBM_SETPOS, TRUE, settings_.Discard);
    SendMessageA(gapSlider_, TBM_SETPOS, TRUE, settings_.Duration);
    SendMessageA(silenceSlider_, TBM_SETPOS, TRUE, settings_.Silence);
}

void MainDialog::AttachMixer() {
    mixers_.Enumerate(kMixerKindWaveIn, Window());
    AttachPanelControls();
    // No device of that name: the first one is taken and named.
    const MixerDevice* device =
        AttachRecordingCard(mixers_, panel_, settings_.sourceName.c_str(), true);
    if (device) settings_.sourceName = device->Name();
}

void MainDialog::AttachPanelControls() {
    panel_.SetControls(Item(IDC_MAIN_SOURCE), Item(IDC_MAIN_RECORDING_LEVEL), Item(IDC_MAIN_LINE_SWITCH));
}

void MainDialog::SourceChosen() {
    ::SourceChosen(panel_, mixers_, settings_.sourceName.c_str());
}

bool MainDialog::RouteMixerMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    INT_PTR mixerResult = 0;
    if (!HandleMixerMessage(mixers_, panel_, settings_.sourceName.c_str(), deviceChangeMessage_,
                            message, wParam, lParam, mixerResult)) {
        return false;
    }
    result = mixerResult;
    return true;
}

void MainDialog::ShowSourceName() {
    SetDlgItemTextA(Window(), IDC_MAIN_SOUND_CARD, settings_.sourceName.c_str());
}

// ---- Refresh ----

bool MainDialog::OnTimer(UINT_PTR id) {
    if (id != kRefreshTimer) return false;
    Refresh();
    return true;
}

void MainDialog::Refresh() {
    // Before the latch: the engine ends a track whether or not capture runs.
    ReleaseNamingControls();
    if (recorder_.CaptureFailed()) return;
    TrackEngine* engine = recorder_.Engine();
    int32_t code = 0;
    if (engine && recorder_.TakeCaptureFailure(code)) {
        ShowCaptureFailure(code);
        // A close that arrived while the box was open has shut everything down.
        engine = recorder_.Engine();
        if (!engine) return;
    }
    if (engine && recorder_.Capture()) {
        const int16_t leftPeak = engine->left.peak;
        const int16_t rightPeak = engine->right.peak;
        const int tick = TickValue(engine->left.level, engine->right.level);
        SendMessageA(leftMeter_, PBM_SETPOS, MeterPosition(leftPeak), 0);
        SendMessageA(rightMeter_, PBM_SETPOS, MeterPosition(rightPeak), 0);

        if (statusArea_ && engine->SinkStatus(sinkStatus_)) {
            if (sinkStatus_[0] != '\0') {
                SetWindowTextA(statusArea_, sinkStatus_);
                if (statusAreaHidden_) {
                    ShowWindow(statusArea_, SW_SHOWNA);
                    statusAreaHidden_ = 0;
                }
            } else if (!statusAreaHidden_) {
                ShowWindow(statusArea_, SW_HIDE);
                statusAreaHidden_ = 1;
            }
        }

        if (engine->IsTrackOpen()) {
            char text[128];
            std::snprintf(text, sizeof text, texts_.trackNumber.c_str(),
                          static_cast<int>(engine->trackNumber));
            SetText(trackText_, text);
        } else {
            SetText(trackText_, recorder_.Recording() ? texts_.cueing : texts_.notRecording);
        }

        SendMessageA(silenceSlider_, TBM_CLEARTICS, TRUE, 0);
        SendMessageA(silenceSlider_, TBM_SETTIC, 0, tick);
    } else {
        SetText(trackText_, texts_.notRecording);
    }
    InvalidateRect(Window(), &levelScaleRect_, FALSE);
    if (engine) SetText(elapsedText_, engine->StatusText(BlocksPerSecond()));
}

void MainDialog::ShowCaptureFailure(int32_t code) {
    // Latched first: ticks that arrive while the message box is open do nothing.
    char message[512];
    std::snprintf(message, sizeof message, texts_.soundCardBusy.c_str(),
                  static_cast<unsigned>(code));
    MessageBoxA(Window(), message, texts_.programName.c_str(), MB_OK);
    SetText(recordButton_, texts_.monitor);
}

int MainDialog::BlocksPerSecond() const {
    return settings_.mode78 ? kBlocksPerSecond78 : kBlocksPerSecond;
}

// ---- Painting ----

void MainDialog::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Window(), &paint);
    if (!dc) return;
    const auto bands = LevelBandRects(levelScaleRect_);
    for (int i = 0; i < kLevelBands; ++i) {
        if (bandBrushes_[i]) FillRect(dc, &bands[i], bandBrushes_[i].Get());
    }
    if (const TrackEngine* engine = recorder_.Engine()) {
        const RECT& strip = levelScaleRect_;
        const int mid = strip.left + (strip.right - strip.left) / 2;
        const int yLeft = HeldPeakLineY(strip, engine->left.heldPeak);
        const int yRight = HeldPeakLineY(strip, engine->right.heldPeak);
        MoveToEx(dc, strip.left, yLeft, nullptr);
        LineTo(dc, mid, yLeft);
        MoveToEx(dc, mid, yRight, nullptr);
        LineTo(dc, strip.right, yRight);
    }
    EndPaint(Window(), &paint);
}

// ---- Detection sliders ----

bool MainDialog::OnHScroll(HWND control, int /*code*/) {
    ApplySlider(control);
    return true;
}

void MainDialog::ApplySlider(HWND slider) {
    TrackEngine* engine = recorder_.Engine();
    if (!engine || !slider) return;
    const int position = static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0));
    if (slider == silenceSlider_) {
        settings_.Silence = position;
        engine->silenceThreshold = position;
    } else if (slider == gapSlider_) {
        settings_.Duration = position;
        engine->gapBlocks = position;
        SetText(gapCaption_, SliderCaption(texts_.newTrackAfter, position, BlocksPerSecond(),
                                           decimalSeparator_));
    } else if (slider == discardSlider_) {
        settings_.Discard = position;
        engine->discardBlocks = position;
        SetText(discardCaption_, SliderCaption(texts_.discardShorter, position, BlocksPerSecond(),
                                               decimalSeparator_));
    }
}

// ---- Format label ----

void MainDialog::ShowFormatLabel() {
    char label[kFormatLabelBytes] = {};
    size_t used = 0;
    if (settings_.mode78) {
        std::snprintf(label, sizeof label, "%s", kMode78LabelPrefix);
        used = std::strlen(label);
    }
    DescribeFormat(label + used, static_cast<int>(sizeof label - used), maxFormatSize_,
                   settings_.outputFormat.Get());
    SetDlgItemTextA(Window(), IDC_MAIN_FORMAT, label);
}

// ---- Context help ----

bool MainDialog::OnHelp(const HELPINFO* info) {
    if (!info || info->iContextType != HELPINFO_WINDOW) return false;
    return ShowContextHelp(help_, static_cast<HWND>(info->hItemHandle),
                           static_cast<DWORD>(info->dwContextId), kMainWindowHelp, nullptr) == 1;
}

bool MainDialog::OnContextMenu(LPARAM point) {
    HWND child = ChildAtContextPoint(Window(), point);
    if (!child) return false;
    const DWORD topic = FindHelpTopic(kMainWindowHelp, GetDlgCtrlID(child));
    if (topic == 0) return false;
    const POINT at{static_cast<LONG>(LOWORD(point)), static_cast<LONG>(HIWORD(point))};
    return ShowContextHelp(help_, child, topic, kMainWindowHelp, &at) == 1;
}

// ---- Release ----

void MainDialog::ReleaseWindowResources() {
    for (auto& brush : bandBrushes_) brush.Reset();
    smallIcon_.Reset();
}
