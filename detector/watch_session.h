// What the hidden dialog watches with: the paths from the installer key, the
// inventory, the busy flags, and the three reactions (start-up restore,
// controller arrival, session end).
#pragma once

#include "installer_key.h"
#include "touch_screens.h"
#include "worker_services.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class Pause;
class RetryBudget;

// Owned jointly by the dialog and by every worker it starts, so that a dialog
// that ends (WM_CLOSE, OK, cancel) never frees what a worker still uses.
class WatchSession : public std::enable_shared_from_this<WatchSession> {
public:
    WatchSession(DetectorPlatform& platform, WorkerServices& services) noexcept;
    WatchSession(const WatchSession&) = delete;
    WatchSession& operator=(const WatchSession&) = delete;

    // Loads and applies every screen's settings on a worker, unless one is under way.
    void StartApplyWorker() noexcept;
    // Every WM_DEVICECHANGE: on the controller's arrival, the signal and the tool.
    void HandleDeviceChange(std::uintptr_t wParam, const void* lParam) noexcept;
    // Runs the outside tool on a worker, unless a tool still runs.
    void StartToolWorker() noexcept;
    // Every session-end query: re-reads the inventory and saves every screen.
    void SaveAllScreens() noexcept;
    // The session ends, or an installer closes the detector: no tool starts or is saved.
    void EndWatching() noexcept { ending = true; }

    std::atomic<bool> toolBusy{false};
    std::atomic<bool> ending{false};
    std::atomic<bool> applyBusy{false};
    // Written once by the dialog's initialisation, before any worker starts.
    char settingsPath[kMaxPath] = {};
    char toolCommand[kMaxPath] = {};
    TouchScreens screens;

private:
    std::uint32_t ApplyWorker() noexcept;
    std::uint32_t ToolWorker() noexcept;
    std::uint32_t BeepWorker() noexcept;
    [[nodiscard]] bool StartWorker(std::uint32_t (WatchSession::*procedure)()) noexcept;
    void EndRestore() noexcept;
    // Re-reads the inventory and saves every screen the start-up restore has been through,
    // retrying a busy file within budget (none: one try).
    void SaveEveryScreen(RetryBudget* budget) noexcept;

    WorkerServices& services_;
    Pause& pause_;
    // A tool worker's save waits for the start-up restore to end (applyBusy cleared).
    std::mutex restoreLock_;
    std::condition_variable restoreEnded_;
    // How many screens the start-up restore has been through. While it runs, a save stops
    // there: the others still hold the driver's values from before the log-on.
    std::atomic<std::int32_t> restored_{0};
};
