#include "driver_interface.h"

namespace {

// Forwards to the library linked at load time.
class LinkedDriver final : public DriverInterface {
public:
#define ORVA_FORWARD(Name, Parameters, Arguments) \
    std::int32_t Name Parameters override { return ::Name Arguments; }
    ORVA_FORWARD(OrvaGetScreenInfo, (std::int32_t reserved, std::int32_t* count), (reserved, count))
    ORVA_FORWARD(OrvaGetDiagnosticsData, (DiagnosticsBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaSendCuelineCommand, (CuelinePacket* packet), (packet))
    ORVA_FORWARD(OrvaGetCuelineResponse, (CuelinePacket* packet), (packet))
    ORVA_FORWARD(OrvaGetTouchBoundary, (TouchBoundaryBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaSetTouchBoundary, (TouchBoundaryBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaGetBeep, (BeepBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaSetBeep, (BeepBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaGetDragDelay, (DragDelayBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaSetDragDelay, (DragDelayBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaGetRightClickOnHold, (RightClickOnHoldBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaSetRightClickOnHold, (RightClickOnHoldBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaGetCalibrationData, (CalibrationBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaSetCalibrationData, (CalibrationBlock* block, std::int32_t index), (block, index))
    ORVA_FORWARD(OrvaGetMouseMode, (std::uint16_t* mode, std::int32_t index), (mode, index))
    ORVA_FORWARD(OrvaSetMouseMode, (std::uint32_t mode, std::int32_t index), (mode, index))
#undef ORVA_FORWARD
};

}  // namespace

DriverInterface& ImportedDriver() noexcept {
    // Never destroyed: a worker may still call the driver while the program exits.
    static LinkedDriver& driver = *new LinkedDriver;
    return driver;
}
