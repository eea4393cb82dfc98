// The main window's commands: the record button, Close and the ordered shutdown, the restart
// of capture, the Options procedure with its output-format test, the folder choice, the prefix,
// help, the system's recording mixer and the About box.
#include "app/main_dialog.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>

#include "app/about_dialog.h"
#include "app/languages.h"
#include "app/options_dialog.h"
#include "base/paths.h"
#include "base/scope_exit.h"
#include "resources/resource_ids.h"
#include "settings/registry_key.h"

namespace {

constexpr DWORD kShellWithNewDialog = 5u << 16;  // shell 5.0 offers the new folder dialog

// shell32.dll's version as (major << 16) | minor; 0 when it cannot say.
DWORD ShellVersion() {
    HMODULE shell = GetModuleHandleA("shell32.dll");
    if (!shell) return 0;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(shell, "DllGetVersion")));
    if (!getVersion) return 0;
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (FAILED(getVersion(&info))) return 0;
    return (info.dwMajorVersion << 16) | info.dwMinorVersion;
}

// The folder dialog's callback: starts at the current folder and shows the selected path.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        const char* folder = reinterpret_cast<const char*>(data);
        if (folder && folder[0] != '\0') {
            char full[MAX_PATH] = {};
            const DWORD length = GetFullPathNameA(folder, MAX_PATH, full, nullptr);
            if (length > 0 && length < MAX_PATH) {
                SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(full));
            }
        }
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) {
            SendMessageA(window, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    return 0;
}

void FreeItemList(LPITEMIDLIST list) {
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
}

}  // namespace

// ---- Capture ----

CaptureChoice MainDialog::ChosenCapture() const {
    return CaptureChoice{settings_.useDirectSound != 0, settings_.sourceName,
                         settings_.mode78 != 0};
}

void MainDialog::RestartCapture() {
    recorder_.RestartCapture(ChosenCapture());
    // The block-rate divisor may have changed with 78 mode.
    ApplySlider(gapSlider_);
    ApplySlider(discardSlider_);
    ShowRecordState();  // "&Monitor" no more
}

// ---- Record button ----

void MainDialog::RecordButton() {
    if (!recorder_.Engine()) return;
    // Enter in the prefix box presses this button while the box still has the focus.
    PrefixEdited();
    recorder_.ToggleRecording(TrackNameTemplate(settings_.folder, settings_.prefix));
    ShowRecordState();
    // After a Stop they wait for the track's end: a continuation opened meanwhile must still
    // be named as the take was.
    if (recorder_.Recording()) EnableNamingControls(false);
}

void MainDialog::ShowRecordState() {
    SetWindowTextA(recordButton_,
                   LoadLanguageString(IDS_START + (recorder_.Recording() ? 1 : 0)).c_str());
}

void MainDialog::ReleaseNamingControls() {
    if (namingControlsOn_ || recorder_.Recording() || !recorder_.TrackEnded()) return;
    EnableNamingControls(true);
}

void MainDialog::EnableNamingControls(bool enable) {
    namingControlsOn_ = enable;
    EnableWindow(folderText_, enable);
    EnableWindow(saveFilesTo_, enable);
    EnableWindow(prefixEdit_, enable);
    EnableWindow(Item(IDC_MAIN_OPTIONS), enable);
}

// ---- Close and shutdown ----

void MainDialog::Shutdown() {
    recorder_.Shutdown();
    SaveSettings(settings_);
}

void MainDialog::Close() {
    Shutdown();
    End(kMainDialogClosed);
}

// ---- Options ----

void MainDialog::Options() {
    std::vector<std::string> soundCards;
    for (int32_t i = 0; i < mixers_.Count(); ++i) soundCards.emplace_back(mixers_.Item(i).Name());
    OptionsDialog dialog(settings_, std::move(soundCards), help_, ProbeDirectSound());
    const OptionsChoice& choice = dialog.Choice();

    for (;;) {
        const INT_PTR ended = RunLanguageDialog(IDD_OPTIONS, GetActiveWindow(), dialog);
        if (choice.directSoundRuledOut) settings_.useDirectSound = 0;
        if (ended != IDOK) break;
        // A close that reached the window while the dialog was open has shut everything down.
        if (!recorder_.Engine()) return;

        if (choice.soundCard != settings_.sourceName) ApplySoundCard(choice.soundCard);

        RegistryKey key;
        const bool keyOpen = OpenSettingsKey(key) == ERROR_SUCCESS;
        if (keyOpen && (choice.directSound != 0) != (settings_.useDirectSound != 0)) {
            settings_.useDirectSound = choice.directSound ? 1 : 0;
            key.SetDword(settings_.useDirectSound ? 0 : 1, kValueNoDirectSound);
        }
        settings_.mode78 = choice.mode78 ? 1 : 0;
        if (choice.language != UiLanguage) {
            if (keyOpen) key.SetDword(choice.language, kValueLanguage);
            key.Close();
            // The window is built again: no restart needed.
            Shutdown();
            End(kMainDialogNewLanguage);
            return;
        }

        settings_.liveMode = choice.liveMode ? 1 : 0;
        recorder_.SetLiveMode(settings_.liveMode != 0);

        WAVEFORMATEX* chosen = dialog.Format();
        if (!chosen || FormatsEqual(chosen, settings_.outputFormat.Get())) break;
        const FormatTrial trial = TryOutputFormat(dialog);
        if (trial == FormatTrial::kEngineBusy) {
            MessageBoxA(Window(), kEngineBusyText, kConvertFailedCaption, MB_OK);
        } else if (trial == FormatTrial::kRefused) {
            MessageBoxA(Window(), kConvertFailedText, kConvertFailedCaption, MB_OK);
            continue;  // the dialog again, on the rejected choice
        }
        break;
    }
    // Another card, back-end or rate, or capture stopped by a format test: capture anew.
    if (!recorder_.Engine() || recorder_.CapturesWith(ChosenCapture())) return;
    ShowFormatLabel();
    RestartCapture();
}

