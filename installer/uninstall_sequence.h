// The installer's action when the command line holds "/U".
#pragma once

#include <cstdint>

// Takes the upper-cased command line tail; returns 1 when the driver's service is gone
// after the engine has run, 0 when it is still present.
int Uninstall(const char* commandLine) noexcept;

// The installation folder is removed in at most this many tries, this far apart.
constexpr int kFolderRemovalAttempts = 10;
constexpr std::uint32_t kFolderRemovalPauseMilliseconds = 200;

// Whether the folder removal tries again after its attemptsMade-th try failed with error. Only a
// folder someone holds for a moment (a sharing violation, or an access denial while a handle on it
// closes) can go on a later try; one that still holds files or is already gone stops at once.
[[nodiscard]] bool RetriesFolderRemoval(std::uint32_t error, int attemptsMade) noexcept;
