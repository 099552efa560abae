// The processes the installer finds and stops (the detectors) and those it starts.
#pragma once

#include "service_handle.h"
#include "shared_contract.h"

#include <cstdint>

// What the installer reads of one PROCESSENTRY32.
struct ProcessEntry {
    std::uint32_t processId = 0;
    char exeFile[kMaxPath] = {};  // NUL-terminated file name, no folder
};

constexpr std::uint32_t kStillActive = 259;  // STILL_ACTIVE

// The handles CreateProcess gives a started process; none when none was started.
struct ProcessInformation {
    OsHandle process = nullptr;
    OsHandle thread = nullptr;
};

struct LaunchOptions {
    const char* application = nullptr;  // its full path; null: the command line's first word
    bool noWindow = false;              // CREATE_NO_WINDOW: no console on the user's desktop
    OsHandle userToken = nullptr;       // a primary token from ShellUserToken: runs as that user
    bool inSession = false;             // userToken is SessionUserToken's: started on that session's desktop
};

class ProcessesApi {
public:
    virtual ~ProcessesApi() = default;
    // CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0); no handle when it fails.
    virtual OsHandle TakeSnapshot() noexcept = 0;
    // SeDebugPrivilege on (AdjustTokenPrivileges), to open other users' processes: the token that turns
    // it off again; none when it was on already (SYSTEM; error 0) or is lacking (ERROR_NOT_ALL_ASSIGNED).
    virtual OsHandle EnableDebugPrivilege() noexcept = 0;
    // Turns SeDebugPrivilege off again, and closes the token; false when it may still be on.
    virtual bool DisableDebugPrivilege(OsHandle token) noexcept = 0;
    // DisableDebugPrivilege, its failure logged: how DebugPrivilege lets go.
    void RestoreDebugPrivilege(OsHandle token) noexcept;
    // Process32First when first, else Process32Next: false past the last process.
    virtual bool ReadProcess(OsHandle snapshot, bool first, ProcessEntry& entry) noexcept = 0;
    // OpenProcess with PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
    // no handle when it fails.
    virtual OsHandle OpenForTermination(std::uint32_t processId) noexcept = 0;
    // QueryFullProcessImageName of an open process: its executable's full path.
    virtual bool ImageName(OsHandle process, char (&path)[kMaxPath]) noexcept = 0;
    virtual bool ReadExitCode(OsHandle process, std::uint32_t& exitCode) noexcept = 0;
    virtual bool TerminateWithCode(OsHandle process, std::uint32_t exitCode) noexcept = 0;
    // True when the process has ended within the time given.
    virtual bool WaitForEnd(OsHandle process, std::uint32_t milliseconds) noexcept = 0;
    // Closes a snapshot, or a process, thread or token handle.
    virtual void Close(OsHandle handle) noexcept = 0;

    // A primary token of the session shell's user (GetShellWindow's process); none when a call fails.
    virtual OsHandle ShellUserToken() noexcept = 0;
    // WTSQueryUserToken: a primary token of the session's user; none without one (ERROR_NO_TOKEN).
    virtual OsHandle SessionUserToken(std::uint32_t session) noexcept = 0;
    // TokenElevation of token; of the installer's own token when it is null.
    virtual bool TokenElevated(OsHandle token) noexcept = 0;
    // GetFileAttributes: the file is there.
    virtual bool ProgramExists(const char* path) noexcept = 0;

    // CreateProcess; with a user token CreateProcessWithTokenW, in a session CreateProcessAsUserW on
    // winsta0\default, each with the user's environment. Nothing inherited, the given current directory,
    // a start-up record zero but for its size. Fills processInfo only on success.
    virtual bool Launch(const char* commandLine, const char* currentDirectory, const LaunchOptions& options,
                        ProcessInformation& processInfo) noexcept = 0;
    // Blocks until the process has ended, without a time limit; its exit code (0 when unreadable).
    virtual std::uint32_t WaitUntilEnded(OsHandle process) noexcept = 0;
    // Sleep: the pauses between tries and before the outside tool is started.
    virtual void Pause(std::uint32_t milliseconds) noexcept = 0;
};

// A process, thread, token or snapshot handle, closed through the seam that gave it.
using ProcessHandle = OwnedHandle<ProcessesApi, &ProcessesApi::Close>;
// SeDebugPrivilege, on while this lives: every program the installer starts inherits the token's state.
using DebugPrivilege = OwnedHandle<ProcessesApi, &ProcessesApi::RestoreDebugPrivilege>;

#if defined(_WIN32)
ProcessesApi& WindowsProcessesApi() noexcept;
#endif
