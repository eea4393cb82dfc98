// PanelWindow: an in-memory dialog template with the four mixer controls of the main window.
#include "tests/mixer/panel_window.h"

#include <commctrl.h>

#include "mixer/mixer_handlers.h"
#include "resources/resource_ids.h"

namespace {

// Builds a DLGTEMPLATE with its items in a WORD buffer (items start on DWORD boundaries).
class TemplateBuilder {
public:
    explicit TemplateBuilder(short cx, short cy) {
        Add32(WS_POPUP | DS_SETFONT | WS_CAPTION);  // hidden: unmapping a shown window makes Wine wait
        Add32(0);
        countAt = words.size();
        words.push_back(0);
        AddShorts({0, 0, cx, cy});
        words.push_back(0);  // no menu
        words.push_back(0);  // standard class
        AddText(L"Mixer panel");
        words.push_back(8);
        AddText(L"MS Shell Dlg");
    }
    void AddItem(DWORD style, short x, short y, short cx, short cy, WORD id, const wchar_t* cls,
                 WORD atom, const wchar_t* text) {
        while (words.size() % 2 != 0) words.push_back(0);
        Add32(style | WS_CHILD | WS_VISIBLE);
        Add32(0);
        AddShorts({x, y, cx, cy});
        words.push_back(id);
        if (cls) {
            AddText(cls);
        } else {
            words.push_back(0xFFFF);
            words.push_back(atom);
        }
        AddText(text);
        words.push_back(0);  // no creation data
        ++words[countAt];
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words.data()); }

private:
    void Add32(DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    }
    void AddShorts(std::initializer_list<short> values) {
        for (short v : values) words.push_back(static_cast<WORD>(v));
    }
    void AddText(const wchar_t* text) {
        while (*text) words.push_back(static_cast<WORD>(*text++));
        words.push_back(0);
    }
    std::vector<WORD> words;
    size_t countAt = 0;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboAtom = 0x0085;

std::string TextOf(HWND control) {
    char text[260] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

}  // namespace

PanelWindow::PanelWindow(MixerDeviceList& devices, RecordingPanel& panel)
    : devices(devices), panel(panel) {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    deviceChangeMessage = RegisterWindowMessageA(kDeviceChangeMessageName);
    // The main window's order: source box, the trackbar's caption, trackbar, switch.
    TemplateBuilder layout(220, 160);
    layout.AddItem(CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 10, 10, 120, 100, IDC_MAIN_SOURCE,
                   nullptr, kComboAtom, L"");
    layout.AddItem(SS_LEFT, 140, 10, 70, 10, static_cast<WORD>(IDC_STATIC), nullptr, kStaticAtom, L"-");
    layout.AddItem(TBS_VERT | TBS_BOTH | TBS_AUTOTICKS, 150, 24, 30, 100, IDC_MAIN_RECORDING_LEVEL,
                   TRACKBAR_CLASSW, 0, L"");
    layout.AddItem(BS_AUTOCHECKBOX | WS_TABSTOP, 10, 40, 120, 12, IDC_MAIN_LINE_SWITCH, nullptr,
                   kButtonAtom, L"-");
    window = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), layout.Get(), nullptr, Procedure,
                                        reinterpret_cast<LPARAM>(this));
}

PanelWindow::~PanelWindow() {
    if (window) DestroyWindow(window);
}

INT_PTR CALLBACK PanelWindow::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<PanelWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_MAIN_SOURCE && HIWORD(wParam) == CBN_SELENDOK)
        ++self->sourceChosenCount;
    INT_PTR result = 0;
    if (!HandleMixerMessage(self->devices, self->panel, self->sourceName.c_str(),
                            self->deviceChangeMessage, message, wParam, lParam, result))
        return FALSE;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

void PanelWindow::AttachPanel() {
    panel.SetControls(Item(IDC_MAIN_SOURCE), Item(IDC_MAIN_RECORDING_LEVEL), Item(IDC_MAIN_LINE_SWITCH));
}

