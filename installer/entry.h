// The installer's entry: its folders, the detector stopped, the installer key
// opened, and the choice between installing and uninstalling.
#pragma once

#include "exit_code.h"
#include "install_sequence.h"
#include "registry.h"
#include "shared_contract.h"
#include "uninstall_sequence.h"

// Process-wide state, set up by the entry and used by the sequences. A folder that
// could not be worked out whole is left empty.
struct InstallerState {
    char programFilesFolder[kMaxPath] = {};
    char sourceFolder[kMaxPath] = {};
    char installFolder[kMaxPath] = {};
    // HKLM kInstallerKeyPath, KEY_ALL_ACCESS; closed by a sequence that deletes the key, else by the entry.
    RegistryKey installerKeyHandle;
    RunOutcome outcome;
};

extern InstallerState installerState;

// Process start-up, before the entry: programFilesFolder, left empty on failure.
void SetUpProgramFilesFolder() noexcept;

// The installer's own folder: its module path without the last element. Fails, and
// leaves folder empty, when the module path does not fit its buffer.
[[nodiscard]] bool FindSourceFolder(char (&folder)[kMaxPath]) noexcept;

// True when the (upper-cased) tail asks for uninstalling: "/U" anywhere in it.
[[nodiscard]] bool RequestsUninstall(const char* commandLineTail) noexcept;

struct InstallerSequences {
    int (*install)(const char* commandLine);
    int (*uninstall)(const char* commandLine);
};

// commandLineTail is upper-cased in place. Returns the exit code (ExitCodeFor the run's
// outcome) and logs it. Tests give their own sequences, to watch the dispatch.
int RunInstallerEntry(char* commandLineTail,
                      const InstallerSequences& sequences = {Install, Uninstall}) noexcept;
