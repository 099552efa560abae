// The process objects and the source folder with real processes under Wine. The
// program started is the probe, copied under the detector's name.
#include "ascii_case.h"
#include "entry.h"
#include "platform.h"
#include "process_objects.h"
#include "process_objects_peer.h"
#include "unique_handle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <deque>
#include <vector>

namespace {

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string OwnFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? Folder(path) : std::string();
}

std::string ReadText(const std::string& file) {
    std::string text;
    if (FILE* in = std::fopen(file.c_str(), "r")) {
        char buffer[512];
        size_t n = std::fread(buffer, 1, sizeof(buffer), in);
        text.assign(buffer, n);
        std::fclose(in);
    }
    return text;
}

// Snapshot positions of the given process ids once all of them are listed under name.
DWORD ProcessIdOf(const LaunchedProcess& launched) { return GetProcessId(LaunchedProcessPeer::Process(launched)); }

std::vector<int> SnapshotPositions(const std::vector<DWORD>& processIds, const char* name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::vector<int> positions(processIds.size(), -1);
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return {};
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof(entry);
        int index = 0;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry), ++index) {
            for (size_t i = 0; i < processIds.size(); ++i) {
                if (entry.th32ProcessID == processIds[i] && EqualsIgnoringAsciiCase(entry.szExeFile, name)) {
                    positions[i] = index;
                }
            }
        }
        CloseHandle(snapshot);
        bool all = true;
        for (int position : positions) all = all && position >= 0;
        if (all) return positions;
        Sleep(100);
    }
    return {};
}

bool HasEnded(HANDLE process, DWORD milliseconds = 0) {
    return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
}

class RealProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        UseWindowsPlatform();
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        root = std::string(temp) + "orva_installer_" + std::to_string(GetCurrentProcessId());
        probe = OwnFolder() + "\\installer_probe.exe";
        ASSERT_NE(GetFileAttributesA(probe.c_str()), INVALID_FILE_ATTRIBUTES) << probe;
        for (const char* sub : {"", "\\a", "\\b"}) CreateDirectoryA((root + sub).c_str(), nullptr);
        // One copy named in capitals: the snapshot lists the file's own name.
        firstDetector = root + "\\a\\HIDWATCH.EXE";
        secondDetector = root + "\\b\\hidwatch.exe";
        ASSERT_TRUE(CopyFileA(probe.c_str(), firstDetector.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(probe.c_str(), secondDetector.c_str(), FALSE));
    }

    void TearDown() override {
        for (LaunchedProcess& process : started) {
            if (LaunchedProcessPeer::Process(process) && !HasEnded(LaunchedProcessPeer::Process(process))) {
                TerminateProcess(LaunchedProcessPeer::Process(process), 1);
                HasEnded(LaunchedProcessPeer::Process(process), 5000);
            }
        }
        started.clear();
        for (const std::string& file : cleanup) DeleteFileA(file.c_str());
        DeleteFileA(firstDetector.c_str());
        DeleteFileA(secondDetector.c_str());
        for (const char* sub : {"\\a", "\\b", ""}) RemoveDirectoryA((root + sub).c_str());
    }

    // Starts a program without waiting; the fixture ends it if the test does not.
    LaunchedProcess& StartKept(const std::string& commandLine, const std::string& directory) {
        started.emplace_back();
        (void)started.back().Start(commandLine.c_str(), directory.c_str(), false);
        return started.back();
    }

    std::string root, probe, firstDetector, secondDetector;
    std::deque<LaunchedProcess> started;  // references stay valid as it grows
    std::vector<std::string> cleanup;
};

