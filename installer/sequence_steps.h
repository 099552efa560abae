// The steps that both the install and the uninstall sequence take.
#pragma once

#include "process_objects.h"

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
