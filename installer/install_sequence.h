// The installer's default action.
#pragma once

#include <cstdint>

// Takes the upper-cased command line tail; returns 0 when the driver's service is
// present after the engine has run, 1 when not.
int Install(const char* commandLine) noexcept;

// "DisplayIcon" = "<installFolder>\kx.exe,0" into the driver's uninstall key, only when
// that key already exists.
void WriteUninstallIcon() noexcept;

// How long the installer waits before it starts the outside tool.
constexpr std::uint32_t kToolStartPauseMilliseconds = 5000;
