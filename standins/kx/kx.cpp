// Stand-in for the touch driver's installer engine kx.exe. It does what the
// installer relies on, and notes each run:
//   - a tail without "/U" installs: the driver's service key
//     SYSTEM\CurrentControlSet\Services\OrvaTouchscreen, the uninstall key
//     SOFTWARE\...\Uninstall\OrvaTouchscreen, and the driver's files (itself,
//     menulinks.bat, Tesvo.exe and the stand-in library OrvaPubIf.dll with its screens
//     file) copied from its own folder into the installation folder;
//   - "/U" (either case) removes all of that again.
// It learns the installation folder from the installer key's value Configuration
// (the settings file's path); without it, it touches no files. A real driver installs
// its own library, wherever its engine puts it; the stand-in library goes into the
// installation folder because the detector and Tesvo.exe, which import it at load
// time, find it there.
//
//   ORVA_KX_RECORD         file each run is appended to (default %TEMP%\KxRuns.txt), with
//                          whether SeDebugPrivilege is enabled in its token
//   ORVA_KX_FAIL_INSTALL=1 the driver fails to install: no keys, no files
//   ORVA_KX_KEEP_DRIVER=1  "/U" leaves the driver installed, as a cancelled uninstall does
//   ORVA_KX_TESVO_RAN=1    the install also writes the installer key's value TesvoRan
//   ORVA_KX_EXIT_CODE=N    does what the switches above say, then ends with exit code N instead
//                          of its own (3010 or 1641: a driver that waits for a restart)
//   ORVA_KX_PAUSE_MS=N     waits N ms before its work, so that runs started together would overlap;
//                          a run that finds another engine running notes "another engine is running"
#include "unique_handle.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kInstallerKey[] = "SOFTWARE\\TALMAR\\TALMAR TOUCH INSTALLER";
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\OrvaTouchscreen";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaTouchscreen";
const char kDisplayName[] = "Orva touch screen driver (stand-in)";

struct DriverFile {
    const char* name;
    bool keepExisting;  // the screens file holds the simulated driver's state
    bool removeOnly;    // left behind by a driver stopped while it rewrote its screens file
};
const DriverFile kDriverFiles[] = {
    {"kx.exe", false, false},          {"menulinks.bat", false, false},   {"Tesvo.exe", false, false},
    {"OrvaPubIf.dll", false, false},   {"OrvaScreens.txt", true, false}, {"OrvaScreens.txt.tmp", false, true},
};

bool Switch(const char* name) {
    char text[8];
    DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
    return n > 0 && n < sizeof text && std::strcmp(text, "1") == 0;
}

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool Format(char (&dest)[MAX_PATH], const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int written = std::vsnprintf(dest, MAX_PATH, format, arguments);
    va_end(arguments);
    if (written < 0 || written >= MAX_PATH) {
        dest[0] = '\0';
        return false;
    }
    return true;
}

void Record(const char* format, ...) {
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("ORVA_KX_RECORD", path, MAX_PATH);
    if (n >= MAX_PATH) return;
    if (n == 0) {
        char temp[MAX_PATH];
        DWORD t = GetTempPathA(MAX_PATH, temp);
        if (t == 0 || t >= MAX_PATH || !Format(path, "%sKxRuns.txt", temp)) return;
    }
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    int written = std::vsnprintf(line, sizeof line - 2, format, arguments);
    va_end(arguments);
    if (written < 0) return;
    std::size_t length = std::strlen(line);
    std::memcpy(line + length, "\r\n", 3);
    UniqueHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD done = 0;
    WriteFile(file.Get(), line, static_cast<DWORD>(length + 2), &done, nullptr);
}

// The folder of the settings file named by the installer key, or false.
bool InstallationFolder(char (&folder)[MAX_PATH]) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallerKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = MAX_PATH - 1;
    if (RegQueryValueExA(key.Get(), "Configuration", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    folder[size] = '\0';
    char* slash = std::strrchr(folder, '\\');
    if (!slash || slash == folder) return false;
    *slash = '\0';
    return true;
}

bool OwnFolder(char (&folder)[MAX_PATH]) {
    DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    char* slash = std::strrchr(folder, '\\');
    if (!slash) return false;
    *slash = '\0';
    return true;
}

bool SetString(HKEY key, const char* name, const char* data) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                          static_cast<DWORD>(std::strlen(data) + 1)) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char* name, DWORD data) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
           ERROR_SUCCESS;
}

bool CreateKey(const char* subKey, UniqueRegKey& key) {
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           key.Receive(), nullptr) == ERROR_SUCCESS;
}

void CopyDriverFiles(const char* folder) {
    char source[MAX_PATH];
    char target[MAX_PATH];
    char own[MAX_PATH];
    if (!OwnFolder(own)) return;
    if (lstrcmpiA(own, folder) == 0) return;  // already running from the installation folder
    for (const DriverFile& file : kDriverFiles) {
        if (file.removeOnly) continue;
        if (!Format(source, "%s\\%s", own, file.name) || !Format(target, "%s\\%s", folder, file.name)) continue;
        if (CopyFileA(source, target, file.keepExisting ? TRUE : FALSE)) {
            Record("  copied %s", file.name);
        } else if (GetLastError() == ERROR_FILE_EXISTS) {
            Record("  kept the existing %s", file.name);
        } else {
            Record("  could not copy %s (error %lu)", file.name, GetLastError());
        }
    }
}

