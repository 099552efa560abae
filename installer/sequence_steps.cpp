#include "sequence_steps.h"

#include "command_lines.h"
#include "entry.h"
#include "platform.h"
#include "registry.h"
#include "run_context.h"

LaunchedProcess RunEngine(const char* commandLineTail, const char* folder) noexcept {
    LaunchedProcess engine;
    char command[kMaxPath];
    if (!EngineCommand(command, commandLineTail) || !IsKnownFolder(folder)) {
        LogLine("engine not run: its command line is too long or its folder unknown");
    } else if (engine.Start(command, folder, true) == 1) {
        installerState.outcome.engineExitCode = engine.ExitCode();
        LogLine("engine %s: exit code %u", command, static_cast<unsigned>(engine.ExitCode()));
    } else {
        LogStep(false, "start engine %s", command);
    }
    return engine;
}

bool DriverServiceExists() noexcept {
    const bool present = OpenKey(*Platform().registry, kDriverServiceKey, KeyAccess::Read).IsValid();
    installerState.outcome.driverPresent = present;
    LogLine("driver service key: %s", present ? "present" : "missing");
    return present;
}

void DeleteInstallerKey() noexcept {
    installerState.installerKeyHandle.Reset();
    LogStep(Platform().registry->DeleteMachineKey(kInstallerKeyPath), "delete installer key");
}

const char* WhyNotStartedNow() noexcept {
    if (installerState.outcome.engineExitCode == kExitRestartStarted) return "the engine has started a restart";
    return WhyNoUserIsThere();
}

bool StartDetector() noexcept {
    if (const char* why = WhyNotStartedNow()) {
        LogLine("detector not started: %s", why);
        return false;
    }
    char command[kMaxPath];
    if (!DetectorCommand(command, installerState.installFolder)) return false;
    LaunchedProcess detector;
    const bool started = detector.Start(command, installerState.installFolder, false) == 1;
    LogStep(started, "start detector %s", command);
    return started;
}

LaunchedProcess RunShortcutScript(const char* argument) noexcept {
    LaunchedProcess script;
    char systemFolder[kMaxPath];
    char command[kMaxPath];
    const bool restartStarted = installerState.outcome.engineExitCode == kExitRestartStarted;
    if (restartStarted) LogLine("script not run: the engine has started a restart");
    // Without the system folder there is no interpreter to trust: the script is not run.
    if (!restartStarted && Platform().context->SystemFolder(systemFolder) &&
        ScriptCommand(command, systemFolder, installerState.installFolder, argument)) {
        LogStep(script.Start(command, installerState.installFolder, true) == 1, "run script %s", command);
    }
    return script;
}
