#include "uninstall_sequence.h"

#include "install_sequence.h"
#include "sequence_fixture.h"

#include <string>

namespace {

const std::string kScript = kTarget + "\\menulinks.bat";
const std::string kScriptUninstall = "\"" + kSystem + "\\cmd.exe\" /s /c \"\"" + kScript + "\" UNINSTALL\"";

// Starts from a completed installation with the driver present.
class UninstallSequence : public SequenceTest {
protected:
    UninstallSequence() {
        EXPECT_EQ(Install(""), 0);
        SetFolders(kSource, kTarget);  // the next run of the installer
    }
};

// The script's UNINSTALL run removes itself, as the stand-in does: the engine could not.
void ScriptRemovesItself(FakePlatform& fakes) {
    fakes.processes.onLaunch = [&fakes, engineRun = fakes.processes.onLaunch](const std::string& commandLine) {
        engineRun(commandLine);
        if (commandLine == kScriptUninstall) fakes.fileSystem.files.erase(kScript);
    };
}

TEST_F(UninstallSequence, DriverRemovedTakesEverythingAwayInOrder) {
    ScriptRemovesItself(fakes);
    EXPECT_EQ(Uninstall("/U"), 1);

    EXPECT_EQ(fakes.log, (CallLog{
                             "hold " + kScript,
                             "current folder " + kTarget,
                             "launch kx.exe /U in " + kTarget,
                             "wait until ended",
                             "release " + kScript,
                             "open " + kServiceKeyText,
                             "close " + kInstallerKeyText,
                             "delete key " + kInstallerKeyText,
                             "open " + kRunKeyText,
                             "delete value " + kRunValueText,
                             "close " + kRunKeyText,
                             "system folder",
                             "launch " + kScriptUninstall + " in " + kTarget,
                             "wait until ended",
                             "delete file " + kTarget + "\\PANELSET.TXT",
                             "delete file " + kTarget + "\\HIDWATCH.EXE",
                             "find " + kTarget + "\\pnl*.tmp",
                             "current folder " + kSource,
                             "remove folder " + kTarget,
                             "close handle", "close handle",  // the script
                             "close handle", "close handle",  // the engine
                         }));
    EXPECT_FALSE(KeyExists(kInstallerKeyText));
    EXPECT_TRUE(KeyExists(kRunKeyText));
    EXPECT_EQ(Value(kRunKeyText, "Other"), "C:\\other.exe");
    EXPECT_FALSE(HasValue(kRunKeyText, kRunValueText));
    EXPECT_EQ(engineSawScriptDeletion, "refused");
    EXPECT_EQ(fakes.fileSystem.folders.count(kTarget), 0u);
    EXPECT_EQ(fakes.fileSystem.currentFolder, kSource);
    ExpectNoHandleLeft(false);
}

TEST_F(UninstallSequence, FolderHeldForAMomentGoesOnALaterTry) {
    ScriptRemovesItself(fakes);
    for (std::uint32_t error : {kErrorSharingViolation, kErrorAccessDenied}) {
        SCOPED_TRACE(error);
        if (error != kErrorSharingViolation) {  // installed again for the next case
            ASSERT_EQ(Install(""), 0);
            SetFolders(kSource, kTarget);
        }
        fakes.fileSystem.folderBusyFor = 3;
        fakes.fileSystem.folderBusyError = error;
        EXPECT_EQ(Uninstall("/U"), 1);
        EXPECT_EQ(fakes.fileSystem.folders.count(kTarget), 0u);
        EXPECT_EQ(CountInLog("remove folder " + kTarget), 4);
        EXPECT_EQ(CountInLog("pause 200"), 3);
    }
}

TEST_F(UninstallSequence, FolderHeldThroughEveryTryStaysAfterTheLast) {
    ScriptRemovesItself(fakes);
    fakes.fileSystem.folderBusyFor = kFolderRemovalAttempts + 5;
    EXPECT_EQ(Uninstall("/U"), 1);
    EXPECT_EQ(fakes.fileSystem.folders.count(kTarget), 1u);
    EXPECT_EQ(CountInLog("remove folder " + kTarget), kFolderRemovalAttempts);
    EXPECT_EQ(CountInLog("pause 200"), kFolderRemovalAttempts - 1);
}

TEST(RetriesFolderRemoval, OnlyWhereALaterTryCanSucceed) {
    const struct {
        std::uint32_t error;
        int attemptsMade;
        bool retries;
    } cases[] = {
        {kErrorSharingViolation, 1, true},
        {kErrorAccessDenied, 1, true},
        {kErrorSharingViolation, kFolderRemovalAttempts - 1, true},
        {kErrorSharingViolation, kFolderRemovalAttempts, false},
        {kErrorAccessDenied, kFolderRemovalAttempts, false},
        {kErrorDirNotEmpty, 1, false},
        {kErrorFileNotFound, 1, false},
        {kErrorPathNotFound, 1, false},
        {kErrorNone, 1, false},
        {87, 1, false},  // ERROR_INVALID_PARAMETER: another try sends the same path
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RetriesFolderRemoval(c.error, c.attemptsMade), c.retries)
            << "error " << c.error << " after " << c.attemptsMade;
    }
}

