// The installer's exit code. Deployment tools run the installer silently and read only
// this, with Windows Installer's meanings, so a failure must never read as success.
#pragma once

#include <cstdint>

constexpr int kExitKeyFailed = 1;           // the installer key could not be created or opened
constexpr int kExitFailed = 1603;           // ERROR_INSTALL_FAILURE
constexpr int kExitRestartStarted = 1641;   // ERROR_SUCCESS_REBOOT_INITIATED
constexpr int kExitRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
constexpr int kExitAnotherRun = 1618;       // ERROR_INSTALL_ALREADY_RUNNING: deployment tools retry

// What one run came to, filled in by the entry and the sequence it ran.
struct RunOutcome {
    bool keyOpened = false;
    bool uninstalling = false;
    bool driverPresent = false;    // the driver's service key, once the engine has ended
    bool detectorInPlace = true;   // install: HIDWATCH.EXE was copied into the installation folder
    std::uint32_t engineExitCode = 0;  // also 0 when the engine could not be started
    bool folderKnown = true;       // the installation folder could be worked out
    bool otherRunActive = false;   // another run held the installers' mutex past the wait
};

// The engine ended with 3010 or 1641: it has done its part up to a restart.
[[nodiscard]] constexpr bool EngineAsksForRestart(std::uint32_t engineExitCode) noexcept {
    return engineExitCode == kExitRestartRequired || engineExitCode == kExitRestartStarted;
}

[[nodiscard]] constexpr int ExitCodeFor(const RunOutcome& outcome) noexcept {
    if (outcome.otherRunActive) return kExitAnotherRun;
    if (!outcome.folderKnown) return kExitFailed;
    if (!outcome.keyOpened) return kExitKeyFailed;
    if (!outcome.uninstalling && (!outcome.driverPresent || !outcome.detectorInPlace)) return kExitFailed;
    const bool restart = EngineAsksForRestart(outcome.engineExitCode);
    // An uninstalling engine that asks for a restart has removed the driver up to it.
    if (outcome.uninstalling && outcome.driverPresent && !restart) return kExitFailed;
    return restart ? static_cast<int>(outcome.engineExitCode) : 0;
}
