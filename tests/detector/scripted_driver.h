// A driver whose answers a test scripts, and recording stand-ins for the other
// platform services, so the inventory and the queries run without Windows.
#pragma once

#include "driver_interface.h"
#include "fake_file_access.h"
#include "platform.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct ScriptedScreen {
    std::int32_t diagnosticsStatus = 0;
    std::int32_t connectionType = 1;
    int failingSends = 0;      // the next N sends fail
    int failingResponses = 0;  // the next N response reads fail (and scribble on the packet)
    bool rejectAllSends = false;
    // Response bytes by the command's second byte ('S', 'C', 'N').
    std::map<std::uint8_t, std::array<std::uint8_t, 8>> responses;
    std::uint8_t blockFill = 0;  // the getters fill every byte of the opaque blocks with this
    BeepBlock beep{};
    std::uint16_t mouseMode = 0;
};

// A screen that answers like a healthy 15-inch USB controller with the unintentional-touch feature.
ScriptedScreen HealthyScreen(std::uint8_t blockFill = 0);

class ScriptedDriver final : public DriverInterface {
public:
    std::int32_t screenInfoStatus = 0;
    std::int32_t screenInfoCount = 0;
    std::vector<ScriptedScreen> screens;
    // Runs inside every OrvaGetScreenInfo, to act in the middle of a refresh.
    std::function<void()> onScreenInfo;

    // Every call as "Name index" (packets: "Send index b0 b1", "Response index").
    std::vector<std::string> Calls() const;
    void ClearCalls();
    int CountCalls(const std::string& prefix) const;

    std::int32_t OrvaGetScreenInfo(std::int32_t reserved, std::int32_t* count) override;
    std::int32_t OrvaGetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index) override;
    std::int32_t OrvaSendCuelineCommand(CuelinePacket* packet) override;
    std::int32_t OrvaGetCuelineResponse(CuelinePacket* packet) override;
    std::int32_t OrvaGetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) override;
    std::int32_t OrvaSetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) override;
    std::int32_t OrvaGetBeep(BeepBlock* block, std::int32_t index) override;
    std::int32_t OrvaSetBeep(BeepBlock* block, std::int32_t index) override;
    std::int32_t OrvaGetDragDelay(DragDelayBlock* block, std::int32_t index) override;
    std::int32_t OrvaSetDragDelay(DragDelayBlock* block, std::int32_t index) override;
    std::int32_t OrvaGetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) override;
    std::int32_t OrvaSetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) override;
    std::int32_t OrvaGetCalibrationData(CalibrationBlock* block, std::int32_t index) override;
    std::int32_t OrvaSetCalibrationData(CalibrationBlock* block, std::int32_t index) override;
    std::int32_t OrvaGetMouseMode(std::uint16_t* mode, std::int32_t index) override;
    std::int32_t OrvaSetMouseMode(std::uint32_t mode, std::int32_t index) override;

    // Adds a call of some other service to the same journal.
    void Record(std::string call);

private:
    ScriptedScreen* Screen(std::int32_t index);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::map<std::int32_t, std::uint8_t> lastCommand_;
};

class RecordingTrace final : public TraceSink {
public:
    void Trace(const char* line) noexcept override;
    std::vector<std::string> Lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class RecordingPause final : public Pause {
public:
    void Sleep(std::uint32_t milliseconds) noexcept override;
    std::vector<std::uint32_t> Pauses() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> pauses_;
};

// System-wide values, so atomics: workers and the user-interface thread share them.
// Every change is also noted in the journal, to check its order against the driver's calls.
class FakeMetrics final : public SystemMetrics {
public:
    explicit FakeMetrics(ScriptedDriver& journal) : journal_(journal) {}

    std::atomic<std::int32_t> width{4};
    std::atomic<std::int32_t> height{4};
    std::atomic<std::uint32_t> time{500};

    std::int32_t GetDoubleClickWidth() noexcept override { return width; }
    std::int32_t GetDoubleClickHeight() noexcept override { return height; }
    std::uint32_t GetDoubleClickTime() noexcept override { return time; }
    void SetDoubleClickWidth(std::int32_t value) noexcept override;
    void SetDoubleClickHeight(std::int32_t value) noexcept override;
    void SetDoubleClickTime(std::uint32_t value) noexcept override;

private:
    ScriptedDriver& journal_;
};

// The whole scripted platform in one place.
struct ScriptedPlatform {
    ScriptedDriver driver;
    FakeMetrics metrics{driver};
    RecordingTrace trace;
    RecordingPause pause;
    FakeFileAccess files;
    DetectorPlatform platform{driver, metrics, trace, pause, files};
};
