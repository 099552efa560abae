// The detector's application object and its start-up sequence.
#pragma once

#include <windows.h>

#include "installer_key.h"

class DetectorApp {
public:
    DetectorApp() noexcept = default;
    DetectorApp(const DetectorApp&) = delete;
    DetectorApp& operator=(const DetectorApp&) = delete;

    // The start-up sequence: builds and runs the hidden dialog. Returns false
    // once the dialog has ended; no message loop of the application follows.
    bool InitInstance(HINSTANCE instance) noexcept;

    // The executable's file name without its extension: the caption of the one message box.
    const char* GetAppName() noexcept;

private:
    char appName_[kMaxPath] = {};
};

extern DetectorApp theApp;
