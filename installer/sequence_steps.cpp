#include "sequence_steps.h"

#include "command_lines.h"
#include "entry.h"
#include "platform.h"
#include "registry.h"
#include "shell_folder.h"

bool DriverServiceExists() noexcept {
    return OpenKey(*Platform().registry, kDriverServiceKey, KeyAccess::Read).IsValid();
}

void DeleteInstallerKey() noexcept {
    installerState.installerKeyHandle.Reset();
    (void)Platform().registry->DeleteMachineKey(kInstallerKeyPath);
}

bool StartDetector() noexcept {
    char command[kMaxPath];
    if (!DetectorCommand(command, installerState.installFolder)) return false;
    LaunchedProcess detector;
    return detector.Start(command, installerState.installFolder, false) == 1;
}

LaunchedProcess RunShortcutScript(const char* argument) noexcept {
    LaunchedProcess script;
    char systemFolder[kMaxPath];
    char command[kMaxPath];
    // Without the system folder there is no interpreter to trust: the script is not run.
    if (Platform().shellFolder->SystemFolder(systemFolder) &&
        ScriptCommand(command, systemFolder, installerState.installFolder, argument)) {
        script.Start(command, installerState.installFolder, true);
    }
    return script;
}
