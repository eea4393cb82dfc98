// Grooval's entry point. The crash reporter installs itself before this runs (it is linked
// into the program as an object library); everything else is the start-up cycle.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return RunGrooval(commandLine);
}
