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
    std::uint32_t heldProcess;  // 0: none
};

class RunningProcessMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(RunningProcessMatch, HoldsTheLastWholeNameMatch) {
    FakePlatform fakes;
    fakes.processes.table = GetParam().table;
    {
        RunningProcess process("hidwatch.exe");
        std::set<std::uint32_t> expected;
        if (GetParam().heldProcess) expected.insert(GetParam().heldProcess);
        EXPECT_EQ(fakes.processes.openProcesses, expected);
        EXPECT_EQ(RunningProcessPeer::HoldsProcess(process), GetParam().heldProcess != 0);
        EXPECT_EQ(process.IsStillActive(), GetParam().heldProcess != 0);
        EXPECT_FALSE(fakes.processes.snapshotOpen);
    }
    EXPECT_TRUE(fakes.processes.openProcesses.empty());
    EXPECT_EQ(fakes.processes.badCloses, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RunningProcessMatch,
    ::testing::Values(
        MatchCase{"Exact", {{4, "explorer.exe"}, {42, "hidwatch.exe"}, {7, "svchost.exe"}}, 42},
        MatchCase{"Capitals", {{4, "explorer.exe"}, {42, "HIDWATCH.EXE"}}, 42},
        MatchCase{"MixedCase", {{43, "HidWatch.Exe"}}, 43},
        MatchCase{"LongerNamesAndSubstrings",
                  {{1, "hidwatch.exe.old"}, {2, "xhidwatch.exe"}, {3, "hidwatch.ex"}, {5, "hidwatch"},
                   {6, "hidwatch .exe"}},
                  0},
        MatchCase{"NoProcesses", {}, 0},
        MatchCase{"LastOfTwo", {{10, "hidwatch.exe"}, {4, "explorer.exe"}, {20, "HIDWATCH.EXE"}}, 20},
        MatchCase{"LastMatchCannotBeOpened",
                  {{10, "hidwatch.exe"}, {20, "hidwatch.exe", kStillActive, false}},
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunningProcess, ReplacedMatchIsClosedBeforeTheNextOpen) {
    FakePlatform fakes;
    fakes.processes.table = {{10, "hidwatch.exe"}, {20, "hidwatch.exe"}};
    RunningProcess process("hidwatch.exe");
    const CallLog& log = fakes.log;
    ASSERT_GE(IndexOf(log, "close 10"), 0);
    EXPECT_LT(IndexOf(log, "open 10"), IndexOf(log, "close 10"));
    EXPECT_LT(IndexOf(log, "close 10"), IndexOf(log, "open 20"));
}

TEST(RunningProcess, FailedSnapshotShowsTheMessageAndHoldsNothing) {
    FakePlatform fakes;
    fakes.processes.snapshotFails = true;
    fakes.processes.table = {{42, "hidwatch.exe"}};
    RunningProcess process("hidwatch.exe");
    EXPECT_EQ(fakes.log, (CallLog{"snapshot", "message box Error opening process enumeration..."}));
    EXPECT_FALSE(process.IsStillActive());
    EXPECT_FALSE(process.Terminate());
}

TEST(RunningProcess, EndedProcessIsNotActiveAndReleaseClosesOnce) {
    FakePlatform fakes;
    fakes.processes.table = {{42, "hidwatch.exe", 0}};
    RunningProcess process("hidwatch.exe");
    EXPECT_FALSE(process.IsStillActive());
    RunningProcess moved = std::move(process);
    EXPECT_TRUE(RunningProcessPeer::HoldsProcess(moved));
    moved.Release();
    moved.Release();
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
        {
            LaunchedProcess process;
            EXPECT_EQ(process.Start("kx.exe /U", "C:\\Setup", wait), 1);
            EXPECT_TRUE(IsHandle(LaunchedProcessPeer::Process(process)));
            EXPECT_TRUE(IsHandle(LaunchedProcessPeer::Thread(process)));
            CallLog expected{"launch kx.exe /U in C:\\Setup"};
            if (wait) expected.push_back("wait until ended");
            EXPECT_EQ(fakes.log, expected);
            EXPECT_EQ(fakes.launcher.openHandles.size(), 2u);
        }
        EXPECT_TRUE(fakes.launcher.openHandles.empty());
        EXPECT_EQ(fakes.launcher.badCloses, 0);
    }
}

TEST(LaunchedProcess, FailedStartReturnsZeroAndHoldsNothing) {
    FakePlatform fakes;
    fakes.launcher.launchFails = true;
    {
        LaunchedProcess process("no-such-program.exe", "C:\\", true);
        EXPECT_EQ(LaunchedProcessPeer::ProcessId(process), 0u);
        EXPECT_FALSE(IsHandle(LaunchedProcessPeer::Process(process)));
        EXPECT_EQ(process.Start("no-such-program.exe", "C:\\", true), 0);
    }
    EXPECT_EQ(fakes.log,
              (CallLog{"launch no-such-program.exe in C:\\", "launch no-such-program.exe in C:\\"}));
    EXPECT_EQ(fakes.launcher.badCloses, 0);
}

TEST(LaunchedProcess, SecondStartAndMoveNeverLeakOrCloseTwice) {
    FakePlatform fakes;
    {
        LaunchedProcess first("a.exe", "C:\\", false);
        EXPECT_EQ(first.Start("b.exe", "C:\\", false), 1);
        EXPECT_EQ(fakes.launcher.openHandles.size(), 2u);
        LaunchedProcess second(std::move(first));
        LaunchedProcess third;
        third = std::move(second);
        EXPECT_EQ(fakes.launcher.openHandles.size(), 2u);
    }
    EXPECT_TRUE(fakes.launcher.openHandles.empty());
    EXPECT_EQ(fakes.launcher.badCloses, 0);
}

}  // namespace
