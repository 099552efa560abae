#include "platform.h"

#include "launcher.h"
#include "message_box.h"
#include "process_snapshot.h"
#include "registry.h"
#include "shell_folder.h"

void UseWindowsPlatform() noexcept {
    InstallerPlatform& platform = Platform();
    platform.registry = &WindowsRegistryApi();
    platform.processes = &WindowsProcessSnapshotApi();
    platform.launcher = &WindowsLauncherApi();
    platform.shellFolder = &WindowsShellFolderApi();
    platform.messageBox = &WindowsMessageBoxApi();
}
