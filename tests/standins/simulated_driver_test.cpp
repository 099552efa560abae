#include "simulated_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace orva_sim {
namespace {

// The screens file in memory; it checks that the driver reads and writes only under the lock.
class MemoryStore final : public ScreensStore {
public:
    explicit MemoryStore(std::string t) : text(std::move(t)) {}
    bool Lock() override {
        if (failLock) return false;
        EXPECT_FALSE(locked);
        locked = true;
        return true;
    }
    void Unlock() override {
        EXPECT_TRUE(locked);
        locked = false;
    }
    bool Read(std::string& out) override {
        EXPECT_TRUE(locked);
        if (failRead) return false;
        out = text;
        return true;
    }
    bool Write(const std::string& in) override {
        EXPECT_TRUE(locked);
        if (failWrite) return false;
        text = in;
        ++writes;
        return true;
    }
    std::string text;
    bool locked = false;
    bool failLock = false;
    bool failRead = false;
    bool failWrite = false;
    int writes = 0;
};

class MemoryLog final : public CallLog {
public:
    void Append(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

const char kTwoScreens[] =
    "[screen 0]\n"
    "connectionType=1\n"
    "uS=01 02 03 04 05 06 07 08\n"
    "beep=1 2000 50 0\n"
    "[screen 1]\n"
    "connectionType=2\n"
    "uC=00 00 00 3b 2f 00 00 00\n"
    "uN=00 00 00 00 00 00 5a 83\n"
    "mouseMode=4\n";

CuelinePacket Packet(std::int32_t index, std::uint8_t b0, std::uint8_t b1) {
    CuelinePacket p{};
    p.screenIndex = index;
    p.commandBytes[0] = b0;
    p.commandBytes[1] = b1;
    return p;
}

CommandBytes BytesOf(const CuelinePacket& p) {
    CommandBytes b;
    std::memcpy(b.data(), p.commandBytes, b.size());
    return b;
}

ScreensModel ModelOf(const std::string& text) {
    const ParseResult r = ParseScreensFile(text);
    EXPECT_TRUE(r.ok) << r.error;
    return r.model;
}

struct Fixture {
    explicit Fixture(const std::string& text = kTwoScreens) : store(text), driver(store, log) {}
    MemoryStore store;
    MemoryLog log;
    SimulatedDriver driver;
};

TEST(SimulatedDriver, CountsTheScreensOfTheFile) {
    Fixture f;
    std::int32_t count = -5;
    EXPECT_EQ(f.driver.GetScreenInfo(0, &count), kOk);
    EXPECT_EQ(count, 2);

    Fixture none("; no screens\n");
    EXPECT_EQ(none.driver.GetScreenInfo(0, &count), kOk);
    EXPECT_EQ(count, 0);
}

TEST(SimulatedDriver, ScreenInfoFailuresLeaveTheCountAlone) {
    struct Case {
        const char* name;
        std::string text;
        std::function<void(MemoryStore&)> arrange;
        std::int32_t status;
    };
    const Case cases[] = {
        {"asked to fail", std::string("screenInfoFails=1\n") + kTwoScreens, [](MemoryStore&) {}, kSimulatedFailure},
        {"malformed", "[screen 0]\nbogus=1\n", [](MemoryStore&) {}, kScreensFileError},
        {"unreadable", kTwoScreens, [](MemoryStore& s) { s.failRead = true; }, kScreensFileError},
        {"lock not taken", kTwoScreens, [](MemoryStore& s) { s.failLock = true; }, kScreensFileError},
    };
    for (const Case& c : cases) {
        Fixture f(c.text);
        c.arrange(f.store);
        std::int32_t count = 77;
        EXPECT_EQ(f.driver.GetScreenInfo(0, &count), c.status) << c.name;
        EXPECT_EQ(count, 77) << c.name;
        EXPECT_FALSE(f.store.locked) << c.name;
    }
}

TEST(SimulatedDriver, MalformedFileIsNotedInTheLog) {
    Fixture f("[screen 0]\n\nbogus=1\n");
    std::int32_t count = 0;
    EXPECT_EQ(f.driver.GetScreenInfo(0, &count), kScreensFileError);
    ASSERT_EQ(f.log.lines.size(), 2u);
    EXPECT_EQ(f.log.lines[0], "# screens file line 3: unknown key 'bogus'");
    EXPECT_EQ(f.log.lines[1], "OrvaGetScreenInfo status=5");
}

TEST(SimulatedDriver, EveryIndexedCallRejectsAnUnknownScreenAndNullAddresses) {
    Fixture f;
    DiagnosticsBlock diagnostics{};
    TouchBoundaryBlock touch{};
    BeepBlock beep{};
    DragDelayBlock drag{};
    RightClickOnHoldBlock hold{};
    CalibrationBlock calibration{};
    std::uint16_t mode = 0;
    SimulatedDriver& d = f.driver;
    const std::vector<std::function<std::int32_t(std::int32_t, bool)>> calls = {
        [&](std::int32_t i, bool null) { return d.GetDiagnosticsData(null ? nullptr : &diagnostics, i); },
        [&](std::int32_t i, bool null) {
            CuelinePacket p = Packet(i, 'u', 'S');
            return d.SendCuelineCommand(null ? nullptr : &p);
        },
        [&](std::int32_t i, bool null) {
            CuelinePacket p = Packet(i, 'u', 'S');
            return d.GetCuelineResponse(null ? nullptr : &p);
        },
        [&](std::int32_t i, bool null) { return d.GetTouchBoundary(null ? nullptr : &touch, i); },
        [&](std::int32_t i, bool null) { return d.SetTouchBoundary(null ? nullptr : &touch, i); },
        [&](std::int32_t i, bool null) { return d.GetBeep(null ? nullptr : &beep, i); },
        [&](std::int32_t i, bool null) { return d.SetBeep(null ? nullptr : &beep, i); },
        [&](std::int32_t i, bool null) { return d.GetDragDelay(null ? nullptr : &drag, i); },
        [&](std::int32_t i, bool null) { return d.SetDragDelay(null ? nullptr : &drag, i); },
        [&](std::int32_t i, bool null) { return d.GetRightClickOnHold(null ? nullptr : &hold, i); },
        [&](std::int32_t i, bool null) { return d.SetRightClickOnHold(null ? nullptr : &hold, i); },
        [&](std::int32_t i, bool null) { return d.GetCalibrationData(null ? nullptr : &calibration, i); },
        [&](std::int32_t i, bool null) { return d.SetCalibrationData(null ? nullptr : &calibration, i); },
        [&](std::int32_t i, bool null) { return d.GetMouseMode(null ? nullptr : &mode, i); },
    };
    for (std::size_t n = 0; n < calls.size(); ++n) {
        EXPECT_EQ(calls[n](2, false), kUnknownScreen) << "call " << n;
        EXPECT_EQ(calls[n](-1, false), kUnknownScreen) << "call " << n;
        EXPECT_EQ(calls[n](0, true), kBadArgument) << "call " << n;
        EXPECT_FALSE(f.store.locked);
    }
    EXPECT_EQ(d.SetMouseMode(1, 2), kUnknownScreen);
    EXPECT_EQ(d.GetScreenInfo(0, nullptr), kBadArgument);
    EXPECT_EQ(f.store.writes, 0);
}

TEST(SimulatedDriver, DiagnosticsGiveTheConnectionType) {
    Fixture f("[screen 0]\nconnectionType=1\n[screen 1]\nconnectionType=2\n[screen 2]\nconnectionType=7\n"
              "[screen 3]\ndiagnosticsFails=1\n");
    for (std::int32_t i = 0; i < 3; ++i) {
        DiagnosticsBlock block;
        std::memset(&block, 0xCC, sizeof block);
        EXPECT_EQ(f.driver.GetDiagnosticsData(&block, i), kOk);
        EXPECT_EQ(block.connectionType, i == 0 ? 1 : i == 1 ? 2 : 7);
        EXPECT_EQ(block.other[347], 0);
    }
    DiagnosticsBlock block{};
    EXPECT_EQ(f.driver.GetDiagnosticsData(&block, 3), kSimulatedFailure);
}

TEST(SimulatedDriver, ResponseAnswersTheLastCommandSentToThatScreen) {
    Fixture f;
    CuelinePacket p = Packet(0, 'u', 'C');
    EXPECT_EQ(f.driver.GetCuelineResponse(&p), kNoAnswer) << "nothing sent yet";

    struct Case {
        std::int32_t screen;
        std::uint8_t command;
        CommandBytes answer;
    };
    const Case cases[] = {
        {0, 'S', {1, 2, 3, 4, 5, 6, 7, 8}},
        {0, 'C', {0, 0, 0, 0x30, 0x24, 0, 0, 0}},
        {0, 'N', {0, 0, 0, 0, 0, 0, 0x5A, 0}},
        {1, 'S', {0, 0, 0, 0, 0, 0, 0, 0}},
        {1, 'C', {0, 0, 0, 0x3B, 0x2F, 0, 0, 0}},
        {1, 'N', {0, 0, 0, 0, 0, 0, 0x5A, 0x83}},
    };
    for (const Case& c : cases) {
        p = Packet(c.screen, 'u', c.command);
        ASSERT_EQ(f.driver.SendCuelineCommand(&p), kOk);
        ASSERT_EQ(f.driver.GetCuelineResponse(&p), kOk);
        EXPECT_EQ(BytesOf(p), c.answer) << c.screen << " " << c.command;
        // A further read repeats the answer, as the frame query's extra read expects.
        p = Packet(c.screen, 0, 0);
        ASSERT_EQ(f.driver.GetCuelineResponse(&p), kOk);
        EXPECT_EQ(BytesOf(p), c.answer);
    }

    // Each screen keeps its own last command.
    p = Packet(0, 'u', 'S');
    ASSERT_EQ(f.driver.SendCuelineCommand(&p), kOk);
    p = Packet(1, 'u', 'C');
    ASSERT_EQ(f.driver.SendCuelineCommand(&p), kOk);
    p = Packet(0, 0, 0);
    ASSERT_EQ(f.driver.GetCuelineResponse(&p), kOk);
    EXPECT_EQ(BytesOf(p), (CommandBytes{1, 2, 3, 4, 5, 6, 7, 8}));

    // A command without a scripted answer goes out but gets no answer.
    p = Packet(0, 'u', 'X');
    ASSERT_EQ(f.driver.SendCuelineCommand(&p), kOk);
    EXPECT_EQ(f.driver.GetCuelineResponse(&p), kNoAnswer);
    EXPECT_EQ(f.store.writes, 0);
}

TEST(SimulatedDriver, SendFailuresAreConsumedAndPersisted) {
    Fixture f("[screen 0]\nsendFailures=2\n[screen 1]\n");
    CuelinePacket p = Packet(0, 'u', 'S');
    EXPECT_EQ(f.driver.SendCuelineCommand(&p), kSimulatedFailure);
    EXPECT_EQ(ModelOf(f.store.text).screens[0].sendFailures, 1);
    p = Packet(1, 'u', 'S');
    EXPECT_EQ(f.driver.SendCuelineCommand(&p), kOk) << "the other screen has its own counter";
    p = Packet(0, 'u', 'S');
    EXPECT_EQ(f.driver.SendCuelineCommand(&p), kSimulatedFailure);
    EXPECT_EQ(f.driver.SendCuelineCommand(&p), kOk);
    EXPECT_EQ(f.driver.SendCuelineCommand(&p), kOk);
    EXPECT_EQ(ModelOf(f.store.text).screens[0].sendFailures, 0);
    EXPECT_EQ(f.store.writes, 2);

    // A second driver over the same file (another process) starts where the first stopped.
    f.store.text = "[screen 0]\nsendFailures=1\n";
    SimulatedDriver first(f.store, f.log);
    SimulatedDriver second(f.store, f.log);
    EXPECT_EQ(first.SendCuelineCommand(&p), kSimulatedFailure);
    EXPECT_EQ(second.SendCuelineCommand(&p), kOk);
}

TEST(SimulatedDriver, ResponseFailuresLeaveJunkAndAreConsumed) {
    Fixture f("[screen 0]\nresponseFailures=1\n");
    CuelinePacket p = Packet(0, 'u', 'C');
    ASSERT_EQ(f.driver.SendCuelineCommand(&p), kOk);
    EXPECT_EQ(f.driver.GetCuelineResponse(&p), kSimulatedFailure);
    EXPECT_EQ(BytesOf(p), (CommandBytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(p.screenIndex, 0);
    EXPECT_EQ(f.driver.GetCuelineResponse(&p), kOk);
    EXPECT_EQ(p.commandBytes[3], 0x30);
    EXPECT_EQ(ModelOf(f.store.text).screens[0].responseFailures, 0);
}

TEST(SimulatedDriver, AlwaysFailingCountersNeverRunOutNorRewriteTheFile) {
    Fixture f("[screen 0]\nsendFailures=always\nresponseFailures=always\n");
    CuelinePacket p = Packet(0, 'u', 'S');
    for (int i = 0; i < 30; ++i) EXPECT_EQ(f.driver.SendCuelineCommand(&p), kSimulatedFailure);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f.driver.GetCuelineResponse(&p), kSimulatedFailure);
    EXPECT_EQ(f.store.writes, 0);
}

TEST(SimulatedDriver, CounterThatCannotBePersistedFailsTheCall) {
    Fixture f("[screen 0]\nsendFailures=1\n");
    f.store.failWrite = true;
    CuelinePacket p = Packet(0, 'u', 'S');
    EXPECT_EQ(f.driver.SendCuelineCommand(&p), kScreensFileError);
    EXPECT_EQ(ModelOf(f.store.text).screens[0].sendFailures, 1);
}

TEST(SimulatedDriver, SettersWriteBackAndGettersReadTheFileAgain) {
    Fixture f;
    TouchBoundaryBlock touch{};
    for (std::size_t i = 0; i < sizeof touch.bytes; ++i) touch.bytes[i] = static_cast<std::uint8_t>(i);
    DragDelayBlock drag{};
    std::memset(drag.bytes, 0x5C, sizeof drag.bytes);
    RightClickOnHoldBlock hold{};
    hold.bytes[27] = 0x99;
    CalibrationBlock calibration{};
    for (std::size_t i = 0; i < sizeof calibration.bytes; ++i) calibration.bytes[i] = static_cast<std::uint8_t>(i * 7);
    BeepBlock beep{3, 880, 120, 2};

    ASSERT_EQ(f.driver.SetTouchBoundary(&touch, 1), kOk);
    ASSERT_EQ(f.driver.SetBeep(&beep, 1), kOk);
    ASSERT_EQ(f.driver.SetDragDelay(&drag, 1), kOk);
    ASSERT_EQ(f.driver.SetMouseMode(9, 1), kOk);
    ASSERT_EQ(f.driver.SetRightClickOnHold(&hold, 1), kOk);
    ASSERT_EQ(f.driver.SetCalibrationData(&calibration, 1), kOk);
    EXPECT_EQ(f.store.writes, 6);

    const ScreensModel m = ModelOf(f.store.text);
    EXPECT_EQ(m.screens[1].mouseMode, 9);
    EXPECT_EQ(m.screens[1].beep.beeperFrequency, 880);
    EXPECT_EQ(m.screens[0].beep.beeperFrequency, 2000) << "screen 0 untouched";
    EXPECT_NE(f.store.text.find("dragDelay=fill 5c\n"), std::string::npos);

    // A fresh driver (another process) reads the same values.
    SimulatedDriver other(f.store, f.log);
    TouchBoundaryBlock touch2{};
    DragDelayBlock drag2{};
    RightClickOnHoldBlock hold2{};
    CalibrationBlock calibration2{};
    BeepBlock beep2{};
    std::uint16_t mode = 0;
    ASSERT_EQ(other.GetTouchBoundary(&touch2, 1), kOk);
    ASSERT_EQ(other.GetBeep(&beep2, 1), kOk);
    ASSERT_EQ(other.GetDragDelay(&drag2, 1), kOk);
    ASSERT_EQ(other.GetMouseMode(&mode, 1), kOk);
    ASSERT_EQ(other.GetRightClickOnHold(&hold2, 1), kOk);
    ASSERT_EQ(other.GetCalibrationData(&calibration2, 1), kOk);
    EXPECT_EQ(std::memcmp(&touch, &touch2, sizeof touch), 0);
    EXPECT_EQ(std::memcmp(&beep, &beep2, sizeof beep), 0);
    EXPECT_EQ(std::memcmp(&drag, &drag2, sizeof drag), 0);
    EXPECT_EQ(std::memcmp(&hold, &hold2, sizeof hold), 0);
    EXPECT_EQ(std::memcmp(&calibration, &calibration2, sizeof calibration), 0);
    EXPECT_EQ(mode, 9);

    // An edit by someone else is seen by the next get.
    ASSERT_TRUE(SetScreenValue(f.store.text, 1, "mouseMode", "12"));
    ASSERT_EQ(f.driver.GetMouseMode(&mode, 1), kOk);
    EXPECT_EQ(mode, 12);
}

TEST(SimulatedDriver, SettingTheCurrentValueLeavesTheFileUntouched) {
    Fixture f;
    BeepBlock beep{1, 2000, 50, 0};
    CalibrationBlock calibration{};
    EXPECT_EQ(f.driver.SetBeep(&beep, 0), kOk);
    EXPECT_EQ(f.driver.SetMouseMode(4, 1), kOk);
    EXPECT_EQ(f.driver.SetCalibrationData(&calibration, 0), kOk);
    EXPECT_EQ(f.store.writes, 0);
}

TEST(SimulatedDriver, SetterFailuresLeaveTheFileAsItWas) {
    Fixture f;
    const std::string before = f.store.text;
    EXPECT_EQ(f.driver.SetMouseMode(0x10000, 0), kBadArgument) << "wider than 16 bits";
    f.store.failWrite = true;
    BeepBlock beep{9, 9, 9, 9};
    EXPECT_EQ(f.driver.SetBeep(&beep, 0), kScreensFileError);
    EXPECT_EQ(f.store.text, before);
}

TEST(SimulatedDriver, CallLogLines) {
    Fixture f;
    std::int32_t count = 0;
    DiagnosticsBlock diagnostics{};
    BeepBlock beep{3, 880, 120, 2};
    DragDelayBlock drag{};
    drag.bytes[0] = 0xAB;
    std::uint16_t mode = 0;
    CuelinePacket p = Packet(1, 'u', 'N');
    p.commandBytes[2] = 0xFF;
    (void)f.driver.GetScreenInfo(0, &count);
    (void)f.driver.GetDiagnosticsData(&diagnostics, 1);
    (void)f.driver.SendCuelineCommand(&p);
    (void)f.driver.GetCuelineResponse(&p);
    (void)f.driver.SetBeep(&beep, 0);
    (void)f.driver.GetBeep(&beep, 0);
    (void)f.driver.SetMouseMode(7, 1);
    (void)f.driver.GetMouseMode(&mode, 1);
    (void)f.driver.SetDragDelay(&drag, 0);
    (void)f.driver.GetMouseMode(&mode, 5);
    const std::vector<std::string> expected = {
        "OrvaGetScreenInfo count=2 status=0",
        "OrvaGetDiagnosticsData index=1 connectionType=2 status=0",
        "OrvaSendCuelineCommand index=1 bytes=754eff0000000000 status=0",
        "OrvaGetCuelineResponse index=1 bytes=0000000000005a83 status=0",
        "OrvaSetBeep index=0 beep=3,880,120,2 status=0",
        "OrvaGetBeep index=0 beep=3,880,120,2 status=0",
        "OrvaSetMouseMode index=1 mode=7 status=0",
        "OrvaGetMouseMode index=1 mode=7 status=0",
        "OrvaSetDragDelay index=0 bytes=ab0000000000000000000000 status=0",
        "OrvaGetMouseMode index=5 status=2",
    };
    EXPECT_EQ(f.log.lines, expected);
}

}  // namespace
}  // namespace orva_sim
