// The detector's Windows services: the platform its logic reaches and its workers'.
#include "platform.h"

#include "driver_interface.h"
#include "file_access.h"
#include "shared_contract.h"
#include "tool_command.h"
#include "unique_handle.h"
#include "worker_services.h"

#include <windows.h>

#include <memory>
#include <new>

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

class WindowsThreads final : public WorkerThreads {
public:
    bool Start(std::function<std::uint32_t()> work) noexcept override {
        std::unique_ptr<Task> task(new (std::nothrow) Task(std::move(work)));
        if (!task) return false;
        // Default security and stack size; the thread runs on after its handle is closed.
        UniqueHandle thread(CreateThread(nullptr, 0, &Run, task.get(), 0, nullptr));
        if (!thread) return false;
        (void)task.release();
        return true;
    }

private:
    using Task = std::function<std::uint32_t()>;

    static DWORD WINAPI Run(void* parameter) {
        std::unique_ptr<Task> task(static_cast<Task*>(parameter));
        return (*task)();
    }
};

class WindowsToolRunner final : public ToolRunner {
public:
    bool RunAndWait(const char* stored) noexcept override {
        const DWORD attributes = GetFileAttributesA(stored);
        const bool namesFile = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        // CreateProcessA may write into its command line, so it gets a copy.
        char commandLine[kMaxPath + 2];
        if (!PrepareToolCommandLine(stored, namesFile, commandLine, sizeof commandLine)) return false;

        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created = {};
        if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &created)) {
            return false;
        }
        UniqueProcessInformation tool;
        tool.Adopt(created);
        WaitForSingleObject(tool.process.Get(), INFINITE);
        return true;
    }
};

class SpeakerTones final : public TonePlayer {
public:
    void Tone(std::uint32_t frequency, std::uint32_t milliseconds) noexcept override {
        Beep(frequency, milliseconds);
    }
};

}  // namespace

DetectorPlatform* WindowsPlatform() noexcept {
    // Never destroyed: a worker may still run while the program exits.
    static DebugOutputTrace& trace = *new DebugOutputTrace;
    static SystemSleep& pause = *new SystemSleep;
    static WindowsMetrics& metrics = *new WindowsMetrics;
    static DriverInterface* const driver = BindDriverLibrary(trace);
    static DetectorPlatform* const platform =
        driver ? new DetectorPlatform{*driver, metrics, trace, pause, WindowsFileAccess()} : nullptr;
    return platform;
}

WorkerServices& WindowsWorkerServices() noexcept {
    // Never destroyed: a worker may still run while the program exits.
    static WindowsThreads& threads = *new WindowsThreads;
    static WindowsToolRunner& tools = *new WindowsToolRunner;
    static SpeakerTones& tones = *new SpeakerTones;
    static WorkerServices& services = *new WorkerServices{threads, tools, tones};
    return services;
}
