#include "watch_session.h"

#include "device_arrival.h"

WatchSession::WatchSession(DetectorPlatform& platform, WorkerServices& services) noexcept
    : screens(platform), services_(services) {}

bool WatchSession::StartWorker(void (WatchSession::*procedure)()) noexcept {
    // Each worker holds its own share of the session for as long as it runs.
    std::shared_ptr<WatchSession> self = weak_from_this().lock();
    if (!self) return false;
    return services_.threads.Start([self, procedure] { ((*self).*procedure)(); });
}

void WatchSession::StartApplyWorker() noexcept {
    if (applyBusy.exchange(true)) return;
    // A worker that cannot start must not leave the flag set for good.
    if (!StartWorker(&WatchSession::ApplyWorker)) applyBusy = false;
}

void WatchSession::ApplyWorker() noexcept {
    for (std::int32_t i = 0; i < screens.GetScreenCount(); ++i) {
        screens.LoadScreenSettings(settingsPath, i);
        screens.ApplyScreenSettings(i);
    }
    applyBusy = false;
}

void WatchSession::HandleDeviceChange(std::uintptr_t wParam, const void* lParam) noexcept {
    if (!IsControllerArrival(wParam, lParam)) return;
    // Every arrival signals, even while a tool still runs.
    (void)StartWorker(&WatchSession::BeepWorker);
    StartToolWorker();
}

void WatchSession::BeepWorker() noexcept {
    services_.tones.Tone(1000, 300);
    services_.tones.Tone(2000, 300);
    services_.tones.Tone(3000, 400);
}

void WatchSession::StartToolWorker() noexcept {
    if (toolBusy.exchange(true)) return;
    if (!StartWorker(&WatchSession::ToolWorker)) toolBusy = false;
}

void WatchSession::ToolWorker() noexcept {
    if (!services_.tools.RunAndWait(toolCommand)) {
        // A later arrival tries again.
        toolBusy = false;
        return;
    }
    // Cleared before the refresh, so an arrival meanwhile already starts the next tool.
    toolBusy = false;
    screens.Refresh();
}

void WatchSession::SaveAllScreens() noexcept {
    screens.Refresh();
    for (std::int32_t i = 0; i < screens.GetScreenCount(); ++i) {
        screens.SaveScreenSettings(settingsPath, i);
    }
}
