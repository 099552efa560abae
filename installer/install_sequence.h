// The installer's default action.
#pragma once

#include "process_objects.h"

#include <cstdint>

// Takes the upper-cased command line tail; returns 0 when the driver's service is
// present after the engine has run, 1 when not.
int Install(const char* commandLine) noexcept;

// "DisplayIcon" = "<installFolder>\kx.exe,0" into the driver's uninstall key, only when
// that key already exists.
void WriteUninstallIcon() noexcept;

// How long the installer waits before it starts the outside tool.
constexpr std::uint32_t kToolStartPauseMilliseconds = 5000;

// Shared with the uninstall sequence.
// True when the driver's service key can be opened for reading.
[[nodiscard]] bool DriverServiceExists() noexcept;
// Closes the installer's handle on the installer key, then deletes the key.
void DeleteInstallerKey() noexcept;
// Starts the detector from the installation folder by its quoted full path, without
// waiting; false when its path is unknown or it could not be started.
bool StartDetector() noexcept;
// Runs the shortcut script with argument in the installation folder and waits for it.
// The returned object holds the ended script's handles until the sequence releases it.
LaunchedProcess RunShortcutScript(const char* argument) noexcept;
