// Start-up: the rate on the command line, the interface language, and the main-window cycle
// that builds the window again whenever the user picks another language.
#pragma once

#include <windows.h>

#include <climits>
#include <cstdint>
#include <functional>

#include "engine/stream_format.h"
#include "settings/settings_store.h"

// The largest rate whose byte rate, 4 bytes a frame, still fits StreamRate's type: larger
// rates would wrap the format records' and the engine's byte arithmetic (1073741824 wraps to 0).
constexpr int32_t kMaxStreamRate = INT32_MAX / kCaptureFrameBytes;  // 536870911

// The rate a command line names: a whole decimal number (leading blanks and a sign allowed)
// from 1 to kMaxStreamRate. Anything else, an empty line included, gives 44100.
int32_t StreamRateFromCommandLine(const char* commandLine);

// The user's settings key, with the DirectSound probe of the capture side.
SettingsSystem RecorderSettingsSystem();

// The settings load of one pass: a stored "Language" replaces UiLanguage, the separators are
// fetched for that language into DecimalSeparator and TimeSeparator, and only then does an
// unsupported language become English.
// With no stored choice, DirectSound capture is used when ProbeDirectSound finds it.
void LoadPassSettings(Settings& settings, const SettingsSystem& system = RecorderSettingsSystem());

// Whether the cycle builds the main window again after it ended with `result`: only for a new
// interface language. Close, a failure to create the window and anything else end it.
bool RunsAgain(INT_PTR result);

// Runs passes until one ends with anything but a new language; returns the number of passes.
int RunMainWindowCycle(const std::function<INT_PTR()>& runPass);

// One pass: builds the main window object, loads its settings, runs the window from its
// template in the interface language and destroys the object. Returns the window's result.
INT_PTR RunMainWindowPass();

// The whole program after the crash reporter: language, rate, common controls, the cycle.
// Always 0, the process exit code.
int RunGrooval(const char* commandLine);
