// The installer's default action.
#pragma once

#include <cstdint>

// Takes the upper-cased command line tail; returns 0 when the driver's service is present
// after the engine has run, 1 when not. What the exit code needs goes into the outcome.
int Install(const char* commandLine) noexcept;

// "DisplayIcon" = "<installFolder>\kx.exe,0" into the driver's uninstall key, only when
// that key already exists.
void WriteUninstallIcon() noexcept;

// How long the installer waits before it starts the outside tool.
constexpr std::uint32_t kToolStartPauseMilliseconds = 5000;

// A detector that has just been stopped can hold its file for a moment: the copy of
// HIDWATCH.EXE is tried this many times, this far apart (about 1 s in all).
constexpr int kDetectorCopyAttempts = 5;
constexpr std::uint32_t kCopyRetryPauseMilliseconds = 250;

// The installer key's value with the installed version, for deployment tools to detect.
constexpr const char* kVersionValue = "Version";
