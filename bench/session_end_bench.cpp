// The session-end save (refresh and save of every screen) against the stand-in
// driver, with the shipped settings file and with a 1,000-line one. Windows lets
// a program delay its answer to the session-end query for about 5 seconds.
//   session_end_bench PANELSET.TXT [runs]
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

std::string Screens(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "[screen " + std::to_string(i) + "]\r\nconnectionType=1\r\n";
    return text;
}

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

    std::printf("%-12s %8s %12s %12s\n", "file", "screens", "median ms", "max ms");
    for (const FileCase& file : files) {
        for (int screens : {1, 4, 16}) {
            if (!WriteFileText(screensPath, Screens(screens))) return 1;
            auto session = std::make_shared<WatchSession>(WindowsPlatform(), WindowsWorkerServices());
            std::strcpy(session->settingsPath, settingsPath.c_str());
            std::vector<double> times;
            for (int run = 0; run < runs; ++run) {
                if (!WriteFileText(settingsPath, file.text)) return 1;
                LARGE_INTEGER start, end;
                QueryPerformanceCounter(&start);
                session->SaveAllScreens();
                QueryPerformanceCounter(&end);
                times.push_back(Milliseconds(start, end));
            }
            std::sort(times.begin(), times.end());
            std::printf("%-12s %8d %12.1f %12.1f\n", file.name, screens, times[times.size() / 2], times.back());
        }
    }
    DeleteFileA(screensPath.c_str());
    DeleteFileA(settingsPath.c_str());
    return 0;
}
