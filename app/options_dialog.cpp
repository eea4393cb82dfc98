// The Options dialog.
#include "app/options_dialog.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "app/languages.h"
#include "output/format_description.h"
#include "resources/resource_ids.h"

namespace {

bool IsChecked(HWND dialog, int id) {
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetCheck(HWND dialog, int id, bool checked) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

OptionsDialog::OptionsDialog(const Settings& current, std::vector<std::string> soundCards,
                             const ContextHelpSource& help, DirectSoundSupport directSound)
    : current_(current),
      soundCards_(std::move(soundCards)),
      help_(help),
      directSound_(directSound),
      formatSize_(ReadMaxFormatSize()) {
    const Settings& settings = current;
    std::snprintf(formatName_, sizeof formatName_, "%s", settings.outputName.c_str());
    if (formatRecord_.Allocate(formatSize_ + kFormatHeaderBytes) && settings.outputFormat.Get()) {
        // cbSize + 18 bytes, as far as both buffers reach.
        const WAVEFORMATEX* current = settings.outputFormat.Get();
        size_t bytes = kFormatHeaderBytes + current->cbSize;
        if (bytes > formatRecord_.Size()) bytes = formatRecord_.Size();
        if (bytes > settings.outputFormat.Size()) bytes = settings.outputFormat.Size();
        std::memcpy(formatRecord_.Bytes(), settings.outputFormat.Bytes(), bytes);
    }
}

bool OptionsDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_HELP: {
        const auto* info = reinterpret_cast<const HELPINFO*>(lParam);
        if (!info || info->iContextType != HELPINFO_WINDOW) return false;
        return ShowContextHelp(help_, static_cast<HWND>(info->hItemHandle),
                               static_cast<DWORD>(info->dwContextId), kOptionsHelp, nullptr) == 1;
    }
    case WM_CONTEXTMENU: {
        HWND child = ChildAtContextPoint(Window(), lParam);
        if (!child) return false;
        const DWORD topic = FindHelpTopic(kOptionsHelp, GetDlgCtrlID(child));
        if (topic == 0) return false;
        const POINT at{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
        return ShowContextHelp(help_, child, topic, kOptionsHelp, &at) == 1;
    }
    default:
        return Dialog::HandleMessage(message, wParam, lParam, result);
    }
}

LRESULT OptionsDialog::OnInitDialog() {
    CenterOverOwner(Window());
    CheckDirectSound();
    FillLanguages();
    const Settings& settings = current_;
    SetCheck(Window(), IDC_OPTIONS_MODE78, settings.mode78 != 0);
    SetCheck(Window(), IDC_OPTIONS_LIVE_MODE, settings.liveMode != 0);
    SetCheck(Window(), IDC_OPTIONS_DIRECTSOUND,
             settings.useDirectSound != 0 && !choice_.directSoundRuledOut);
    ShowFormatText();
    FillSoundCards();
    return TRUE;
}

void OptionsDialog::CheckDirectSound() {
    // Only a library without the capture entry rules DirectSound out; a missing library
    // leaves the choice as it is.
    if (directSound_ != DirectSoundSupport::kNoCaptureEntry) return;
    HWND box = Item(IDC_OPTIONS_DIRECTSOUND);
    EnableWindow(box, FALSE);
    ShowWindow(box, SW_HIDE);
    choice_.directSoundRuledOut = true;
}

void OptionsDialog::FillLanguages() {
    languageList_ = Item(IDC_OPTIONS_LANGUAGE);
    for (const InterfaceLanguage& language : kInterfaceLanguages) {
        // In the program's code page, not the language's own, so that "español" and
        // "français" reach the list intact.
        char name[kNativeLanguageNameBytes] = {};
        GetLocaleInfoA(language.resourceLanguage, LOCALE_SNATIVELANGNAME | LOCALE_USE_CP_ACP, name,
                       sizeof name);
        const LRESULT index =
            SendMessageA(languageList_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        if (language.uiLanguage == UiLanguage && index >= 0) {
            SendMessageA(languageList_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
    }
}

void OptionsDialog::FillSoundCards() {
    HWND list = Item(IDC_OPTIONS_SOUND_CARD);
    const std::string& current = current_.sourceName;
    for (const std::string& card : soundCards_) {
        const char* name = card.c_str();
        const LRESULT index = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        if (index >= 0 && current == name) SendMessageA(list, CB_SETCURSEL, index, 0);
    }
    if (SendMessageA(list, CB_GETCURSEL, 0, 0) == CB_ERR) SendMessageA(list, CB_SETCURSEL, 0, 0);
}

void OptionsDialog::ShowFormatText() {
    char text[kChooserTextBytes] = {};
    std::snprintf(text, sizeof text, "%s\n", formatName_);
    const size_t used = std::strlen(text);
    DescribeFormat(text + used, static_cast<int>(sizeof text - used), formatSize_,
                   formatRecord_.Get());
    SetDlgItemTextA(Window(), IDC_OPTIONS_FORMAT, text);
}

bool OptionsDialog::OnCommand(int id, int code, HWND /*control*/) {
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_OPTIONS_CHANGE_FORMAT:
        ChangeFormat();
        return true;
    case IDC_OPTIONS_WAV:
        ChoosePcm();
        return true;
    case IDOK:
        Accept();
        return true;
    case IDCANCEL:
        End(IDCANCEL);
        return true;
    default:
        return false;
    }
}

void OptionsDialog::ChangeFormat() {
    char text[kChooserTextBytes] = {};
    if (RunFormatChooser(Window(), formatRecord_.Get(), formatSize_, formatName_,
                         sizeof formatName_, text, sizeof text) == MMSYSERR_NOERROR) {
        SetDlgItemTextA(Window(), IDC_OPTIONS_FORMAT, text);
    }
}

void OptionsDialog::ChoosePcm() {
    BackToPcm(formatRecord_.Get(), formatName_);
    ShowFormatText();
}

void OptionsDialog::Accept() {
    const LRESULT language = SendMessageA(languageList_, CB_GETCURSEL, 0, 0);
    choice_.language = (language >= 0 && language < kInterfaceLanguageCount)
                         ? kInterfaceLanguages[language].uiLanguage
                         : UiLanguage;
    choice_.liveMode = IsChecked(Window(), IDC_OPTIONS_LIVE_MODE) ? 1 : 0;
    choice_.mode78 = IsChecked(Window(), IDC_OPTIONS_MODE78) ? 1 : 0;
    choice_.directSound = IsChecked(Window(), IDC_OPTIONS_DIRECTSOUND) ? 1 : 0;

    choice_.soundCard.clear();
    HWND list = Item(IDC_OPTIONS_SOUND_CARD);
    const LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR) {
        const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, selected, 0);
        if (length != CB_ERR && length < LRESULT(kChooserNameBytes)) {
            char name[kChooserNameBytes] = {};
            SendMessageA(list, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(name));
            choice_.soundCard = name;
        }
    }
    End(IDOK);
}
