#include "install_sequence.h"

#include "command_lines.h"
#include "entry.h"
#include "file_system.h"
#include "pending_deletions.h"
#include "platform.h"
#include "process_objects.h"
#include "registry.h"
#include "run_context.h"
#include "sequence_steps.h"

namespace {

constexpr const char* kToolExecutable = "Tesvo.exe";

// Copies one shipped file from the installer's folder into the installation folder,
// trying again while a file that was in use is let go; false when it is not in place.
bool CopyIntoInstallFolder(const char* name, int attempts) noexcept {
    char source[kMaxPath];
    char target[kMaxPath];
    if (!PathInFolder(source, installerState.sourceFolder, name) ||
        !PathInFolder(target, installerState.installFolder, name)) {
        LogLine("copy %s: no path for it", name);
        return false;
    }
    FileSystemApi& files = *Platform().fileSystem;
    files.ClearReadOnlyAndHidden(target);
    for (int attempt = 1;; ++attempt) {
        const bool copied = files.CopyFileReplacing(source, target);
        if (copied || attempt >= attempts) {
            LogStep(copied, "copy %s to %s", source, target);
            if (copied) files.ClearReadOnlyAndHidden(target);
            return copied;
        }
        Platform().processes->Pause(kCopyRetryPauseMilliseconds);
    }
}

void WriteInstallerValue(const char* name, const char* data) noexcept {
    LogStep(Platform().registry->SetStringValue(installerState.installerKeyHandle.Get(), name, data), "value %s=%s",
            name, data);
}

void WriteInstallerPath(const char* name, const char* fileName) noexcept {
    char path[kMaxPath];
    if (PathInFolder(path, installerState.installFolder, fileName)) WriteInstallerValue(name, path);
}

// Registers the detector in the Run key and starts it; neither when the key cannot
// be opened or the command does not fit.
void RegisterAndStartDetector() noexcept {
    RegistryApi& registry = *Platform().registry;
    RegistryKey runKey = OpenKey(registry, kRunKeyPath, KeyAccess::AllAccess);
    if (!runKey.IsValid()) {
        LogStep(false, "open the Run key");
        return;
    }
    char command[kMaxPath];
    if (!DetectorCommand(command, installerState.installFolder)) return;
    LogStep(registry.SetStringValue(runKey.Get(), kDetectorRunValue, command), "Run value %s", command);
    runKey.Reset();
    // In every user's session only after an install that succeeded: 1641 means the machine is going down.
    const int exitCode = ExitCodeFor(installerState.outcome);
    (void)StartDetector(exitCode == 0 || exitCode == kExitRestartRequired);
}

void StartToolUnlessItRan() noexcept {
    const bool ran = Platform().registry->ValueExists(installerState.installerKeyHandle.Get(), kToolRanValue);
    const InstallerState& state = installerState;
    char application[kMaxPath];
    if (const char* why = ran ? "TesvoRan exists" : WhyNotStartedNow()) {
        LogLine("tool not started: %s", why);
    } else if (!IsKnownFolder(state.installFolder) ||
               !FindProgram(application, state.installFolder, state.sourceFolder, kToolExecutable)) {
        LogLine("tool not started: no %s in the installation folder nor the installer's", kToolExecutable);
    } else {
        Platform().processes->Pause(kToolStartPauseMilliseconds);
        (void)StartForUser("tool", application, kToolExecutable);
    }
}

// For deployment tools' detection rules: present only after a run that succeeded.
void RecordVersion() noexcept {
    const int exitCode = ExitCodeFor(installerState.outcome);
    if (exitCode == 0 || EngineAsksForRestart(static_cast<std::uint32_t>(exitCode))) {
        WriteInstallerValue(kVersionValue, ORVA_PROJECT_VERSION);
        return;
    }
    // One that is not there is as good as deleted.
    const bool gone =
        Platform().registry->DeleteValue(installerState.installerKeyHandle.Get(), kVersionValue) ||
        Platform().context->LastError() == kErrorFileNotFound;
    LogStep(gone, "delete value %s: the installation failed", kVersionValue);
}

}  // namespace

void WriteUninstallIcon() noexcept {
    RegistryApi& registry = *Platform().registry;
    const RegistryKey uninstallKey = OpenKey(registry, kUninstallKey, KeyAccess::ReadWrite);
    if (!uninstallKey.IsValid()) {
        LogLine("uninstall icon not written: no uninstall key");
        return;
    }
    char icon[kMaxPath];
    if (!PathInFolder(icon, installerState.installFolder, "kx.exe,0")) return;
    LogStep(registry.SetStringValue(uninstallKey.Get(), "DisplayIcon", icon), "uninstall icon %s", icon);
}

int Install(const char* commandLine) noexcept {
    InstallerState& state = installerState;
    FileSystemApi& files = *Platform().fileSystem;

    if (IsKnownFolder(state.installFolder)) {
        LogStep(files.CreateFolder(state.installFolder), "create folder %s", state.installFolder);
    }
    TakeBackPendingDeletions();
    (void)CopyIntoInstallFolder(kSettingsFileName, 1);
    state.outcome.detectorInPlace = CopyIntoInstallFolder(kDetectorFileName, kDetectorCopyAttempts);
    if (IsKnownFolder(state.sourceFolder)) (void)files.SetCurrentFolder(state.sourceFolder);

    WriteInstallerPath(kSettingsPathValue, kSettingsFileName);
    WriteInstallerPath(kToolCommandValue, kToolExecutable);
    (void)Platform().registry->DeleteValue(state.installerKeyHandle.Get(), kToolRanValue);

    // An engine that is not run is judged by the service key as one that could not start.
    LaunchedProcess engine = RunEngine(commandLine, state.sourceFolder);

    if (!DriverServiceExists()) {
        RecordVersion();  // through the open key: the key itself goes only without subkeys
        DeleteInstallerKey();
        return 1;  // the copied files and the folder stay
    }

    WriteUninstallIcon();
    RegisterAndStartDetector();
    LaunchedProcess script = RunShortcutScript("INSTALL");
    StartToolUnlessItRan();
    RecordVersion();
    return 0;  // the script's and the engine's handles are released on the way out
}
