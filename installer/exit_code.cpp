#include "exit_code.h"

bool EngineAsksForRestart(std::uint32_t engineExitCode) noexcept {
    return engineExitCode == kExitRestartRequired || engineExitCode == kExitRestartStarted;
}

int ExitCodeFor(const RunOutcome& outcome) noexcept {
    if (!outcome.keyOpened) return kExitKeyFailed;
    if (!outcome.uninstalling && (!outcome.driverPresent || !outcome.detectorInPlace)) return kExitFailed;
    const bool restart = EngineAsksForRestart(outcome.engineExitCode);
    // An uninstalling engine that asks for a restart has removed the driver up to it.
    if (outcome.uninstalling && outcome.driverPresent && !restart) return kExitFailed;
    return restart ? static_cast<int>(outcome.engineExitCode) : 0;
}
