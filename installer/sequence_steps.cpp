#include "sequence_steps.h"

#include "command_lines.h"
#include "entry.h"
#include "platform.h"
#include "registry.h"
#include "run_context.h"

LaunchedProcess RunEngine(const char* commandLineTail, const char* folder) noexcept {
    LaunchedProcess engine;
    char command[kMaxPath];
    char application[kMaxPath];
    if (!EngineCommand(command, commandLineTail) || !IsKnownFolder(folder) ||
        !FindProgram(application, installerState.sourceFolder, folder, "kx.exe")) {
        LogLine("engine not run: command line too long, or no kx.exe beside the installer or in %s", folder);
    } else if (engine.Start(command, folder, true, {application}) == 1) {
        installerState.outcome.engineExitCode = engine.ExitCode();
        LogLine("engine %s: exit code %u", command, static_cast<unsigned>(engine.ExitCode()));
    } else {
        LogStep(false, "start engine %s", command);
    }
    return engine;
}

bool DriverServiceExists() noexcept {
    RegistryApi& registry = *Platform().registry;
    const RegistryKey key = OpenKey(registry, kDriverServiceKey, KeyAccess::Read);
    // A service deleted while it runs keeps its key, so marked, until the restart.
    std::uint32_t deleteFlag = 0;
    const bool marked =
        key.IsValid() && registry.ReadDword(key.Get(), "DeleteFlag", deleteFlag) && deleteFlag != 0;
    const bool present = key.IsValid() && !marked;
    installerState.outcome.driverPresent = present;
    LogLine("driver service key: %s", present ? "present" : marked ? "marked for deletion" : "missing");
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

bool FindProgram(char (&path)[kMaxPath], const char* first, const char* second, const char* name) noexcept {
    return (PathInFolder(path, first, name) && Platform().processes->ProgramExists(path)) ||
           (PathInFolder(path, second, name) && Platform().processes->ProgramExists(path));
}

bool StartForUser(const char* what, const char* application, const char* commandLine) noexcept {
    ProcessesApi& processes = *Platform().processes;
    const char* folder = installerState.installFolder;
    const char* why = WhyNotStartedNow();
    const bool elevated = !why && processes.TokenElevated(nullptr);
    ProcessHandle token;
    if (elevated) {
        const DebugPrivilege privilege = EnableDebugPrivilege(processes);  // another user's shell
        token.Reset(processes, processes.ShellUserToken());
        LogStep(token.IsValid(), "open the shell's token");
    }
    LaunchedProcess program;
    if (token.IsValid()) {
        const char* shell = processes.TokenElevated(token.Get()) ? "" : "not ";
        const bool done = program.Start(commandLine, folder, false, {application, false, token.Get()}) == 1;
        LogStep(done, "as the shell's user (token %selevated), start %s %s", shell, what, commandLine);
        if (done) return true;
    }
    if (elevated && !Platform().context->SessionUserIsOwn()) why = "the session's user may be another";
    if (why) {
        LogLine("%s not started: %s", what, why);
        return false;
    }
    const bool started = program.Start(commandLine, folder, false, {application}) == 1;
    LogStep(started, "as the installer, start %s %s", what, commandLine);
    return started;
}

bool StartDetector(bool inEverySession) noexcept {
    char command[kMaxPath];
    char application[kMaxPath];
    if (!DetectorCommand(command, installerState.installFolder) ||
        !PathInFolder(application, installerState.installFolder, kDetectorProcessName)) {
        return false;
    }
    if (StartForUser("detector", application, command)) return true;
    if (!inEverySession || !WhyNoUserIsThere()) return false;
    // As each signed-in session's user, on its desktop; never the tool, whose window no one asked for.
    ProcessesApi& processes = *Platform().processes;
    const bool listed = Platform().context->ForEachSession([&](const UserSession& session) {
        const bool signedIn = session.state == kSessionActive || session.state == kSessionDisconnected;
        if (session.id == 0 || !signedIn) return;
        const ProcessHandle token(processes, processes.SessionUserToken(session.id));
        LaunchedProcess detector;
        const LaunchOptions asUser{application, false, token.Get(), true};
        const bool started =
            token.IsValid() && detector.Start(command, installerState.installFolder, false, asUser) == 1;
        LogStep(started, "in session %u of [%s], start detector %s", static_cast<unsigned>(session.id),
                session.account, command);
    });
    if (!listed) LogStep(false, "list the sessions");
    return false;
}

LaunchedProcess RunShortcutScript(const char* argument) noexcept {
    LaunchedProcess script;
    char systemFolder[kMaxPath];
    char command[kMaxPath];
    // Without the system folder there is no interpreter to trust: the script is not run.
    if (Platform().context->SystemFolder(systemFolder) &&
        ScriptCommand(command, systemFolder, installerState.installFolder, argument)) {
        const bool ran = script.Start(command, installerState.installFolder, true, {nullptr, true}) == 1;
        LogStep(ran, "run script %s", command);
    }
    return script;
}