TEST_F(UninstallSequence, HeldScriptCanBeDeletedOnceTheEngineHasEnded) {
    EXPECT_EQ(Uninstall("/U"), 1);
    EXPECT_EQ(engineSawScriptDeletion, "refused");
    EXPECT_TRUE(fakes.fileSystem.RemoveFile(kScript.c_str()));
}

TEST_F(UninstallSequence, DriverKeptRestartsTheDetectorAndKeepsEverything) {
    engine.removesDriver = false;
    const auto filesBefore = fakes.fileSystem.files;
    const auto keysBefore = fakes.registry.keys;

    EXPECT_EQ(Uninstall("/U"), 0);

    const std::string detector = "\"" + kTarget + "\\hidwatch.exe\"";
    EXPECT_EQ(fakes.log, (CallLog{
                             "hold " + kScript,
                             "current folder " + kTarget,
                             "launch kx.exe /U in " + kTarget,
                             "wait until ended",
                             "release " + kScript,
                             "open " + kServiceKeyText,
                             "close " + kServiceKeyText,
                             "launch " + detector + " in " + kTarget,
                             "close handle", "close handle",  // the detector runs on
                             "close handle", "close handle",  // the engine
                         }));
    EXPECT_EQ(fakes.fileSystem.files, filesBefore);
    EXPECT_EQ(fakes.registry.keys, keysBefore);
    ExpectNoHandleLeft(true);
}

TEST_F(UninstallSequence, MissingScriptHoldsNothingAndIsStillCalled) {
    fakes.fileSystem.files.erase(kScript);
    EXPECT_EQ(Uninstall("/U"), 1);
    EXPECT_EQ(CountInLog("hold " + kScript), 1);
    EXPECT_EQ(CountInLog("release " + kScript), 0);
    EXPECT_EQ(CountInLog("launch " + kScriptUninstall + " in " + kTarget), 1);
    ExpectNoHandleLeft(false);
}

TEST_F(UninstallSequence, LeftoverFilesKeepTheFolderAfterOneTry) {
    fakes.fileSystem.files[kTarget + "\\TesvoRuns.txt"] = "notes";
    EXPECT_EQ(Uninstall("/U"), 1);
    EXPECT_EQ(fakes.fileSystem.folders.count(kTarget), 1u);
    EXPECT_EQ(CountInLog("remove folder " + kTarget), 1);
    EXPECT_EQ(CountInLog("pause 200"), 0);
    EXPECT_FALSE(HasFile(kTarget + "\\HIDWATCH.EXE"));
    EXPECT_FALSE(HasFile(kTarget + "\\PANELSET.TXT"));
}

