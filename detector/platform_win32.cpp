#include "platform.h"

#include "driver_interface.h"
#include "file_access.h"

#include <windows.h>

namespace {

class DebugOutputTrace final : public TraceSink {
public:
    void Trace(const char* line) noexcept override { OutputDebugStringA(line); }
};

class SystemSleep final : public Pause {
public:
    void Sleep(std::uint32_t milliseconds) noexcept override { ::Sleep(milliseconds); }
};

class WindowsMetrics final : public SystemMetrics {
public:
    std::int32_t GetDoubleClickWidth() noexcept override { return GetSystemMetrics(SM_CXDOUBLECLK); }
    std::int32_t GetDoubleClickHeight() noexcept override { return GetSystemMetrics(SM_CYDOUBLECLK); }
    std::uint32_t GetDoubleClickTime() noexcept override { return ::GetDoubleClickTime(); }
    // SPIF_SENDCHANGE alone: the change is broadcast but not written to the user's profile.
    void SetDoubleClickWidth(std::int32_t width) noexcept override {
        SystemParametersInfoA(SPI_SETDOUBLECLKWIDTH, static_cast<UINT>(width), nullptr, SPIF_SENDCHANGE);
    }
    void SetDoubleClickHeight(std::int32_t height) noexcept override {
        SystemParametersInfoA(SPI_SETDOUBLECLKHEIGHT, static_cast<UINT>(height), nullptr, SPIF_SENDCHANGE);
    }
    void SetDoubleClickTime(std::uint32_t milliseconds) noexcept override {
        ::SetDoubleClickTime(milliseconds);
    }
};

}  // namespace

DetectorPlatform& WindowsPlatform() noexcept {
    // Never destroyed: a worker may still run while the program exits.
    static DebugOutputTrace& trace = *new DebugOutputTrace;
    static SystemSleep& pause = *new SystemSleep;
    static WindowsMetrics& metrics = *new WindowsMetrics;
    static DetectorPlatform& platform = *new DetectorPlatform{ImportedDriver(), metrics, trace, pause, WindowsFileAccess()};
    return platform;
}