MainDialog::FormatTrial MainDialog::TryOutputFormat(OptionsDialog& dialog) {
    // The engine lets go of the current chain, for plain PCM, before the chosen one is tried.
    FormatBuffer pcm(maxFormatSize_ + kFormatHeaderBytes);
    if (!pcm.Empty()) {
        MakePcmFormat(pcm.Get(), kDefaultOutputRate);
        if (!recorder_.HandOverChain(recorder_.RecordingChain(pcm.Get(), true))) {
            // The old chain may still hold the codec: a test now could fail for that alone.
            // The format still named replaces the PCM chain the worker has not taken yet.
            recorder_.HandOverChain(recorder_.RecordingChain(settings_.outputFormat.Get(),
                                                             !settings_.storedFormatUnusable));
            return FormatTrial::kEngineBusy;
        }
    }
    std::unique_ptr<OutputSink> sink = recorder_.TestChain(dialog.Format());
    const bool accepted = sink != nullptr;
    if (accepted) {
        CopyFormat(settings_.outputFormat.Get(), dialog.Format());
        settings_.outputName = dialog.FormatName();
        settings_.storedFormatUnusable = false;
    } else {
        // Refused: the format still named is the one written once capture runs again.
        sink = recorder_.RecordingChain(settings_.outputFormat.Get(),
                                        !settings_.storedFormatUnusable);
    }
    recorder_.HandOverChain(std::move(sink));
    return accepted ? FormatTrial::kTaken : FormatTrial::kRefused;
}

void MainDialog::ApplySoundCard(const std::string& chosen) {
    settings_.sourceName = chosen;
    AttachPanelControls();
    panel_.Reset();
    if (mixers_.Count() > 0) ShowSourceName();
    // Unlike at start-up, a name no device has attaches nothing and is kept.
    AttachRecordingCard(mixers_, panel_, settings_.sourceName.c_str(), false);
    SourceChosen();
}

// ---- Folder, prefix, help ----

void MainDialog::SaveFilesTo() {
    // The folder dialog's new style needs COM in this thread's apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ScopeExit endCom([com] {
        if (SUCCEEDED(com)) CoUninitialize();
    });
    const std::string current = settings_.folder;
    BROWSEINFOA browse{};
    browse.hwndOwner = Window();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    if (ShellVersion() >= kShellWithNewDialog) {
        browse.ulFlags |= BIF_NEWDIALOGSTYLE;
        browse.lpszTitle = current.c_str();
    } else {
        browse.ulFlags |= BIF_STATUSTEXT;
    }
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(current.c_str());

    LPITEMIDLIST chosen = api_.browseForFolder(&browse);
    if (chosen) {
        ScopeExit freeChosen([chosen] { FreeItemList(chosen); });
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(chosen, path)) settings_.folder = path;
    }
    settings_.folder = WithoutTrailingBackslash(settings_.folder);
    SetWindowTextA(folderText_, settings_.folder.c_str());
}

void MainDialog::PrefixEdited() {
    char text[kPrefixCharacters + 1] = {};
    GetWindowTextA(prefixEdit_, text, sizeof text);
    TrackEngine* engine = recorder_.Engine();
    if (settings_.prefix != text && engine) {
        // The new prefix numbers its files from the start again, from its first track on.
        engine->ResetTrackNumber();
    }
    settings_.prefix = text;
}

void MainDialog::OpenHelpFile() {
    ShellExecuteA(Window(), "open", help_.helpFile.c_str(), "", ".", SW_SHOW);
}

void MainDialog::ShowRecordingControls() {
    ShellExecuteA(Window(), "open", kRecordingMixer, kRecordingMixerParameter, ".", SW_SHOW);
}

void MainDialog::ShowAbout() {
    AboutDialog about;
    RunLanguageDialog(IDD_ABOUT, GetActiveWindow(), about);
}
