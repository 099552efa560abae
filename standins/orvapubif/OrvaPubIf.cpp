// The stand-in OrvaPubIf.dll: the 16 exports over the simulated driver, with
// the screens file on disk behind a named mutex and an optional call log.
#define ORVA_PUBIF_IMPLEMENTATION
#include "OrvaPubIf.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "simulated_driver.h"
#include "unique_handle.h"

namespace {

// Shared with any other process that edits the screens file (an outside tool).
constexpr char kMutexName[] = "OrvaPubIfStandIn.ScreensFile";
constexpr char kDefaultFileName[] = "OrvaScreens.txt";
constexpr DWORD kLockTimeoutMs = 10000;
constexpr DWORD kMaxFileSize = 1u << 20;

HMODULE g_module = nullptr;

// The variable's value when it is set, fits the buffer and is not empty.
bool ReadEnvironment(const char* name, char (&buffer)[MAX_PATH]) {
    const DWORD n = GetEnvironmentVariableA(name, buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH;
}

// A slow controller: each setter first waits ORVA_SET_DELAY_MS milliseconds, holding no lock.
void SlowSetter() {
    char milliseconds[MAX_PATH];
    if (ReadEnvironment("ORVA_SET_DELAY_MS", milliseconds)) Sleep(strtoul(milliseconds, nullptr, 10));
}

bool ScreensFilePath(char (&path)[MAX_PATH]) {
    const DWORD set = GetEnvironmentVariableA("ORVA_SCREENS_FILE", path, MAX_PATH);
    // Set but too long is a failure, not a silent fall-back to the default.
    if (set >= MAX_PATH) return false;
    if (set > 0) return true;
    const DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    char* slash = path;
    for (char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') slash = p + 1;
    }
    const size_t room = static_cast<size_t>(path + MAX_PATH - slash);
    if (sizeof kDefaultFileName > room) return false;
    memcpy(slash, kDefaultFileName, sizeof kDefaultFileName);
    return true;
}

bool WriteAll(HANDLE file, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(text.size() - done);
        if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

class FileStore final : public orva_sim::ScreensStore {
public:
    bool Lock() override {
        if (!mutex_.IsValid()) mutex_ = UniqueHandle(CreateMutexA(nullptr, FALSE, kMutexName));
        if (!mutex_.IsValid()) return false;
        const DWORD wait = WaitForSingleObject(mutex_.Get(), kLockTimeoutMs);
        // An owner that died mid-write left the old or the new file whole (rename), so go on.
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
        havePath_ = ScreensFilePath(path_);
        return true;
    }

    void Unlock() override { ReleaseMutex(mutex_.Get()); }

    bool Read(std::string& text) override {
        if (!havePath_) return false;
        UniqueHandle file(CreateFileA(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) return false;
        const DWORD size = GetFileSize(file.Get(), nullptr);
        if (size == INVALID_FILE_SIZE || size > kMaxFileSize) return false;
        text.assign(size, '\0');
        DWORD done = 0;
        while (done < size) {
            DWORD got = 0;
            if (!ReadFile(file.Get(), &text[done], size - done, &got, nullptr) || got == 0) return false;
            done += got;
        }
        return true;
    }

    // A whole new file replaces the old one, so a reader never sees half a file.
    bool Write(const std::string& text) override {
        if (!havePath_) return false;
        static const char suffix[] = ".tmp";
        char temp[MAX_PATH];
        const size_t length = strlen(path_);
        if (length + sizeof suffix > MAX_PATH) return false;
        memcpy(temp, path_, length);
        memcpy(temp + length, suffix, sizeof suffix);
        {
            UniqueHandle file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                          nullptr));
            if (!file.IsValid()) return false;
            if (!WriteAll(file.Get(), text) || !FlushFileBuffers(file.Get())) {
                file.Reset();
                DeleteFileA(temp);
                return false;
            }
        }
        if (!MoveFileExA(temp, path_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DeleteFileA(temp);
            return false;
        }
        return true;
    }

private:
    UniqueHandle mutex_;
    char path_[MAX_PATH] = {};
    bool havePath_ = false;
};

class FileCallLog final : public orva_sim::CallLog {
public:
    void Append(const std::string& line) override {
        if (!line.empty() && line[0] == '#') {
            const std::string note = "OrvaPubIf stand-in: " + line.substr(1) + "\n";
            OutputDebugStringA(note.c_str());
        }
        char path[MAX_PATH];
        if (!ReadEnvironment("ORVA_CALL_LOG", path)) return;
        // Appends from several processes land whole, one line per write.
        UniqueHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) return;
        (void)WriteAll(file.Get(), line + "\n");
    }
};

FileStore g_store;
FileCallLog g_log;
orva_sim::SimulatedDriver g_driver(g_store, g_log);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" {

std::int32_t ORVA_CALL OrvaGetScreenInfo(std::int32_t reserved, std::int32_t* count) {
    return g_driver.GetScreenInfo(reserved, count);
}

std::int32_t ORVA_CALL OrvaGetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index) {
    return g_driver.GetDiagnosticsData(block, index);
}

std::int32_t ORVA_CALL OrvaSendCuelineCommand(CuelinePacket* packet) {
    return g_driver.SendCuelineCommand(packet);
}

std::int32_t ORVA_CALL OrvaGetCuelineResponse(CuelinePacket* packet) {
    return g_driver.GetCuelineResponse(packet);
}

std::int32_t ORVA_CALL OrvaGetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) {
    return g_driver.GetTouchBoundary(block, index);
}

std::int32_t ORVA_CALL OrvaSetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) {
    SlowSetter();
    return g_driver.SetTouchBoundary(block, index);
}

std::int32_t ORVA_CALL OrvaGetBeep(BeepBlock* block, std::int32_t index) {
    return g_driver.GetBeep(block, index);
}

std::int32_t ORVA_CALL OrvaSetBeep(BeepBlock* block, std::int32_t index) {
    SlowSetter();
    return g_driver.SetBeep(block, index);
}

std::int32_t ORVA_CALL OrvaGetDragDelay(DragDelayBlock* block, std::int32_t index) {
    return g_driver.GetDragDelay(block, index);
}

std::int32_t ORVA_CALL OrvaSetDragDelay(DragDelayBlock* block, std::int32_t index) {
    SlowSetter();
    return g_driver.SetDragDelay(block, index);
}

std::int32_t ORVA_CALL OrvaGetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) {
    return g_driver.GetRightClickOnHold(block, index);
}

std::int32_t ORVA_CALL OrvaSetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) {
    SlowSetter();
    return g_driver.SetRightClickOnHold(block, index);
}

std::int32_t ORVA_CALL OrvaGetCalibrationData(CalibrationBlock* block, std::int32_t index) {
    return g_driver.GetCalibrationData(block, index);
}

std::int32_t ORVA_CALL OrvaSetCalibrationData(CalibrationBlock* block, std::int32_t index) {
    SlowSetter();
    return g_driver.SetCalibrationData(block, index);
}

std::int32_t ORVA_CALL OrvaGetMouseMode(std::uint16_t* mode, std::int32_t index) {
    return g_driver.GetMouseMode(mode, index);
}

std::int32_t ORVA_CALL OrvaSetMouseMode(std::uint32_t mode, std::int32_t index) {
    SlowSetter();
    return g_driver.SetMouseMode(mode, index);
}

}  // extern "C"
