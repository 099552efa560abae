#include "driver_interface.h"

#include "bounded_text.h"
#include "platform.h"
#include "unique_handle.h"

#include <memory>
#include <new>

namespace {

// Forwards to the library bound at run time; the pointers have the header's own types,
// so that the calling convention cannot drift from its declarations.
class BoundDriver final : public DriverInterface {
    // The standard search order, as at load time; declared first, as the pointers are bound from it.
    UniqueModule library_{LoadWithoutErrorBox()};

public:
    // What is missing: the library or the first function it lacks; null once all are bound.
    const char* missing = library_ ? nullptr : "OrvaPubIf.dll";

#define ORVA_FORWARD(Name, Parameters, Arguments)                       \
    std::int32_t Name Parameters override { return Name##_ Arguments; } \
    decltype(&::Name) Name##_ = Bind<decltype(&::Name)>(#Name);
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

private:
    // A library that is no DLL (corrupt, cut short, of another architecture) fails without the system's
    // box at every log-on; the mode is this thread's, which the tool does not inherit.
    static HMODULE LoadWithoutErrorBox() noexcept {
        DWORD previous = 0;
        const BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
        const HMODULE library = LoadLibraryExW(L"OrvaPubIf.dll", nullptr, 0);
        if (quiet) SetThreadErrorMode(previous, nullptr);
        return library;
    }

    template <typename Function>
    Function Bind(const char* name) noexcept {
        if (missing != nullptr) return nullptr;
        FARPROC found = nullptr;
        char spelling[64];
        // 64-bit names carry no decoration.
        for (int which = 0; found == nullptr && which < (sizeof(void*) == 4 ? 3 : 1); ++which) {
            found = ExportSpelling(spelling, name, StackBytes(Function{}), which)
                        ? GetProcAddress(library_.Get(), spelling) : nullptr;
        }
        if (found == nullptr) missing = name;
        // Through void (*)(), which converts to any function pointer type without a warning.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    }
};

}  // namespace

DriverInterface* BindDriverLibrary(TraceSink& trace) noexcept {
    std::unique_ptr<BoundDriver> driver(new (std::nothrow) BoundDriver);
    if (driver && driver->missing == nullptr) return driver.release();
    // The error is the failed load's or look-up's: nothing has run since but the error mode's restore.
    char line[80];
    if (driver && FormatWhole(line, sizeof line, "%s missing, error %lu\n", driver->missing, GetLastError())) {
        trace.Trace(line);
    }
    return nullptr;
}
