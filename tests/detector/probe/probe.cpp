// probe: drives a running detector from outside, the way Windows would.
//
//   probe find      (--pid N | --exe NAME) [--wait-ms T]   the dialog and its looks
//   probe watch     (--pid N | --exe NAME) --ms T           samples visibility for T ms
//   probe arrival   (--pid N | --exe NAME) DEVICE-NAME      WM_DEVICECHANGE, DBT_DEVICEARRIVAL
//   probe removal   (--pid N | --exe NAME) DEVICE-NAME      WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE
//   probe endsession (--pid N | --exe NAME)                 WM_QUERYENDSESSION, prints the answer
//   probe close     (--pid N | --exe NAME)                  WM_CLOSE
//   probe closeapp  (--pid N | --exe NAME) [--ms T]         what an installer sends to close it: WM_QUERYENDSESSION,
//                                                           then WM_ENDSESSION TRUE, both ENDSESSION_CLOSEAPP; prints
//                                                           both answers, and whether and when (ms after the second
//                                                           message was sent) the process ended within T ms (3000)
//   probe endsession-false (--pid N | --exe NAME)           WM_ENDSESSION FALSE, ENDSESSION_LOGOFF: a log-off that
//                                                           another program refused
//   probe running   (--pid N | --exe NAME)                  whether such a process runs (with --exe, how many)
//   probe run EXE [--timeout-ms T] [-- ARG...]              starts EXE with ARGs, watches its windows until it ends
//   probe template EXE                                      the resources as built: dialog 102, icon 128, manifest
//
// Prints key=value lines; exit code 0 when the message was delivered, 1 when the
// dialog was not found or the message timed out, 2 on usage errors.
#include <windows.h>

#include "device_arrival.h"
#include "unique_handle.h"
#include <dbt.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kSendTimeoutMs = 20000;  // a hidden window under Xvfb can stall for seconds
constexpr int kDialogControl = 1000;
const char kErrorText[] = "Error registering device notification!";

// The last process of that executable name, and how many there are.
DWORD FindProcessByName(const char* exeName, int* count = nullptr) {
    if (count) *count = 0;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName) != 0) continue;
        found = entry.th32ProcessID;
        if (count) ++*count;
    }
    return found;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) search->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The detector's dialog: a dialog-class window that holds the status control.
HWND FindDialog(DWORD processId) {
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassOf(window) == "#32770" && GetDlgItem(window, kDialogControl) != nullptr) return window;
    }
    return nullptr;
}

struct Target {
    DWORD processId = 0;
    const char* exeName = nullptr;
};

DWORD Resolve(const Target& target) {
    return target.processId != 0 ? target.processId : FindProcessByName(target.exeName);
}

bool IsRunning(DWORD processId) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

HWND WaitForDialog(const Target& target, DWORD waitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD processId = Resolve(target);
        if (processId != 0) {
            if (HWND dialog = FindDialog(processId)) return dialog;
        }
        if (GetTickCount() - start >= waitMs) return nullptr;
        Sleep(50);
    }
}

bool OnTaskbar(HWND window) {
    const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    if (!IsWindowVisible(window)) return false;
    if (exStyle & WS_EX_APPWINDOW) return true;
    return !(exStyle & WS_EX_TOOLWINDOW) && GetWindow(window, GW_OWNER) == nullptr;
}

int Find(HWND dialog) {
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    HWND status = GetDlgItem(dialog, kDialogControl);
    std::printf("pid=%lu\n", static_cast<unsigned long>(processId));
    std::printf("visible=%d\n", IsWindowVisible(dialog) ? 1 : 0);
    std::printf("taskbar=%d\n", OnTaskbar(dialog) ? 1 : 0);
    std::printf("style=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(dialog, GWL_STYLE)));
    std::printf("exstyle=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    std::printf("title=%s\n", TextOf(dialog).c_str());
    std::printf("control.class=%s\n", ClassOf(status).c_str());
    std::printf("control.style=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(status, GWL_STYLE)));
    std::printf("control.text=%s\n", TextOf(status).c_str());
    return 0;
}

int Watch(HWND dialog, DWORD ms) {
    int samples = 0;
    int visibleSamples = 0;
    const DWORD start = GetTickCount();
    while (IsWindow(dialog) && GetTickCount() - start < ms) {
        ++samples;
        if (IsWindowVisible(dialog)) ++visibleSamples;
        Sleep(20);
    }
    std::printf("samples=%d\nvisible_samples=%d\nalive=%d\nvisible=%d\n", samples, visibleSamples,
                IsWindow(dialog) ? 1 : 0, IsWindowVisible(dialog) ? 1 : 0);
    return 0;
}

// The detector reads the interface name at a fixed offset; the record is laid out the
// same for 32-bit and 64-bit programs, which both builds check here.
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) == kInterfaceNameOffset,
              "the interface name starts at byte 28");
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32, "the record with its one-byte name is 32 bytes");

