// In-memory stand-ins for the installer's platform services. Every call that
// reaches the outside world is written to one shared log, so tests can check
// the order of the steps.
#pragma once

#include "file_system.h"
#include "platform.h"
#include "processes.h"
#include "registry.h"
#include "run_context.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

using CallLog = std::vector<std::string>;

// Keys by subkey path, each with its values.
// What Windows reports for a folder that cannot go for a reason the installer never
// retries (winerror.h).
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorDirNotEmpty = 145;

class FakeRegistry final : public RegistryApi {
public:
    explicit FakeRegistry(CallLog& log) : log_(log) {}

    std::map<std::string, std::map<std::string, std::string>> keys;
    std::set<std::string> failingKeys;  // create and open fail for these
    std::map<std::string, std::map<std::string, std::uint32_t>> dwords;  // REG_DWORD values, apart
    std::map<std::string, std::map<std::string, std::string>> multiStrings;  // REG_MULTI_SZ bytes, apart
    std::vector<std::string> changesBeforeReads;  // another program's writes, one before each read

    OsHandle CreateMachineKey(const char* subKey) noexcept override;
    OsHandle OpenMachineKey(const char* subKey, KeyAccess access) noexcept override;
    bool DeleteMachineKey(const char* subKey) noexcept override;
    bool SetStringValue(OsHandle key, const char* name, const char* data) noexcept override;
    bool DeleteValue(OsHandle key, const char* name) noexcept override;
    bool ValueExists(OsHandle key, const char* name) noexcept override;
    bool ReadDword(OsHandle key, const char* name, std::uint32_t& data) noexcept override;
    bool ReadMultiString(OsHandle key, const char* name, std::string& data) noexcept override;
    bool WriteMultiString(OsHandle key, const char* name, const std::string& data) noexcept override;
    void CloseKey(OsHandle key) noexcept override;

    std::size_t OpenKeyCount() const { return open_.size(); }
    int badCloses = 0;  // closes of handles that are not open

private:
    std::string* KeyOf(OsHandle key);
    CallLog& log_;
    std::map<OsHandle, std::string> open_;
    std::uintptr_t nextHandle_ = 0x100;
};

struct FakeProcess {
    std::uint32_t processId;
    std::string exeFile;
    std::uint32_t exitCode = kStillActive;
    bool canOpen = true;
    int terminationsToEnd = 1;   // TerminateProcess calls until the exit code changes; 0: never
    bool signalsEnd = true;      // the wait sees the end once the exit code has changed
    bool alreadyEnded = false;   // ended with exit code 259: signalled, cannot be terminated
    std::string image = {};      // what the open process's image name reads; empty: exeFile in a folder
    bool imageReadable = true;
};

// One process the installer started, with how it was started.
struct FakeLaunch {
    std::string application;  // empty: none given
    std::string commandLine;
    bool noWindow;
    bool asShellUser;
    bool debugPrivilegeOn;  // the installer's token had it on at the start
};

// The process list, and the processes the installer starts: what the started program
// does is run when it is launched (before any wait).
class FakeProcesses final : public ProcessesApi {
public:
    explicit FakeProcesses(CallLog& log) : log_(log) {}

    std::vector<FakeProcess> table;  // in snapshot order
    bool snapshotFails = false;
    bool debugPrivilege = true;  // false: the token lacks it
    bool debugPrivilegeOn = false;  // its state in the installer's token
    int opensWithoutDebugPrivilege = 0;
    bool elevated = false;       // the installer's token
    bool shellToken = false;     // a session shell whose token can be had
    bool shellElevated = false;
    bool launchFails = false;
    bool tokenLaunchFails = false;  // CreateProcessWithTokenW fails (Secondary Logon off)
    bool debugPrivilegeStaysOn = false;  // turning it off fails
    std::set<std::uint32_t> sessionsWithToken;  // WTSQueryUserToken gives these a token
    std::uint32_t failingSessionLaunch = 0;     // the start in this session fails
    const std::map<std::string, std::string>* files = nullptr;  // where ProgramExists looks
    std::vector<FakeLaunch> launches;
    std::function<void(const std::string& commandLine)> onLaunch;
    std::uint32_t exitCode = 0;  // what every process waited for ends with

    OsHandle TakeSnapshot() noexcept override;
    OsHandle EnableDebugPrivilege() noexcept override;
    bool DisableDebugPrivilege(OsHandle token) noexcept override;
    OsHandle ShellUserToken() noexcept override;
    OsHandle SessionUserToken(std::uint32_t session) noexcept override;
    bool TokenElevated(OsHandle token) noexcept override { return token ? shellElevated : elevated; }
    bool ProgramExists(const char* path) noexcept override { return files && files->count(path) == 1; }
    bool ReadProcess(OsHandle snapshot, bool first, ProcessEntry& entry) noexcept override;
    OsHandle OpenForTermination(std::uint32_t processId) noexcept override;
    bool ImageName(OsHandle process, char (&path)[kMaxPath]) noexcept override;
    bool ReadExitCode(OsHandle process, std::uint32_t& exitCode) noexcept override;
    bool TerminateWithCode(OsHandle process, std::uint32_t exitCode) noexcept override;
    bool WaitForEnd(OsHandle process, std::uint32_t milliseconds) noexcept override;
    void Close(OsHandle handle) noexcept override;
    bool Launch(const char* commandLine, const char* currentDirectory, const LaunchOptions& options,
                ProcessInformation& processInfo) noexcept override;
    std::uint32_t WaitUntilEnded(OsHandle process) noexcept override;
    void Pause(std::uint32_t milliseconds) noexcept override;