TEST_F(RealProcesses, RunningDetectorIsFoundAndTerminated) {
    LaunchedProcess& detector = StartKept("\"" + firstDetector + "\" sleep 60000 0", root);
    ASSERT_NE(ProcessIdOf(detector), 0u);
    ASSERT_EQ(SnapshotPositions({ProcessIdOf(detector)}, "hidwatch.exe").size(), 1u);

    RunningProcess running("hidwatch.exe");
    ASSERT_TRUE(running.IsStillActive());
    StopProcess(running);
    EXPECT_FALSE(running.IsStillActive());
    EXPECT_TRUE(HasEnded(LaunchedProcessPeer::Process(detector), 5000));
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(LaunchedProcessPeer::Process(detector), &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(RealProcesses, EveryDetectorIsTerminated) {
    LaunchedProcess& first = StartKept("\"" + firstDetector + "\" sleep 60000 0", root);
    LaunchedProcess& second = StartKept("\"" + secondDetector + "\" sleep 60000 0", root);
    ASSERT_EQ(SnapshotPositions({ProcessIdOf(first), ProcessIdOf(second)},
                                "hidwatch.exe")
                  .size(),
              2u);

    RunningProcess running("hidwatch.exe");
    StopProcess(running);

    EXPECT_TRUE(HasEnded(LaunchedProcessPeer::Process(first), 5000));
    EXPECT_TRUE(HasEnded(LaunchedProcessPeer::Process(second), 5000));
}

TEST_F(RealProcesses, NoDetectorRunningHoldsNothing) {
    RunningProcess running("orva-no-such-program.exe");
    EXPECT_EQ(RunningProcessPeer::HeldCount(running), 0u);
    EXPECT_FALSE(running.IsStillActive());
}

TEST_F(RealProcesses, StartWithoutWaitingReturnsAtOnce) {
    DWORD before = GetTickCount();
    LaunchedProcess& process = StartKept("\"" + secondDetector + "\" sleep 60000 0", root);
    DWORD elapsed = GetTickCount() - before;
    ASSERT_TRUE(LaunchedProcessPeer::Process(process));
    EXPECT_LT(elapsed, 30000u);
    EXPECT_FALSE(HasEnded(LaunchedProcessPeer::Process(process)));
}

TEST_F(RealProcesses, StartWithWaitingBlocksUntilTheEnd) {
    LaunchedProcess process;
    DWORD before = GetTickCount();
    EXPECT_EQ(process.Start(("\"" + secondDetector + "\" sleep 700 7").c_str(), root.c_str(), true), 1);
    DWORD elapsed = GetTickCount() - before;
    ASSERT_TRUE(LaunchedProcessPeer::Process(process));
    EXPECT_TRUE(HasEnded(LaunchedProcessPeer::Process(process)));
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(LaunchedProcessPeer::Process(process), &exitCode));
    EXPECT_EQ(exitCode, 7u);
    EXPECT_EQ(process.ExitCode(), 7u);
    EXPECT_GE(elapsed, 600u);
}

DWORD WINAPI WaitUntilEnded(LPVOID process) {
    WindowsProcessesApi().WaitUntilEnded(process);
    return 0;
}

// The engine may run for as long as a person takes over its dialogs: the wait has no
// time limit. A process that never ends by itself still holds the wait after a pause
// longer than any short limit, and releases it as soon as it ends.
TEST_F(RealProcesses, WaitingHasNoTimeLimit) {
    LaunchedProcess& process = StartKept("\"" + secondDetector + "\" sleep 4294967294 0", root);
    const HANDLE handle = LaunchedProcessPeer::Process(process);
    ASSERT_TRUE(handle);
    UniqueHandle waiter(CreateThread(nullptr, 0, &WaitUntilEnded, handle, 0, nullptr));
    ASSERT_TRUE(waiter);
    EXPECT_EQ(WaitForSingleObject(waiter.Get(), 3000), static_cast<DWORD>(WAIT_TIMEOUT)) << "the wait gave up early";
    TerminateProcess(handle, 1);
    EXPECT_EQ(WaitForSingleObject(waiter.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(RealProcesses, MissingProgramIsNotStarted) {
    LaunchedProcess process;
    EXPECT_EQ(process.Start("orva-no-such-program.exe /U", root.c_str(), true), 0);
    EXPECT_EQ(LaunchedProcessPeer::Process(process), nullptr);
    EXPECT_EQ(ProcessIdOf(process), 0u);
    EXPECT_EQ(process.Start(("\"" + secondDetector + "\" sleep 0 0").c_str(), (root + "\\missing").c_str(), true), 0);
}

TEST_F(RealProcesses, StartedProgramGetsTheGivenCurrentDirectory) {
    std::string output = root + "\\cwd.txt";
    cleanup.push_back(output);
    LaunchedProcess process;
    ASSERT_EQ(process.Start(("\"" + firstDetector + "\" cwd \"" + output + "\"").c_str(), (root + "\\b").c_str(), true), 1);
    ASSERT_TRUE(LaunchedProcessPeer::Process(process));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(ReadText(output).c_str(), (root + "\\b").c_str())) << ReadText(output);
}

TEST_F(RealProcesses, SourceFolderOfAFolderAndOfADriveRoot) {
    std::string atRoot = "C:\\orva_probe_" + std::to_string(GetCurrentProcessId()) + ".exe";
    ASSERT_TRUE(CopyFileA(probe.c_str(), atRoot.c_str(), FALSE));
    cleanup.push_back(atRoot);
    struct Case {
        std::string program;
        std::string expected;
    };
    const Case cases[] = {{firstDetector, root + "\\a"}, {atRoot, "C:\\"}};
    for (const Case& c : cases) {
        std::string output = root + "\\source.txt";
        cleanup.push_back(output);
        DeleteFileA(output.c_str());
        LaunchedProcess process;
        ASSERT_EQ(process.Start(("\"" + c.program + "\" source-folder \"" + output + "\"").c_str(), root.c_str(), true), 1);
        ASSERT_TRUE(LaunchedProcessPeer::Process(process)) << c.program;
        EXPECT_TRUE(EqualsIgnoringAsciiCase(ReadText(output).c_str(), c.expected.c_str()))
            << c.program << " gave " << ReadText(output);
    }
}

TEST_F(RealProcesses, DllBesideTheProgramIsNotLoadedOnceSearchIsRestricted) {
    std::string planted = root + "\\a\\orva_planted.dll";
    ASSERT_TRUE(CopyFileA((OwnFolder() + "\\orva_planted.dll").c_str(), planted.c_str(), FALSE));
    cleanup.push_back(planted);
    const struct {
        const char* mode;
        DWORD expectedExitCode;
    } cases[] = {{"load", 1}, {"load-restricted", 0}};
    for (const auto& c : cases) {
        LaunchedProcess process;
        ASSERT_EQ(process.Start(("\"" + firstDetector + "\" " + c.mode + " orva_planted.dll").c_str(), root.c_str(), true), 1);
        ASSERT_TRUE(LaunchedProcessPeer::Process(process));
        DWORD exitCode = 99;
        EXPECT_TRUE(GetExitCodeProcess(LaunchedProcessPeer::Process(process), &exitCode));
        EXPECT_EQ(exitCode, c.expectedExitCode) << c.mode;
    }
}

}  // namespace
