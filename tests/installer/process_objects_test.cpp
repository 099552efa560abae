#include "process_objects.h"

#include "process_objects_peer.h"

#include "fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

std::ptrdiff_t IndexOf(const CallLog& log, const std::string& call) {
    auto found = std::find(log.begin(), log.end(), call);
    return found == log.end() ? -1 : found - log.begin();
}

struct MatchCase {
    const char* name;
    std::vector<FakeProcess> table;
    std::set<std::uint32_t> heldProcesses;
    long leftAlone = 0;  // opened, then found to be another program
};

class RunningProcessMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RunningProcessMatch, HoldsAndStopsEveryWholeNameMatch) {
    FakePlatform fakes;
    fakes.processes.table = GetParam().table;
    {
        RunningProcess process("hidwatch.exe");
        EXPECT_EQ(fakes.processes.openProcesses, GetParam().heldProcesses);
        EXPECT_EQ(RunningProcessPeer::HeldCount(process), GetParam().heldProcesses.size());
        EXPECT_EQ(process.IsStillActive(), !GetParam().heldProcesses.empty());
        EXPECT_FALSE(fakes.processes.snapshotOpen);
        StopProcess(process);
    }
    for (const FakeProcess& listed : GetParam().table) {
        const bool terminated = IndexOf(fakes.log, "terminate " + std::to_string(listed.processId)) >= 0;
        EXPECT_EQ(terminated, GetParam().heldProcesses.count(listed.processId) == 1) << listed.processId;
    }
    const auto& lines = fakes.context.lines;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find(": left alone") != std::string::npos; }),
              GetParam().leftAlone);
    EXPECT_TRUE(fakes.processes.openProcesses.empty());
    EXPECT_EQ(fakes.processes.badCloses, 0);
}

// Listed as a detector, but by the time it is opened its id belongs to the image given.
FakeProcess Reused(std::uint32_t processId, const char* image, bool readable = true) {
    FakeProcess process{processId, "hidwatch.exe"};
    process.image = image;
    process.imageReadable = readable;
    return process;
}

