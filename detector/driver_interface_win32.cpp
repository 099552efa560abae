#include "driver_interface.h"

namespace {

// Forwards to the library linked at load time.
class LinkedDriver final : public DriverInterface {
public:
    std::int32_t OrvaGetScreenInfo(std::int32_t reserved, std::int32_t* count) override {
        return ::OrvaGetScreenInfo(reserved, count);
    }
    std::int32_t OrvaGetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index) override {
        return ::OrvaGetDiagnosticsData(block, index);
    }
    std::int32_t OrvaSendCuelineCommand(CuelinePacket* packet) override {
        return ::OrvaSendCuelineCommand(packet);
    }
    std::int32_t OrvaGetCuelineResponse(CuelinePacket* packet) override {
        return ::OrvaGetCuelineResponse(packet);
    }
    std::int32_t OrvaGetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) override {
        return ::OrvaGetTouchBoundary(block, index);
    }
    std::int32_t OrvaSetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) override {
        return ::OrvaSetTouchBoundary(block, index);
    }
    std::int32_t OrvaGetBeep(BeepBlock* block, std::int32_t index) override {
        return ::OrvaGetBeep(block, index);
    }
    std::int32_t OrvaSetBeep(BeepBlock* block, std::int32_t index) override {
        return ::OrvaSetBeep(block, index);
    }
    std::int32_t OrvaGetDragDelay(DragDelayBlock* block, std::int32_t index) override {
        return ::OrvaGetDragDelay(block, index);
    }
    std::int32_t OrvaSetDragDelay(DragDelayBlock* block, std::int32_t index) override {
        return ::OrvaSetDragDelay(block, index);
    }
    std::int32_t OrvaGetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) override {
        return ::OrvaGetRightClickOnHold(block, index);
    }
    std::int32_t OrvaSetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) override {
        return ::OrvaSetRightClickOnHold(block, index);
    }
    std::int32_t OrvaGetCalibrationData(CalibrationBlock* block, std::int32_t index) override {
        return ::OrvaGetCalibrationData(block, index);
    }
    std::int32_t OrvaSetCalibrationData(CalibrationBlock* block, std::int32_t index) override {
        return ::OrvaSetCalibrationData(block, index);
    }
    std::int32_t OrvaGetMouseMode(std::uint16_t* mode, std::int32_t index) override {
        return ::OrvaGetMouseMode(mode, index);
    }
    std::int32_t OrvaSetMouseMode(std::uint32_t mode, std::int32_t index) override {
        return ::OrvaSetMouseMode(mode, index);
    }
};

}  // namespace

DriverInterface& ImportedDriver() noexcept {
    // Never destroyed: a worker may still call the driver while the program exits.
    static LinkedDriver& driver = *new LinkedDriver;
    return driver;
}
