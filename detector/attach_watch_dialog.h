// The detector's hidden main dialog: its window exists only to receive
// device-change notifications and the session-end query.
#pragma once

#include "installer_key.h"
#include "unique_handle.h"
#include "watch_session.h"

#include <windows.h>

#include <memory>

struct DetectorPlatform;
struct WorkerServices;

// The paths, busy flags and inventory live in a WatchSession that the dialog and
// every worker own jointly, so closing the dialog (WM_CLOSE, OK, cancel) never
// frees them under a worker.
class AttachWatchDialog {
public:
    // Builds the dialog and with it the inventory, which queries the driver and
    // every controller at once. Null only when memory runs out.
    static std::unique_ptr<AttachWatchDialog> Create(HINSTANCE instance, DetectorPlatform& platform,
                                                     WorkerServices& services) noexcept;

    AttachWatchDialog(HINSTANCE instance, std::shared_ptr<WatchSession> session) noexcept;
    AttachWatchDialog(const AttachWatchDialog&) = delete;
    AttachWatchDialog& operator=(const AttachWatchDialog&) = delete;

    // Runs the dialog modally from template 102 and returns its result.
    INT_PTR DoModal() noexcept;

    // Starts the start-up worker unless one is under way.
    void StartApplyWorker() noexcept;
    // Every WM_DEVICECHANGE, before the dialog's normal handling.
    void HandleDeviceChange(WPARAM wParam, LPARAM lParam) noexcept;
    // Every WM_QUERYENDSESSION; the session may end whatever this achieves.
    void SaveAllScreens() noexcept;

private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    BOOL OnInitDialog() noexcept;
    BOOL EndWithoutWatching() noexcept;
    BOOL OnPaint() noexcept;

    HINSTANCE instance_;
    HWND window_ = nullptr;

    HICON appIcon;
    std::shared_ptr<WatchSession> session;

    // Kept for the window's lifetime and undone when the window goes.
    UniqueDeviceNotification notification_;
};
