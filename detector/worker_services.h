// What the detector's reactions need from the system besides the inventory:
// threads, the outside tool and the speaker. Tests replace all three.
#pragma once

#include <cstdint>
#include <functional>

// Starts work on a new thread of its own that nobody waits for; what work returns
// is the thread's exit code.
class WorkerThreads {
public:
    virtual ~WorkerThreads() = default;
    [[nodiscard]] virtual bool Start(std::function<std::uint32_t()> work) noexcept = 0;
};

// Runs a command line and waits, without a time limit, until its process ends.
class ToolRunner {
public:
    virtual ~ToolRunner() = default;
    // False when the process could not be started; then nothing was waited for.
    [[nodiscard]] virtual bool RunAndWait(const char* commandLine) noexcept = 0;
};

// Plays one tone and returns when it has ended.
class TonePlayer {
public:
    virtual ~TonePlayer() = default;
    virtual void Tone(std::uint32_t frequency, std::uint32_t milliseconds) noexcept = 0;
};

struct WorkerServices {
    WorkerThreads& threads;
    ToolRunner& tools;
    TonePlayer& tones;
};

#if defined(_WIN32)
// CreateThread, CreateProcessA with WaitForSingleObject, and Beep.
WorkerServices& WindowsWorkerServices() noexcept;
#endif
