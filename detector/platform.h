// The few platform services the detector's logic uses besides the driver
// library, each behind an interface the size of what the code calls.
#pragma once

#include <cstdint>

class DriverInterface;
class FileAccess;

// Where trace lines go: the debugger output on Windows.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void Trace(const char* line) noexcept = 0;
};

// Waits; tests record instead of sleeping.
class Pause {
public:
    virtual ~Pause() = default;
    virtual void Sleep(std::uint32_t milliseconds) noexcept = 0;
};

// The system's double-click metrics.
class SystemMetrics {
public:
    virtual ~SystemMetrics() = default;
    virtual std::int32_t GetDoubleClickWidth() noexcept = 0;   // SM_CXDOUBLECLK
    virtual std::int32_t GetDoubleClickHeight() noexcept = 0;  // SM_CYDOUBLECLK
    virtual std::uint32_t GetDoubleClickTime() noexcept = 0;
    virtual void SetDoubleClickWidth(std::int32_t width) noexcept = 0;    // SPI_SETDOUBLECLKWIDTH, SPIF_SENDCHANGE
    virtual void SetDoubleClickHeight(std::int32_t height) noexcept = 0;  // SPI_SETDOUBLECLKHEIGHT, SPIF_SENDCHANGE
    virtual void SetDoubleClickTime(std::uint32_t milliseconds) noexcept = 0;
};

// Everything the inventory and the controller queries reach outside themselves.
struct DetectorPlatform {
    DriverInterface& driver;
    SystemMetrics& metrics;
    TraceSink& trace;
    Pause& pause;
    FileAccess& files;  // the settings file
};

#if defined(_WIN32)
// The real services: OrvaPubIf.dll, the system metrics, OutputDebugStringA, Sleep, files;
// null without the library (BindDriverLibrary).
DetectorPlatform* WindowsPlatform() noexcept;
#endif