TEST_F(UninstallSequence, SecondUninstallRunsTheRemovalAgainWithoutHarm) {
    ScriptRemovesItself(fakes);
    EXPECT_EQ(Uninstall("/U"), 1);
    ASSERT_EQ(fakes.fileSystem.folders.count(kTarget), 0u);

    SetFolders(kSource, kTarget);  // the entry creates the key again
    EXPECT_EQ(Uninstall("/U"), 1);

    EXPECT_FALSE(KeyExists(kInstallerKeyText));
    EXPECT_EQ(CountInLog("delete file " + kTarget + "\\PANELSET.TXT"), 1);
    // The folder is gone already: one try, no pause.
    EXPECT_EQ(CountInLog("remove folder " + kTarget), 1);
    EXPECT_EQ(CountInLog("pause 200"), 0);
    EXPECT_EQ(fakes.fileSystem.currentFolder, kSource);
    ExpectNoHandleLeft(false);
}

TEST_F(UninstallSequence, UnknownSourceFolderLeavesForTheSystemFolder) {
    ScriptRemovesItself(fakes);
    SetFolders("", kTarget);
    EXPECT_EQ(Uninstall("/U"), 1);
    EXPECT_EQ(fakes.fileSystem.currentFolder, kSystem);
    EXPECT_EQ(fakes.fileSystem.folders.count(kTarget), 0u);
}

// An installation folder the entry could not work out is never used: no deletion,
// no folder removal, no process started in it.
TEST_F(UninstallSequence, UnknownInstallFolderDeletesNothing) {
    const auto filesBefore = fakes.fileSystem.files;
    const auto foldersBefore = fakes.fileSystem.folders;
    fakes.registry.keys.erase(kServiceKeyText);
    SetFolders(kSource, "");

    EXPECT_EQ(Uninstall("/U"), 1);

    EXPECT_EQ(fakes.fileSystem.files, filesBefore);
    EXPECT_EQ(fakes.fileSystem.folders, foldersBefore);
    for (const std::string& line : fakes.log) {
        EXPECT_EQ(line.rfind("launch", 0), std::string::npos) << line;
        EXPECT_EQ(line.rfind("delete file", 0), std::string::npos) << line;
        EXPECT_EQ(line.rfind("remove folder", 0), std::string::npos) << line;
        EXPECT_EQ(line.rfind("hold", 0), std::string::npos) << line;
    }
    // The registry side still goes: it names no path.
    EXPECT_FALSE(KeyExists(kInstallerKeyText));
    EXPECT_FALSE(HasValue(kRunKeyText, kRunValueText));
}

TEST_F(UninstallSequence, TailTooLongForTheEngineIsNotCut) {
    engine.removesDriver = false;
    EXPECT_EQ(Uninstall(("/U " + std::string(250, 'X')).c_str()), 0);
    for (const std::string& line : fakes.log) EXPECT_EQ(line.rfind("launch kx.exe", 0), std::string::npos) << line;
}

// Files made read-only or hidden, by read-only media or by hand, go like any other.
TEST_F(UninstallSequence, ReadOnlyAndHiddenFilesGo) {
    ScriptRemovesItself(fakes);
    std::map<std::string, std::uint32_t>& attributes = fakes.fileSystem.attributes;
    attributes[kTarget + "\\PANELSET.TXT"] = FakeFileSystem::kReadOnly;
    attributes[kTarget + "\\HIDWATCH.EXE"] = FakeFileSystem::kReadOnly | FakeFileSystem::kHidden;

    EXPECT_EQ(Uninstall("/U"), 1);

    EXPECT_FALSE(HasFile(kTarget + "\\PANELSET.TXT"));
    EXPECT_FALSE(HasFile(kTarget + "\\HIDWATCH.EXE"));
    EXPECT_EQ(fakes.fileSystem.folders.count(kTarget), 0u);
}

