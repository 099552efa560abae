// The process list and the handles opened on the processes found in it.
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

class ProcessSnapshotApi {
public:
    virtual ~ProcessSnapshotApi() = default;
    // CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0); no handle when it fails.
    virtual OsHandle TakeSnapshot() noexcept = 0;
    // Enables SeDebugPrivilege, which an elevated administrator needs to open other users'
    // processes (SYSTEM has it on); false when the token lacks it (ERROR_NOT_ALL_ASSIGNED).
    virtual bool EnableDebugPrivilege() noexcept = 0;
    virtual bool FirstProcess(OsHandle snapshot, ProcessEntry& entry) noexcept = 0;
    virtual bool NextProcess(OsHandle snapshot, ProcessEntry& entry) noexcept = 0;
    // OpenProcess with PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
    // no handle when it fails.
    virtual OsHandle OpenForTermination(std::uint32_t processId) noexcept = 0;
    virtual bool ReadExitCode(OsHandle process, std::uint32_t& exitCode) noexcept = 0;
    virtual bool TerminateWithCode(OsHandle process, std::uint32_t exitCode) noexcept = 0;
    // True when the process has ended within the time given.
    virtual bool WaitForEnd(OsHandle process, std::uint32_t milliseconds) noexcept = 0;
    // Closes a snapshot or a process handle.
    virtual void Close(OsHandle handle) noexcept = 0;
};

#if defined(_WIN32)
ProcessSnapshotApi& WindowsProcessSnapshotApi() noexcept;
#endif