    FakeProcess* Find(std::uint32_t processId);
    std::set<std::uint32_t> openProcesses;  // process ids with an open handle
    std::set<OsHandle> openHandles;         // of the started processes
    bool snapshotOpen = false;
    int terminateCalls = 0;
    int badCloses = 0;

private:
    CallLog& log_;
    std::size_t cursor_ = 0;
    std::uintptr_t nextHandle_ = 0x1000;
};

// Files and folders by full path, with the installer's current directory. A folder
// goes only when it is empty and no one's current directory, a held file cannot be
// deleted, as on Windows.
class FakeFileSystem final : public FileSystemApi {
public:
    explicit FakeFileSystem(CallLog& log) : log_(log) {}

    std::set<std::string> folders;
    std::map<std::string, std::string> files;  // path to content
    std::string currentFolder = "C:\\Users\\me";
    int folderBusyFor = 0;  // removals refused although the folder is empty
    std::map<std::string, int> targetBusyFor;  // copies onto these targets refused this many times
    std::uint32_t folderBusyError = kErrorSharingViolation;  // what those refusals report
    // As Windows keeps them: a copy takes its source's, and refuses a target that is
    // read-only or hidden; a read-only file cannot be deleted.
    static constexpr std::uint32_t kReadOnly = 0x1;
    static constexpr std::uint32_t kHidden = 0x2;
    std::map<std::string, std::uint32_t> attributes;  // path to attribute bits; none when absent
    std::map<std::string, std::string> shortNames;    // path to its 8.3 name, which searches also match

    bool CreateFolder(const char* path) noexcept override;
    bool CopyFileReplacing(const char* source, const char* target) noexcept override;
    bool SetCurrentFolder(const char* path) noexcept override;
    bool RemoveFile(const char* path) noexcept override;
    void ClearReadOnlyAndHidden(const char* path) noexcept override;
    void ForEachFile(const char* pattern, void (*visit)(const char* name)) noexcept override;
    bool WidePath(const char* path, std::u16string& wide) noexcept override;
    bool RemoveAtRestart(const char* path) noexcept override;
    std::uint32_t RemoveFolder(const char* path) noexcept override;
    OsHandle OpenHeldAgainstDeletion(const char* path) noexcept override;
    void Close(OsHandle file) noexcept override;

    std::map<OsHandle, std::string> held;
    int badCloses = 0;

private:
    static std::string ParentOf(const std::string& path);
    CallLog& log_;
    std::uintptr_t nextHandle_ = 0x9000;
};

// A user's session by default; tests choose SYSTEM, session 0 or a hidden window station.
// The log's lines are kept apart from the call log, so that the order of the steps stays
// readable; a message box goes into the call log.
class FakeRunContext final : public RunContextApi {
public:
    explicit FakeRunContext(CallLog& log) : log_(log) {}

    std::string programFiles = "C:\\Program Files (x86)";
    std::string modulePath = "D:\\Setup\\OrvaSetup.exe";
    bool moduleCut = false;  // GetModuleFileName fills the whole buffer
    std::string systemFolder = "C:\\Windows\\system32";  // empty: the lookup fails
    bool system = false;
    std::uint32_t session = 1;
    bool visible = true;
    bool sessionUserIsOwn = true;
    bool logOpens = true;
    bool logOpen = true;  // OpenLog() says whether it stays so
    bool logMayMove = true;  // what the last OpenLog was allowed
    std::vector<UserSession> sessions;
    std::uint32_t lockWait = 0;  // the wait's result for the installers' mutex
    std::uint32_t lastError = 0;  // what a failed step reports
    std::vector<std::string> lines;

    bool ProgramFilesFolder(char (&folder)[kMaxPath]) noexcept override;
    std::uint32_t ModuleFileName(char (&path)[kMaxPath]) noexcept override;
    void RemoveFileSpec(char (&path)[kMaxPath]) noexcept override;
    bool SystemFolder(char (&folder)[kMaxPath]) noexcept override;
    bool RunsAsSystem() noexcept override { return system; }
    std::uint32_t SessionId() noexcept override { return session; }
    bool SessionUserIsOwn() noexcept override { return sessionUserIsOwn; }
    bool WindowStationVisible() noexcept override { return visible; }
    void ShowMessageBox(const char* text) noexcept override { log_.push_back(std::string("message box ") + text); }
    void AccountName(char (&name)[kMaxPath]) noexcept override;
    void LocalTime(char (&text)[32]) noexcept override;
    bool ForEachSession(const std::function<void(const UserSession&)>& visit) noexcept override {
        for (const UserSession& listed : sessions) visit(listed);
        return true;
    }
    std::uint32_t WaitForInstallLock(std::uint32_t milliseconds, OsHandle& mutex) noexcept override;
    void ReleaseInstallLock(OsHandle) noexcept override {}
    bool OpenLog(bool mayMove) noexcept override {
        logMayMove = mayMove;
        return logOpen = logOpens;
    }
    void AppendLog(const char* text) noexcept override;
    std::uint32_t LastError() noexcept override { return lastError; }
    bool Logged(const std::string& line) const;

private:
    CallLog& log_;
};

// Puts the fakes into Platform() for the lifetime of a test, and clears the
// installer's process-wide state before and after.
class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    CallLog log;
    FakeRegistry registry{log};
    FakeProcesses processes{log};
    FakeFileSystem fileSystem{log};
    FakeRunContext context{log};

private:
    InstallerPlatform saved_;
};
