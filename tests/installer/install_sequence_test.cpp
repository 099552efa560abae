#include "install_sequence.h"

#include "sequence_fixture.h"

#include <algorithm>
#include <string>

namespace {

const std::string kQuotedDetector = "\"" + kTarget + "\\hidwatch.exe\"";
const std::string kScriptInstall =
    "\"" + kSystem + "\\cmd.exe\" /s /c \"\"" + kTarget + "\\menulinks.bat\" INSTALL\"";

class InstallSequence : public SequenceTest {};

// Where a step stands in the log; a step that is missing or ran twice fails the test.
std::ptrdiff_t StepAt(const CallLog& log, const std::string& step) {
    const auto found = std::find(log.begin(), log.end(), step);
    EXPECT_NE(found, log.end()) << "missing: " << step;
    EXPECT_EQ(std::count(log.begin(), log.end(), step), 1) << "more than once: " << step;
    return found - log.begin();
}

// Only the orderings the installation depends on are pinned; the rest may change.
TEST_F(InstallSequence, DriverPresentRunsEachStepAfterWhatItNeeds) {
    fakes.registry.keys[kInstallerKeyText]["TesvoRan"] = "left by an earlier run";

    EXPECT_EQ(Install("/S"), 0);

    const CallLog& log = fakes.log;
    const auto at = [&](const std::string& step) { return StepAt(log, step); };
    const auto waitedFor = [&](const std::string& launch) {
        const std::ptrdiff_t i = at(launch);
        return i + 1 < static_cast<std::ptrdiff_t>(log.size()) && log[i + 1] == "wait until ended";
    };
    const std::ptrdiff_t engine = at("launch kx.exe /S in " + kSource);
    // The engine finds the installation's files and values in place, and no TesvoRan of an earlier run.
    EXPECT_LT(at("copy " + kSource + "\\PANELSET.TXT to " + kTarget + "\\PANELSET.TXT"), engine);
    EXPECT_LT(at("copy " + kSource + "\\HIDWATCH.EXE to " + kTarget + "\\HIDWATCH.EXE"), engine);
    EXPECT_LT(at("current folder " + kSource), engine);
    EXPECT_LT(at("set Configuration=" + kTarget + "\\PANELSET.TXT"), engine);
    EXPECT_LT(at("set Tesvo=" + kTarget + "\\Tesvo.exe"), engine);
    EXPECT_LT(at("delete value TesvoRan"), engine);
    // The driver is looked for only once the engine has ended.
    EXPECT_TRUE(waitedFor("launch kx.exe /S in " + kSource));
    EXPECT_LT(engine, at("open " + kServiceKeyText));
    EXPECT_LT(at("open " + kServiceKeyText), at("set DisplayIcon=" + kTarget + "\\kx.exe,0"));
    // The detector is registered before it starts, and nobody waits for it.
    EXPECT_LT(at("set " + kRunValueText + "=" + kQuotedDetector), at("launch " + kQuotedDetector + " in " + kTarget));
    EXPECT_FALSE(waitedFor("launch " + kQuotedDetector + " in " + kTarget));
    EXPECT_LT(at("open " + kServiceKeyText), at("launch " + kQuotedDetector + " in " + kTarget));
    // The script runs to its end; the tool starts after the pause, unless TesvoRan appeared.
    EXPECT_TRUE(waitedFor("launch " + kScriptInstall + " in " + kTarget));
    EXPECT_LT(at("query TesvoRan"), at("pause 5000"));
    EXPECT_LT(at("pause 5000"), at("launch Tesvo.exe in " + kTarget));
    EXPECT_FALSE(waitedFor("launch Tesvo.exe in " + kTarget));

    EXPECT_EQ(fakes.fileSystem.files[kTarget + "\\HIDWATCH.EXE"], "detector v2");
    EXPECT_EQ(fakes.fileSystem.files[kTarget + "\\PANELSET.TXT"], "shipped settings");
    EXPECT_EQ(Value(kRunKeyText, kRunValueText), kQuotedDetector);
    EXPECT_EQ(Value(kRunKeyText, "Other"), "C:\\other.exe");
    EXPECT_EQ(Value(kUninstallKeyText, "DisplayIcon"), kTarget + "\\kx.exe,0");
    EXPECT_EQ(Value(kInstallerKeyText, "Configuration"), kTarget + "\\PANELSET.TXT");
    // The detector reads the tool's plain path and quotes it itself.
    EXPECT_EQ(Value(kInstallerKeyText, "Tesvo"), kTarget + "\\Tesvo.exe");
    EXPECT_FALSE(HasValue(kInstallerKeyText, "TesvoRan"));
    ExpectNoHandleLeft(true);
}

TEST_F(InstallSequence, DriverMissingDeletesTheKeyAndKeepsTheFiles) {
    engine.installsDriver = false;
    fakes.registry.keys[kUninstallKeyText] = {};

    EXPECT_EQ(Install(""), 1);

    const CallLog& log = fakes.log;
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(CallLog(log.end() - 6, log.end()),
              (CallLog{"open " + kServiceKeyText, "delete value Version", "close " + kInstallerKeyText,
                       "delete key " + kInstallerKeyText, "close handle", "close handle"}));
    EXPECT_FALSE(KeyExists(kInstallerKeyText));
    EXPECT_TRUE(HasFile(kTarget + "\\PANELSET.TXT"));
    EXPECT_TRUE(HasFile(kTarget + "\\HIDWATCH.EXE"));
    EXPECT_TRUE(fakes.fileSystem.folders.count(kTarget));
    EXPECT_FALSE(HasValue(kRunKeyText, kRunValueText));
    EXPECT_FALSE(HasValue(kUninstallKeyText, "DisplayIcon"));
    EXPECT_EQ(CountInLog("close handle"), 2);  // only the engine was started
    ExpectNoHandleLeft(false);
}

TEST_F(InstallSequence, EngineThatCannotStartIsJudgedByTheServiceKey) {
    fakes.processes.launchFails = true;
    fakes.registry.keys[kServiceKeyText] = {};  // a driver from an earlier installation
    EXPECT_EQ(Install(""), 0);
    EXPECT_EQ(CountInLog("wait until ended"), 0);
    EXPECT_EQ(Value(kRunKeyText, kRunValueText), kQuotedDetector);

    fakes.registry.keys.erase(kServiceKeyText);
    SetFolders(kSource, kTarget);
    EXPECT_EQ(Install(""), 1);
    EXPECT_FALSE(KeyExists(kInstallerKeyText));
}

struct BranchCase {
    const char* name;
    bool runKeyExists;
    bool uninstallKeyExists;
    bool engineCreatesToolRan;
    bool systemFolderKnown;
    bool detectorRegistered;
    bool iconWritten;
    bool toolStarted;
    bool scriptRun;
};

class InstallBranches : public InstallSequence, public ::testing::WithParamInterface<BranchCase> {};

TEST_P(InstallBranches, LeaveOutOnlyTheirOwnSteps) {
    const BranchCase& c = GetParam();
    if (!c.runKeyExists) fakes.registry.keys.erase(kRunKeyText);
    engine.createsUninstallKey = c.uninstallKeyExists;
    engine.createsToolRan = c.engineCreatesToolRan;
    if (!c.systemFolderKnown) fakes.context.systemFolder.clear();

    EXPECT_EQ(Install(""), 0);

    EXPECT_EQ(HasValue(kRunKeyText, kRunValueText), c.detectorRegistered);
    EXPECT_EQ(CountInLog("launch " + kQuotedDetector + " in " + kTarget), c.detectorRegistered ? 1 : 0);
    EXPECT_FALSE(KeyExists(kRunKeyText) && !c.runKeyExists) << "the Run key is only opened, never created";
    EXPECT_EQ(HasValue(kUninstallKeyText, "DisplayIcon"), c.iconWritten);
    EXPECT_FALSE(KeyExists(kUninstallKeyText) && !c.uninstallKeyExists);
    EXPECT_EQ(CountInLog("launch Tesvo.exe in " + kTarget), c.toolStarted ? 1 : 0);
    EXPECT_EQ(CountInLog("pause 5000"), c.toolStarted ? 1 : 0);
    EXPECT_EQ(CountInLog("launch " + kScriptInstall + " in " + kTarget), c.scriptRun ? 1 : 0);
    // Nothing ever runs an interpreter by its bare name.
    for (const std::string& line : fakes.log) EXPECT_EQ(line.find("launch cmd.exe"), std::string::npos) << line;
    EXPECT_EQ(Value(kInstallerKeyText, "Configuration"), kTarget + "\\PANELSET.TXT");
    ExpectNoHandleLeft(true);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallBranches,
    ::testing::Values(
        //         name                run    uninst toolRan sysdir  detector icon   tool   script
        BranchCase{"Everything", true, true, false, true, true, true, true, true},
        BranchCase{"NoRunKey", false, true, false, true, false, true, true, true},
        BranchCase{"NoUninstallKey", true, false, false, true, true, false, true, true},
        BranchCase{"ToolAlreadyRan", true, true, true, true, true, true, false, true},
        BranchCase{"NoSystemFolder", true, true, false, false, true, true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct TailCase {
    const char* name;
    std::string tail;
    std::string engineLaunch;  // empty: the engine is not started
};

class InstallTails : public InstallSequence, public ::testing::WithParamInterface<TailCase> {};

TEST_P(InstallTails, ReachTheEngineWholeOrNotAtAll) {
    fakes.registry.keys[kServiceKeyText] = {};
    EXPECT_EQ(Install(GetParam().tail.c_str()), 0);
    int launches = 0;
    for (const std::string& line : fakes.log) launches += line.rfind("launch kx.exe", 0) == 0;
    if (GetParam().engineLaunch.empty()) {
        EXPECT_EQ(launches, 0);
    } else {
        EXPECT_EQ(launches, 1);
        EXPECT_EQ(CountInLog(GetParam().engineLaunch), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallTails,
    ::testing::Values(TailCase{"Empty", "", "launch kx.exe  in " + kSource},
                      TailCase{"Arguments", "/SILENT /LANG=DE", "launch kx.exe /SILENT /LANG=DE in " + kSource},
                      TailCase{"PercentSignsAreText", "%S%N", "launch kx.exe %S%N in " + kSource},
                      TailCase{"JustFits", std::string(252, 'A'), "launch kx.exe " + std::string(252, 'A') + " in " + kSource},
                      TailCase{"OneByteTooLong", std::string(253, 'A'), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallSequence, RepeatedInstallOverwritesAndRewrites) {
    EXPECT_EQ(Install(""), 0);
    fakes.fileSystem.files[kSource + "\\HIDWATCH.EXE"] = "detector v3";
    fakes.fileSystem.files[kTarget + "\\PANELSET.TXT"] = "settings saved at log-off";
    fakes.registry.keys[kInstallerKeyText]["TesvoRan"] = "1";
    fakes.registry.keys[kInstallerKeyText]["Configuration"] = "stale";

    SetFolders(kSource, kTarget);
    EXPECT_EQ(Install(""), 0);

    EXPECT_EQ(fakes.fileSystem.files[kTarget + "\\HIDWATCH.EXE"], "detector v3");
    EXPECT_EQ(fakes.fileSystem.files[kTarget + "\\PANELSET.TXT"], "shipped settings");
    EXPECT_EQ(Value(kInstallerKeyText, "Configuration"), kTarget + "\\PANELSET.TXT");
    // TesvoRan went before the engine ran, so the tool starts again.
    EXPECT_FALSE(HasValue(kInstallerKeyText, "TesvoRan"));
    EXPECT_EQ(CountInLog("launch Tesvo.exe in " + kTarget), 1);
    ExpectNoHandleLeft(true);
}

TEST_F(InstallSequence, DriveRootSourceGivesDoubleBackslashes) {
    fakes.fileSystem.files["D:\\\\PANELSET.TXT"] = "from the root";
    fakes.fileSystem.files["D:\\\\kx.exe"] = "engine";
    SetFolders("D:\\", kTarget);
    EXPECT_EQ(Install(""), 0);
    EXPECT_EQ(CountInLog("copy D:\\\\PANELSET.TXT to " + kTarget + "\\PANELSET.TXT"), 1);
}

// A folder whose own path fits but whose file paths do not: nothing is copied to or
// recorded for a cut path, and the detector is neither registered nor started.
TEST_F(InstallSequence, PathsThatDoNotFitAreSkippedNotCut) {
    const std::string longTarget = "C:\\" + std::string(244, 'p');  // 247 bytes; +"\PANELSET.TXT" = 260
    fakes.fileSystem.folders.insert(longTarget);
    SetFolders(kSource, longTarget);

    EXPECT_EQ(Install(""), 0);

    for (const std::string& line : fakes.log) {
        EXPECT_EQ(line.rfind("copy", 0), std::string::npos) << line;
        EXPECT_EQ(line.rfind("set Configuration", 0), std::string::npos) << line;
    }
    EXPECT_FALSE(HasValue(kRunKeyText, kRunValueText));  // "\"...\hidwatch.exe\"" is 262 bytes
    EXPECT_EQ(Value(kInstallerKeyText, "Tesvo"), longTarget + "\\Tesvo.exe");  // 257 bytes: fits
    EXPECT_EQ(fakes.fileSystem.files.size(), 4u + 3u);  // the sources and the engine's files
    ExpectNoHandleLeft(true);
}

TEST_F(InstallSequence, UnknownFoldersAreNeverUsed) {
    fakes.registry.keys[kServiceKeyText] = {};
    SetFolders("", "");

    EXPECT_EQ(Install(""), 0);

    for (const std::string& line : fakes.log) {
        EXPECT_TRUE(line.rfind("open", 0) == 0 || line.rfind("close", 0) == 0 || line == "delete value TesvoRan" ||
                    line == "system folder" || line == "query TesvoRan" || line == "delete value Version")
            << "unexpected step: " << line;
    }
    // No detector was put in place: the run failed.
    EXPECT_EQ(ExitCodeFor(installerState.outcome), kExitFailed);
    EXPECT_FALSE(HasValue(kInstallerKeyText, "Configuration"));
    EXPECT_FALSE(HasValue(kRunKeyText, kRunValueText));
    ExpectNoHandleLeft(true);
}

TEST_F(InstallSequence, UninstallIconOnlyIntoAnExistingKey) {
    WriteUninstallIcon();
    EXPECT_FALSE(KeyExists(kUninstallKeyText));
    fakes.registry.keys[kUninstallKeyText] = {};
    WriteUninstallIcon();
    EXPECT_EQ(Value(kUninstallKeyText, "DisplayIcon"), kTarget + "\\kx.exe,0");
    EXPECT_EQ(fakes.registry.OpenKeyCount(), 1u);
}

}  // namespace

namespace {

// A detector that has just been stopped may still hold HIDWATCH.EXE for a moment.
TEST_F(InstallSequence, HeldDetectorFileIsTriedForAboutASecondThenFailsTheRun) {
    struct Case {
        int busyFor;
        int pauses;
        bool inPlace;
    };
    for (const Case& c : {Case{0, 0, true}, Case{4, 4, true}, Case{5, 4, false}}) {
        SCOPED_TRACE(c.busyFor);
        SetFolders(kSource, kTarget);
        fakes.fileSystem.files.erase(kTarget + "\\HIDWATCH.EXE");
        fakes.fileSystem.targetBusyFor[kTarget + "\\HIDWATCH.EXE"] = c.busyFor;
        EXPECT_EQ(Install(""), 0);
        EXPECT_EQ(CountInLog("pause 250"), c.pauses);
        EXPECT_EQ(HasFile(kTarget + "\\HIDWATCH.EXE"), c.inPlace);
        EXPECT_EQ(ExitCodeFor(installerState.outcome), c.inPlace ? 0 : kExitFailed);
        // Every other step still runs; only a run that succeeded names its version.
        EXPECT_EQ(CountInLog("launch Tesvo.exe in " + kTarget), 1);
        EXPECT_EQ(CountInLog("launch " + kScriptInstall + " in " + kTarget), 1);
        EXPECT_EQ(Value(kInstallerKeyText, "Version"), c.inPlace ? ORVA_PROJECT_VERSION : "<no value>");
    }
}
// Copies from read-only media carry the source's read-only and hidden attributes, and an
// earlier installation may have left its files so: neither stops a copy, none stays on one.
TEST_F(InstallSequence, ReadOnlyOrHiddenFilesAreReplacedAndLeftWritable) {
    constexpr std::uint32_t kReadOnly = FakeFileSystem::kReadOnly;
    constexpr std::uint32_t kHidden = FakeFileSystem::kHidden;
    struct Case {
        const char* what;
        std::uint32_t source;
        std::uint32_t target;  // 0: no earlier file
    };
    const Case cases[] = {
        {"read-only source", kReadOnly, 0},
        {"hidden source", kHidden, 0},
        {"read-only earlier file", 0, kReadOnly},
        {"hidden earlier file", 0, kHidden},
        {"both, on both", kReadOnly | kHidden, kReadOnly | kHidden},
    };
    FakeFileSystem& files = fakes.fileSystem;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files.folders.insert(kTarget);
        for (const char* name : {"\\PANELSET.TXT", "\\HIDWATCH.EXE"}) {
            files.attributes[kSource + name] = c.source;
            files.files[kTarget + name] = "earlier";
            files.attributes[kTarget + name] = c.target;
            if (c.target == 0) files.files.erase(kTarget + name);
        }

        EXPECT_EQ(Install(""), 0);

        for (const char* name : {"\\PANELSET.TXT", "\\HIDWATCH.EXE"}) {
            EXPECT_EQ(files.files[kTarget + name], files.files[kSource + name]) << name;
            EXPECT_EQ(files.attributes[kTarget + name], 0u) << name;
            EXPECT_EQ(files.attributes[kSource + name], c.source) << "the source is left as it is";
        }
        EXPECT_TRUE(installerState.outcome.detectorInPlace);
        SetFolders(kSource, kTarget);
    }
}

// A failed installation takes Version away through the open key: the key itself cannot
// go while it has a subkey, and the log says what each deletion came to.
TEST_F(InstallSequence, FailedInstallDeletesVersionEvenWhenTheKeyStays) {
    engine.installsDriver = false;
    fakes.registry.keys[kInstallerKeyText]["Version"] = "0.9.0";
    fakes.registry.keys[kInstallerKeyText + "\\Extra"] = {};

    EXPECT_EQ(Install(""), 1);

    EXPECT_TRUE(KeyExists(kInstallerKeyText));
    EXPECT_FALSE(HasValue(kInstallerKeyText, "Version"));
    EXPECT_TRUE(fakes.context.Logged("delete value Version: the installation failed: done"));
    EXPECT_TRUE(fakes.context.Logged("delete installer key: failed, error 0"));
    ExpectNoHandleLeft(false);
    fakes.context.lines.clear();
    fakes.context.lastError = kErrorFileNotFound;
    SetFolders(kSource, kTarget);
    EXPECT_EQ(Install(""), 1);
    EXPECT_TRUE(fakes.context.Logged("delete value Version: the installation failed: done")) << "none to delete";
}

// A driver service deleted while it ran keeps its key until the restart, marked by a
// non-zero REG_DWORD DeleteFlag: that driver is as good as missing.
TEST_F(InstallSequence, ServiceKeyMarkedForDeletionIsMissing) {
    struct Case {
        const char* what;
        bool dword;
        std::uint32_t flag;
        const char* text;  // a DeleteFlag of another type, or none
        int result;
        const char* logged;
    };
    const Case cases[] = {
        {"no DeleteFlag", false, 0, nullptr, 0, "present"},
        {"DeleteFlag 0", true, 0, nullptr, 0, "present"},
        {"DeleteFlag 1", true, 1, nullptr, 1, "marked for deletion"},
        {"DeleteFlag, high bits only", true, 0x10000, nullptr, 1, "marked for deletion"},
        {"DeleteFlag as text", false, 0, "1", 0, "present"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fakes.registry.keys.erase(kServiceKeyText);
        fakes.registry.dwords.erase(kServiceKeyText);
        if (c.dword) fakes.registry.dwords[kServiceKeyText]["DeleteFlag"] = c.flag;
        if (c.text) fakes.registry.keys[kServiceKeyText]["DeleteFlag"] = c.text;

        EXPECT_EQ(Install(""), c.result);

        EXPECT_EQ(installerState.outcome.driverPresent, c.result == 0);
        EXPECT_EQ(ExitCodeFor(installerState.outcome), c.result == 0 ? 0 : 1603);
        EXPECT_TRUE(fakes.context.Logged(std::string("driver service key: ") + c.logged));
        SetFolders(kSource, kTarget);
    }
}

struct RunCase {
    const char* name;
    std::uint32_t engineExitCode;
    bool system;
    std::uint32_t session;
    bool userProgramsStarted;  // the detector, the pause and the tool
    int exitCode;
};

class InstallRuns : public InstallSequence, public ::testing::WithParamInterface<RunCase> {};

// Where no user is, or once the engine has started a restart, neither the detector nor
// the tool starts and there is no pause; everything else runs as in a user's session.
TEST_P(InstallRuns, StartUserProgramsOnlyWhereAUserIsAndNoRestartIsUnderWay) {
    const RunCase& c = GetParam();
    fakes.processes.exitCode = c.engineExitCode;
    EXPECT_EQ(Install(""), 0);
    const CallLog asUser = fakes.log;

    SetFolders(kSource, kTarget);
    fakes.registry.keys[kRunKeyText].erase(kRunValueText);
    fakes.context.system = c.system;
    fakes.context.session = c.session;
    // Elevated with a usable shell token: no way around the reasons above.
    fakes.processes.elevated = fakes.processes.shellToken = true;
    EXPECT_EQ(Install(""), 0);

    const std::vector<std::string> userSteps = {"launch " + kQuotedDetector + " in " + kTarget, "pause 5000",
                                                "launch Tesvo.exe in " + kTarget};
    const auto otherSteps = [&](const CallLog& log) {
        CallLog kept;
        for (const std::string& line : log) {
            if (line != "close handle" && line.rfind("shell token", 0) != 0 &&
                std::find(userSteps.begin(), userSteps.end(), line) == userSteps.end()) {
                kept.push_back(line);
            }
        }
        return kept;
    };
    EXPECT_EQ(otherSteps(fakes.log), otherSteps(asUser));
    for (const std::string& step : userSteps) EXPECT_EQ(CountInLog(step), c.userProgramsStarted ? 1 : 0) << step;
    EXPECT_EQ(CountInLog("shell token, debug privilege on"), c.userProgramsStarted ? 2 : 0);
    EXPECT_EQ(Value(kRunKeyText, kRunValueText), kQuotedDetector);
    EXPECT_EQ(Value(kInstallerKeyText, "Version"), ORVA_PROJECT_VERSION);
    EXPECT_EQ(CountInLog("launch " + kScriptInstall + " in " + kTarget), 1);
    EXPECT_EQ(ExitCodeFor(installerState.outcome), c.exitCode);
    EXPECT_EQ(fakes.context.Logged("detector not started: runs as SYSTEM"), c.system);
    EXPECT_EQ(fakes.context.Logged("tool not started: runs in session 0"), !c.system && c.session == 0);
    ExpectNoHandleLeft(true);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallRuns,
    ::testing::Values(RunCase{"User", 0, false, 1, true, 0},
                      RunCase{"SystemInAUsersSession", 0, true, 1, false, 0},
                      RunCase{"SessionZero", 0, false, 0, false, 0},
                      RunCase{"SystemInSessionZero", 0, true, 0, false, 0},
                      RunCase{"RestartRequired", 3010, false, 1, true, 3010},
                      RunCase{"RestartStarted", 1641, false, 1, false, 1641},
                      RunCase{"EngineFailedButDriverThere", 1603, false, 1, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// After 1641 the machine is going down: the icon, the Run value for the next log-on, the
// shortcuts and Version, then nothing more.
TEST_F(InstallSequence, RestartStartedWritesTheRunValueAndVersionThenEnds) {
    fakes.processes.exitCode = kExitRestartStarted;
    EXPECT_EQ(Install(""), 0);

    const CallLog& log = fakes.log;
    const auto engineEnd = std::find(log.begin(), log.end(), "wait until ended");
    ASSERT_NE(engineEnd, log.end());
    EXPECT_EQ(CallLog(engineEnd + 1, log.end()),
              (CallLog{"open " + kServiceKeyText, "close " + kServiceKeyText, "open " + kUninstallKeyText,
                       "set DisplayIcon=" + kTarget + "\\kx.exe,0", "close " + kUninstallKeyText, "open " + kRunKeyText,
                       "set " + kRunValueText + "=" + kQuotedDetector, "close " + kRunKeyText, "system folder",
                       "launch " + kScriptInstall + " in " + kTarget, "wait until ended", "query TesvoRan",
                       "set Version=" ORVA_PROJECT_VERSION, "close handle", "close handle", "close handle", "close handle"}));
    for (const char* line : {"detector not started: the engine has started a restart",
                             "tool not started: the engine has started a restart"}) {
        EXPECT_TRUE(fakes.context.Logged(line)) << line;
    }
    ExpectNoHandleLeft(true);
}

enum class Way { kShellUser, kInstaller, kNot };

struct UserStartCase {
    const char* name;
    bool elevated;
    bool shellToken;
    bool tokenStartFails;
    bool sessionUserIsOwn;
    Way way;
};

class UserPrograms : public InstallSequence, public ::testing::WithParamInterface<UserStartCase> {};

// The detector and the tool run as the user whose desktop they are on, or not at all.
TEST_P(UserPrograms, StartAsTheShellsUserOrAsTheInstallerOnlyWhenThatIsTheSessionsUser) {
    const UserStartCase& c = GetParam();
    fakes.processes.elevated = c.elevated;
    fakes.processes.shellToken = c.shellToken;
    fakes.processes.tokenLaunchFails = c.tokenStartFails;
    fakes.context.sessionUserIsOwn = c.sessionUserIsOwn;

    EXPECT_EQ(Install(""), 0);

    // What started for good: a start with the token that failed is followed by the other way.
    std::vector<std::string> started;
    for (const FakeLaunch& launch : fakes.processes.launches) {
        EXPECT_FALSE(launch.debugPrivilegeOn) << launch.commandLine;
        if (launch.commandLine.rfind("kx.exe", 0) == 0 || launch.commandLine.find("cmd.exe") != std::string::npos) {
            EXPECT_FALSE(launch.asShellUser) << launch.commandLine;
        } else if (!(launch.asShellUser && c.tokenStartFails)) {
            started.push_back((launch.asShellUser ? "as shell user " : "as installer ") + launch.application);
        }
    }
    const std::vector<std::string> detectorAndTool = {kTarget + "\\hidwatch.exe", kTarget + "\\Tesvo.exe"};
    std::vector<std::string> expected;
    for (const std::string& program : detectorAndTool) {
        if (c.way != Way::kNot) expected.push_back((c.way == Way::kShellUser ? "as shell user " : "as installer ") + program);
    }
    EXPECT_EQ(started, expected);
    // The shell's token is opened with the debug privilege on, and only by an elevated installer.
    EXPECT_EQ(CountInLog("shell token, debug privilege on"), c.elevated ? 2 : 0);
    EXPECT_EQ(std::count(fakes.context.lines.begin(), fakes.context.lines.end(), "debug privilege: done"),
              c.elevated ? 2 : 0);
    EXPECT_EQ(fakes.context.Logged("detector not started: the session's user may be another"), c.way == Way::kNot);
    EXPECT_EQ(CountInLog("pause 5000"), 1);
    EXPECT_FALSE(fakes.processes.debugPrivilegeOn);
    ExpectNoHandleLeft(true);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserPrograms,
    ::testing::Values(
        //            name                        elev   shell  fails  same   way
        UserStartCase{"NotElevated", false, false, false, true, Way::kInstaller},
        UserStartCase{"NotElevatedOtherSessionUser", false, false, false, false, Way::kInstaller},
        UserStartCase{"ElevatedWithShell", true, true, false, true, Way::kShellUser},
        // Another user's shell token is most likely refused, even with the debug privilege.
        UserStartCase{"OverTheShoulder", true, false, false, false, Way::kNot},
        UserStartCase{"NoShellSameUser", true, false, false, true, Way::kInstaller},
        UserStartCase{"NoShellOtherUser", true, false, false, false, Way::kNot},
        UserStartCase{"TokenStartFailsSameUser", true, true, true, true, Way::kInstaller},
        UserStartCase{"TokenStartFailsOtherUser", true, true, true, false, Way::kNot}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallSequence, ShellTokenElevationIsLogged) {
    fakes.processes.elevated = true;
    fakes.processes.shellToken = true;
    fakes.processes.shellElevated = true;
    EXPECT_EQ(Install(""), 0);
    EXPECT_TRUE(fakes.context.Logged("as the shell's user (token elevated), start tool Tesvo.exe: done"));
    fakes.processes.shellElevated = false;
    SetFolders(kSource, kTarget);
    EXPECT_EQ(Install(""), 0);
    EXPECT_TRUE(fakes.context.Logged("as the shell's user (token not elevated), start detector " + kQuotedDetector +
                                     ": done"));
}

struct ProgramFileCase {
    const char* name;
    bool engineBesideTheInstaller;
    bool toolInstalled;
    bool toolBesideTheInstaller;
    std::string engine;  // the full paths started; empty: none
    std::string tool;
};

class InstallProgramFiles : public InstallSequence, public ::testing::WithParamInterface<ProgramFileCase> {};

// Programs start by their full paths; the interpreter alone without a window.
TEST_P(InstallProgramFiles, AreTheOnesThereNeverFoundBySearch) {
    const ProgramFileCase& c = GetParam();
    fakes.registry.keys[kServiceKeyText] = {};  // an earlier driver, so that the run goes on without an engine
    if (!c.engineBesideTheInstaller) fakes.fileSystem.files.erase(kSource + "\\kx.exe");
    if (!c.toolBesideTheInstaller) fakes.fileSystem.files.erase(kSource + "\\Tesvo.exe");
    engine.putsItsFiles = c.toolInstalled;

    EXPECT_EQ(Install(""), 0);

    std::map<std::string, FakeLaunch> byCommand;
    for (const FakeLaunch& launch : fakes.processes.launches) byCommand.emplace(launch.commandLine, launch);
    const auto startedAs = [&](const std::string& commandLine) {
        auto found = byCommand.find(commandLine);
        return found == byCommand.end() ? std::string() : found->second.application;
    };
    EXPECT_EQ(startedAs("kx.exe "), c.engine);
    EXPECT_EQ(startedAs("Tesvo.exe"), c.tool);
    EXPECT_EQ(startedAs(kQuotedDetector), kTarget + "\\hidwatch.exe");
    EXPECT_EQ(fakes.context.Logged("engine not run: command line too long, or no kx.exe beside the installer or in " + kSource), c.engine.empty());
    EXPECT_EQ(CountInLog("pause 5000"), c.tool.empty() ? 0 : 1);
    EXPECT_EQ(fakes.context.Logged("tool not started: no Tesvo.exe in the installation folder nor the installer's"),
              c.tool.empty());
    for (const FakeLaunch& launch : fakes.processes.launches) {
        EXPECT_EQ(launch.noWindow, launch.commandLine == kScriptInstall) << launch.commandLine;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallProgramFiles,
    ::testing::Values(
        ProgramFileCase{"Usual", true, true, true, kSource + "\\kx.exe", kTarget + "\\Tesvo.exe"},
        ProgramFileCase{"ToolBesideTheInstallerOnly", true, false, true, kSource + "\\kx.exe", kSource + "\\Tesvo.exe"},
        ProgramFileCase{"NoToolAnywhere", true, false, false, kSource + "\\kx.exe", ""},
        ProgramFileCase{"NoEngine", false, false, true, "", kSource + "\\Tesvo.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

// As SYSTEM, an install that succeeded starts the detector in each signed-in user's session as that user, a
// failure not stopping the rest; never the tool, nor after 1641, a failed install or an uninstall.
TEST_F(InstallSequence, AsSystemTheDetectorStartsInEverySignedInSession) {
    const std::vector<std::string> all = {"in session 2 of []: failed, error 1008",
                                          "in session 3 of [CORP\\kiosk]: failed, error 1008", "in session 5 of [PC\\zoe]: done"};
    const std::vector<UserSession> sessions = {{0, kSessionActive, "PC\\svc"}, {2, kSessionActive, ""},
        {3, kSessionActive, "CORP\\kiosk"}, {5, kSessionDisconnected, "PC\\zoe"}, {7, 1, "PC\\x"}};  // 1: connected
    fakes.context.system = true;
    fakes.context.lastError = 1008;  // ERROR_NO_TOKEN
    fakes.processes.sessionsWithToken = {0, 3, 5, 7};
    fakes.processes.failingSessionLaunch = 3;
    engine.removesDriver = false;
    const struct { std::uint32_t engine; bool failed, uninstall, none, starts; } cases[] = {
        {0, false, false, false, true}, {3010, false, false, false, true}, {0, false, false, true, false},
        {1641, false, false, false, false}, {0, true, false, false, false}, {1602, false, true, false, false}};
    for (const auto& c : cases) {
        SetFolders(kSource, kTarget);
        fakes.context.lines.clear();
        fakes.context.sessions = c.none ? std::vector<UserSession>{} : sessions;
        fakes.processes.exitCode = c.engine;
        fakes.fileSystem.targetBusyFor[kTarget + "\\HIDWATCH.EXE"] = c.failed ? 9 : 0;
        (void)(c.uninstall ? Uninstall("/U") : Install(""));
        std::vector<std::string> outcomes;
        for (std::string line : fakes.context.lines) {  // without ", start detector <command>"
            const std::size_t comma = line.find(',');
            if (line.rfind("in session ", 0) == 0) outcomes.push_back(line.erase(comma, line.rfind(": ") - comma));
        }
        EXPECT_EQ(outcomes, c.starts ? all : std::vector<std::string>{}) << c.engine;
        EXPECT_EQ(CountInLog("launch " + kQuotedDetector + " in " + kTarget + " in session 5"), c.starts);
        EXPECT_EQ(CountInLog("launch Tesvo.exe in " + kTarget), 0);
    }
}

}  // namespace
