#include "entry.h"

#include "fake_platform.h"
#include "process_objects.h"
#include "run_context.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kInstallerKeyText = kInstallerKeyPath;
const std::string kRunKeyText = kRunKeyPath;

// The sequences write into the fakes' log, so the dispatch shows in the order of calls.
CallLog* sequenceLog = nullptr;
bool sequenceClosesKey = false;
int sequenceResult = 0;
bool sequenceSucceeds = true;  // the driver is where the sequence wants it

int RecordInstall(const char* commandLine) {
    sequenceLog->push_back(std::string("install [") + commandLine + "]");
    installerState.outcome.driverPresent = sequenceSucceeds;
    return sequenceResult;
}

int RecordUninstall(const char* commandLine) {
    sequenceLog->push_back(std::string("uninstall [") + commandLine + "]");
    installerState.outcome.driverPresent = !sequenceSucceeds;
    if (sequenceClosesKey) {
        // What a sequence does before deleting the key.
        installerState.installerKeyHandle.Reset();
        (void)Platform().registry->DeleteMachineKey(kInstallerKeyPath);
    }
    return sequenceResult;
}

class Entry : public ::testing::Test {
protected:
    Entry() {
        sequenceLog = &fakes.log;
        sequenceClosesKey = false;
        sequenceResult = 0;
        sequenceSucceeds = true;
    }
    int Run(char* tail) { return RunInstallerEntry(tail, InstallerSequences{RecordInstall, RecordUninstall}); }
    int Run(const char* tail) {
        std::string writable = tail;
        return Run(writable.data());
    }

    FakePlatform fakes;
};

TEST_F(Entry, RunsItsStepsInOrder) {
    fakes.processes.table = {{4, "explorer.exe"}, {42, "hidwatch.exe"}};
    fakes.registry.keys[kRunKeyText]["TALMAR TOUCH SCREEN Reload"] = "old";
    fakes.registry.keys[kRunKeyText]["Other"] = "kept";

    EXPECT_EQ(Run("/s"), 0);

    // Every detector is stopped, and its handle closed, before anything else.
    EXPECT_EQ(fakes.log, (CallLog{
                             "wait 60000 ms for the installers' mutex", "snapshot", "open 42", "close snapshot",
                             "exit code 42", "exit code 42", "terminate 42", "wait 42",
                             "close 42",
                             "module path",
                             "create " + kRunKeyText, "delete value TALMAR TOUCH SCREEN Reload",
                             "close " + kRunKeyText,
                             "create " + kInstallerKeyText,
                             "install [/S]",
                             "close " + kInstallerKeyText,
                         }));
    EXPECT_EQ(fakes.registry.keys[kRunKeyText], (std::map<std::string, std::string>{{"Other", "kept"}}));
    EXPECT_EQ(fakes.registry.keys.count(kInstallerKeyText), 1u);
    EXPECT_EQ(fakes.registry.OpenKeyCount(), 0u);
    EXPECT_EQ(fakes.registry.badCloses + fakes.processes.badCloses, 0);
}

// Another run holds the installers' mutex past the wait: 1618 and one line appended to the log; one
// abandoned by a killed run is taken.
TEST_F(Entry, WaitsForAnotherRunThenEndsOrGoesOn) {
    fakes.context.lockWait = 0x102;  // WAIT_TIMEOUT
    EXPECT_EQ(Run("/u"), 1618);
    EXPECT_EQ(fakes.log, CallLog{"wait 60000 ms for the installers' mutex"});
    EXPECT_EQ(fakes.context.lines, std::vector<std::string>{"2026-12-09T08:12:36+01:00 OrvaSetup " ORVA_PROJECT_VERSION
        ", account me, session 1, command line [/u]: another installation is in progress, exit code 1618"});
    EXPECT_FALSE(fakes.context.logMayMove);
    fakes.context.lockWait = kWaitAbandoned;
    EXPECT_EQ(Run("/u"), 0);
    EXPECT_TRUE(fakes.context.logMayMove);
}

struct DispatchCase {
    const char* name;
    const char* tail;
    const char* expectedCall;
};

class EntryDispatch : public Entry, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(EntryDispatch, UpperCasedTailReachesTheChosenSequence) {
    std::string tail = GetParam().tail;
    EXPECT_EQ(Run(tail.data()), 0);
    EXPECT_EQ(fakes.log.at(fakes.log.size() - 2), GetParam().expectedCall);
    // The caller's buffer is upper-cased in place.
    std::string call = GetParam().expectedCall;
    EXPECT_EQ("[" + tail + "]", call.substr(call.find('[')));
}

