// OrvaSetup's Windows entry: no window, no message loop.
#include "entry.h"
#include "platform.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLineTail, int) {
    RestrictDllSearch();
    UseWindowsPlatform();
    SetUpProgramFilesFolder();
    return RunInstallerEntry(commandLineTail);
}