INSTANTIATE_TEST_SUITE_P(
    Names, RunningProcessMatch,
    ::testing::Values(
        MatchCase{"Exact", {{4, "explorer.exe"}, {42, "hidwatch.exe"}, {7, "svchost.exe"}}, {42}},
        MatchCase{"Capitals", {{4, "explorer.exe"}, {42, "HIDWATCH.EXE"}}, {42}},
        MatchCase{"MixedCase", {{43, "HidWatch.Exe"}}, {43}},
        MatchCase{"LongerNamesAndSubstrings",
                  {{1, "hidwatch.exe.old"}, {2, "xhidwatch.exe"}, {3, "hidwatch.ex"}, {5, "hidwatch"},
                   {6, "hidwatch .exe"}},
                  {}},
        MatchCase{"NoProcesses", {}, {}},
        MatchCase{"BothOfTwo", {{10, "hidwatch.exe"}, {4, "explorer.exe"}, {20, "HIDWATCH.EXE"}}, {10, 20}},
        MatchCase{"OneThatCannotBeOpened",
                  {{10, "hidwatch.exe"}, {20, "hidwatch.exe", kStillActive, false}},
                  {10}},
        MatchCase{"IdNowOfAnotherProgram", {{10, "hidwatch.exe"}, Reused(20, "C:\\Windows\\notepad.exe")}, {10}, 1},
        MatchCase{"ImageNameUnreadable", {Reused(42, "", false)}, {}, 1},
        MatchCase{"ImageNameInOtherCase", {Reused(42, "C:\\Program Files\\OrvaPanels\\HIDWATCH.EXE")}, {42}},
        MatchCase{"OnlyAFolderOfTheName", {Reused(42, "C:\\hidwatch.exe\\setup.exe")}, {}, 1},
        MatchCase{"AnotherNameEndingLikeIt", {Reused(42, "C:\\Tools\\myhidwatch.exe")}, {}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct PrivilegeCase {
    const char* name;
    bool tokenHasIt;
    bool onBefore;
    bool onWhileOpening;
    bool offFails = false;  // and the failure is logged
};

class DebugPrivilegeAround : public ::testing::TestWithParam<PrivilegeCase> {};

// Every program the installer starts later inherits the token's state.
TEST_P(DebugPrivilegeAround, OpeningIsOnlyWhileOpeningAndThenAsBefore) {
    const PrivilegeCase& c = GetParam();
    FakePlatform fakes;
    fakes.processes.debugPrivilege = c.tokenHasIt;
    fakes.processes.debugPrivilegeOn = c.onBefore;
    fakes.processes.debugPrivilegeStaysOn = c.offFails;
    fakes.processes.table = {{10, "hidwatch.exe"}, {20, "hidwatch.exe"}};
    {
        RunningProcess process("hidwatch.exe");
        EXPECT_EQ(fakes.processes.opensWithoutDebugPrivilege, c.onWhileOpening ? 0 : 2);
        EXPECT_EQ(fakes.processes.debugPrivilegeOn, c.onBefore || c.offFails);
        EXPECT_EQ(RunningProcessPeer::HeldCount(process), 2u);
    }
    EXPECT_EQ(fakes.processes.badCloses, 0);
    EXPECT_EQ(fakes.context.Logged("debug privilege off: failed, error 0"), c.offFails);
}

INSTANTIATE_TEST_SUITE_P(Cases, DebugPrivilegeAround,
                         ::testing::Values(PrivilegeCase{"Administrator", true, false, true},
                                           PrivilegeCase{"SystemHasItOn", true, true, true},
                                           PrivilegeCase{"TokenWithoutIt", false, false, false},
                                           PrivilegeCase{"TurningItOffFails", true, false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Several detectors (one per session): all are terminated before any is waited for,
// and one that never ends does not keep the others running.
TEST(StopProcess, TerminatesEveryDetectorThenWaitsForAll) {
    FakePlatform fakes;
    fakes.processes.table = {{10, "hidwatch.exe"}, {20, "HIDWATCH.EXE"}, {30, "hidwatch.exe"}};
    fakes.processes.table[1].terminationsToEnd = 0;  // never ends
    RunningProcess process("hidwatch.exe");
    StopProcess(process);
    const CallLog& log = fakes.log;
    EXPECT_LT(IndexOf(log, "terminate 30"), IndexOf(log, "wait 10"));
    EXPECT_EQ(fakes.processes.Find(10)->exitCode, 0u);
    EXPECT_EQ(fakes.processes.Find(30)->exitCode, 0u);
    EXPECT_EQ(std::count(log.begin(), log.end(), "terminate 20"), kTerminateAttempts);
    EXPECT_EQ(std::count(log.begin(), log.end(), "terminate 10"), 1);
}

struct SnapshotFailureCase {
    const char* name;
    bool system;
    std::uint32_t session;
    bool visible;
    bool boxShown;
};

class FailedSnapshot : public ::testing::TestWithParam<SnapshotFailureCase> {};

// The box only where a user can click it; elsewhere it would hold the deployment up.
TEST_P(FailedSnapshot, ShowsTheMessageOnlyToAUserAndHoldsNothing) {
    const SnapshotFailureCase& c = GetParam();
    FakePlatform fakes;
    fakes.context.system = c.system;
    fakes.context.session = c.session;
    fakes.context.visible = c.visible;
    fakes.processes.snapshotFails = true;
    fakes.processes.table = {{42, "hidwatch.exe"}};
    RunningProcess process("hidwatch.exe");
    const CallLog shown{"snapshot", "message box Error opening process enumeration..."};
    EXPECT_EQ(fakes.log, c.boxShown ? shown : CallLog{"snapshot"});
    ASSERT_FALSE(fakes.context.lines.empty());
    const std::string& logged = fakes.context.lines.back();
    EXPECT_NE(logged.find("Error opening process enumeration..."), std::string::npos);
    EXPECT_EQ(logged.rfind("message box not shown", 0) == 0, !c.boxShown) << logged;
    EXPECT_FALSE(process.IsStillActive());
}

INSTANTIATE_TEST_SUITE_P(Runs, FailedSnapshot,
                         ::testing::Values(SnapshotFailureCase{"User", false, 1, true, true},
                                           SnapshotFailureCase{"SystemInTheUsersSession", true, 1, true, false},
                                           SnapshotFailureCase{"SessionZero", false, 0, true, false},
                                           SnapshotFailureCase{"HiddenWindowStation", false, 1, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RunningProcess, EndedProcessIsNotActiveAndItsHandleClosesOnce) {
    FakePlatform fakes;
    fakes.processes.table = {{42, "hidwatch.exe", 0}};
    {
        RunningProcess process("hidwatch.exe");
        EXPECT_FALSE(process.IsStillActive());
        RunningProcess moved = std::move(process);
        EXPECT_EQ(RunningProcessPeer::HeldCount(moved), 1u);
    }
    EXPECT_TRUE(fakes.processes.openProcesses.empty());
    EXPECT_EQ(fakes.processes.badCloses, 0);
}

struct StopCase {
    const char* name;
    FakeProcess process;
    int expectedTerminations;
    bool endsActive;
};

class StopProcessBound : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopProcessBound, EndsWithinTheBound) {
    FakePlatform fakes;
    fakes.processes.table = {GetParam().process};
    RunningProcess process("hidwatch.exe");
    StopProcess(process);
    EXPECT_EQ(fakes.processes.terminateCalls, GetParam().expectedTerminations);
    EXPECT_EQ(process.IsStillActive(), GetParam().endsActive);
}

FakeProcess Detector(int terminationsToEnd, bool signalsEnd, bool alreadyEnded = false) {
    FakeProcess process{42, "hidwatch.exe"};
    process.terminationsToEnd = terminationsToEnd;
    process.signalsEnd = signalsEnd;
    process.alreadyEnded = alreadyEnded;
    return process;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopProcessBound,
    ::testing::Values(StopCase{"EndsAtOnce", Detector(1, true), 1, false},
                      StopCase{"EndsAfterThreeTries", Detector(3, false), 3, false},
                      StopCase{"EndedWithCode259", Detector(0, false, true), 1, true},
                      StopCase{"NeverEnds", Detector(0, false), kTerminateAttempts, true},
                      StopCase{"AlreadyEndedNormally", FakeProcess{42, "hidwatch.exe", 0}, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StopProcess, NothingHeldNothingTerminated) {
    FakePlatform fakes;
    RunningProcess process("hidwatch.exe");
    StopProcess(process);
    EXPECT_EQ(fakes.processes.terminateCalls, 0);
}

TEST(LaunchedProcess, WaitsOnlyWhenAskedAndClosesBothHandles) {
    for (bool wait : {false, true}) {
        FakePlatform fakes;
        fakes.processes.exitCode = 3010;
        {
            LaunchedProcess process;
            EXPECT_EQ(process.Start("kx.exe /U", "C:\\Setup", wait), 1);
            EXPECT_TRUE(IsHandle(LaunchedProcessPeer::Process(process)));
            EXPECT_TRUE(IsHandle(LaunchedProcessPeer::Thread(process)));
            CallLog expected{"launch kx.exe /U in C:\\Setup"};
            if (wait) expected.push_back("wait until ended");
            EXPECT_EQ(fakes.log, expected);
            EXPECT_EQ(fakes.processes.openHandles.size(), 2u);
            EXPECT_EQ(process.ExitCode(), wait ? 3010u : 0u);  // only a process waited for has ended
        }
        EXPECT_TRUE(fakes.processes.openHandles.empty());
        EXPECT_EQ(fakes.processes.badCloses, 0);
    }
}

TEST(LaunchedProcess, FailedStartReturnsZeroAndHoldsNothing) {
    FakePlatform fakes;
    fakes.processes.launchFails = true;
    {
        LaunchedProcess process;
        EXPECT_EQ(process.Start("no-such-program.exe", "C:\\", true), 0);
        EXPECT_FALSE(IsHandle(LaunchedProcessPeer::Process(process)));
        EXPECT_EQ(process.Start("no-such-program.exe", "C:\\", true), 0);
    }
    EXPECT_EQ(fakes.log,
              (CallLog{"launch no-such-program.exe in C:\\", "launch no-such-program.exe in C:\\"}));
    EXPECT_EQ(fakes.processes.badCloses, 0);
}

TEST(LaunchedProcess, SecondStartAndMoveNeverLeakOrCloseTwice) {
    FakePlatform fakes;
    {
        LaunchedProcess first;
        EXPECT_EQ(first.Start("a.exe", "C:\\", false), 1);
        EXPECT_EQ(first.Start("b.exe", "C:\\", false), 1);
        EXPECT_EQ(fakes.processes.openHandles.size(), 2u);
        LaunchedProcess second(std::move(first));
        LaunchedProcess third;
        third = std::move(second);
        EXPECT_EQ(fakes.processes.openHandles.size(), 2u);
    }
    EXPECT_TRUE(fakes.processes.openHandles.empty());
    EXPECT_EQ(fakes.processes.badCloses, 0);
}

}  // namespace
