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
#include "base/scope_exit.h"
#include "capture/capture_device.h"
#include "output/output_chain.h"
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

std::unique_ptr<CaptureDevice> MainDialog::CreateCapture() {
    return CreateCaptureDevice(settings_.useDirectSound != 0, settings_.sourceName.c_str(),
                               engine_.get(), settings_.mode78 != 0);
}

void MainDialog::StartCapture() {
    capture_ = CreateCapture();
    if (capture_) capture_->Start();
}

void MainDialog::StopCapture() {
    if (!capture_) return;
    capture_->StopAndWait();
    capture_.reset();
}

void MainDialog::RestartCapture(std::unique_ptr<OutputSink> newSink) {
    StopCapture();
    if (newSink) {
        engine_->ReplaceSink(newSink.release());
        Sleep(kSinkHandOverPause);
    }
    StartCapture();
    // The block-rate divisor may have changed with 78 mode.
    ApplySlider(gapSlider_);
    ApplySlider(discardSlider_);
}

// ---- Record button ----

void MainDialog::RecordButton() {
    if (!engine_) return;
    const int32_t wasIdle = captureFailed_ ? 1 : engine_->IsStandby();
    engine_->SetStandby(!wasIdle);
    recording_ = captureFailed_ ? 1 : !engine_->IsStandby();
    SetWindowTextA(recordButton_, LoadLanguageString(IDS_START + recording_).c_str());
    EnableNamingControls(recording_ == 0);
    engine_->SetNameFormat(TrackNameTemplate(settings_.folder, settings_.prefix).c_str());
    if (captureFailed_) {
        // Its thread has ended already.
        capture_.reset();
        StartCapture();
        captureFailed_ = 0;
    }
}

void MainDialog::EnableNamingControls(bool enable) {
    EnableWindow(folderText_, enable);
    EnableWindow(saveFilesTo_, enable);
    EnableWindow(prefixEdit_, enable);
    EnableWindow(Item(IDC_MAIN_OPTIONS), enable);
}

// ---- Close and shutdown ----

void MainDialog::Shutdown() {
    if (engine_) {
        // Capture first, so no block arrives at an engine that is going away; the engine's
        // worker then completes the open track before it ends.
        StopCapture();
        engine_->StopAndWait();
        engine_.reset();
    }
    SaveSettings(settings_);
}

void MainDialog::Close() {
    Shutdown();
    End(kMainDialogClosed);
}

// ---- Options ----

std::unique_ptr<OutputSink> MainDialog::BuildPreparedSink(WAVEFORMATEX* format, bool query,
                                                          int32_t& error) {
    error = 0;
    std::unique_ptr<OutputSink> sink =
        CreateOutputChain(captureFormat_.Get(), format, maxFormatSize_);
    if (!sink) {
        error = kSinkFailed;
        return nullptr;
    }
    if (query) error = sink->Query();
    if (error == 0) error = sink->Prepare(kCaptureBlockBytes);
    if (error != 0 && query) return nullptr;
    return sink;
}

void MainDialog::Options() {
    std::vector<std::string> soundCards;
    for (int32_t i = 0; i < mixers_.Count(); ++i) soundCards.emplace_back(mixers_.Item(i).Name());
    OptionsDialog dialog(settings_, std::move(soundCards), help_, ProbeDirectSound());
    const OptionsChoice& choice = dialog.Choice();
    bool changed = false;
    std::unique_ptr<OutputSink> acceptedSink;
    // Set while the format test has left capture stopped and no accepted sink restarts it.
    bool captureStopped = false;

    for (;;) {
        const INT_PTR ended = RunLanguageDialog(IDD_OPTIONS, GetActiveWindow(), dialog);
        if (choice.directSoundRuledOut) settings_.useDirectSound = 0;
        if (ended != IDOK) break;
        // A close that reached the window while the dialog was open has shut everything down.
        if (!engine_) return;

        if (choice.soundCard != settings_.sourceName) {
            changed = true;
            ApplySoundCard(choice.soundCard);
        }

        RegistryKey key;
        const bool keyOpen = OpenSettingsKey(key) == ERROR_SUCCESS;

        if ((choice.directSound != 0) != (settings_.useDirectSound != 0)) {
            changed = true;
            if (keyOpen) {
                settings_.useDirectSound = choice.directSound ? 1 : 0;
                key.SetDword(settings_.useDirectSound ? 0 : 1, kValueNoDirectSound);
            }
        }
        if ((choice.mode78 != 0) != (settings_.mode78 != 0)) {
            changed = true;
            settings_.mode78 = choice.mode78 ? 1 : 0;
        }
        if (choice.language != UiLanguage) {
            if (keyOpen) key.SetDword(choice.language, kValueLanguage);
            key.Close();
            // A stopped capture needs no restart: the window is built again.
            Shutdown();
            End(kMainDialogNewLanguage);
            return;
        }

        settings_.liveMode = choice.liveMode ? 1 : 0;
        engine_->liveMode = static_cast<int32_t>(settings_.liveMode);

        WAVEFORMATEX* chosen = dialog.Format();
        if (chosen && !FormatsEqual(chosen, settings_.outputFormat.Get())) {
            // The engine lets go of the old chain before the new one is tried.
            FormatBuffer pcm(maxFormatSize_ + kFormatHeaderBytes);
            int32_t ignored = 0;
            std::unique_ptr<OutputSink> pcmSink;
            if (!pcm.Empty()) {
                MakePcmFormat(pcm.Get(), kDefaultOutputRate);
                pcmSink = BuildPreparedSink(pcm.Get(), false, ignored);
            }
            RestartCapture(std::move(pcmSink));
            // Stopped by the program: the refresh must not take it for a failure.
            if (capture_) {
                capture_->stopping = 1;
                capture_->stopEvent.Set();
            }
            captureStopped = true;

            int32_t error = 0;
            std::unique_ptr<OutputSink> sink = BuildPreparedSink(chosen, true, error);
            if (!sink) {
                acceptedSink.reset();
                MessageBoxA(Window(), kConvertFailedText, kConvertFailedCaption, MB_OK);
                key.Close();
                continue;  // the dialog again, on the rejected choice
            }
            CopyFormat(settings_.outputFormat.Get(), chosen);
            settings_.outputName = dialog.FormatName();
            settings_.storedFormatUnusable = false;
            changed = true;
            acceptedSink = std::move(sink);
        }
        key.Close();
        break;
    }

    if (!engine_) return;
    if (captureStopped && !acceptedSink) {
        // The format test found nothing usable: capture runs on with the format still named,
        // rather than standing still on the interim PCM sink.
        acceptedSink = CreateRecordingChain(captureFormat_.Get(), settings_.outputFormat.Get(),
                                            maxFormatSize_, kCaptureBlockBytes,
                                            !settings_.storedFormatUnusable);
        changed = true;
    }
    if (changed) {
        ShowFormatLabel();
        RestartCapture(std::move(acceptedSink));
    }
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

    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
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
    if (settings_.prefix != text && engine_) {
        // The new prefix numbers its files from the start again.
        engine_->trackNumber = 0;
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
