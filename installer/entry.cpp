#include "entry.h"

#include "ascii_case.h"
#include "bounded_text.h"
#include "install_sequence.h"
#include "platform.h"
#include "process_objects.h"
#include "shell_folder.h"
#include "uninstall_sequence.h"

#include <cstring>

InstallerState installerState;

void SetUpProgramFilesFolder() noexcept {
    char (&folder)[kMaxPath] = installerState.programFilesFolder;
    if (!Platform().shellFolder->ProgramFilesFolder(folder)) folder[0] = '\0';
}

bool FindSourceFolder(char (&folder)[kMaxPath]) noexcept {
    ShellFolderApi& shell = *Platform().shellFolder;
    std::uint32_t length = shell.ModuleFileName(folder);
    // A count equal to the buffer size means the path was cut short: that cut path's
    // folder would be some other folder.
    if (length == 0 || length >= kMaxPath) {
        folder[0] = '\0';
        return false;
    }
    shell.RemoveFileSpec(folder);
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

}  // namespace

int RunInstallerEntry(char* commandLineTail, const InstallerSequences& sequences) noexcept {
    char emptyTail[1] = {'\0'};
    if (!commandLineTail) commandLineTail = emptyTail;
    InstallerState& state = installerState;

    (void)FindSourceFolder(state.sourceFolder);
    (void)FormatWhole(state.installFolder, sizeof state.installFolder, "%s\\OrvaPanels", state.programFilesFolder);

    RunningProcess detector(kDetectorProcessName);
    StopProcess(detector);

    RemoveObsoleteRunValue();

    state.installerKeyHandle = CreateKey(*Platform().registry, kInstallerKeyPath);
    if (!state.installerKeyHandle.IsValid()) return 1;

    UpperCaseAscii(commandLineTail);
    if (RequestsUninstall(commandLineTail)) {
        sequences.uninstall(commandLineTail);
    } else {
        sequences.install(commandLineTail);
    }

    // Closed here unless the sequence closed it before deleting the key.
    state.installerKeyHandle.Reset();
    return 0;  // the detector's handle is released on the way out
}

int RunInstallerEntry(char* commandLineTail) noexcept {
    return RunInstallerEntry(commandLineTail, InstallerSequences{Install, Uninstall});
}
