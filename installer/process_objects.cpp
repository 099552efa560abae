#include "process_objects.h"

#include "ascii_case.h"
#include "platform.h"
#include "run_context.h"

#include <algorithm>
#include <cstring>
#include <new>

RunningProcess::RunningProcess(const char* executableName) noexcept
    : api_(Platform().processes) {
    const ProcessHandle snapshot(*api_, api_->TakeSnapshot());
    if (!snapshot.IsValid()) {
        ShowError("Error opening process enumeration...");
        return;
    }
    const DebugPrivilege privilege = EnableDebugPrivilege(*api_);
    ProcessEntry entry;
    for (bool first = true; api_->ReadProcess(snapshot.Get(), first, entry); first = false) {
        if (!EqualsIgnoringAsciiCase(entry.exeFile, executableName)) continue;
        ProcessHandle process(*api_, api_->OpenForTermination(entry.processId));
        LogStep(process.IsValid(), "open %s, process %u", entry.exeFile, static_cast<unsigned>(entry.processId));
        char image[kMaxPath] = "";
        const bool read = process.IsValid() && api_->ImageName(process.Get(), image);
        const char* slash = std::strrchr(image, '\\');
        // Windows soon reuses an ended process's id: one named otherwise now, or unreadable, is left alone.
        const bool named = read && EqualsIgnoringAsciiCase(slash ? slash + 1 : image, executableName);
        if (process.IsValid() && !named) LogLine("process %u now [%s]: left alone", entry.processId, image);
        try {
            if (named) processes_.push_back(std::move(process));
        } catch (const std::bad_alloc&) {
            // Without memory for more, the ones held are still stopped.
        }
    }
}

bool RunningProcess::IsActive(const ProcessHandle& process) const noexcept {
    std::uint32_t exitCode = 0;
    return api_->ReadExitCode(process.Get(), exitCode) && exitCode == kStillActive;
}

bool RunningProcess::IsStillActive() const noexcept {
    return std::any_of(processes_.begin(), processes_.end(), [this](const ProcessHandle& process) { return IsActive(process); });
}

bool RunningProcess::Terminate() noexcept {
    bool all = true;
    for (const ProcessHandle& process : processes_) all = (!IsActive(process) || api_->TerminateWithCode(process.Get(), 0)) && all;
    return all;
}

bool RunningProcess::WaitForEnd(std::uint32_t milliseconds) noexcept {
    bool all = true;
    for (const ProcessHandle& process : processes_) all = api_->WaitForEnd(process.Get(), milliseconds) && all;
    return all;
}

void StopProcess(RunningProcess& process) noexcept {
    for (int attempt = 0; attempt < kTerminateAttempts && process.IsStillActive(); ++attempt) {
        process.Terminate();
        // Once the process objects are signalled they have ended, whatever their exit codes say.
        if (process.WaitForEnd(kTerminateWaitMilliseconds)) return;
    }
}

void ProcessesApi::RestoreDebugPrivilege(OsHandle token) noexcept {
    if (!DisableDebugPrivilege(token)) LogStep(false, "debug privilege off");
}

DebugPrivilege EnableDebugPrivilege(ProcessesApi& api) noexcept {
    DebugPrivilege privilege(api, api.EnableDebugPrivilege());
    LogStep(privilege.IsValid() || Platform().context->LastError() == kErrorNone, "debug privilege");
    return privilege;
}

LaunchedProcess::LaunchedProcess() noexcept : api_(Platform().processes) {}

int LaunchedProcess::Start(const char* commandLine, const char* currentDirectory, bool wait,
                           const LaunchOptions& options) noexcept {
    Release();
    ProcessInformation started;
    if (!api_->Launch(commandLine, currentDirectory, options, started)) return 0;
    process_.Reset(*api_, started.process);
    thread_.Reset(*api_, started.thread);
    if (wait) exitCode_ = api_->WaitUntilEnded(process_.Get());
    return 1;
}

void LaunchedProcess::Release() noexcept {
    process_.Reset();
    thread_.Reset();
    exitCode_ = 0;
}
