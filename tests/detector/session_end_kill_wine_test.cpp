// The real detector killed during its session-end save, round after round: the
// settings file must afterwards hold the whole old or the whole new set of
// values, a later complete save leaves nothing beside it, and the next log-on
// restores what it holds. Runs under Wine with the stand-in driver.
#include "unique_handle.h"
#include "wine_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kInstallerKey[] = "SOFTWARE\\TALMAR\\TALMAR TOUCH INSTALLER";
const char kScreensMutex[] = "OrvaPubIfStandIn.ScreensFile";
constexpr int kScreens = 4;
constexpr int kRounds = 100;

const char* const kKeys[] = {"Beeper Function", "Beeper Routing", "Frequency", "Duration",
                             "Double Click Area", "Double Click Speed", "Touch Mode"};
constexpr int kKeyCount = 7;

// The values the driver holds for every screen; the double-click keys come from
// the system and stay as the start-up restore set them.
struct DriverValues {
    int function, frequency, duration, routing, mouseMode;
};

// The seven values of a settings file; false when one is missing.
bool ParseSettings(const std::string& content, long values[kKeyCount]) {
    for (int i = 0; i < kKeyCount; ++i) {
        const std::string prefix = std::string("\n") + kKeys[i] + "=";
        const std::size_t at = ("\n" + content).find(prefix);
        if (at == std::string::npos) return false;
        values[i] = std::strtol(content.c_str() + at + prefix.size() - 1, nullptr, 10);
    }
    return true;
}

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindDialogOf(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && std::strcmp(className, "#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

class SessionEndKill : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        folder_ = std::string(temp) + "orva_kill_" + std::to_string(GetCurrentProcessId());
        appFolder_ = folder_ + "\\app";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(appFolder_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA(ORVA_HIDWATCH, (appFolder_ + "\\HIDWATCH.EXE").c_str(), FALSE)) << ORVA_HIDWATCH;
        ASSERT_TRUE(CopyFileA(ORVA_STANDIN_DRIVER, (appFolder_ + "\\OrvaPubIf.dll").c_str(), FALSE));
        settingsPath_ = folder_ + "\\PANELSET.TXT";
        const std::string shipped = ReadWhole(ORVA_SHIPPED_DIR "\\PANELSET.TXT");
        ASSERT_NE(shipped, "<missing>");
        ASSERT_TRUE(WriteWhole(settingsPath_, shipped));
        screensPath_ = folder_ + "\\screens.txt";
        callLog_ = folder_ + "\\calls.txt";
        ASSERT_TRUE(SetEnvironmentVariableA("ORVA_SCREENS_FILE", screensPath_.c_str()));
        ASSERT_TRUE(SetEnvironmentVariableA("ORVA_CALL_LOG", callLog_.c_str()));
        mutex_ = UniqueHandle(CreateMutexA(nullptr, FALSE, kScreensMutex));
        ASSERT_TRUE(mutex_.IsValid());
        ASSERT_TRUE(SetDriver({1, 2000, 50, 0, 0}));

        // The detector runs with our bitness, so it reads the registry view we write.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallerKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        UniqueRegKey owned(key);
        const std::string tool = "\"" + appFolder_ + "\\no-such-tool.exe\"";
        ASSERT_EQ(RegSetValueExA(key, "Configuration", 0, REG_SZ, reinterpret_cast<const BYTE*>(settingsPath_.c_str()),
                                 static_cast<DWORD>(settingsPath_.size() + 1)),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Tesvo", 0, REG_SZ, reinterpret_cast<const BYTE*>(tool.c_str()),
                                 static_cast<DWORD>(tool.size() + 1)),
                  ERROR_SUCCESS);
    }

    void TearDown() override {
        detector_.Reset();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInstallerKey);
        for (const std::string& name : FilesIn(appFolder_)) DeleteFileA((appFolder_ + "\\" + name).c_str());
        RemoveDirectoryA(appFolder_.c_str());
        for (const std::string& name : FilesIn(folder_)) DeleteFileA((folder_ + "\\" + name).c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    // Rewrites the stand-in driver's screens file, as its own calls do: under its
    // mutex, by a rename.
    bool SetDriver(const DriverValues& v) {
        std::string text;
        for (int i = 0; i < kScreens; ++i) {
            char section[160];
            std::snprintf(section, sizeof section, "[screen %d]\r\nbeep=%d %d %d %d\r\nmouseMode=%d\r\n", i, v.function,
                          v.frequency, v.duration, v.routing, v.mouseMode);
            text += section;
        }
        const DWORD wait = WaitForSingleObject(mutex_.Get(), 10000);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
        const std::string temp = screensPath_ + ".test";
        const bool ok = WriteWhole(temp, text) &&
                        MoveFileExA(temp.c_str(), screensPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        ReleaseMutex(mutex_.Get());
        return ok;
    }

    int CountCalls(const char* function) {
        const std::string log = ReadWhole(callLog_);
        int count = 0;
        for (std::size_t at = 0; (at = log.find(function, at)) != std::string::npos; at += std::strlen(function)) ++count;
        return count;
    }

    struct LaunchedDetector {
        UniqueHandle process;
        HWND dialog = nullptr;
        void Reset() {
            process.Reset();
            dialog = nullptr;
        }
    };

    // Starts the detector and waits until its start-up restore has reached every screen;
    // says what was missing otherwise.
    ::testing::AssertionResult StartDetector() {
        DeleteFileA(callLog_.c_str());
        const std::string exe = appFolder_ + "\\HIDWATCH.EXE";
        std::string command = "\"" + exe + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, appFolder_.c_str(), &startup,
                            &info)) {
            return ::testing::AssertionFailure() << "not started, error " << GetLastError();
        }
        UniqueHandle thread(info.hThread);
        detector_.Reset();
        detector_.process.Reset(info.hProcess);
        const DWORD start = GetTickCount();
        for (int i = 0; i < 400 && (detector_.dialog == nullptr || CountCalls("OrvaSetCalibrationData") < kScreens);
             ++i) {
            if (detector_.dialog == nullptr) {
                WindowSearch search{info.dwProcessId, nullptr};
                EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&search));
                detector_.dialog = search.found;
            }
            Sleep(25);
        }
        slowestStartMs_ = std::max(slowestStartMs_, GetTickCount() - start);
        DWORD exitCode = 0;
        GetExitCodeProcess(detector_.process.Get(), &exitCode);
        const std::string state = exitCode == STILL_ACTIVE ? "still running" : "ended with " + std::to_string(exitCode);
        if (detector_.dialog == nullptr || CountCalls("OrvaSetCalibrationData") < kScreens) {
            return ::testing::AssertionFailure()
                   << "after " << GetTickCount() - start << " ms: dialog " << (detector_.dialog ? "found" : "missing")
                   << ", restore reached " << CountCalls("OrvaSetCalibrationData") << " of " << kScreens
                   << " screens, detector " << state << ", calls:\n" << ReadWhole(callLog_);
        }
        // The restore's metrics broadcast keeps the dialog's thread busy for a
        // while under Wine; a kill meant for the save must not land in that wait.
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutA(detector_.dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer) == 0) {
            return ::testing::AssertionFailure() << "the dialog did not answer within 10 s, detector " << state;
        }
        return ::testing::AssertionSuccess();
    }

    // Sends the session-end query; kills the detector delayUs after sending
    // unless delayUs is negative. Returns the milliseconds to the answer (or the kill).
    double EndSession(long delayUs) {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        std::atomic<bool> sent{false};
        HWND dialog = detector_.dialog;
        std::thread query([&] {
            DWORD_PTR answer = 0;
            sent = true;
            SendMessageTimeoutA(dialog, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &answer);
        });
        while (!sent) std::this_thread::yield();
        QueryPerformanceCounter(&start);
        auto elapsedUs = [&] {
            QueryPerformanceCounter(&now);
            return static_cast<double>(now.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
        };
        if (delayUs >= 0) {
            while (elapsedUs() < static_cast<double>(delayUs)) {
            }
            TerminateProcess(detector_.process.Get(), 9);
        }
        query.join();
        const double ms = elapsedUs() / 1000.0;
        if (delayUs >= 0) WaitForSingleObject(detector_.process.Get(), 10000);
        return ms;
    }

    void StopDetector() {
        if (detector_.process.Get() == nullptr) return;
        TerminateProcess(detector_.process.Get(), 0);
        WaitForSingleObject(detector_.process.Get(), 10000);
        detector_.Reset();
    }

    std::string folder_, appFolder_, settingsPath_, screensPath_, callLog_;
    UniqueHandle mutex_;
    LaunchedDetector detector_;
    // A start kept waiting by the one-per-session guard of a killed detector shows here.
    DWORD slowestStartMs_ = 0;
};

