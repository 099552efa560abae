#include "processes.h"

#include "bounded_text.h"
#include "unique_handle.h"

#include <windows.h>
#include <tlhelp32.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <cstring>

namespace {

class WindowsProcesses final : public ProcessesApi {
public:
    OsHandle TakeSnapshot() noexcept override {
        return CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    }
    OsHandle EnableDebugPrivilege() noexcept override {
        UniqueHandle token;
        TOKEN_PRIVILEGES privileges{1, {{{}, SE_PRIVILEGE_ENABLED}}};
        TOKEN_PRIVILEGES before{};
        DWORD size = 0;
        // The call also succeeds when the token lacks the privilege; only the error tells.
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive()) ||
            !LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid) ||
            !AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof before, &before, &size) ||
            GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
            return nullptr;
        }
        // No previous state, or one with it on: it was on already, and stays so.
        const DWORD previous = before.PrivilegeCount ? before.Privileges[0].Attributes : SE_PRIVILEGE_ENABLED;
        return (previous & SE_PRIVILEGE_ENABLED) ? nullptr : token.Release();
    }
    bool DisableDebugPrivilege(OsHandle token) noexcept override {
        TOKEN_PRIVILEGES privileges{1, {{{}, 0}}};
        const bool off = LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid) &&
                         AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        Close(token);
        return off;
    }
    bool ReadProcess(OsHandle snapshot, bool first, ProcessEntry& entry) noexcept override {
        PROCESSENTRY32 record{};
        record.dwSize = sizeof(record);
        if (!(first ? Process32First : Process32Next)(snapshot, &record)) return false;
        entry.processId = record.th32ProcessID;
        // szExeFile is a MAX_PATH array: a name without its terminator matches nothing, and is not overread.
        if (strnlen(record.szExeFile, MAX_PATH) == MAX_PATH || !CopyWhole(entry.exeFile, record.szExeFile)) {
            entry.exeFile[0] = '\0';
        }
        return true;
    }
    OsHandle OpenForTermination(std::uint32_t processId) noexcept override {
        // The rights to terminate and to read the image name, and SYNCHRONIZE to await the end.
        return OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, processId);
    }
    bool ImageName(OsHandle process, char (&path)[kMaxPath]) noexcept override {
        DWORD size = kMaxPath;
        return QueryFullProcessImageNameA(process, 0, path, &size) != FALSE;
    }
    bool ReadExitCode(OsHandle process, std::uint32_t& exitCode) noexcept override {
        DWORD code = 0;
        if (!GetExitCodeProcess(process, &code)) return false;
        exitCode = code;
        return true;
    }
    bool TerminateWithCode(OsHandle process, std::uint32_t exitCode) noexcept override {
        return TerminateProcess(process, exitCode) != FALSE;
    }
    bool WaitForEnd(OsHandle process, std::uint32_t milliseconds) noexcept override {
        return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
    }
    void Close(OsHandle handle) noexcept override {
        CloseKeepingLastError(static_cast<HANDLE>(handle), CloseHandle);
    }
    OsHandle ShellUserToken() noexcept override {
        DWORD shellId = 0;
        // What CreateProcessWithTokenW needs, and no more.
        const DWORD access = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY;
        HANDLE primary = nullptr;
        UniqueHandle token;
        // Without a shell window the first call fails (ERROR_INVALID_WINDOW_HANDLE).
        if (!GetWindowThreadProcessId(GetShellWindow(), &shellId)) return nullptr;
        const UniqueHandle shell(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
        if (!shell || !OpenProcessToken(shell.Get(), TOKEN_DUPLICATE, token.Receive())) return nullptr;
        const BOOL duplicated =
            DuplicateTokenEx(token.Get(), access, nullptr, SecurityImpersonation, TokenPrimary, &primary);
        return duplicated ? primary : nullptr;
    }
    OsHandle SessionUserToken(std::uint32_t session) noexcept override {
        HANDLE token = nullptr;
        return WTSQueryUserToken(session, &token) ? token : nullptr;
    }
    bool TokenElevated(OsHandle token) noexcept override {
        UniqueHandle own;
        if (!token && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.Receive())) token = own.Get();
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        return token && GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
               elevation.TokenIsElevated != 0;
    }
    bool ProgramExists(const char* path) noexcept override {
        return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    }
    bool Launch(const char* commandLine, const char* currentDirectory, const LaunchOptions& options,
                ProcessInformation& processInfo) noexcept override {
        // Wide, as the start with a token has no other form; a command line that does not fit is not started.
        const auto widen = [](const char* text, wchar_t (&wide)[kMaxPath]) {
            return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kMaxPath) > 0;
        };
        wchar_t application[kMaxPath];
        wchar_t command[kMaxPath];
        wchar_t directory[kMaxPath];
        const wchar_t* name = options.application ? application : nullptr;
        if ((name && !widen(options.application, application)) || !widen(commandLine, command) ||
            !widen(currentDirectory, directory)) {
            return false;
        }
        const DWORD flags = options.noWindow ? CREATE_NO_WINDOW : 0;
        STARTUPINFOW startupInfo{};
        startupInfo.cb = sizeof(startupInfo);
        PROCESS_INFORMATION started{};
        UniqueResource<void*, decltype(&DestroyEnvironmentBlock), &DestroyEnvironmentBlock> environment;
        wchar_t desktop[] = L"winsta0\\default";
        BOOL created = FALSE;
        if (options.inSession) {
            startupInfo.lpDesktop = desktop;
            created = CreateEnvironmentBlock(environment.Receive(), options.userToken, FALSE) &&
                      CreateProcessAsUserW(options.userToken, name, command, nullptr, nullptr, FALSE,
                                           flags | CREATE_UNICODE_ENVIRONMENT, environment.Get(), directory,
                                           &startupInfo, &started);
        } else {
            // Given no environment, the start with a token builds the user's own.
            created = options.userToken
                ? CreateProcessWithTokenW(options.userToken, LOGON_WITH_PROFILE, name, command, flags,
                                          nullptr, directory, &startupInfo, &started)
                : CreateProcessW(name, command, nullptr, nullptr, FALSE, flags, nullptr, directory,
                                 &startupInfo, &started);
        }
        if (!created) return false;
        processInfo.process = started.hProcess;
        processInfo.thread = started.hThread;
        return true;
    }
    std::uint32_t WaitUntilEnded(OsHandle process) noexcept override {
        std::uint32_t exitCode = 0;
        WaitForSingleObject(process, INFINITE);
        return ReadExitCode(process, exitCode) ? exitCode : 0;
    }
    void Pause(std::uint32_t milliseconds) noexcept override { Sleep(milliseconds); }
};

}  // namespace

ProcessesApi& WindowsProcessesApi() noexcept {
    static WindowsProcesses processes;
    return processes;
}
