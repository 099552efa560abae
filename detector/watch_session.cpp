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
    restored_ = 0;
    // A worker that cannot start must not leave the flag set for good.
    if (!StartWorker(&WatchSession::ApplyWorker)) EndRestore();
}

std::uint32_t WatchSession::ApplyWorker() noexcept {
    for (std::int32_t i = 0; i < screens.GetScreenCount(); ++i) {
        ScreenRecord loaded;
        if (screens.LoadScreenSettings(settingsPath, i, &loaded)) screens.ApplyScreenSettings(loaded, i);
        restored_ = i + 1;
    }
    EndRestore();
    return 0;
}

void WatchSession::EndRestore() noexcept {
    {
        std::lock_guard<std::mutex> guard(restoreLock_);
        applyBusy = false;
    }
    restoreEnded_.notify_all();
}

void WatchSession::HandleDeviceChange(std::uintptr_t wParam, const void* lParam) noexcept {
    if (ending || !IsControllerArrival(wParam, lParam)) return;
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
    if (ending || !services_.tools.RunAndWait(toolCommand)) {
        // A later arrival tries again.
        toolBusy = false;
        return 1;
    }
    // Cleared before the refresh, so an arrival meanwhile already starts the next tool.
    toolBusy = false;
    // What the tool set is saved at once: kiosks are switched off, not logged off. Never
    // in the middle of the start-up restore; the user-interface thread never waits for
    // that, since the restore's metrics broadcast waits for the detector's window.
    {
        std::unique_lock<std::mutex> lock(restoreLock_);
        restoreEnded_.wait(lock, [this] { return !applyBusy; });
    }
    // One try: a busy file is saved at the next tool run or at the session end.
    if (!ending) SaveEveryScreen(nullptr);
    return 0;
}

void WatchSession::SaveAllScreens() noexcept {
    // Windows waits for the answer: every retry of every screen's rewrite shares
    // one bounded wait.
    RetryBudget budget(pause_, kSaveRetryBudgetMs);
    SaveEveryScreen(&budget);
}

void WatchSession::SaveEveryScreen(RetryBudget* budget) noexcept {
    // Taken before the refresh, so that it reads what the restore set on those screens.
    const std::int32_t restored = applyBusy ? restored_.load() : INT32_MAX;
    // No other refresh can come between this refresh and the save.
    screens.RefreshThen([this, budget, restored] {
        for (std::int32_t i = 0; i < screens.GetScreenCount() && i < restored; ++i) {
            screens.SaveScreenSettings(settingsPath, i, budget);
        }
    });
}