INSTANTIATE_TEST_SUITE_P(
    Tails, EntryDispatch,
    ::testing::Values(DispatchCase{"Empty", "", "install []"},
                      DispatchCase{"LowerU", "/u", "uninstall [/U]"},
                      DispatchCase{"UpperU", "/U", "uninstall [/U]"},
                      DispatchCase{"InsideAWord", "-silent /uninstall", "uninstall [-SILENT /UNINSTALL]"},
                      DispatchCase{"InsideAPath", "/log=c:/temp/undo.txt", "uninstall [/LOG=C:/TEMP/UNDO.TXT]"},
                      DispatchCase{"OtherSwitch", "/silent /x", "install [/SILENT /X]"},
                      DispatchCase{"BackslashU", "c:\\users", "install [C:\\USERS]"},
                      DispatchCase{"SlashThenBlank", "/ u", "install [/ U]"},
                      DispatchCase{"UThenSlash", "u/", "install [U/]"},
                      DispatchCase{"NonAsciiBytesKept", "\xe9t\xe9 /\xfc", "install [\xe9T\xe9 /\xfc]"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Entry, NoTailAtAllInstallsWithAnEmptyOne) {
    EXPECT_EQ(Run(static_cast<char*>(nullptr)), 0);
    EXPECT_EQ(fakes.log.at(fakes.log.size() - 2), "install []");
}

TEST_F(Entry, KeyThatCannotBeCreatedGivesOneAfterTheDetectorWasStopped) {
    fakes.processes.table = {{42, "hidwatch.exe"}};
    fakes.registry.failingKeys.insert(kInstallerKeyText);

    EXPECT_EQ(Run("/u"), 1);

    const CallLog& log = fakes.log;
    EXPECT_EQ(std::count(log.begin(), log.end(), "terminate 42"), 1);
    EXPECT_EQ(log.back(), "create " + kInstallerKeyText);
    EXPECT_EQ(fakes.processes.Find(42)->exitCode, 0u);
    EXPECT_TRUE(fakes.processes.openProcesses.empty());
    EXPECT_EQ(fakes.registry.OpenKeyCount(), 0u);
}

TEST_F(Entry, RunKeyFailureIsPassedOver) {
    fakes.registry.failingKeys.insert(kRunKeyText);
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(fakes.log.at(fakes.log.size() - 2), "install []");
    EXPECT_EQ(std::count(fakes.log.begin(), fakes.log.end(), "delete value TALMAR TOUCH SCREEN Reload"), 0);
}

TEST_F(Entry, NoDetectorRunningTerminatesNothing) {
    fakes.processes.table = {{4, "explorer.exe"}};
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(fakes.processes.terminateCalls, 0);
    EXPECT_EQ(fakes.log.at(fakes.log.size() - 2), "install []");
}

TEST_F(Entry, KeyClosedBySequenceIsNotClosedAgainAndResultIsIgnored) {
    sequenceClosesKey = true;
    sequenceResult = 1;
    EXPECT_EQ(Run("/U"), 0);
    EXPECT_EQ(std::count(fakes.log.begin(), fakes.log.end(), "close " + kInstallerKeyText), 1);
    EXPECT_EQ(fakes.log.back(), "delete key " + kInstallerKeyText);
    EXPECT_EQ(fakes.registry.badCloses, 0);
    EXPECT_FALSE(installerState.installerKeyHandle.IsValid());
}

TEST_F(Entry, LogsTheRunFromItsHeaderToItsExitCode) {
    fakes.processes.table = {{42, "hidwatch.exe"}};
    fakes.processes.debugPrivilege = false;
    fakes.context.lastError = 1300;
    sequenceSucceeds = false;
    EXPECT_EQ(Run("/s"), 1603);
    EXPECT_EQ(fakes.context.lines,
              (std::vector<std::string>{
                  "2026-12-09T08:12:36+01:00 OrvaSetup " ORVA_PROJECT_VERSION ", account me, session 1, command line [/s]",
                  "debug privilege: failed, error 1300",
                  "open hidwatch.exe, process 42: done",
                  "open installer key: done",
                  "exit code 1603",
              }));
}

// A log that cannot be opened changes nothing else.
TEST_F(Entry, RunsTheSameWithoutALog) {
    fakes.processes.table = {{42, "hidwatch.exe"}};
    EXPECT_EQ(Run("/u"), 0);
    const CallLog withLog = fakes.log;
    FakePlatform again;
    sequenceLog = &again.log;
    again.processes.table = {{42, "hidwatch.exe"}};
    again.context.logOpens = false;
    EXPECT_EQ(RunInstallerEntry(std::string("/u").data(), InstallerSequences{RecordInstall, RecordUninstall}), 0);
    EXPECT_EQ(again.log, withLog);
    EXPECT_TRUE(again.context.lines.empty());
}

struct FolderCase {
    const char* name;
    std::string programFiles;
    std::string modulePath;
    bool moduleCut;
    std::string installFolder;
    std::string sourceFolder;
};

class EntryFolders : public Entry, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(EntryFolders, AreWholeOrEmpty) {
    fakes.context.programFiles = GetParam().programFiles;
    fakes.context.modulePath = GetParam().modulePath;
    fakes.context.moduleCut = GetParam().moduleCut;
    SetUpProgramFilesFolder();
    EXPECT_EQ(Run(""), GetParam().installFolder.empty() ? 1603 : 0);
    EXPECT_EQ(installerState.installFolder, GetParam().installFolder);
    EXPECT_EQ(installerState.sourceFolder, GetParam().sourceFolder);
}

const std::string kLongFolder = "C:\\" + std::string(246, 'p');  // 249 bytes: 261 with "\OrvaPanels"

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryFolders,
    ::testing::Values(
        FolderCase{"Usual", "C:\\Program Files (x86)", "D:\\Setup\\OrvaSetup.exe", false,
                   "C:\\Program Files (x86)\\OrvaPanels", "D:\\Setup"},
        FolderCase{"NoProgramFiles", "", "D:\\Setup\\OrvaSetup.exe", false, "", ""},
        FolderCase{"InstallFolderJustFits", kLongFolder.substr(0, 248), "D:\\OrvaSetup.exe", false,
                   kLongFolder.substr(0, 248) + "\\OrvaPanels", "D:\\"},
        FolderCase{"InstallFolderTooLong", kLongFolder, "D:\\OrvaSetup.exe", false, "", ""},
        FolderCase{"ModulePathCut", "C:\\Program Files", "D:\\Setup\\OrvaSetup.exe", true,
                   "C:\\Program Files\\OrvaPanels", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

struct LogFileCase {
    const char* name;
    bool reparsePoint;
    std::uint32_t links;
    std::uint64_t size;
    bool trustedOwner;
    LogFileUse use;
};

class LogFile : public ::testing::TestWithParam<LogFileCase> {};

// A standard user may have put a link where the log goes, or created the log to read it:
// neither is ever written.
TEST_P(LogFile, IsWrittenOnlyWhenItIsNoLinkAndOwnedByATrustedOwner) {
    const LogFileCase& c = GetParam();
    EXPECT_EQ(UseOfLogFile(c.reparsePoint, c.links, c.size, c.trustedOwner), c.use);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogFile,
    ::testing::Values(LogFileCase{"New", false, 1, 0, true, LogFileUse::kAppend},
                      LogFileCase{"AtTheLimit", false, 1, 1048576, true, LogFileUse::kAppend},
                      LogFileCase{"OverTheLimit", false, 1, 1048577, true, LogFileUse::kRotate},
                      LogFileCase{"ReparsePoint", true, 1, 0, true, LogFileUse::kRefuse},
                      LogFileCase{"ReparsePointOverTheLimit", true, 1, 1048577, true, LogFileUse::kRefuse},
                      LogFileCase{"HardLinked", false, 2, 10, true, LogFileUse::kRefuse},
                      LogFileCase{"HardLinkedOverTheLimit", false, 3, 1048577, true, LogFileUse::kRefuse},
                      LogFileCase{"AnothersEmptyFile", false, 1, 0, false, LogFileUse::kReplace},
                      LogFileCase{"AnothersFileOverTheLimit", false, 1, 1048577, false, LogFileUse::kReplace},
                      // A link is never deleted either: the run keeps no log, as for any link.
                      LogFileCase{"AnothersReparsePoint", true, 1, 0, false, LogFileUse::kRefuse},
                      LogFileCase{"AnothersHardLink", false, 2, 10, false, LogFileUse::kRefuse}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
