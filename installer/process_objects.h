// The installer's two process objects: a running process found by its executable
// name, and a process the installer starts. Each owns the handles it receives.
#pragma once

#include "processes.h"

#include <cstdint>
#include <vector>

class RunningProcess {
public:
    // Holds every process in the snapshot whose executable file name equals
    // executableName (ASCII case ignored), in every session it may open. A snapshot that
    // cannot be taken shows the installer's error box; the object then holds no process.
    explicit RunningProcess(const char* executableName) noexcept;

    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;
    RunningProcess(RunningProcess&&) noexcept = default;
    RunningProcess& operator=(RunningProcess&&) noexcept = default;

    // True when a held process's exit code can be read and is STILL_ACTIVE.
    [[nodiscard]] bool IsStillActive() const noexcept;
    // TerminateProcess with exit code 0 on each held process still active; the end
    // comes asynchronously. True when every call succeeded.
    bool Terminate() noexcept;
    // True when every held process has ended, each within the time given.
    [[nodiscard]] bool WaitForEnd(std::uint32_t milliseconds) noexcept;

private:
    friend struct RunningProcessPeer;
    [[nodiscard]] bool IsActive(const ProcessHandle& process) const noexcept;
    ProcessesApi* api_;
    std::vector<ProcessHandle> processes_;
};

// A process that has ended with exit code 259 reads as still running and cannot be terminated
// again, so the tries are bounded: at most this many, each followed by a wait for the ends.
constexpr int kTerminateAttempts = 5;
constexpr std::uint32_t kTerminateWaitMilliseconds = 1000;

// Terminates every held process, then waits for their ends, within the bound above.
void StopProcess(RunningProcess& process) noexcept;

// SeDebugPrivilege on until the result goes, to open other users' processes; the step is logged
// ("done" also when it was on already).
[[nodiscard]] DebugPrivilege EnableDebugPrivilege(ProcessesApi& api) noexcept;

class LaunchedProcess {
public:
    LaunchedProcess() noexcept;
    ~LaunchedProcess() { Release(); }

    LaunchedProcess(const LaunchedProcess&) = delete;
    LaunchedProcess& operator=(const LaunchedProcess&) = delete;
    LaunchedProcess(LaunchedProcess&&) noexcept = default;
    LaunchedProcess& operator=(LaunchedProcess&&) noexcept = default;

    // 1 when the process was created, 0 when not. With wait, blocks until it has ended.
    // Handles from an earlier start are closed first.
    int Start(const char* commandLine, const char* currentDirectory, bool wait,
              const LaunchOptions& options = {}) noexcept;
    // The exit code of a process waited for; 0 for one not started or not waited for.
    [[nodiscard]] std::uint32_t ExitCode() const noexcept { return exitCode_; }
    // Closes the process and thread handles; the process itself runs on.
    void Release() noexcept;

private:
    friend struct LaunchedProcessPeer;
    ProcessesApi* api_;
    // The started process's record, each handle closed through its owner.
    ProcessHandle process_;
    ProcessHandle thread_;
    std::uint32_t exitCode_ = 0;
};
