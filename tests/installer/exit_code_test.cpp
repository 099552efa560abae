#include "exit_code.h"

#include <gtest/gtest.h>

namespace {

struct ExitCase {
    const char* name;
    RunOutcome outcome;
    int exitCode;
};

RunOutcome Outcome(bool uninstalling, bool driverPresent, std::uint32_t engine, bool detectorInPlace = true,
                   bool keyOpened = true) {
    RunOutcome outcome;
    outcome.keyOpened = keyOpened;
    outcome.uninstalling = uninstalling;
    outcome.driverPresent = driverPresent;
    outcome.detectorInPlace = detectorInPlace;
    outcome.engineExitCode = engine;
    return outcome;
}

class ExitCodes : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitCodes, FirstMatchingRowWins) { EXPECT_EQ(ExitCodeFor(GetParam().outcome), GetParam().exitCode); }

constexpr bool kInstall = false;
constexpr bool kUninstall = true;

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCodes,
    ::testing::Values(
        // Runs that never reach a sequence: another run holds the mutex, or there is no installation folder.
        ExitCase{"AnotherRunActive", RunOutcome{false, false, false, true, 0, false, true}, 1618},
        ExitCase{"NoInstallationFolder", RunOutcome{false, false, false, true, 0, false, false}, 1603},
        ExitCase{"NoKeyInstall", Outcome(kInstall, true, 3010, true, false), 1},
        ExitCase{"NoKeyUninstall", Outcome(kUninstall, true, 0, true, false), 1},
        ExitCase{"InstallDriverMissing", Outcome(kInstall, false, 0), 1603},
        ExitCase{"InstallDriverMissingDespiteRestart", Outcome(kInstall, false, 3010), 1603},
        ExitCase{"InstallDetectorNotInPlace", Outcome(kInstall, true, 0, false), 1603},
        ExitCase{"InstallDetectorNotInPlaceDespiteRestart", Outcome(kInstall, true, 1641, false), 1603},
        ExitCase{"UninstallDriverKept", Outcome(kUninstall, true, 0), 1603},
        ExitCase{"UninstallDriverKeptEngineFailed", Outcome(kUninstall, true, 1602), 1603},
        ExitCase{"UninstallDriverKeptUntilRestart", Outcome(kUninstall, true, 3010), 3010},
        ExitCase{"UninstallRestartStarted", Outcome(kUninstall, true, 1641), 1641},
        ExitCase{"UninstallRestartDriverGone", Outcome(kUninstall, false, 3010), 3010},
        ExitCase{"InstallRestartRequired", Outcome(kInstall, true, 3010), 3010},
        ExitCase{"InstallRestartStarted", Outcome(kInstall, true, 1641), 1641},
        ExitCase{"Installed", Outcome(kInstall, true, 0), 0},
        // The engine's own failure codes are not passed on: the service key decides.
        ExitCase{"InstalledDespiteEngineCode", Outcome(kInstall, true, 1603), 0},
        ExitCase{"Uninstalled", Outcome(kUninstall, false, 0), 0},
        ExitCase{"UninstalledDespiteEngineCode", Outcome(kUninstall, false, 1), 0},
        ExitCase{"DetectorCopyMattersOnlyToInstall", Outcome(kUninstall, false, 0, false), 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
