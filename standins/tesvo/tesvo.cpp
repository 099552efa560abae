// Stand-in for the outside tool Tesvo.exe. Like the real tool it changes some of
// the driver's settings through OrvaPubIf.dll and ends; it also notes each run,
// so that tests and demonstrations can see that, when and how it was started.
//
//   ORVA_TESVO_RECORD    file the run is appended to (default TesvoRuns.txt beside the exe)
//   ORVA_TESVO_DELAY_MS  how long it works before it ends (default 0)
//   ORVA_TESVO_FREQUENCY beeper frequency it sets on every screen (default 1750)
//   ORVA_TESVO_MODE      mouse mode it sets on every screen (default 2)
#include "OrvaPubIf.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

DWORD NumberFromEnvironment(const char* name, DWORD fallback) {
    char text[32];
    const DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
    if (n == 0 || n >= sizeof text) return fallback;
    return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

bool RecordPath(char (&path)[MAX_PATH]) {
    const DWORD n = GetEnvironmentVariableA("ORVA_TESVO_RECORD", path, MAX_PATH);
    if (n >= MAX_PATH) return false;
    if (n > 0) return true;
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    char* slash = std::strrchr(path, '\\');
    char* name = slash ? slash + 1 : path;
    static const char kName[] = "TesvoRuns.txt";
    if (static_cast<std::size_t>(path + MAX_PATH - name) < sizeof kName) return false;
    std::memcpy(name, kName, sizeof kName);
    return true;
}

void AppendRecord(const char* line) {
    char path[MAX_PATH];
    if (!RecordPath(path)) return;
    UniqueHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.Get(), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
    const DWORD frequency = NumberFromEnvironment("ORVA_TESVO_FREQUENCY", 1750);
    const DWORD mode = NumberFromEnvironment("ORVA_TESVO_MODE", 2);
    const DWORD delay = NumberFromEnvironment("ORVA_TESVO_DELAY_MS", 0);

    char directory[MAX_PATH] = "";
    const DWORD d = GetCurrentDirectoryA(MAX_PATH, directory);
    if (d == 0 || d >= MAX_PATH) directory[0] = '\0';
    char line[3 * MAX_PATH];
    std::snprintf(line, sizeof line, "started pid=%lu args=[%s] cwd=[%s]\r\n", GetCurrentProcessId(),
                  commandTail ? commandTail : "", directory);
    AppendRecord(line);

    if (delay > 0) Sleep(delay);

    std::int32_t count = 0;
    int changed = 0;
    if (OrvaGetScreenInfo(0, &count) == 0) {
        for (std::int32_t i = 0; i < count; ++i) {
            BeepBlock beep{};
            if (OrvaGetBeep(&beep, i) != 0) continue;
            beep.beeperFrequency = static_cast<std::int32_t>(frequency);
            if (OrvaSetBeep(&beep, i) == 0 && OrvaSetMouseMode(mode, i) == 0) ++changed;
        }
    }
    std::snprintf(line, sizeof line, "ended pid=%lu screens=%d changed=%d frequency=%lu mode=%lu\r\n",
                  GetCurrentProcessId(), static_cast<int>(count), changed, frequency, mode);
    AppendRecord(line);
    return 0;
}