int SendDeviceChange(HWND dialog, WPARAM event, const char* deviceName) {
    const std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
    const std::size_t size = nameOffset + std::strlen(deviceName) + 1;
    std::vector<char> bytes(size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) ? sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) : size, 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(bytes.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_classguid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    std::memcpy(bytes.data() + nameOffset, deviceName, std::strlen(deviceName) + 1);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(dialog, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record), SMTO_NORMAL,
                             kSendTimeoutMs, &answer)) {
        std::printf("delivered=0\nerror=%lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("delivered=1\nanswer=%llu\n", static_cast<unsigned long long>(answer));
    return 0;
}

int SendSimple(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(dialog, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &answer)) {
        std::printf("delivered=0\nerror=%lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("delivered=1\nanswer=%llu\n", static_cast<unsigned long long>(answer));
    return 0;
}

// The close sequence of an installer, then the wait for the process to end. The
// process is opened first, so that its end is seen however fast it comes.
int CloseApp(HWND dialog, DWORD waitMs) {
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    DWORD_PTR answer = 0;
    const BOOL queried =
        SendMessageTimeoutA(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, kSendTimeoutMs, &answer);
    std::printf("query.delivered=%d\nquery.answer=%llu\n", queried ? 1 : 0, static_cast<unsigned long long>(answer));
    if (!queried) return 1;
    const DWORD sent = GetTickCount();
    const BOOL ended =
        SendMessageTimeoutA(dialog, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, kSendTimeoutMs, &answer);
    std::printf("end.delivered=%d\n", ended ? 1 : 0);
    const bool gone = process && WaitForSingleObject(process.Get(), waitMs) == WAIT_OBJECT_0;
    std::printf("ended=%d\nended_ms=%lu\n", gone ? 1 : 0, static_cast<unsigned long>(GetTickCount() - sent));
    return ended && gone ? 0 : 1;
}

struct TextSearch {
    const char* text;
    bool found;
};

BOOL CALLBACK MatchChildText(HWND child, LPARAM parameter) {
    auto* search = reinterpret_cast<TextSearch*>(parameter);
    if (TextOf(child) == search->text) search->found = true;
    return search->found ? FALSE : TRUE;
}

// A message box shows its text in a child control.
bool HoldsText(HWND window, const char* text) {
    if (TextOf(window) == text) return true;
    TextSearch search{text, false};
    EnumChildWindows(window, &MatchChildText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Appends one argument the way the C runtime's parser reads it back: bare when it can
// be, else quoted, with the backslashes before a quote, or before the closing quote, doubled.
void AppendArgument(std::string& line, const std::string& argument) {
    line += ' ';
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

// Starts a program and records every top-level window it shows until it ends.
int Run(const char* exe, DWORD timeoutMs, const std::vector<std::string>& arguments) {
    std::string commandLine = std::string("\"") + exe + "\"";
    for (const std::string& argument : arguments) AppendArgument(commandLine, argument);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::printf("started=0\nerror=%lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    int windowsSeen = 0;
    int visibleSeen = 0;
    std::vector<HWND> known;
    std::vector<HWND> boxes;
    const DWORD start = GetTickCount();
    bool timedOut = false;
    while (WaitForSingleObject(process.Get(), 5) == WAIT_TIMEOUT) {
        for (HWND window : TopLevelWindows(info.dwProcessId)) {
            bool isNew = true;
            for (HWND seen : known) isNew = isNew && seen != window;
            if (isNew) {
                known.push_back(window);
                ++windowsSeen;
            }
            if (HoldsText(window, kErrorText)) {
                bool counted = false;
                for (HWND box : boxes) counted = counted || box == window;
                if (!counted) boxes.push_back(window);
            }
            if (IsWindowVisible(window)) ++visibleSeen;
        }
        if (GetTickCount() - start >= timeoutMs) {
            timedOut = true;
            TerminateProcess(process.Get(), 99);
            WaitForSingleObject(process.Get(), 5000);
            break;
        }
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    std::printf("started=1\ntimed_out=%d\nexit=%lu\nmilliseconds=%lu\nwindows_seen=%d\nvisible_samples=%d\nmessage_boxes=%d\n",
                timedOut ? 1 : 0, static_cast<unsigned long>(exitCode), static_cast<unsigned long>(GetTickCount() - start),
                windowsSeen, visibleSeen, static_cast<int>(boxes.size()));
    return timedOut ? 1 : 0;
}

// Reads an extended dialog template, an icon group and the manifest from the
// executable's resources and prints what they hold.
class TemplateReader {
public:
    TemplateReader(const unsigned char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    bool ok() const { return ok_; }
    unsigned Word() { return Take(2) ? bytes_[at_ - 2] | (bytes_[at_ - 1] << 8) : 0; }
    unsigned long Dword() {
        const unsigned long low = Word();
        return low | (static_cast<unsigned long>(Word()) << 16);
    }
    int Short() { return static_cast<short>(Word()); }
    unsigned Byte() { return Take(1) ? bytes_[at_ - 1] : 0; }
    // sz_Or_Ord: none, an ordinal as "#N", or a string.
    std::string NameOrOrdinal() {
        const unsigned first = Word();
        if (first == 0) return "none";
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        at_ -= 2;
        return String();
    }
    std::string String() {
        std::wstring wide;
        for (unsigned c = Word(); ok_ && c != 0; c = Word()) wide.push_back(static_cast<wchar_t>(c));
        char text[512] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
        return text;
    }
    void AlignDword() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }

private:
    bool Take(std::size_t n) {
        if (!ok_ || at_ + n > size_) return ok_ = false;
        at_ += n;
        return true;
    }
    const unsigned char* bytes_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

bool ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type, const unsigned char** bytes, std::size_t* size) {
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, found);
    *bytes = static_cast<const unsigned char*>(LockResource(loaded));
    *size = SizeofResource(module, found);
    return *bytes != nullptr;
}

int Template(const char* exe) {
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::printf("loaded=0\n");
        return 1;
    }
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    if (ResourceBytes(module, MAKEINTRESOURCEA(102), reinterpret_cast<LPCSTR>(RT_DIALOG), &bytes, &size)) {
        TemplateReader reader(bytes, size);
        const unsigned version = reader.Word();
        const unsigned signature = reader.Word();
        std::printf("dialog.extended=%d\n", version == 1 && signature == 0xFFFF ? 1 : 0);
        reader.Dword();  // help id
        std::printf("dialog.exstyle=0x%08lx\n", reader.Dword());
        const unsigned long style = reader.Dword();
        std::printf("dialog.style=0x%08lx\n", style);
        const unsigned items = reader.Word();
        const int x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
        std::printf("dialog.rect=%d,%d,%d,%d\n", x, y, cx, cy);
        std::printf("dialog.menu=%s\n", reader.NameOrOrdinal().c_str());
        std::printf("dialog.class=%s\n", reader.NameOrOrdinal().c_str());
        std::printf("dialog.title=%s\n", reader.String().c_str());
        if (style & DS_SETFONT) {
            const unsigned points = reader.Word(), weight = reader.Word(), italic = reader.Byte(), charset = reader.Byte();
            std::printf("dialog.font=%u,%u,%u,%u,%s\n", points, weight, italic, charset, reader.String().c_str());
        }
        std::printf("dialog.items=%u\n", items);
        for (unsigned i = 0; i < items && reader.ok(); ++i) {
            reader.AlignDword();
            reader.Dword();  // help id
            const unsigned long itemExStyle = reader.Dword();
            const unsigned long itemStyle = reader.Dword();
            const int ix = reader.Short(), iy = reader.Short(), icx = reader.Short(), icy = reader.Short();
            const unsigned long id = reader.Dword();
            const std::string itemClass = reader.NameOrOrdinal();
            const std::string text = reader.NameOrOrdinal();
            const unsigned extra = reader.Word();
            for (unsigned b = 0; b < extra; ++b) reader.Byte();
            std::printf("item%u=%lu,%s,0x%08lx,0x%08lx,%d,%d,%d,%d,%s\n", i, id, itemClass.c_str(), itemStyle,
                        itemExStyle, ix, iy, icx, icy, text.c_str());
        }
        std::printf("dialog.parsed=%d\n", reader.ok() ? 1 : 0);
    } else {
        std::printf("dialog.extended=none\n");
    }
    if (ResourceBytes(module, MAKEINTRESOURCEA(128), reinterpret_cast<LPCSTR>(RT_GROUP_ICON), &bytes, &size) &&
        size >= 6 + 14) {
        // GRPICONDIR, then its first entry: width and height bytes.
        std::printf("icon.images=%u\nicon.size=%ux%u\n", bytes[4] | (bytes[5] << 8), bytes[6] ? bytes[6] : 256u,
                    bytes[7] ? bytes[7] : 256u);
    } else {
        std::printf("icon.images=0\n");
    }
    if (ResourceBytes(module, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_MANIFEST), &bytes, &size)) {
        const std::string manifest(reinterpret_cast<const char*>(bytes), size);
        int supported = 0;
        for (std::size_t at = manifest.find("<supportedOS"); at != std::string::npos;
             at = manifest.find("<supportedOS", at + 1)) {
            ++supported;
        }
        std::printf("manifest.supportedOS=%d\n", supported);
        std::printf("manifest.executionLevel=%d\n", manifest.find("requestedExecutionLevel") != std::string::npos ? 1 : 0);
    } else {
        std::printf("manifest.supportedOS=none\n");
    }
    std::printf("versioninfo=%d\n",
                ResourceBytes(module, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_VERSION), &bytes, &size) ? 1 : 0);
    FreeLibrary(module);
    return 0;
}

// The system's double-click metrics as a process started now sees them.
int Metrics() {
    std::printf("doubleclick.width=%d\ndoubleclick.height=%d\ndoubleclick.time=%u\n",
                GetSystemMetrics(SM_CXDOUBLECLK), GetSystemMetrics(SM_CYDOUBLECLK), GetDoubleClickTime());
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: probe find|watch|arrival|removal|endsession|close|running (--pid N | --exe NAME) [args]\n"
                 "       probe run EXE [--timeout-ms T] [-- ARG...]\n"
                 "       probe template EXE\n"
                 "       probe metrics\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "metrics") == 0) {
        const int result = Metrics();
        std::fflush(stdout);
        return result;
    }
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    if (command == "template") {
        const int result = Template(argv[2]);
        std::fflush(stdout);
        return result;
    }
    if (command == "run") {
        DWORD timeoutMs = 20000;
        int next = 3;
        if (next + 1 < argc && std::strcmp(argv[next], "--timeout-ms") == 0) {
            timeoutMs = std::strtoul(argv[next + 1], nullptr, 10);
            next += 2;
        }
        if (next < argc && std::strcmp(argv[next++], "--") != 0) return Usage();
        const int result = Run(argv[2], timeoutMs, std::vector<std::string>(argv + next, argv + argc));
        std::fflush(stdout);
        return result;
    }

    Target target;
    DWORD waitMs = 10000;
    DWORD watchMs = 3000;
    std::vector<const char*> rest;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pid" && i + 1 < argc) {
            target.processId = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--exe" && i + 1 < argc) {
            target.exeName = argv[++i];
        } else if (arg == "--wait-ms" && i + 1 < argc) {
            waitMs = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--ms" && i + 1 < argc) {
            watchMs = std::strtoul(argv[++i], nullptr, 10);
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (target.processId == 0 && target.exeName == nullptr) return Usage();
    if (command == "running") {
        if (target.exeName != nullptr) {
            int count = 0;
            FindProcessByName(target.exeName, &count);
            std::printf("running=%d\ncount=%d\n", count > 0 ? 1 : 0, count);
        } else {
            std::printf("running=%d\n", IsRunning(target.processId) ? 1 : 0);
        }
        return 0;
    }

    HWND dialog = WaitForDialog(target, waitMs);
    if (dialog == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    std::printf("found=1\n");
    int result = 2;
    if (command == "find") {
        result = Find(dialog);
    } else if (command == "watch") {
        result = Watch(dialog, watchMs);
    } else if ((command == "arrival" || command == "removal") && rest.size() == 1) {
        result = SendDeviceChange(dialog, command == "arrival" ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, rest[0]);
    } else if (command == "endsession") {
        result = SendSimple(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    } else if (command == "close") {
        result = SendSimple(dialog, WM_CLOSE, 0, 0);
    } else if (command == "closeapp" && rest.empty()) {
        result = CloseApp(dialog, watchMs);
    } else if (command == "endsession-false" && rest.empty()) {
        result = SendSimple(dialog, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    } else {
        return Usage();
    }
    std::fflush(stdout);
    return result;
}