void PanelWindow::StartUp(const std::string& name) {
    sourceName = name;
    devices.Enumerate(kMixerKindWaveIn, window);
    AttachPanel();
    MixerDevice* device = AttachRecordingCard(devices, panel, sourceName.c_str(), true);
    if (device) sourceName = device->Name();
    SourceChosen(panel, devices, sourceName.c_str());
}

std::vector<std::string> PanelWindow::Entries() const {
    std::vector<std::string> entries;
    HWND box = Item(IDC_MAIN_SOURCE);
    LRESULT count = SendMessageA(box, CB_GETCOUNT, 0, 0);
    for (LRESULT k = 0; k < count; ++k) {
        char text[260] = {};
        SendMessageA(box, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(text));
        entries.emplace_back(text);
    }
    return entries;
}

int PanelWindow::Selection() const {
    return static_cast<int>(SendMessageA(Item(IDC_MAIN_SOURCE), CB_GETCURSEL, 0, 0));
}

std::string PanelWindow::SelectedText() const {
    int entry = Selection();
    if (entry < 0) return std::string();
    return Entries()[entry];
}

bool PanelWindow::SourceBoxEnabled() const { return IsWindowEnabled(Item(IDC_MAIN_SOURCE)) != FALSE; }

int PanelWindow::SliderMax() const {
    return static_cast<int>(SendMessageA(Item(IDC_MAIN_RECORDING_LEVEL), TBM_GETRANGEMAX, 0, 0));
}

int PanelWindow::SliderPosition() const {
    return static_cast<int>(SendMessageA(Item(IDC_MAIN_RECORDING_LEVEL), TBM_GETPOS, 0, 0));
}

int PanelWindow::FirstTick() const {
    return static_cast<int>(SendMessageA(Item(IDC_MAIN_RECORDING_LEVEL), TBM_GETTIC, 0, 0));
}

std::string PanelWindow::Caption() const {
    return TextOf(GetWindow(Item(IDC_MAIN_RECORDING_LEVEL), GW_HWNDPREV));
}

std::string PanelWindow::SwitchText() const { return TextOf(Item(IDC_MAIN_LINE_SWITCH)); }

bool PanelWindow::SwitchVisible() const {
    return (GetWindowLongA(Item(IDC_MAIN_LINE_SWITCH), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool PanelWindow::SwitchEnabled() const { return IsWindowEnabled(Item(IDC_MAIN_LINE_SWITCH)) != FALSE; }

bool PanelWindow::SwitchChecked() const {
    return SendMessageA(Item(IDC_MAIN_LINE_SWITCH), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void PanelWindow::ChooseEntry(int entry) {
    HWND box = Item(IDC_MAIN_SOURCE);
    SendMessageA(box, CB_SETCURSEL, entry, 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_MAIN_SOURCE, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(box));
}

void PanelWindow::MoveSlider(int position) {
    HWND trackbar = Item(IDC_MAIN_RECORDING_LEVEL);
    SendMessageA(trackbar, TBM_SETPOS, TRUE, position);
    SendMessageA(window, WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, position),
                 reinterpret_cast<LPARAM>(trackbar));
}

void PanelWindow::ClickSwitch(bool checked) {
    HWND lineSwitch = Item(IDC_MAIN_LINE_SWITCH);
    SendMessageA(lineSwitch, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_MAIN_LINE_SWITCH, BN_CLICKED),
                 reinterpret_cast<LPARAM>(lineSwitch));
}

void PanelWindow::Pump() {
    // Posted messages are in the queue already: handle them all, then return.
    MSG message;
    while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void PanelWindow::PostControlChange(HMIXER handle, DWORD controlId) {
    PostMessageA(window, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(handle), controlId);
    Pump();
}

void PanelWindow::PostLineChange(HMIXER handle, DWORD lineId) {
    PostMessageA(window, MM_MIXM_LINE_CHANGE, reinterpret_cast<WPARAM>(handle), lineId);
    Pump();
}
