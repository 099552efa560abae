#include "uninstall_sequence.h"

#include "command_lines.h"
#include "entry.h"
#include "file_system.h"
#include "platform.h"
#include "process_objects.h"
#include "registry.h"
#include "run_context.h"
#include "sequence_steps.h"

namespace {

// With a restart pending, what cannot go now goes at the restart.
void DeleteFromInstallFolder(const char* name, bool restartPending) noexcept {
    char path[kMaxPath];
    if (!PathInFolder(path, installerState.installFolder, name)) return;
    FileSystemApi& files = *Platform().fileSystem;
    files.ClearReadOnlyAndHidden(path);
    const bool deleted = files.RemoveFile(path);
    LogStep(deleted, "delete %s", path);
    if (!deleted && restartPending) LogStep(files.RemoveAtRestart(path), "delete %s at the restart", path);
}

// The copies of a save that died with the detector; the stopped detector deletes none.
void DeleteLeftoverTemporaries() noexcept {
    char pattern[kMaxPath];
    if (!PathInFolder(pattern, installerState.installFolder, kTemporaryPattern)) return;
    Platform().fileSystem->ForEachFile(pattern, [](const char* name) {
        if (IsLeftoverTemporaryName(name)) {
            DeleteFromInstallFolder(name, EngineAsksForRestart(installerState.outcome.engineExitCode));
        }
    });
}

void DeleteDetectorRunValue() noexcept {
    RegistryApi& registry = *Platform().registry;
    const RegistryKey runKey = OpenKey(registry, kRunKeyPath, KeyAccess::AllAccess);
    if (runKey.IsValid()) LogStep(registry.DeleteValue(runKey.Get(), kDetectorRunValue), "delete the Run value");
}

// Windows keeps a folder that is some process's current directory, the installer's own included:
// the installer moves to its source folder, or else to the system folder, before removing it.
void LeaveInstallFolder() noexcept {
    FileSystemApi& files = *Platform().fileSystem;
    if (IsKnownFolder(installerState.sourceFolder) && files.SetCurrentFolder(installerState.sourceFolder)) return;
    char systemFolder[kMaxPath];
    if (Platform().context->SystemFolder(systemFolder)) (void)files.SetCurrentFolder(systemFolder);
}

// A helper of the script that has just ended (under Wine, the console host the interpreter started)
// can hold the folder as its current directory a moment longer, so a held folder gets a few more tries.
void RemoveInstallFolder(bool restartPending) noexcept {
    FileSystemApi& files = *Platform().fileSystem;
    const char* folder = installerState.installFolder;
    for (int attempt = 1;; ++attempt) {
        const std::uint32_t error = files.RemoveFolder(folder);
        if (error == kErrorNone || !RetriesFolderRemoval(error, attempt)) {
            LogStep(error == kErrorNone, "remove folder %s", folder);
            if (error != kErrorNone && restartPending) {
                LogStep(files.RemoveAtRestart(folder), "remove folder %s at the restart", folder);
            }
            return;
        }
        Platform().processes->Pause(kFolderRemovalPauseMilliseconds);
    }
}

}  // namespace

bool RetriesFolderRemoval(std::uint32_t error, int attemptsMade) noexcept {
    if (attemptsMade >= kFolderRemovalAttempts) return false;
    return error == kErrorSharingViolation || error == kErrorAccessDenied;
}

int Uninstall(const char* commandLine) noexcept {
    InstallerState& state = installerState;
    FileSystemApi& files = *Platform().fileSystem;

    // Held without delete sharing while the engine runs, so that the engine cannot
    // remove the script that the removal below still runs.
    HeldFile script;
    char scriptPath[kMaxPath];
    if (PathInFolder(scriptPath, state.installFolder, kScriptFileName)) {
        script.Reset(files, files.OpenHeldAgainstDeletion(scriptPath));
    }
    if (IsKnownFolder(state.installFolder)) (void)files.SetCurrentFolder(state.installFolder);

    LaunchedProcess engine = RunEngine(commandLine, state.installFolder);
    script.Reset();

    // An engine that asks for a restart has removed the driver up to it, though its service key
    // is still there: a detector started now or at the next log-on would run without its driver.
    const bool restartPending = EngineAsksForRestart(state.outcome.engineExitCode);
    if (DriverServiceExists() && !restartPending) {
        // The entry stopped the detector; the driver stays, so the detector runs again.
        (void)StartDetector(false);
        return 0;
    }

    DeleteInstallerKey();
    DeleteDetectorRunValue();
    LaunchedProcess scriptRun = RunShortcutScript("UNINSTALL");
    DeleteFromInstallFolder(kSettingsFileName, restartPending);
    DeleteFromInstallFolder(kDetectorFileName, restartPending);
    DeleteLeftoverTemporaries();
    if (IsKnownFolder(state.installFolder)) {
        LeaveInstallFolder();
        RemoveInstallFolder(restartPending);
    }
    return 1;
}
