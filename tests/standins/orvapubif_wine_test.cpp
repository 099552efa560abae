// The stand-in OrvaPubIf.dll end to end under Wine: linked at load time through
// the import library, as the driver's own tool links it, plus a second copy loaded
// by name that stands for another process sharing the screens file.
#include "OrvaPubIf.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ExeFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

const char kScreens[] =
    "; two screens\r\n"
    "[screen 0]\r\n"
    "connectionType=1\r\n"
    "sendFailures=2\r\n"
    "responseFailures=1\r\n"
    "beep=1 2000 50 0\r\n"
    "[screen 1]\r\n"
    "connectionType=2\r\n"
    "uC=00 00 00 3b 2f 00 00 00\r\n"
    "uN=00 00 00 00 00 00 5a ff\r\n";

// Each test gets its own screens file and call log in a fresh folder.
class OrvaPubIfDll : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::string(temp) + "orvapubif_" + std::to_string(GetCurrentProcessId()) + "_" + info->name();
        CreateDirectoryA(folder_.c_str(), nullptr);
        screens_ = folder_ + "\\screens.txt";
        log_ = folder_ + "\\calls.log";
        WriteText(screens_, kScreens);
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("ORVA_SCREENS_FILE", screens_.c_str());
        SetEnvironmentVariableA("ORVA_CALL_LOG", log_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("ORVA_SCREENS_FILE", nullptr);
        SetEnvironmentVariableA("ORVA_CALL_LOG", nullptr);
        DeleteFileA(screens_.c_str());
        DeleteFileA(log_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string folder_;
    std::string screens_;
    std::string log_;
};

CuelinePacket Packet(std::int32_t index, std::uint8_t b0, std::uint8_t b1) {
    CuelinePacket p{};
    p.screenIndex = index;
    p.commandBytes[0] = b0;
    p.commandBytes[1] = b1;
    return p;
}

TEST_F(OrvaPubIfDll, CountsScreensAndGivesDiagnostics) {
    std::int32_t count = -1;
    ASSERT_EQ(OrvaGetScreenInfo(0, &count), 0);
    EXPECT_EQ(count, 2);
    DiagnosticsBlock block{};
    ASSERT_EQ(OrvaGetDiagnosticsData(&block, 0), 0);
    EXPECT_EQ(block.connectionType, 1);
    ASSERT_EQ(OrvaGetDiagnosticsData(&block, 1), 0);
    EXPECT_EQ(block.connectionType, 2);
    EXPECT_NE(OrvaGetDiagnosticsData(&block, 2), 0);

    WriteText(screens_, "screenInfoFails=1\n[screen 0]\n");
    count = 42;
    EXPECT_NE(OrvaGetScreenInfo(0, &count), 0);
    EXPECT_EQ(count, 42);

    DeleteFileA(screens_.c_str());
    EXPECT_NE(OrvaGetScreenInfo(0, &count), 0);
}

TEST_F(OrvaPubIfDll, DefaultScreensFileLiesBesideTheDll) {
    SetEnvironmentVariableA("ORVA_SCREENS_FILE", nullptr);
    std::int32_t count = -1;
    ASSERT_EQ(OrvaGetScreenInfo(0, &count), 0) << "the sample copied beside the DLL";
    EXPECT_EQ(count, 2);
}

TEST_F(OrvaPubIfDll, SendAndResponseFollowTheScriptAndItsCounters) {
    CuelinePacket p = Packet(0, 'u', 'C');
    EXPECT_NE(OrvaSendCuelineCommand(&p), 0);
    EXPECT_NE(OrvaSendCuelineCommand(&p), 0);
    ASSERT_EQ(OrvaSendCuelineCommand(&p), 0);
    EXPECT_NE(OrvaGetCuelineResponse(&p), 0);
    ASSERT_EQ(OrvaGetCuelineResponse(&p), 0);
    EXPECT_EQ(p.commandBytes[3], 0x30);
    EXPECT_EQ(p.commandBytes[4], 0x24);

    // The consumed counters were written back, keeping the file's CRLF lines.
    const std::string text = ReadText(screens_);
    EXPECT_NE(text.find("sendFailures=0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("responseFailures=0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("; two screens\r\n"), std::string::npos) << text;

    p = Packet(1, 'u', 'N');
    p.commandBytes[2] = 0xFF;
    ASSERT_EQ(OrvaSendCuelineCommand(&p), 0);
    ASSERT_EQ(OrvaGetCuelineResponse(&p), 0);
    EXPECT_EQ(p.commandBytes[6], 0x5A);
    EXPECT_EQ(p.commandBytes[7], 0xFF);
}

TEST_F(OrvaPubIfDll, ExportsThePlainNames) {
    HMODULE dll = GetModuleHandleA("OrvaPubIf.dll");
    ASSERT_NE(dll, nullptr);
    const char* names[] = {"OrvaGetScreenInfo",       "OrvaGetDiagnosticsData",  "OrvaSendCuelineCommand",
                           "OrvaGetCuelineResponse",  "OrvaGetTouchBoundary",    "OrvaSetTouchBoundary",
                           "OrvaGetBeep",             "OrvaSetBeep",             "OrvaGetDragDelay",
                           "OrvaSetDragDelay",        "OrvaGetRightClickOnHold", "OrvaSetRightClickOnHold",
                           "OrvaGetCalibrationData",  "OrvaSetCalibrationData",  "OrvaGetMouseMode",
                           "OrvaSetMouseMode"};
    for (const char* name : names) EXPECT_NE(GetProcAddress(dll, name), nullptr) << name;
}

// The second copy has its own state, like another process, and shares only the file and the mutex.
class SecondCopy {
public:
    SecondCopy() : dll_(LoadLibraryA((ExeFolder() + "OrvaPubIfSecond.dll").c_str())) {}
    ~SecondCopy() {
        if (dll_ != nullptr) FreeLibrary(dll_);
    }
    SecondCopy(const SecondCopy&) = delete;
    SecondCopy& operator=(const SecondCopy&) = delete;
    bool Loaded() const { return dll_ != nullptr; }
    template <typename F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll_, name)));
    }

