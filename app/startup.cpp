// Start-up and the main-window cycle (see startup.h).
#include "app/startup.h"

#include <commctrl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/dialog.h"
#include "app/languages.h"
#include "app/main_dialog.h"
#include "capture/direct_sound_capture.h"
#include "resources/resource_ids.h"

namespace {

// The one place the cycle names the main window's class.
using MainWindow = MainDialog;

}  // namespace

int32_t StreamRateFromCommandLine(const char* commandLine) {
    if (!commandLine || commandLine[0] == '\0') return kCaptureRate;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(commandLine, &end, 10);
    if (end == commandLine || *end != '\0' || errno == ERANGE) return kCaptureRate;
    if (value < 1 || value > kMaxStreamRate) return kCaptureRate;
    return int32_t(value);
}

namespace {
bool DirectSoundUsable() { return ProbeDirectSound() == DirectSoundSupport::kAvailable; }
}  // namespace

SettingsSystem RecorderSettingsSystem() {
    SettingsSystem system;
    system.directSoundAvailable = &DirectSoundUsable;
    return system;
}

void LoadPassSettings(Settings& settings, const SettingsSystem& system) {
    LocaleSeparators separators;
    LoadSettings(settings, UiLanguage, separators, system);
    std::memcpy(DecimalSeparator, separators.decimal, kSeparatorBytes);
    std::memcpy(TimeSeparator, separators.time, kSeparatorBytes);
    UiLanguage = SupportedLanguageOrFallback(UiLanguage);
}

bool RunsAgain(INT_PTR result) { return result == kMainDialogNewLanguage; }

int RunMainWindowCycle(const std::function<INT_PTR()>& runPass) {
    int passes = 0;
    INT_PTR result = 0;
    do {
        result = runPass();
        ++passes;
    } while (RunsAgain(result));
    return passes;
}

INT_PTR RunMainWindowPass() {
    MainWindow window;
    LoadPassSettings(window.CurrentSettings());
    window.SetDecimalSeparator(DecimalSeparator);
    return RunLanguageDialog(IDD_MAIN_WINDOW, GetDesktopWindow(), window);
}

int RunGrooval(const char* commandLine) {
    UiLanguage = PrimaryLanguage(GetUserDefaultLangID());
    StreamRate = StreamRateFromCommandLine(commandLine);
    InitCommonControls();
    RunMainWindowCycle(RunMainWindowPass);
    return 0;
}
