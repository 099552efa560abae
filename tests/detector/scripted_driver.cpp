#include "scripted_driver.h"

#include <cstdio>
#include <cstring>

ScriptedScreen HealthyScreen(std::uint8_t blockFill) {
    ScriptedScreen screen;
    screen.responses['S'] = {0x75, 0x53, 0, 0, 0, 0, 0, 0};
    screen.responses['C'] = {0x75, 0x43, 0, 0x30, 0x24, 0, 0, 0};
    screen.responses['N'] = {0x75, 0x4E, 0, 0, 0, 0, 0x5A, 0x01};
    screen.blockFill = blockFill;
    screen.beep = {1, 2000, 50, 0};
    screen.mouseMode = 3;
    return screen;
}

std::vector<std::string> ScriptedDriver::Calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
}

void ScriptedDriver::ClearCalls() {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.clear();
}

int ScriptedDriver::CountCalls(const std::string& prefix) const {
    std::lock_guard<std::mutex> guard(mutex_);
    int n = 0;
    for (const std::string& call : calls_) n += call.compare(0, prefix.size(), prefix) == 0;
    return n;
}

void ScriptedDriver::Record(std::string call) {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_.push_back(std::move(call));
}

ScriptedScreen* ScriptedDriver::Screen(std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= screens.size()) return nullptr;
    return &screens[static_cast<std::size_t>(index)];
}

std::int32_t ScriptedDriver::OrvaGetScreenInfo(std::int32_t reserved, std::int32_t* count) {
    Record("GetScreenInfo " + std::to_string(reserved));
    if (onScreenInfo) onScreenInfo();
    if (screenInfoStatus != 0) return screenInfoStatus;
    *count = screenInfoCount;
    return 0;
}

std::int32_t ScriptedDriver::OrvaGetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index) {
    Record("GetDiagnosticsData " + std::to_string(index));
    ScriptedScreen* screen = Screen(index);
    if (!screen) return 1;
    if (screen->diagnosticsStatus != 0) return screen->diagnosticsStatus;
    block->connectionType = screen->connectionType;
    return 0;
}

std::int32_t ScriptedDriver::OrvaSendCuelineCommand(CuelinePacket* packet) {
    char text[64];
    std::snprintf(text, sizeof text, "Send %d %02x %02x", packet->screenIndex, packet->commandBytes[0],
                  packet->commandBytes[1]);
    Record(text);
    ScriptedScreen* screen = Screen(packet->screenIndex);
    if (!screen || screen->rejectAllSends) return 1;
    if (screen->failingSends > 0) {
        --screen->failingSends;
        return 1;
    }
    lastCommand_[packet->screenIndex] = packet->commandBytes[1];
    return 0;
}

std::int32_t ScriptedDriver::OrvaGetCuelineResponse(CuelinePacket* packet) {
    Record("Response " + std::to_string(packet->screenIndex));
    ScriptedScreen* screen = Screen(packet->screenIndex);
    if (!screen) return 1;
    if (screen->failingResponses > 0) {
        --screen->failingResponses;
        // A real failed read may leave garbage behind.
        std::memset(packet->commandBytes, 0xEE, sizeof packet->commandBytes);
        return 1;
    }
    auto answer = screen->responses.find(lastCommand_[packet->screenIndex]);
    if (answer == screen->responses.end()) return 1;
    std::memcpy(packet->commandBytes, answer->second.data(), 8);
    return 0;
}

#define ORVA_SCRIPTED_BLOCK(Name, Block)                                             \
    std::int32_t ScriptedDriver::OrvaGet##Name(Block* block, std::int32_t index) {   \
        Record("Get" #Name " " + std::to_string(index));                            \
        ScriptedScreen* screen = Screen(index);                                      \
        if (!screen) return 1;                                                       \
        std::memset(block, screen->blockFill, sizeof *block);                        \
        return 0;                                                                    \
    }                                                                                \
    std::int32_t ScriptedDriver::OrvaSet##Name(Block* block, std::int32_t index) {   \
        Record("Set" #Name " " + std::to_string(index) + " " +                      \
               std::to_string(reinterpret_cast<const std::uint8_t*>(block)[0]));    \
        return Screen(index) ? 0 : 1;                                                \
    }

ORVA_SCRIPTED_BLOCK(TouchBoundary, TouchBoundaryBlock)
ORVA_SCRIPTED_BLOCK(DragDelay, DragDelayBlock)
ORVA_SCRIPTED_BLOCK(RightClickOnHold, RightClickOnHoldBlock)
ORVA_SCRIPTED_BLOCK(CalibrationData, CalibrationBlock)
#undef ORVA_SCRIPTED_BLOCK

std::int32_t ScriptedDriver::OrvaGetBeep(BeepBlock* block, std::int32_t index) {
    Record("GetBeep " + std::to_string(index));
    ScriptedScreen* screen = Screen(index);
    if (!screen) return 1;
    *block = screen->beep;
    return 0;
}

std::int32_t ScriptedDriver::OrvaSetBeep(BeepBlock* block, std::int32_t index) {
    Record("SetBeep " + std::to_string(index) + " " + std::to_string(block->beeperFunction) + " " +
           std::to_string(block->beeperFrequency) + " " + std::to_string(block->beeperDuration) + " " +
           std::to_string(block->beeperRouting));
    ScriptedScreen* screen = Screen(index);
    if (!screen) return 1;
    screen->beep = *block;
    return 0;
}

std::int32_t ScriptedDriver::OrvaGetMouseMode(std::uint16_t* mode, std::int32_t index) {
    Record("GetMouseMode " + std::to_string(index));
    ScriptedScreen* screen = Screen(index);
    if (!screen) return 1;
    *mode = screen->mouseMode;
    return 0;
}

std::int32_t ScriptedDriver::OrvaSetMouseMode(std::uint32_t mode, std::int32_t index) {
    Record("SetMouseMode " + std::to_string(index) + " " + std::to_string(mode));
    ScriptedScreen* screen = Screen(index);
    if (!screen) return 1;
    screen->mouseMode = static_cast<std::uint16_t>(mode);
    return 0;
}

void FakeMetrics::SetDoubleClickWidth(std::int32_t value) noexcept {
    journal_.Record("SetDoubleClickWidth " + std::to_string(value));
    width = value;
}

void FakeMetrics::SetDoubleClickHeight(std::int32_t value) noexcept {
    journal_.Record("SetDoubleClickHeight " + std::to_string(value));
    height = value;
}

void FakeMetrics::SetDoubleClickTime(std::uint32_t value) noexcept {
    journal_.Record("SetDoubleClickTime " + std::to_string(value));
    time = value;
}

void RecordingTrace::Trace(const char* line) noexcept {
    std::lock_guard<std::mutex> guard(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> RecordingTrace::Lines() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return lines_;
}

void RecordingPause::Sleep(std::uint32_t milliseconds) noexcept {
    std::lock_guard<std::mutex> guard(mutex_);
    pauses_.push_back(milliseconds);
}

std::vector<std::uint32_t> RecordingPause::Pauses() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return pauses_;
}
