// The touch driver's public interface library, OrvaPubIf.dll.
//
// Every function is __stdcall, exported under its plain name, returns a signed
// 32-bit status (0 = success) and takes the screen index as its last argument.
// Any library that honours these declarations can be dropped beside the detector.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define ORVA_CALL __stdcall
#else
#define ORVA_CALL
#endif

#pragma pack(push, 1)

// One command to a touch controller; the response comes back into the same packet.
struct CuelinePacket {
    std::int32_t screenIndex;
    std::uint8_t commandBytes[8];
};

// Filled by OrvaGetDiagnosticsData. Only connectionType is read by the detector.
struct DiagnosticsBlock {
    std::int32_t reserved;
    std::int32_t connectionType;  // 1 = USB, 2 = serial port
    std::uint8_t other[348];
};

struct CalibrationBlock {
    std::uint8_t bytes[1188];
};

struct TouchBoundaryBlock {
    std::uint8_t bytes[28];
};

struct BeepBlock {
    std::int32_t beeperFunction;
    std::int32_t beeperFrequency;
    std::int32_t beeperDuration;
    std::int32_t beeperRouting;
};

struct DragDelayBlock {
    std::uint8_t bytes[12];
};

struct RightClickOnHoldBlock {
    std::uint8_t bytes[28];
};

#pragma pack(pop)

static_assert(sizeof(CuelinePacket) == 12, "packet layout is fixed by the driver");
static_assert(sizeof(DiagnosticsBlock) == 356, "diagnostics block layout is fixed by the driver");
static_assert(sizeof(CalibrationBlock) == 1188, "calibration block size is fixed by the driver");
static_assert(sizeof(TouchBoundaryBlock) == 28, "touch boundary block size is fixed by the driver");
static_assert(sizeof(BeepBlock) == 16, "beep block size is fixed by the driver");
static_assert(sizeof(DragDelayBlock) == 12, "drag delay block size is fixed by the driver");
static_assert(sizeof(RightClickOnHoldBlock) == 28, "right click on hold block size is fixed by the driver");

// OrvaPubIf.cpp of a driver library defines ORVA_PUBIF_IMPLEMENTATION; its users import.
#if defined(_WIN32) && !defined(ORVA_PUBIF_IMPLEMENTATION)
#define ORVA_PUBIF_API __declspec(dllimport)
#else
#define ORVA_PUBIF_API
#endif

extern "C" {
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetScreenInfo(std::int32_t reserved, std::int32_t* count);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaSendCuelineCommand(CuelinePacket* packet);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetCuelineResponse(CuelinePacket* packet);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaSetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetBeep(BeepBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaSetBeep(BeepBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetDragDelay(DragDelayBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaSetDragDelay(DragDelayBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaSetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetCalibrationData(CalibrationBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaSetCalibrationData(CalibrationBlock* block, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaGetMouseMode(std::uint16_t* mode, std::int32_t index);
ORVA_PUBIF_API std::int32_t ORVA_CALL OrvaSetMouseMode(std::uint32_t mode, std::int32_t index);
}
