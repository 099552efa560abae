#include "uninstall_sequence.h"

#include "command_lines.h"
#include "entry.h"
#include "file_system.h"
#include "platform.h"
#include "process_objects.h"
#include "registry.h"
#include "sequence_steps.h"
#include "shell_folder.h"

namespace {

void DeleteFromInstallFolder(const char* name) noexcept {
    char path[kMaxPath];
    if (PathInFolder(path, installerState.installFolder, name)) (void)Platform().fileSystem->RemoveFile(path);
}

void DeleteDetectorRunValue() noexcept {
    RegistryApi& registry = *Platform().registry;
    const RegistryKey runKey = OpenKey(registry, kRunKeyPath, KeyAccess::AllAccess);
    if (runKey.IsValid()) (void)registry.DeleteValue(runKey.Get(), kDetectorRunValue);
}

// Windows keeps a folder that is some process's current directory, the installer's
// own included: the installer moves to its source folder, or else to the system
// folder, before it removes the installation folder.
void LeaveInstallFolder() noexcept {
    FileSystemApi& files = *Platform().fileSystem;
    if (IsKnownFolder(installerState.sourceFolder) && files.SetCurrentFolder(installerState.sourceFolder)) return;
    char systemFolder[kMaxPath];
    if (Platform().shellFolder->SystemFolder(systemFolder)) (void)files.SetCurrentFolder(systemFolder);
}

// A helper of the script that has just ended can hold the folder as its current
// directory for a moment longer (under Wine, the console host the interpreter
// started), so a held folder gets a few more tries.
void RemoveInstallFolder() noexcept {
    FileSystemApi& files = *Platform().fileSystem;
    for (int attempt = 1;; ++attempt) {
        const std::uint32_t error = files.RemoveFolder(installerState.installFolder);
        if (error == kErrorNone || !RetriesFolderRemoval(error, attempt)) return;
        Platform().launcher->Pause(kFolderRemovalPauseMilliseconds);
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

    char engineCommand[kMaxPath];
    LaunchedProcess engine;
    if (EngineCommand(engineCommand, commandLine) && IsKnownFolder(state.installFolder)) {
        engine.Start(engineCommand, state.installFolder, true);
    }
    script.Reset();

    if (DriverServiceExists()) {
        // The entry stopped the detector; the driver stays, so the detector runs again.
        (void)StartDetector();
        return 0;
    }

    DeleteInstallerKey();
    DeleteDetectorRunValue();
    LaunchedProcess scriptRun = RunShortcutScript("UNINSTALL");
    DeleteFromInstallFolder(kSettingsFileName);
    DeleteFromInstallFolder(kDetectorFileName);
    if (IsKnownFolder(state.installFolder)) {
        LeaveInstallFolder();
        RemoveInstallFolder();
    }
    return 1;
}
