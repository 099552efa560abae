// The installer's log, %WINDIR%\Temp\OrvaSetup.log: the same file for every run,
// whoever runs it, where an administrator looks first. A log that cannot be written
// changes nothing else.
#pragma once

#include "bounded_text.h"

#include <cstdint>

class InstallLogApi {
public:
    virtual ~InstallLogApi() = default;
    // Opens the log for appending, after moving one grown too large to OrvaSetup.log.old.
    // False, and no log this run, when it cannot be opened or is a link (see UseOfLogFile).
    virtual bool Open() noexcept = 0;
    // Appends text as it stands; nothing when the log is not open.
    virtual void Append(const char* text) noexcept = 0;
    // The Win32 error of the step that has just failed (GetLastError).
    virtual std::uint32_t LastError() noexcept = 0;
};

constexpr const char* kLogFileName = "OrvaSetup.log";
constexpr std::uint64_t kLogRotateBytes = 1048576;

enum class LogFileUse { kAppend, kRotate, kRefuse };

// Standard users may create files in the log's folder, so the log is never written
// through a link: a reparse point, or a file with a second name (a hard link), is refused.
[[nodiscard]] LogFileUse UseOfLogFile(bool reparsePoint, std::uint32_t links, std::uint64_t size) noexcept;

// The run's header: local time, version, account, session and the tail as given.
void OpenLog(const char* commandLineTail) noexcept;
ORVA_PRINTF(1, 2) void LogLine(const char* format, ...) noexcept;
// "<step>: done", or "<step>: failed, error <GetLastError>": call it straight after the step.
ORVA_PRINTF(2, 3) void LogStep(bool succeeded, const char* format, ...) noexcept;

#if defined(_WIN32)
InstallLogApi& WindowsInstallLogApi() noexcept;
#endif
