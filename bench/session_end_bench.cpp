// The session-end save (refresh and save of every screen) against the stand-in
// driver, with the shipped settings file and with a 1,000-line one, for a save
// that changes the file (every screen holds other values, so every screen's save
// rewrites it) and for one that changes nothing (every screen holds the values
// the file already has). Windows lets a program delay
// its answer to the session-end query for about 5 seconds. Besides the time it
// counts the durable rewrites (renames onto the file) and flushes of one save.
//   session_end_bench PANELSET.TXT [runs]
#include "file_access.h"
#include "platform.h"
#include "watch_session.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

bool WriteFileText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

bool ReadFileText(const char* path, std::string* text) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
    std::fclose(file);
    return true;
}

// Each screen beeps at its own frequency (distinct), or all at one; none at the
// shipped file's.
std::string Screens(int count, bool distinct) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "[screen " + std::to_string(i) + "]\r\nconnectionType=1\r\nbeep=1 " +
                std::to_string(3000 + (distinct ? i : 0)) + " 50 0\r\n";
    }
    return text;
}

// The real files, counting what makes a save durable.
class CountingFiles final : public FileAccess {
public:
    explicit CountingFiles(FileAccess& inner) : inner_(inner) {}
    long flushes = 0;
    long rewrites = 0;

    OsHandle OpenForReading(const char* path) noexcept override { return inner_.OpenForReading(path); }
    bool Read(OsHandle file, char* buffer, std::size_t size, std::size_t* got) noexcept override {
        return inner_.Read(file, buffer, size, got);
    }
    bool Seek(OsHandle file, std::uint64_t offset) noexcept override { return inner_.Seek(file, offset); }
    OsHandle CreateTemporary(const char* folder, char* tempPath, std::size_t size) noexcept override {
        return inner_.CreateTemporary(folder, tempPath, size);
    }
    bool Write(OsHandle file, const char* data, std::size_t size) noexcept override {
        return inner_.Write(file, data, size);
    }
    bool Flush(OsHandle file) noexcept override {
        ++flushes;
        return inner_.Flush(file);
    }
    void Close(OsHandle file) noexcept override { inner_.Close(file); }
    ReplaceResult Replace(const char* target, const char* replacement) noexcept override {
        const ReplaceResult result = inner_.Replace(target, replacement);
        if (result == ReplaceResult::kReplaced) ++rewrites;
        return result;
    }
    bool Delete(const char* path) noexcept override { return inner_.Delete(path); }
    void DeleteLeftoverTemporaries(const char* folder) noexcept override { inner_.DeleteLeftoverTemporaries(folder); }

private:
    FileAccess& inner_;
};

// The shipped file with comment lines in front, up to 1,000 lines in all.
std::string ThousandLines(const std::string& shipped) {
    const long lines = std::count(shipped.begin(), shipped.end(), '\n');
    std::string text;
    for (long i = lines; i < 1000; ++i) text += "; padding line " + std::to_string(i) + " of a long settings file\r\n";
    return text + shipped;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: session_end_bench PANELSET.TXT [runs]\n");
        return 2;
    }
    std::string shipped;
    if (!ReadFileText(argv[1], &shipped)) return 1;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    char folder[MAX_PATH];
    if (GetTempPathA(MAX_PATH, folder) == 0) return 1;
    const std::string screensPath = std::string(folder) + "orva_bench_screens.txt";
    const std::string settingsPath = std::string(folder) + "orva_bench_PANELSET.TXT";
    SetEnvironmentVariableA("ORVA_SCREENS_FILE", screensPath.c_str());

    struct FileCase {
        const char* name;
        std::string text;
    };
    const FileCase files[] = {{"shipped", shipped}, {"1000 lines", ThousandLines(shipped)}};

    if (WindowsPlatform() == nullptr) return 1;  // no OrvaPubIf.dll
    DetectorPlatform& windows = *WindowsPlatform();
    CountingFiles counting(windows.files);
    DetectorPlatform platform{windows.driver, windows.metrics, windows.trace, windows.pause, counting};

    std::printf("%-12s %8s %-10s %10s %10s %9s %9s\n", "file", "screens", "save", "median ms", "max ms",
                "rewrites", "flushes");
    for (const FileCase& file : files) {
        for (int screens : {1, 4, 16}) {
            auto session = std::make_shared<WatchSession>(platform, WindowsWorkerServices());
            std::strcpy(session->settingsPath, settingsPath.c_str());
            for (bool changing : {true, false}) {
                if (!WriteFileText(screensPath, Screens(screens, changing))) return 1;
                std::vector<double> times;
                long rewrites = 0, flushes = 0;
                for (int run = 0; run < runs; ++run) {
                    // A changing save starts from the shipped values; an unchanged one
                    // from what the save before it wrote.
                    if ((changing || run == 0) && !WriteFileText(settingsPath, file.text)) return 1;
                    if (!changing && run == 0) session->SaveAllScreens();
                    counting.rewrites = counting.flushes = 0;
                    LARGE_INTEGER start, end;
                    QueryPerformanceCounter(&start);
                    session->SaveAllScreens();
                    QueryPerformanceCounter(&end);
                    times.push_back(Milliseconds(start, end));
                    rewrites = counting.rewrites;
                    flushes = counting.flushes;
                }
                std::sort(times.begin(), times.end());
                std::printf("%-12s %8d %-10s %10.1f %10.1f %9ld %9ld\n", file.name, screens,
                            changing ? "changing" : "unchanged", times[times.size() / 2], times.back(), rewrites,
                            flushes);
            }
        }
    }
    DeleteFileA(screensPath.c_str());
    DeleteFileA(settingsPath.c_str());
    return 0;
}
