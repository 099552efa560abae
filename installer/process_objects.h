// The installer's two process objects: a running process found by its executable
// name, and a process the installer starts. Each owns the handles it receives.
#pragma once

#include "launcher.h"
#include "service_handle.h"
#include "process_snapshot.h"

#include <cstdint>

class RunningProcess {
public:
    // Holds the last process in the snapshot whose executable file name equals
    // executableName (ASCII case ignored). A snapshot that cannot be taken shows the
    // installer's error box; the object then holds no process.
    explicit RunningProcess(const char* executableName) noexcept;

    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;
    RunningProcess(RunningProcess&&) noexcept = default;
    RunningProcess& operator=(RunningProcess&&) noexcept = default;

    // True only when the exit code can be read and is STILL_ACTIVE.
    [[nodiscard]] bool IsStillActive() const noexcept;
    // TerminateProcess with exit code 0; the end comes asynchronously.
    bool Terminate() noexcept;
    // True when the process has ended within the time given.
    [[nodiscard]] bool WaitForEnd(std::uint32_t milliseconds) noexcept;
    void Release() noexcept { processHandle.Reset(); }

private:
    friend struct RunningProcessPeer;
    using ProcessHandle = OwnedHandle<ProcessSnapshotApi, &ProcessSnapshotApi::Close>;
    ProcessSnapshotApi* api_;
    ProcessHandle processHandle;
};

// A process that has ended with exit code 259 reads as still running and cannot be
// terminated again, so the tries are bounded: at most this many, each followed by a
// wait for the end.
constexpr int kTerminateAttempts = 5;
constexpr std::uint32_t kTerminateWaitMilliseconds = 1000;

// Terminates the held process and waits for its end, within the bound above.
void StopProcess(RunningProcess& process) noexcept;

class LaunchedProcess {
public:
    LaunchedProcess() noexcept;
    // Runs Start and drops its result.
    LaunchedProcess(const char* commandLine, const char* currentDirectory, bool wait) noexcept;
    ~LaunchedProcess() { Release(); }

    LaunchedProcess(const LaunchedProcess&) = delete;
    LaunchedProcess& operator=(const LaunchedProcess&) = delete;
    LaunchedProcess(LaunchedProcess&&) noexcept = default;
    LaunchedProcess& operator=(LaunchedProcess&&) noexcept = default;

    // 1 when the process was created, 0 when not. With wait, blocks until it has ended.
    // Handles from an earlier start are closed first.
    int Start(const char* commandLine, const char* currentDirectory, bool wait) noexcept;
    // Closes the process and thread handles; the process itself runs on.
    void Release() noexcept;

private:
    friend struct LaunchedProcessPeer;
    using Handle = OwnedHandle<LauncherApi, &LauncherApi::Close>;
    LauncherApi* api_;
    // The started process's record, each handle closed through its owner.
    Handle process_;
    Handle thread_;
    std::uint32_t processId_ = 0;
};