// A detector killed during its save leaves its copy ("pnl", one to four hexadecimal digits,
// ".tmp"); the uninstall deletes those, and only those, before it removes the folder.
TEST_F(UninstallSequence, LeftoversOfAKilledSaveGoWithTheFolder) {
    struct Leftover {
        const char* name;
        const char* shortName;  // what a search also matches
        bool deleted;
    };
    const Leftover files[] = {
        {"pnl1.tmp", nullptr, true},  // as Wine names it
        {"PNLA3F2.TMP", nullptr, true},
        {"pnl12345.tmp", nullptr, false},        // five digits: not the detector's
        {"pnl1 backup.txt", "PNL1.TMP", false},  // found by its short name only
        {"notes.txt", nullptr, false},
    };
    for (bool foreignToo : {false, true}) {
        SCOPED_TRACE(foreignToo ? "with other files" : "leftovers alone");
        if (foreignToo) {
            ASSERT_EQ(Install(""), 0);
            SetFolders(kSource, kTarget);
        }
        ScriptRemovesItself(fakes);
        for (const Leftover& file : files) {
            if (!file.deleted && !foreignToo) continue;
            fakes.fileSystem.files[kTarget + "\\" + file.name] = "x";
            if (file.shortName) fakes.fileSystem.shortNames[kTarget + "\\" + file.name] = file.shortName;
        }

        EXPECT_EQ(Uninstall("/U"), 1);

        for (const Leftover& file : files) {
            if (!file.deleted && !foreignToo) continue;
            EXPECT_EQ(HasFile(kTarget + "\\" + file.name), !file.deleted) << file.name;
        }
        EXPECT_EQ(fakes.fileSystem.folders.count(kTarget), foreignToo ? 1u : 0u);
        if (foreignToo) {
            for (const Leftover& file : files) fakes.fileSystem.files.erase(kTarget + "\\" + file.name);
        }
    }
}

// Up to a restart, a leftover that is held goes at the restart, like the other files.
TEST_F(UninstallSequence, HeldLeftoverGoesAtTheRestart) {
    ScriptRemovesItself(fakes);
    fakes.processes.exitCode = 3010;
    const std::string leftover = kTarget + "\\pnl2c.tmp";
    fakes.fileSystem.files[leftover] = "x";
    HeldFile holder(fakes.fileSystem, fakes.fileSystem.OpenHeldAgainstDeletion(leftover.c_str()));

    EXPECT_EQ(Uninstall("/U"), 1);

    EXPECT_EQ(CountInLog("delete at restart " + leftover), 1);
    EXPECT_EQ(CountInLog("delete at restart " + kTarget), 1);
}

// A driver whose service key is marked for deletion is gone: the removal runs.
TEST_F(UninstallSequence, ServiceKeyMarkedForDeletionCountsAsRemoved) {
    ScriptRemovesItself(fakes);
    engine.removesDriver = false;
    fakes.registry.dwords[kServiceKeyText]["DeleteFlag"] = 1;
    installerState.outcome.uninstalling = true;  // as the entry leaves it

    EXPECT_EQ(Uninstall("/U"), 1);

    EXPECT_FALSE(KeyExists(kInstallerKeyText));
    EXPECT_FALSE(HasFile(kTarget + "\\HIDWATCH.EXE"));
    EXPECT_EQ(CountInLog("launch \"" + kTarget + "\\hidwatch.exe\" in " + kTarget), 0);
    EXPECT_EQ(ExitCodeFor(installerState.outcome), 0);
}

}  // namespace

