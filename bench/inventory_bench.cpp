// Builds the inventory against the stand-in driver for several screen counts and
// prints the driver calls per screen and the time taken (median of five runs).
#include "driver_interface.h"
#include "platform.h"
#include "touch_screens.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Counts every call on its way to the real library.
class CountingDriver final : public DriverInterface {
public:
    explicit CountingDriver(DriverInterface& inner) : inner_(inner) {}
    long calls = 0;

#define ORVA_COUNT(Name, A, B)                                   \
    std::int32_t Name(A a, B b) override {                       \
        ++calls;                                                 \
        return inner_.Name(a, b);                                \
    }
    ORVA_COUNT(OrvaGetScreenInfo, std::int32_t, std::int32_t*)
    ORVA_COUNT(OrvaGetDiagnosticsData, DiagnosticsBlock*, std::int32_t)
    ORVA_COUNT(OrvaGetTouchBoundary, TouchBoundaryBlock*, std::int32_t)
    ORVA_COUNT(OrvaSetTouchBoundary, TouchBoundaryBlock*, std::int32_t)
    ORVA_COUNT(OrvaGetBeep, BeepBlock*, std::int32_t)
    ORVA_COUNT(OrvaSetBeep, BeepBlock*, std::int32_t)
    ORVA_COUNT(OrvaGetDragDelay, DragDelayBlock*, std::int32_t)
    ORVA_COUNT(OrvaSetDragDelay, DragDelayBlock*, std::int32_t)
    ORVA_COUNT(OrvaGetRightClickOnHold, RightClickOnHoldBlock*, std::int32_t)
    ORVA_COUNT(OrvaSetRightClickOnHold, RightClickOnHoldBlock*, std::int32_t)
    ORVA_COUNT(OrvaGetCalibrationData, CalibrationBlock*, std::int32_t)
    ORVA_COUNT(OrvaSetCalibrationData, CalibrationBlock*, std::int32_t)
    ORVA_COUNT(OrvaGetMouseMode, std::uint16_t*, std::int32_t)
    ORVA_COUNT(OrvaSetMouseMode, std::uint32_t, std::int32_t)
#undef ORVA_COUNT
    std::int32_t OrvaSendCuelineCommand(CuelinePacket* packet) override {
        ++calls;
        return inner_.OrvaSendCuelineCommand(packet);
    }
    std::int32_t OrvaGetCuelineResponse(CuelinePacket* packet) override {
        ++calls;
        return inner_.OrvaGetCuelineResponse(packet);
    }

private:
    DriverInterface& inner_;
};

bool WriteScreens(const std::string& path, int count, bool rejectSends) {
    std::string text = "screenInfoFails=0\r\n";
    for (int i = 0; i < count; ++i) {
        text += "[screen " + std::to_string(i) + "]\r\nconnectionType=1\r\n";
        if (rejectSends) text += "sendFailures=always\r\n";
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main() {
    char folder[MAX_PATH];
    if (GetTempPathA(MAX_PATH, folder) == 0) return 1;
    const std::string path = std::string(folder) + "orva_bench_screens.txt";
    SetEnvironmentVariableA("ORVA_SCREENS_FILE", path.c_str());

    struct Scenario {
        int screens;
        bool rejectSends;
    };
    const Scenario scenarios[] = {{1, false}, {4, false}, {16, false}, {1, true}, {4, true}};

    std::printf("%-28s %8s %16s %12s\n", "scenario", "screens", "calls per screen", "median ms");
    if (WindowsPlatform() == nullptr) return 1;  // no OrvaPubIf.dll
    for (const Scenario& s : scenarios) {
        if (!WriteScreens(path, s.screens, s.rejectSends)) return 1;
        std::vector<double> times;
        long calls = 0;
        for (int run = 0; run < 5; ++run) {
            DetectorPlatform& real = *WindowsPlatform();
            CountingDriver counting(real.driver);
            DetectorPlatform platform{counting, real.metrics, real.trace, real.pause, real.files};
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            TouchScreens screens(platform);
            QueryPerformanceCounter(&end);
            times.push_back(Milliseconds(start, end));
            calls = counting.calls;
        }
        std::sort(times.begin(), times.end());
        std::printf("%-28s %8d %16.1f %12.1f\n", s.rejectSends ? "controller rejects sends" : "healthy",
                    s.screens, static_cast<double>(calls - 1) / s.screens, times[times.size() / 2]);
    }
    DeleteFileA(path.c_str());
    return 0;
}
