// Starting processes.
#pragma once

#include "service_handle.h"
#include "shared_contract.h"

#include <cstdint>

// The PROCESS_INFORMATION record of a started process; all zero when none was started.
struct ProcessInformation {
    OsHandle process = nullptr;
    OsHandle thread = nullptr;
    std::uint32_t processId = 0;
};

class LauncherApi {
public:
    virtual ~LauncherApi() = default;
    // CreateProcess with no application name, the command line, nothing inherited, creation
    // flags 0, the caller's environment, the given current directory and a start-up record
    // that is zero except for its size. Fills processInfo only on success.
    virtual bool Launch(const char* commandLine, const char* currentDirectory,
                        ProcessInformation& processInfo) noexcept = 0;
    // Blocks until the process has ended, without a time limit; its exit code (0 when
    // it cannot be read).
    virtual std::uint32_t WaitUntilEnded(OsHandle process) noexcept = 0;
    virtual void Close(OsHandle handle) noexcept = 0;
    // Sleep: the pause before the outside tool is started.
    virtual void Pause(std::uint32_t milliseconds) noexcept = 0;
};

#if defined(_WIN32)
LauncherApi& WindowsLauncherApi() noexcept;
#endif