namespace {

struct UninstallRunCase {
    const char* name;
    bool removesDriver;
    std::uint32_t engineExitCode;
    bool system;
    bool removed;           // the removal path, not the detector's restart
    bool detectorStarted;
    int exitCode;
};

class UninstallRuns : public UninstallSequence, public ::testing::WithParamInterface<UninstallRunCase> {};

// An engine that asks for a restart has removed the driver up to it: the removal runs,
// and what is still held goes at the restart. A detector is restarted only for a user.
TEST_P(UninstallRuns, RemoveOrRestartTheDetector) {
    const UninstallRunCase& c = GetParam();
    ScriptRemovesItself(fakes);
    engine.removesDriver = c.removesDriver;
    fakes.processes.exitCode = c.engineExitCode;
    fakes.context.system = c.system;
    // Something holds the settings file for the whole run.
    const std::string settings = kTarget + "\\PANELSET.TXT";
    HeldFile holder(fakes.fileSystem, fakes.fileSystem.OpenHeldAgainstDeletion(settings.c_str()));
    installerState.outcome.uninstalling = true;  // as the entry leaves it

    EXPECT_EQ(Uninstall("/U"), c.removed ? 1 : 0);

    EXPECT_EQ(KeyExists(kInstallerKeyText), !c.removed);
    EXPECT_EQ(HasValue(kRunKeyText, kRunValueText), !c.removed);
    EXPECT_EQ(CountInLog("launch " + kScriptUninstall + " in " + kTarget), c.removed ? 1 : 0);
    EXPECT_EQ(HasFile(kTarget + "\\HIDWATCH.EXE"), !c.removed);
    const bool restartPending = c.engineExitCode == 3010 || c.engineExitCode == 1641;
    EXPECT_EQ(CountInLog("delete at restart " + settings), c.removed && restartPending ? 1 : 0);
    EXPECT_EQ(CountInLog("delete at restart " + kTarget), c.removed && restartPending ? 1 : 0);
    EXPECT_EQ(CountInLog("launch \"" + kTarget + "\\hidwatch.exe\" in " + kTarget), c.detectorStarted ? 1 : 0);
    EXPECT_EQ(ExitCodeFor(installerState.outcome), c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UninstallRuns,
    ::testing::Values(UninstallRunCase{"DriverRemoved", true, 0, false, true, false, 0},
                      UninstallRunCase{"DriverKept", false, 1602, false, false, true, 1603},
                      UninstallRunCase{"DriverKeptAsSystem", false, 0, true, false, false, 1603},
                      UninstallRunCase{"DriverRemovedUpToTheRestart", false, 3010, false, true, false, 3010},
                      // The restart under way: everything goes, or goes at it; the script runs before it.
                      UninstallRunCase{"RestartStarted", false, 1641, false, true, false, 1641},
                      UninstallRunCase{"DriverGoneRestartRequired", true, 3010, false, true, false, 3010}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

struct EngineFileCase {
    const char* name;
    bool besideTheInstaller;
    bool inTheInstallFolder;
    std::string started;  // the engine's full path; empty: none started
};

class UninstallEngineFile : public UninstallSequence, public ::testing::WithParamInterface<EngineFileCase> {};

// Never a kx.exe that a search would find (the current folder's, or on PATH).
TEST_P(UninstallEngineFile, IsTheInstallersElseTheInstalledOne) {
    const EngineFileCase& c = GetParam();
    if (!c.besideTheInstaller) fakes.fileSystem.files.erase(kSource + "\\kx.exe");
    if (!c.inTheInstallFolder) fakes.fileSystem.files.erase(kTarget + "\\kx.exe");
    fakes.processes.exitCode = 3010;

    (void)Uninstall("/U");

    std::vector<std::string> engines;
    for (const FakeLaunch& launch : fakes.processes.launches) {
        if (launch.commandLine == "kx.exe /U") engines.push_back(launch.application);
    }
    EXPECT_EQ(engines, c.started.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.started});
    EXPECT_EQ(fakes.context.Logged("engine not run: command line too long, or no kx.exe beside the installer or in " + kTarget),
              c.started.empty());
    EXPECT_EQ(installerState.outcome.engineExitCode, c.started.empty() ? 0u : 3010u);
}

INSTANTIATE_TEST_SUITE_P(Cases, UninstallEngineFile,
                         ::testing::Values(EngineFileCase{"Both", true, true, kSource + "\\kx.exe"},
                                           EngineFileCase{"InstalledOnly", false, true, kTarget + "\\kx.exe"},
                                           EngineFileCase{"BesideTheInstallerOnly", true, false, kSource + "\\kx.exe"},
                                           EngineFileCase{"Neither", false, false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
