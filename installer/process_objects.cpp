#include "process_objects.h"

#include "ascii_case.h"
#include "message_box.h"
#include "platform.h"


RunningProcess::RunningProcess(const char* executableName) noexcept
    : api_(Platform().processes) {
    using Snapshot = OwnedHandle<ProcessSnapshotApi, &ProcessSnapshotApi::Close>;
    Snapshot snapshot(*api_, api_->TakeSnapshot());
    if (!snapshot.IsValid()) {
        Platform().messageBox->ShowError("Error opening process enumeration...");
        return;
    }
    ProcessEntry entry;
    for (bool more = api_->FirstProcess(snapshot.Get(), entry); more;
         more = api_->NextProcess(snapshot.Get(), entry)) {
        if (EqualsIgnoringAsciiCase(entry.exeFile, executableName)) {
            // A later match replaces the held one, whose handle is closed at once.
            processHandle.Reset();
            processHandle.Reset(*api_, api_->OpenForTermination(entry.processId));
        }
    }
}

bool RunningProcess::IsStillActive() const noexcept {
    std::uint32_t exitCode = 0;
    return processHandle.IsValid() && api_->ReadExitCode(processHandle.Get(), exitCode) &&
           exitCode == kStillActive;
}

bool RunningProcess::Terminate() noexcept {
    return processHandle.IsValid() && api_->TerminateWithCode(processHandle.Get(), 0);
}

bool RunningProcess::WaitForEnd(std::uint32_t milliseconds) noexcept {
    return processHandle.IsValid() && api_->WaitForEnd(processHandle.Get(), milliseconds);
}

void StopProcess(RunningProcess& process) noexcept {
    for (int attempt = 0; attempt < kTerminateAttempts && process.IsStillActive(); ++attempt) {
        process.Terminate();
        // Once the process object is signalled it has ended, whatever its exit code says.
        if (process.WaitForEnd(kTerminateWaitMilliseconds)) return;
    }
}

LaunchedProcess::LaunchedProcess() noexcept : api_(Platform().launcher) {}

LaunchedProcess::LaunchedProcess(const char* commandLine, const char* currentDirectory,
                                 bool wait) noexcept
    : LaunchedProcess() {
    Start(commandLine, currentDirectory, wait);
}

int LaunchedProcess::Start(const char* commandLine, const char* currentDirectory, bool wait) noexcept {
    Release();
    ProcessInformation started;
    if (!api_->Launch(commandLine, currentDirectory, started)) return 0;
    process_.Reset(*api_, started.process);
    thread_.Reset(*api_, started.thread);
    processId_ = started.processId;
    if (wait) api_->WaitUntilEnded(process_.Get());
    return 1;
}

void LaunchedProcess::Release() noexcept {
    process_.Reset();
    thread_.Reset();
    processId_ = 0;
}