private:
    HMODULE dll_;
};

using GetBeepFn = std::int32_t(ORVA_CALL*)(BeepBlock*, std::int32_t);
using SetBeepFn = std::int32_t(ORVA_CALL*)(BeepBlock*, std::int32_t);
using GetMouseModeFn = std::int32_t(ORVA_CALL*)(std::uint16_t*, std::int32_t);
using GetCalibrationFn = std::int32_t(ORVA_CALL*)(CalibrationBlock*, std::int32_t);
using GetTouchBoundaryFn = std::int32_t(ORVA_CALL*)(TouchBoundaryBlock*, std::int32_t);
using GetDragDelayFn = std::int32_t(ORVA_CALL*)(DragDelayBlock*, std::int32_t);
using GetRightClickOnHoldFn = std::int32_t(ORVA_CALL*)(RightClickOnHoldBlock*, std::int32_t);
using SendFn = std::int32_t(ORVA_CALL*)(CuelinePacket*);

TEST_F(OrvaPubIfDll, SettersPersistForASecondLoad) {
    TouchBoundaryBlock touch{};
    for (std::size_t i = 0; i < sizeof touch.bytes; ++i) touch.bytes[i] = static_cast<std::uint8_t>(0x80 + i);
    BeepBlock beep{2, 600, 70, 1};
    DragDelayBlock drag{};
    drag.bytes[4] = 0x96;
    RightClickOnHoldBlock hold{};
    std::memset(hold.bytes, 0x11, sizeof hold.bytes);
    CalibrationBlock calibration{};
    for (std::size_t i = 0; i < sizeof calibration.bytes; ++i) calibration.bytes[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(OrvaSetTouchBoundary(&touch, 1), 0);
    ASSERT_EQ(OrvaSetBeep(&beep, 1), 0);
    ASSERT_EQ(OrvaSetDragDelay(&drag, 1), 0);
    ASSERT_EQ(OrvaSetMouseMode(3, 1), 0);
    ASSERT_EQ(OrvaSetRightClickOnHold(&hold, 1), 0);
    ASSERT_EQ(OrvaSetCalibrationData(&calibration, 1), 0);
    EXPECT_NE(OrvaSetMouseMode(3, 2), 0);

    const std::string text = ReadText(screens_);
    EXPECT_NE(text.find("beep=2 600 70 1\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("mouseMode=3\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("rightClickOnHold=fill 11\r\n"), std::string::npos) << text;

    SecondCopy second;
    ASSERT_TRUE(second.Loaded());
    TouchBoundaryBlock touch2{};
    BeepBlock beep2{};
    DragDelayBlock drag2{};
    std::uint16_t mode = 0;
    RightClickOnHoldBlock hold2{};
    CalibrationBlock calibration2{};
    ASSERT_EQ(second.Get<GetTouchBoundaryFn>("OrvaGetTouchBoundary")(&touch2, 1), 0);
    ASSERT_EQ(second.Get<GetBeepFn>("OrvaGetBeep")(&beep2, 1), 0);
    ASSERT_EQ(second.Get<GetDragDelayFn>("OrvaGetDragDelay")(&drag2, 1), 0);
    ASSERT_EQ(second.Get<GetMouseModeFn>("OrvaGetMouseMode")(&mode, 1), 0);
    ASSERT_EQ(second.Get<GetRightClickOnHoldFn>("OrvaGetRightClickOnHold")(&hold2, 1), 0);
    ASSERT_EQ(second.Get<GetCalibrationFn>("OrvaGetCalibrationData")(&calibration2, 1), 0);
    EXPECT_EQ(std::memcmp(&touch, &touch2, sizeof touch), 0);
    EXPECT_EQ(std::memcmp(&beep, &beep2, sizeof beep), 0);
    EXPECT_EQ(std::memcmp(&drag, &drag2, sizeof drag), 0);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(std::memcmp(&hold, &hold2, sizeof hold), 0);
    EXPECT_EQ(std::memcmp(&calibration, &calibration2, sizeof calibration), 0);

    // And a change made through the second copy is seen by the first.
    BeepBlock back{0, 100, 10, 3};
    ASSERT_EQ(second.Get<SetBeepFn>("OrvaSetBeep")(&back, 0), 0);
    BeepBlock seen{};
    ASSERT_EQ(OrvaGetBeep(&seen, 0), 0);
    EXPECT_EQ(std::memcmp(&back, &seen, sizeof back), 0);
}

TEST_F(OrvaPubIfDll, TwoCopiesUpdatingAtOnceLoseNothing) {
    WriteText(screens_, "[screen 0]\nsendFailures=300\n[screen 1]\n");
    SecondCopy second;
    ASSERT_TRUE(second.Loaded());
    const SendFn sendSecond = second.Get<SendFn>("OrvaSendCuelineCommand");
    const SetBeepFn setBeepSecond = second.Get<SetBeepFn>("OrvaSetBeep");
    auto work = [](SendFn send, SetBeepFn setBeep, std::int32_t beepScreen, int* failures) {
        for (int i = 1; i <= 200; ++i) {
            CuelinePacket p = Packet(0, 'u', 'S');
            if (send(&p) != 0) ++*failures;
            BeepBlock beep{i, i, i, i};
            (void)setBeep(&beep, beepScreen);
        }
    };
    int failuresFirst = 0;
    int failuresSecond = 0;
    std::thread a(work, &OrvaSendCuelineCommand, &OrvaSetBeep, 0, &failuresFirst);
    std::thread b(work, sendSecond, setBeepSecond, 1, &failuresSecond);
    a.join();
    b.join();
    EXPECT_EQ(failuresFirst + failuresSecond, 300) << "each scripted failure used exactly once";
    const std::string text = ReadText(screens_);
    EXPECT_NE(text.find("sendFailures=0\n"), std::string::npos) << text;
    BeepBlock beep{};
    ASSERT_EQ(OrvaGetBeep(&beep, 0), 0);
    EXPECT_EQ(beep.beeperFrequency, 200);
    ASSERT_EQ(OrvaGetBeep(&beep, 1), 0);
    EXPECT_EQ(beep.beeperFrequency, 200);
}

TEST_F(OrvaPubIfDll, CallLogRecordsCallsInOrder) {
    std::int32_t count = 0;
    ASSERT_EQ(OrvaGetScreenInfo(0, &count), 0);
    CuelinePacket p = Packet(1, 'u', 'S');
    ASSERT_EQ(OrvaSendCuelineCommand(&p), 0);
    BeepBlock beep{1, 2000, 50, 0};
    ASSERT_EQ(OrvaSetBeep(&beep, 1), 0);
    ASSERT_EQ(OrvaSetMouseMode(2, 0), 0);
    std::uint16_t mode = 0;
    EXPECT_NE(OrvaGetMouseMode(&mode, 7), 0);
    const std::vector<std::string> expected = {
        "OrvaGetScreenInfo count=2 status=0",
        "OrvaSendCuelineCommand index=1 bytes=7553000000000000 status=0",
        "OrvaSetBeep index=1 beep=1,2000,50,0 status=0",
        "OrvaSetMouseMode index=0 mode=2 status=0",
        "OrvaGetMouseMode index=7 status=2",
    };
    EXPECT_EQ(ReadLines(log_), expected);

    // Without the variable, nothing more is logged.
    SetEnvironmentVariableA("ORVA_CALL_LOG", nullptr);
    ASSERT_EQ(OrvaGetScreenInfo(0, &count), 0);
    EXPECT_EQ(ReadLines(log_).size(), expected.size());
}

}  // namespace
