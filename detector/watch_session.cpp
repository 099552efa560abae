#include "watch_session.h"

#include "device_arrival.h"
#include "platform.h"
#include "replace_retry.h"

#include <new>

WatchSession::WatchSession(DetectorPlatform& platform, WorkerServices& services) noexcept
    : screens(platform), services_(services), pause_(platform.pause) {}

bool WatchSession::StartWorker(std::uint32_t (WatchSession::*procedure)()) noexcept {
    // Each worker holds its own share of the session for as long as it runs.
    std::shared_ptr<WatchSession> self = weak_from_this().lock();
    if (!self) return false;
    try {
        return services_.threads.Start([self, procedure] { return ((*self).*procedure)(); });
    } catch (const std::bad_alloc&) {
        // Wrapping the work may allocate; without memory the start is dropped.
        return false;
    }
}

void WatchSession::StartApplyWorker() noexcept {
    if (applyBusy.exchange(true)) return;
    // A worker that cannot start must not leave the flag set for good.
    if (!StartWorker(&WatchSession::ApplyWorker)) applyBusy = false;
}

std::uint32_t WatchSession::ApplyWorker() noexcept {
    for (std::int32_t i = 0; i < screens.GetScreenCount(); ++i) {
        ScreenRecord loaded;
        if (screens.LoadScreenSettings(settingsPath, i, &loaded)) screens.ApplyScreenSettings(loaded, i);
    }
    applyBusy = false;
    return 0;
}

void WatchSession::HandleDeviceChange(std::uintptr_t wParam, const void* lParam) noexcept {
    if (!IsControllerArrival(wParam, lParam)) return;
    // Every arrival signals, even while a tool still runs.
    (void)StartWorker(&WatchSession::BeepWorker);
    StartToolWorker();
}

std::uint32_t WatchSession::BeepWorker() noexcept {
    services_.tones.Tone(1000, 300);
    services_.tones.Tone(2000, 300);
    services_.tones.Tone(3000, 400);
    return 0;
}

void WatchSession::StartToolWorker() noexcept {
    if (toolBusy.exchange(true)) return;
    if (!StartWorker(&WatchSession::ToolWorker)) toolBusy = false;
}

std::uint32_t WatchSession::ToolWorker() noexcept {
    if (!services_.tools.RunAndWait(toolCommand)) {
        // A later arrival tries again.
        toolBusy = false;
        return 1;
    }
    // Cleared before the refresh, so an arrival meanwhile already starts the next tool.
    toolBusy = false;
    screens.Refresh();
    return 0;
}

void WatchSession::SaveAllScreens() noexcept {
    // Windows waits for the answer: every retry of every screen's rewrite shares
    // one bounded wait.
    RetryBudget budget(pause_, kSaveRetryBudgetMs);
    // No other refresh (the tool worker's) can come between this refresh and the save.
    screens.RefreshThen([this, &budget] {
        for (std::int32_t i = 0; i < screens.GetScreenCount(); ++i) {
            screens.SaveScreenSettings(settingsPath, i, &budget);
        }
    });
}
