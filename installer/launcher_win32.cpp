#include "launcher.h"

#include "bounded_text.h"
#include "unique_handle.h"

#include <windows.h>

namespace {

class WindowsLauncher final : public LauncherApi {
public:
    bool Launch(const char* commandLine, const char* currentDirectory,
                ProcessInformation& processInfo) noexcept override {
        // CreateProcess may write into the command line, so it gets a copy; one that
        // does not fit is not started rather than started cut short.
        char writableCommandLine[kMaxPath];
        if (!CopyWhole(writableCommandLine, commandLine)) return false;
        STARTUPINFOA startupInfo{};
        startupInfo.cb = sizeof(startupInfo);
        PROCESS_INFORMATION started{};
        if (!CreateProcessA(nullptr, writableCommandLine, nullptr, nullptr, FALSE, 0, nullptr,
                            currentDirectory, &startupInfo, &started)) {
            return false;
        }
        processInfo.process = started.hProcess;
        processInfo.thread = started.hThread;
        processInfo.processId = started.dwProcessId;
        return true;
    }
    std::uint32_t WaitUntilEnded(OsHandle process) noexcept override {
        DWORD exitCode = 0;
        WaitForSingleObject(process, INFINITE);
        return GetExitCodeProcess(process, &exitCode) ? exitCode : 0;
    }
    void Close(OsHandle handle) noexcept override {
        CloseKeepingLastError(static_cast<HANDLE>(handle), CloseHandle);
    }
    void Pause(std::uint32_t milliseconds) noexcept override { Sleep(milliseconds); }
};

}  // namespace

LauncherApi& WindowsLauncherApi() noexcept {
    static WindowsLauncher launcher;
    return launcher;
}
