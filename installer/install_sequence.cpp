#include "install_sequence.h"

#include "command_lines.h"
#include "entry.h"
#include "file_system.h"
#include "launcher.h"
#include "platform.h"
#include "process_objects.h"
#include "registry.h"
#include "sequence_steps.h"

namespace {

constexpr const char* kToolExecutable = "Tesvo.exe";

// Copies one shipped file from the installer's folder into the installation folder.
void CopyIntoInstallFolder(const char* name) noexcept {
    char source[kMaxPath];
    char target[kMaxPath];
    if (!PathInFolder(source, installerState.sourceFolder, name)) return;
    if (!PathInFolder(target, installerState.installFolder, name)) return;
    (void)Platform().fileSystem->CopyFileReplacing(source, target);
}

void WriteInstallerValue(const char* name, const char* fileName) noexcept {
    char path[kMaxPath];
    if (!PathInFolder(path, installerState.installFolder, fileName)) return;
    (void)Platform().registry->SetStringValue(installerState.installerKeyHandle.Get(), name, path);
}

// Registers the detector in the Run key and starts it; neither when the key cannot
// be opened or the command does not fit.
void RegisterAndStartDetector() noexcept {
    RegistryApi& registry = *Platform().registry;
    RegistryKey runKey = OpenKey(registry, kRunKeyPath, KeyAccess::AllAccess);
    if (!runKey.IsValid()) return;
    char command[kMaxPath];
    if (!DetectorCommand(command, installerState.installFolder)) return;
    (void)registry.SetStringValue(runKey.Get(), kDetectorRunValue, command);
    runKey.Reset();
    (void)StartDetector();
}

}  // namespace

void WriteUninstallIcon() noexcept {
    RegistryApi& registry = *Platform().registry;
    const RegistryKey uninstallKey = OpenKey(registry, kUninstallKey, KeyAccess::ReadWrite);
    if (!uninstallKey.IsValid()) return;
    char icon[kMaxPath];
    if (!PathInFolder(icon, installerState.installFolder, "kx.exe,0")) return;
    (void)registry.SetStringValue(uninstallKey.Get(), "DisplayIcon", icon);
}

int Install(const char* commandLine) noexcept {
    InstallerState& state = installerState;
    RegistryApi& registry = *Platform().registry;
    FileSystemApi& files = *Platform().fileSystem;

    if (IsKnownFolder(state.installFolder)) (void)files.CreateFolder(state.installFolder);
    CopyIntoInstallFolder(kSettingsFileName);
    CopyIntoInstallFolder(kDetectorFileName);
    if (IsKnownFolder(state.sourceFolder)) (void)files.SetCurrentFolder(state.sourceFolder);

    char engineCommand[kMaxPath];
    bool engineCommandFits = EngineCommand(engineCommand, commandLine);

    WriteInstallerValue(kSettingsPathValue, kSettingsFileName);
    WriteInstallerValue(kToolCommandValue, kToolExecutable);
    (void)registry.DeleteValue(state.installerKeyHandle.Get(), kToolRanValue);

    // A tail too long for the command line is not passed on cut short: the engine is
    // then not run, and the service key decides as if it could not be started.
    LaunchedProcess engine;
    if (engineCommandFits && IsKnownFolder(state.sourceFolder)) engine.Start(engineCommand, state.sourceFolder, true);

    if (!DriverServiceExists()) {
        DeleteInstallerKey();
        return 1;  // the copied files and the folder stay
    }

    WriteUninstallIcon();
    RegisterAndStartDetector();

    LaunchedProcess script = RunShortcutScript("INSTALL");

    if (!registry.ValueExists(state.installerKeyHandle.Get(), kToolRanValue) && IsKnownFolder(state.installFolder)) {
        Platform().launcher->Pause(kToolStartPauseMilliseconds);
        LaunchedProcess tool(kToolExecutable, state.installFolder, false);
    }
    return 0;  // the script's and the engine's handles are released on the way out
}
