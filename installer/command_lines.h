// The paths and command lines the install and uninstall sequences build. Each one is whole or not at
// all: a result that does not fit its 260-byte buffer, or one built from a folder left empty because it
// is unknown, is a failure, and the sequence then skips the step rather than use a wrong path.
#pragma once

#include "shared_contract.h"

// A folder left empty by the entry is unknown: nothing is built from it.
[[nodiscard]] inline bool IsKnownFolder(const char* folder) noexcept { return folder && folder[0] != '\0'; }

// "<folder>\<name>". Fails when folder is empty.
[[nodiscard]] bool PathInFolder(char (&dest)[kMaxPath], const char* folder, const char* name) noexcept;

// "kx.exe <tail>": an empty tail leaves one blank after the name. The engine itself is named
// by its full path (RunEngine).
[[nodiscard]] bool EngineCommand(char (&dest)[kMaxPath], const char* commandLineTail) noexcept;

// "\"<installFolder>\hidwatch.exe\"": the Run value and the command that starts the detector. Quoted,
// because the folder lies under "Program Files": unquoted, Windows would try "C:\Program.exe" first.
[[nodiscard]] bool DetectorCommand(char (&dest)[kMaxPath], const char* installFolder) noexcept;

// "\"<systemFolder>\cmd.exe\" /s /c \"\"<installFolder>\menulinks.bat\" <argument>\"".
// The interpreter comes from the system folder, never by its bare name, which would find a cmd.exe
// lying beside the elevated installer first. With /s, cmd drops just the outer pair of quotes and
// keeps the script's quoted path whole; without it, a path holding parentheses
// ("Program Files (x86)") loses its quotes and splits at its first blank.
[[nodiscard]] bool ScriptCommand(char (&dest)[kMaxPath], const char* systemFolder, const char* installFolder,
                                 const char* argument) noexcept;

constexpr const char* kDriverServiceKey = "SYSTEM\\CurrentControlSet\\Services\\OrvaTouchscreen";
constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaTouchscreen";
constexpr const char* kScriptFileName = "menulinks.bat";
