#include "run_context.h"

#include "unique_handle.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <aclapi.h>
#include <wtsapi32.h>

#include <cstdlib>
#include <cwchar>
#include <utility>

namespace {

// The process token's user is sid; with none given, LocalSystem.
bool TokenUserIs(PSID sid) noexcept {
    UniqueHandle token;
    union {
        TOKEN_USER user;
        BYTE room[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } own;
    DWORD size = 0;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) &&
           GetTokenInformation(token.Get(), TokenUser, &own, sizeof own, &size) &&
           (sid ? EqualSid(own.user.User.Sid, sid) : IsWellKnownSid(own.user.User.Sid, WinLocalSystemSid));
}

// "DOMAIN\user" of a session; false when either cannot be read, does not fit, or there is no user.
bool SessionAccount(DWORD session, wchar_t (&account)[kMaxPath]) noexcept {
    UniqueResource<LPWSTR, decltype(&WTSFreeMemory), &WTSFreeMemory> domain;
    UniqueResource<LPWSTR, decltype(&WTSFreeMemory), &WTSFreeMemory> user;
    DWORD size = 0;
    const HANDLE server = WTS_CURRENT_SERVER_HANDLE;
    if (!WTSQuerySessionInformationW(server, session, WTSDomainName, domain.Receive(), &size) ||
        !WTSQuerySessionInformationW(server, session, WTSUserName, user.Receive(), &size)) {
        return false;
    }
    const int length = _snwprintf(account, kMaxPath, L"%ls\\%ls", domain.Get(), user.Get());
    return user.Get()[0] != L'\0' && length >= 0 && length < static_cast<int>(kMaxPath);
}

bool OwnerIsTrusted(HANDLE file) noexcept {
    PSID owner = nullptr;
    UniqueResource<PSECURITY_DESCRIPTOR, decltype(&LocalFree), &LocalFree> descriptor;
    return GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                           nullptr, descriptor.Receive()) == ERROR_SUCCESS &&
           (IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
            TokenUserIs(owner));
}

