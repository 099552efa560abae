#include "worker_services.h"

#include "tool_command.h"
#include "unique_handle.h"
#include "watch_session.h"

#include <memory>
#include <new>

namespace {

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

        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created;
        ZeroMemory(&created, sizeof created);
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

WorkerServices& WindowsWorkerServices() noexcept {
    // Never destroyed: a worker may still run while the program exits.
    static WindowsThreads& threads = *new WindowsThreads;
    static WindowsToolRunner& tools = *new WindowsToolRunner;
    static SpeakerTones& tones = *new SpeakerTones;
    static WorkerServices& services = *new WorkerServices{threads, tools, tones};
    return services;
}