void RemoveDriverFiles(const char* folder) {
    char path[MAX_PATH];
    char self[MAX_PATH];
    DWORD selfLength = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (selfLength == 0 || selfLength >= MAX_PATH) self[0] = '\0';
    for (const DriverFile& file : kDriverFiles) {
        if (!Format(path, "%s\\%s", folder, file.name)) continue;
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) continue;
        if (lstrcmpiA(path, self) == 0) {
            // A running program cannot delete its own file.
            bool later = MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
            Record("  %s is running: %s", file.name, later ? "removed at the next restart" : "left in place");
        } else if (DeleteFileA(path)) {
            Record("  removed %s", file.name);
        } else {
            // The installer holds menulinks.bat open while the engine runs (error 32).
            Record("  could not remove %s (error %lu)", file.name, GetLastError());
        }
    }
}

int InstallDriver(const char* folder, bool folderKnown) {
    if (Switch("ORVA_KX_FAIL_INSTALL")) {
        Record("  the driver failed to install (ORVA_KX_FAIL_INSTALL)");
        return 1603;
    }
    if (folderKnown) CopyDriverFiles(folder);
    UniqueRegKey service;
    if (CreateKey(kServiceKey, service)) {
        SetNumber(service.Get(), "Type", 1);   // kernel driver
        SetNumber(service.Get(), "Start", 3);  // on demand
        SetString(service.Get(), "DisplayName", kDisplayName);
        Record("  created the driver's service key");
    } else {
        Record("  could not create the driver's service key (error %lu)", GetLastError());
    }
    UniqueRegKey uninstall;
    if (CreateKey(kUninstallKey, uninstall)) {
        SetString(uninstall.Get(), "DisplayName", kDisplayName);
        SetString(uninstall.Get(), "Publisher", "TALMAR");
        Record("  created the uninstall key");
    }
    if (Switch("ORVA_KX_TESVO_RAN")) {
        UniqueRegKey installer;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallerKey, 0, KEY_SET_VALUE, installer.Receive()) == ERROR_SUCCESS &&
            SetString(installer.Get(), "TesvoRan", "1")) {
            Record("  wrote TesvoRan (ORVA_KX_TESVO_RAN)");
        }
    }
    return 0;
}

int UninstallDriver(const char* folder, bool folderKnown) {
    if (Switch("ORVA_KX_KEEP_DRIVER")) {
        Record("  the driver stays installed (ORVA_KX_KEEP_DRIVER)");
        return 1602;
    }
    LONG service = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kServiceKey);
    LONG uninstall = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    Record("  service key %s, uninstall key %s", service == ERROR_SUCCESS ? "deleted" : "absent",
           uninstall == ERROR_SUCCESS ? "deleted" : "absent");
    if (folderKnown) RemoveDriverFiles(folder);
    return 0;
}

// The environment variable's number, or false.
bool Number(const char* name, unsigned long& number) {
    char text[16];
    DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
    if (n == 0 || n >= sizeof text || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    number = std::strtoul(text, &end, 10);
    return *end == '\0';
}

// ORVA_KX_EXIT_CODE when it holds a number, else the run's own exit code.
int ChosenExitCode(int own) {
    unsigned long code = 0;
    if (!Number("ORVA_KX_EXIT_CODE", code)) return own;
    Record("  exit code %lu instead of %d (ORVA_KX_EXIT_CODE)", code, own);
    return static_cast<int>(code);
}

// Whether the token it got from the installer has SeDebugPrivilege enabled: it must not.
bool DebugPrivilegeEnabled() {
    UniqueHandle token;
    PRIVILEGE_SET privileges{1, PRIVILEGE_SET_ALL_NECESSARY, {{{}, 0}}};
    BOOL enabled = FALSE;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) &&
           LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privilege[0].Luid) &&
           PrivilegeCheck(token.Get(), &privileges, &enabled) && enabled;
}

bool AsksToUninstall(const char* tail) {
    for (const char* p = tail; p && p[0] && p[1]; ++p) {
        if (p[0] == '/' && (p[1] == 'U' || p[1] == 'u')) return true;
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
    const char* tail = commandTail ? commandTail : "";
    char folder[MAX_PATH] = "";
    bool folderKnown = InstallationFolder(folder);
    char directory[MAX_PATH] = "";
    DWORD d = GetCurrentDirectoryA(MAX_PATH, directory);
    if (d == 0 || d >= MAX_PATH) directory[0] = '\0';
    bool uninstall = AsksToUninstall(tail);
    Record("kx %s pid=%lu args=[%s] cwd=[%s] folder=[%s]", uninstall ? "uninstall" : "install",
           GetCurrentProcessId(), tail, directory, folderKnown ? folder : "unknown");
    Record("  SeDebugPrivilege %s", DebugPrivilegeEnabled() ? "enabled" : "not enabled");
    // Held until the run ends: a second engine beside it finds the name taken.
    const UniqueHandle running(CreateMutexA(nullptr, FALSE, "OrvaKxEngineRunning"));
    if (GetLastError() == ERROR_ALREADY_EXISTS) Record("  another engine is running");
    unsigned long pause = 0;
    if (Number("ORVA_KX_PAUSE_MS", pause)) Sleep(pause);
    return ChosenExitCode(uninstall ? UninstallDriver(folder, folderKnown) : InstallDriver(folder, folderKnown));
}
