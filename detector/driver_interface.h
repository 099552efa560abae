// The detector's binding to the touch driver library: every call it makes to
// OrvaPubIf goes through this interface, so that tests can script the driver.
#pragma once

#include "OrvaPubIf.h"
#include "bounded_text.h"

#include <cstdint>

class DriverInterface {
public:
    virtual ~DriverInterface() = default;

    virtual std::int32_t OrvaGetScreenInfo(std::int32_t reserved, std::int32_t* count) = 0;
    virtual std::int32_t OrvaGetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaSendCuelineCommand(CuelinePacket* packet) = 0;
    virtual std::int32_t OrvaGetCuelineResponse(CuelinePacket* packet) = 0;
    virtual std::int32_t OrvaGetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaSetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaGetBeep(BeepBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaSetBeep(BeepBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaGetDragDelay(DragDelayBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaSetDragDelay(DragDelayBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaGetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaSetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaGetCalibrationData(CalibrationBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaSetCalibrationData(CalibrationBlock* block, std::int32_t index) = 0;
    virtual std::int32_t OrvaGetMouseMode(std::uint16_t* mode, std::int32_t index) = 0;
    virtual std::int32_t OrvaSetMouseMode(std::uint32_t mode, std::int32_t index) = 0;
};

// A 32-bit library built without a .def file exports a __stdcall function as "_Name@N" or "Name@N",
// by compiler: N is the bytes of its arguments on the stack, each in whole 4-byte slots.
template <typename Result, typename... Arguments>
constexpr std::size_t StackBytes(Result(ORVA_CALL*)(Arguments...)) noexcept {
    return (std::size_t{0} + ... + ((sizeof(Arguments) + 3) / 4 * 4));
}

// Export name `which` (0 plain, 1 "_Name@N", 2 "Name@N") into dest; false when it does not fit.
template <std::size_t size>
[[nodiscard]] bool ExportSpelling(char (&dest)[size], const char* name, std::size_t n, int which) noexcept {
    if (which == 0) return CopyWhole(dest, name);
    return FormatWhole(dest, size, which == 1 ? "_%s@%u" : "%s@%u", name, static_cast<unsigned>(n));
}

#if defined(_WIN32)
class TraceSink;
// OrvaPubIf.dll, bound for good; null, after one trace line naming what is missing, without it.
DriverInterface* BindDriverLibrary(TraceSink& trace) noexcept;
#endif