class WindowsRunContext final : public RunContextApi {
public:
    bool ProgramFilesFolder(char (&folder)[kMaxPath]) noexcept override {
        return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder));
    }
    std::uint32_t ModuleFileName(char (&path)[kMaxPath]) noexcept override {
        return GetModuleFileNameA(nullptr, path, kMaxPath);
    }
    void RemoveFileSpec(char (&path)[kMaxPath]) noexcept override { PathRemoveFileSpecA(path); }
    bool SystemFolder(char (&folder)[kMaxPath]) noexcept override {
        const UINT length = GetSystemDirectoryA(folder, kMaxPath);
        if (length > 0 && length < kMaxPath) return true;
        folder[0] = '\0';
        return false;
    }
    bool RunsAsSystem() noexcept override { return TokenUserIs(nullptr); }
    std::uint32_t SessionId() noexcept override {
        DWORD session = 0;
        return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0;
    }
    bool SessionUserIsOwn() noexcept override {
        // By SID: names alone take CORP\admin and a local admin for one user.
        wchar_t account[kMaxPath];
        wchar_t domain[kMaxPath];
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof sid;
        DWORD domainSize = kMaxPath;
        SID_NAME_USE use{};
        return SessionAccount(WTS_CURRENT_SESSION, account) &&
               LookupAccountNameW(nullptr, account, sid, &sidSize, domain, &domainSize, &use) &&
               TokenUserIs(sid);
    }
    bool ForEachSession(const std::function<void(const UserSession&)>& visit) noexcept override {
        UniqueResource<PWTS_SESSION_INFOW, decltype(&WTSFreeMemory), &WTSFreeMemory> list;
        DWORD count = 0;
        if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, list.Receive(), &count)) return false;
        for (DWORD i = 0; i < count; ++i) {
            UserSession session{list.Get()[i].SessionId, static_cast<std::uint32_t>(list.Get()[i].State)};
            wchar_t account[kMaxPath];
            if (SessionAccount(session.id, account)) {
                (void)WideCharToMultiByte(CP_ACP, 0, account, -1, session.account, kMaxPath, nullptr,
                                          nullptr);
            }
            visit(session);
        }
        return true;
    }
    std::uint32_t WaitForInstallLock(std::uint32_t milliseconds, OsHandle& mutex) noexcept override {
        // Only the rights to wait and release: enough also for one that an account with other rights made.
        mutex = CreateMutexExW(nullptr, L"Global\\OrvaSetupRun", 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
        return mutex ? WaitForSingleObject(mutex, milliseconds) : WAIT_FAILED;
    }
    void ReleaseInstallLock(OsHandle mutex) noexcept override {
        (void)ReleaseMutex(mutex);
        CloseKeepingLastError(static_cast<HANDLE>(mutex), CloseHandle);
    }
    bool WindowStationVisible() noexcept override {
        USEROBJECTFLAGS flags{};
        return GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
               (flags.dwFlags & WSF_VISIBLE) != 0;
    }
    void ShowMessageBox(const char* text) noexcept override { MessageBoxA(nullptr, text, nullptr, MB_OK); }
    void AccountName(char (&name)[kMaxPath]) noexcept override {
        DWORD size = kMaxPath;
        if (!GetUserNameA(name, &size)) (void)CopyWhole(name, "(unknown)");
    }
    void LocalTime(char (&text)[32]) noexcept override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        TIME_ZONE_INFORMATION zone{};
        const DWORD kind = GetTimeZoneInformation(&zone);
        // Minutes west of UTC, with the daylight saving in force now.
        const long bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                       : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias : 0);
        (void)FormatWhole(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", now.wYear, now.wMonth,
                          now.wDay, now.wHour, now.wMinute, now.wSecond, bias > 0 ? '-' : '+', std::labs(bias) / 60,
                          std::labs(bias) % 60);
    }

    bool OpenLog(bool mayMove) noexcept override {
        char windows[kMaxPath];
        char path[kMaxPath];
        char older[kMaxPath];
        // Not GetWindowsDirectory: a terminal server gives each user a Windows folder of their own.
        const UINT length = GetSystemWindowsDirectoryA(windows, kMaxPath);
        if (length == 0 || length >= kMaxPath || !FormatWhole(path, sizeof path, "%s\\Temp\\OrvaSetup.log", windows) ||
            !FormatWhole(older, sizeof older, "%s.old", path)) {
            return false;
        }
        for (int pass = 0; pass < 2; ++pass) {
            // A link is opened as itself, never followed, and then refused.
            UniqueHandle file(CreateFileA(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          pass == 0 ? OPEN_ALWAYS : CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
            BY_HANDLE_FILE_INFORMATION info;
            if (!file || !GetFileInformationByHandle(file.Get(), &info)) return false;
            const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
            const LogFileUse use = UseOfLogFile((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                                                info.nNumberOfLinks, size, OwnerIsTrusted(file.Get()));
            if (use == LogFileUse::kRefuse || (use == LogFileUse::kReplace && !mayMove)) return false;
            if (use == LogFileUse::kAppend || !mayMove) {
                log_ = std::move(file);
                return true;
            }
            file.Reset();
            // Either moves the name alone; the log is created anew, and nothing put there meanwhile written.
            const BOOL gone = use == LogFileUse::kRotate ? MoveFileExA(path, older, MOVEFILE_REPLACE_EXISTING)
                                                         : DeleteFileA(path);
            if (!gone) return false;
        }
        return false;
    }
    void AppendLog(const char* text) noexcept override {
        DWORD written = 0;
        // One write per line: runs that log at the same time never split each other's lines.
        if (log_) (void)WriteFile(log_.Get(), text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
    }
    std::uint32_t LastError() noexcept override { return GetLastError(); }

private:
    UniqueHandle log_;
};

}  // namespace

RunContextApi& WindowsRunContextApi() noexcept {
    static WindowsRunContext context;
    return context;
}