// Whether the file's values are set (all driver keys of values, the double-click
// keys as before) or the old ones, exactly.
bool IsWholeSet(const long seen[kKeyCount], const long old[kKeyCount], const DriverValues& v) {
    if (std::equal(seen, seen + kKeyCount, old)) return true;
    return seen[0] == v.function && seen[1] == v.routing && seen[2] == v.frequency && seen[3] == v.duration &&
           seen[6] == v.mouseMode && seen[4] == old[4] && seen[5] == old[5];
}

TEST_F(SessionEndKill, KilledSavesLeaveTheOldOrTheNewFileAndTheNextLogOnLoadsIt) {
    // How long an undisturbed save takes, so that the kills land inside one.
    ASSERT_TRUE(StartDetector());
    ASSERT_TRUE(SetDriver({1, 2100, 51, 1, 1}));
    const double saveMs = EndSession(-1);
    StopDetector();
    long values[kKeyCount];
    ASSERT_TRUE(ParseSettings(ReadWhole(settingsPath_), values));
    ASSERT_EQ(values[2], 2100);
    const long windowUs = static_cast<long>(saveMs * 1000.0 * 1.5) + 1000;

    std::mt19937 random(static_cast<unsigned>(GetTickCount()));
    int keptOld = 0, tookNew = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::string where = "round " + std::to_string(round);
        long old[kKeyCount];
        ASSERT_TRUE(ParseSettings(ReadWhole(settingsPath_), old)) << where;
        ASSERT_TRUE(StartDetector()) << where;
        const DriverValues fresh{round % 2, 3000 + round, 60 + round % 9, round % 3, round % 4};
        ASSERT_TRUE(SetDriver(fresh)) << where;
        (void)EndSession(static_cast<long>(random() % static_cast<unsigned>(windowUs)));
        detector_.Reset();

        const std::string content = ReadWhole(settingsPath_);
        ASSERT_NE(content, "<missing>") << where << ": the settings file is gone";
        long seen[kKeyCount];
        ASSERT_TRUE(ParseSettings(content, seen)) << where << ": a key is missing\n" << content;
        ASSERT_TRUE(IsWholeSet(seen, old, fresh)) << where << ": a mix of old and new\n" << content;
        if (std::equal(seen, seen + kKeyCount, old)) ++keptOld;
        else ++tookNew;
    }
    std::printf("save %.1f ms undisturbed; %d kills kept the old file, %d found the new one; slowest start %lu ms\n",
                saveMs, keptOld, tookNew, static_cast<unsigned long>(slowestStartMs_));

    // A complete save after all that leaves nothing beside the file...
    ASSERT_TRUE(StartDetector());
    const DriverValues last{1, 4321, 77, 2, 3};
    ASSERT_TRUE(SetDriver(last));
    (void)EndSession(-1);
    StopDetector();
    for (const std::string& name : FilesIn(folder_)) {
        EXPECT_TRUE(name == "PANELSET.TXT" || name == "screens.txt" || name == "calls.txt" || name == "app")
            << name << " left beside the settings file";
    }
    // ...and the next log-on restores it into the driver.
    ASSERT_TRUE(SetDriver({0, 1111, 11, 0, 0}));
    ASSERT_TRUE(StartDetector());
    StopDetector();
    const std::string screens = ReadWhole(screensPath_);
    for (int i = 0; i < kScreens; ++i) {
        const std::string section = "[screen " + std::to_string(i) + "]";
        const std::size_t at = screens.find(section);
        ASSERT_NE(at, std::string::npos) << screens;
        const std::size_t end = screens.find("[screen", at + 1);
        const std::string part = screens.substr(at, end == std::string::npos ? std::string::npos : end - at);
        EXPECT_NE(part.find("beep=1 4321 77 2"), std::string::npos) << part;
        EXPECT_NE(part.find("mouseMode=3"), std::string::npos) << part;
    }
}

}  // namespace
