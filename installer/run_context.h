// Where and for whom the installer runs, and what it notes about the run. Deployment tools run it
// silently, often as SYSTEM in session 0, where no user sees a program started or a message box
// shown, and trust its exit code; its log is where an administrator looks first.
#pragma once

#include "bounded_text.h"
#include "service_handle.h"
#include "shared_contract.h"

#include <cstdint>
#include <functional>

// A session as WTSEnumerateSessions lists it, with its user's "DOMAIN\user" (empty without one).
struct UserSession {
    std::uint32_t id = 0;
    std::uint32_t state = 0;  // WTS_CONNECTSTATE_CLASS
    char account[kMaxPath] = {};
};
enum : std::uint32_t { kSessionActive = 0, kSessionDisconnected = 4 };  // WTSActive, WTSDisconnected

class RunContextApi {
public:
    virtual ~RunContextApi() = default;
    // SHGetFolderPath(CSIDL_PROGRAM_FILES, no owner, no token, SHGFP_TYPE_CURRENT).
    virtual bool ProgramFilesFolder(char (&folder)[kMaxPath]) noexcept = 0;
    // GetModuleFileName of the running executable: the count it returns, which
    // equals the buffer size when the path was cut short.
    virtual std::uint32_t ModuleFileName(char (&path)[kMaxPath]) noexcept = 0;
    // PathRemoveFileSpec: drops the last element; a drive root keeps its backslash.
    virtual void RemoveFileSpec(char (&path)[kMaxPath]) noexcept = 0;
    // GetSystemDirectory: where the command interpreter is taken from. Fails, leaving
    // folder empty, when the folder does not fit.
    virtual bool SystemFolder(char (&folder)[kMaxPath]) noexcept = 0;
    // The process token's user is LocalSystem (S-1-5-18).
    virtual bool RunsAsSystem() noexcept = 0;
    // ProcessIdToSessionId of the installer's own process; 0 when it cannot be read.
    virtual std::uint32_t SessionId() noexcept = 0;
    // The session's user (WTSDomainName\WTSUserName, looked up) has the token's SID; false when unreadable.
    virtual bool SessionUserIsOwn() noexcept = 0;
    // WTSEnumerateSessions: visit is given every session; false when they cannot be listed.
    virtual bool ForEachSession(const std::function<void(const UserSession&)>& visit) noexcept = 0;
    // CreateMutexEx of the installers' one mutex in Global\ (every session's runs and SYSTEM's), into
    // mutex, then a wait of up to milliseconds for it: the wait's result (WAIT_FAILED without a mutex).
    virtual std::uint32_t WaitForInstallLock(std::uint32_t milliseconds, OsHandle& mutex) noexcept = 0;
    // ReleaseMutex, when it is held, and CloseHandle.
    virtual void ReleaseInstallLock(OsHandle mutex) noexcept = 0;
    // The installer's window station is visible (WSF_VISIBLE).
    virtual bool WindowStationVisible() noexcept = 0;
    // A modal box with no owner, the system's default caption and MB_OK.
    virtual void ShowMessageBox(const char* text) noexcept = 0;
    // The account's name, and the local time with its offset ("2026-12-09T08:12:36+01:00").
    virtual void AccountName(char (&name)[kMaxPath]) noexcept = 0;
    virtual void LocalTime(char (&text)[32]) noexcept = 0;

    // Opens %WINDIR%\Temp\OrvaSetup.log for appending, after moving one grown too large to OrvaSetup.log.old
    // (mayMove: no other run writes it). False, and no log this run, when it cannot or UseOfLogFile refuses.
    virtual bool OpenLog(bool mayMove) noexcept = 0;
    // Appends text as it stands; nothing without an open log.
    virtual void AppendLog(const char* text) noexcept = 0;
    // The Win32 error of the step that has just failed (GetLastError).
    virtual std::uint32_t LastError() noexcept = 0;
};

// Why the programs meant for a user (the detector, the tool) are not started: the
// installer runs as SYSTEM or in session 0. Null when a user's session runs it.
[[nodiscard]] const char* WhyNoUserIsThere() noexcept;

// The installer's error box; where no one would see it (see above, or a window station
// that is not visible) it is logged instead, so that nothing waits for a click.
void ShowError(const char* text) noexcept;

constexpr std::uint64_t kLogRotateBytes = 1048576;
enum class LogFileUse { kAppend, kRotate, kRefuse, kReplace };

// Standard users may create files in the log's folder: a link (a reparse point, a second name) is refused,
// and a file whose owner, not SYSTEM, Administrators or our own user, could read it is replaced.
[[nodiscard]] LogFileUse UseOfLogFile(bool reparsePoint, std::uint32_t links, std::uint64_t size,
                                      bool trustedOwner) noexcept;

// Opens the log and writes the run's header: local time, version, account, session, the tail as
// given, and ": <verdict>" of a run that ends there. A log that cannot be written changes nothing else.
void OpenLog(const char* commandLineTail, const char* verdict = nullptr) noexcept;
ORVA_PRINTF(1, 2) void LogLine(const char* format, ...) noexcept;
// "<step>: done", or "<step>: failed, error <GetLastError>": call it straight after the step.
ORVA_PRINTF(2, 3) void LogStep(bool succeeded, const char* format, ...) noexcept;

using InstallLock = OwnedHandle<RunContextApi, &RunContextApi::ReleaseInstallLock>;
constexpr std::uint32_t kInstallLockWaitMilliseconds = 60000;
constexpr std::uint32_t kWaitAbandoned = 0x80;  // WAIT_ABANDONED; WAIT_OBJECT_0 is 0

#if defined(_WIN32)
RunContextApi& WindowsRunContextApi() noexcept;
#endif
