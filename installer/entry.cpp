#include "entry.h"

#include "ascii_case.h"
#include "command_lines.h"
#include "platform.h"
#include "process_objects.h"
#include "run_context.h"

#include <cstring>

InstallerState installerState;

InstallerPlatform& Platform() noexcept {
    static InstallerPlatform platform;
    return platform;
}

void SetUpProgramFilesFolder() noexcept {
    char (&folder)[kMaxPath] = installerState.programFilesFolder;
    if (!Platform().context->ProgramFilesFolder(folder)) folder[0] = '\0';
}

bool FindSourceFolder(char (&folder)[kMaxPath]) noexcept {
    RunContextApi& context = *Platform().context;
    std::uint32_t length = context.ModuleFileName(folder);
    // A count equal to the buffer size means a path cut short, whose folder would be another one.
    if (length == 0 || length >= kMaxPath) {
        folder[0] = '\0';
        return false;
    }
    context.RemoveFileSpec(folder);
    return true;
}

bool RequestsUninstall(const char* commandLineTail) noexcept {
    return commandLineTail && std::strstr(commandLineTail, "/U") != nullptr;
}

namespace {

void RemoveObsoleteRunValue() noexcept {
    RegistryApi& registry = *Platform().registry;
    const RegistryKey runKey = CreateKey(registry, kRunKeyPath);
    if (runKey.IsValid()) (void)registry.DeleteValue(runKey.Get(), kObsoleteRunValue);
}

void RunSequence(char* commandLineTail, const InstallerSequences& sequences) noexcept {
    InstallerState& state = installerState;
    {
        // Every detector, in every session: one left running keeps HIDWATCH.EXE in use.
        // Their handles close before the copies.
        RunningProcess detectors(kDetectorProcessName);
        StopProcess(detectors);
    }
    (void)FindSourceFolder(state.sourceFolder);
    RemoveObsoleteRunValue();
    state.installerKeyHandle = CreateKey(*Platform().registry, kInstallerKeyPath);
    state.outcome.keyOpened = state.installerKeyHandle.IsValid();
    LogStep(state.outcome.keyOpened, "open installer key");
    if (!state.outcome.keyOpened) return;
    UpperCaseAscii(commandLineTail);
    state.outcome.uninstalling = RequestsUninstall(commandLineTail);
    (state.outcome.uninstalling ? sequences.uninstall : sequences.install)(commandLineTail);
    // Closed here unless the sequence closed it before deleting the key.
    state.installerKeyHandle.Reset();
}

}  // namespace

int RunInstallerEntry(char* commandLineTail, const InstallerSequences& sequences) noexcept {
    char emptyTail[1] = {'\0'};
    if (!commandLineTail) commandLineTail = emptyTail;
    InstallerState& state = installerState;
    state.outcome = RunOutcome{};
    // Two engines at once leave a half-made installation: one run at a time, before anything changes.
    // A mutex abandoned by a run that was killed is taken: this run repairs what that one left.
    OsHandle mutex = nullptr;
    const std::uint32_t wait = Platform().context->WaitForInstallLock(kInstallLockWaitMilliseconds, mutex);
    const InstallLock lock(*Platform().context, mutex);
    state.outcome.otherRunActive = wait != 0 && wait != kWaitAbandoned;
    if (state.outcome.otherRunActive) {
        OpenLog(commandLineTail, "another installation is in progress, exit code 1618");
        return ExitCodeFor(state.outcome);
    }
    OpenLog(commandLineTail);
    state.outcome.folderKnown = PathInFolder(state.installFolder, state.programFilesFolder, "OrvaPanels");
    if (!state.outcome.folderKnown) LogLine("nothing done: no Program Files folder, or one too long");
    if (state.outcome.folderKnown) RunSequence(commandLineTail, sequences);
    const int exitCode = ExitCodeFor(state.outcome);
    LogLine("exit code %d", exitCode);
    return exitCode;
}
