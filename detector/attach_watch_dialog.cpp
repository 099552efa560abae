#include "attach_watch_dialog.h"

#include "detector_app.h"
#include "resource.h"

#include <dbt.h>

#include <new>
#include <utility>

namespace {

// GUID_DEVINTERFACE_HID, spelled out so that no HID library is needed.
const GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32, "the notification filter is 32 bytes");

// Owns a thread handle; the thread itself runs on after its handle is closed.
class ThreadHandle {
public:
    explicit ThreadHandle(HANDLE handle) noexcept : handle_(handle) {}
    ~ThreadHandle() {
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return;
        const DWORD error = GetLastError();
        CloseHandle(handle_);
        SetLastError(error);
    }
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    explicit operator bool() const noexcept { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

}  // namespace

DeviceNotification::DeviceNotification(DeviceNotification&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DeviceNotification& DeviceNotification::operator=(DeviceNotification&& other) noexcept {
    if (this != &other) {
        Reset();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

bool DeviceNotification::RegisterHidInterfaces(HWND window) noexcept {
    Reset();
    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    ZeroMemory(&filter, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHidInterfaceClass;
    handle_ = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return handle_ != nullptr;
}

void DeviceNotification::Reset() noexcept {
    if (handle_ == nullptr) return;
    const DWORD error = GetLastError();
    UnregisterDeviceNotification(handle_);
    handle_ = nullptr;
    SetLastError(error);
}

std::shared_ptr<AttachWatchDialog> AttachWatchDialog::Create(HINSTANCE instance, DetectorPlatform& platform) noexcept {
    try {
        return std::make_shared<AttachWatchDialog>(ConstructionKey{}, instance, platform);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

AttachWatchDialog::AttachWatchDialog(ConstructionKey, HINSTANCE instance, DetectorPlatform& platform) noexcept
    : instance_(instance),
      // LoadIcon's icons are shared by the system and never destroyed.
      appIcon(LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME))),
      toolBusy(false),
      applyBusy(false),
      screens(platform) {
    // No defined text until the initialisation reads the installer key.
    settingsPath[0] = '\0';
    toolCommand[0] = '\0';
}

// Members go in reverse order: statusText, then screens.
AttachWatchDialog::~AttachWatchDialog() = default;

INT_PTR AttachWatchDialog::DoModal() noexcept {
    return DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ATTACHWATCH_DIALOG), nullptr, &DialogProcedure,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK AttachWatchDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<AttachWatchDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->window_ = window;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<AttachWatchDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    return dialog->WindowProcedure(message, wParam, lParam);
}

// Returning FALSE passes a message on to the default dialog processing; TRUE
// answers it here with DWLP_MSGRESULT (or with the return value itself for the
// few messages, such as WM_QUERYDRAGICON, that a dialog answers directly).
INT_PTR AttachWatchDialog::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_DEVICECHANGE:
        HandleDeviceChange(wParam, lParam);
        return FALSE;
    case WM_QUERYENDSESSION:
        SaveAllScreens();
        SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_NCPAINT:
        // The modal loop shows every dialog once; hiding here undoes that before
        // any frame is drawn.
        ShowWindow(window_, SW_HIDE);
        return TRUE;
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(appIcon);
    case WM_COMMAND:
        // OK and cancel end the dialog, as the dialog framework does; a close
        // request arrives here as cancel.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window_, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        notification_.Reset();
        statusText.Detach();
        return FALSE;
    case WM_NCDESTROY:
        SetWindowLongPtrA(window_, DWLP_USER, 0);
        window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL AttachWatchDialog::OnInitDialog() noexcept {
    statusText.Attach(GetDlgItem(window_, IDC_STATUS_TEXT));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));

    RegistryInstallerKey installerKey;
    if (!ReadInstallerKey(installerKey, toolCommand, settingsPath)) return EndWithoutWatching();

    if (!notification_.RegisterHidInterfaces(window_)) {
        MessageBoxA(window_, "Error registering device notification!", ApplicationName(), MB_OK);
        return EndWithoutWatching();
    }
    StartApplyWorker();
    return TRUE;
}

// Ending the dialog inside its initialisation keeps the modal loop from ever
// running, so the window is never shown.
BOOL AttachWatchDialog::EndWithoutWatching() noexcept {
    EndDialog(window_, 0);
    return FALSE;
}

BOOL AttachWatchDialog::OnPaint() noexcept {
    if (!IsIconic(window_)) return FALSE;
    PAINTSTRUCT paint;
    HDC context = BeginPaint(window_, &paint);
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(context, x, y, appIcon);
    EndPaint(window_, &paint);
    return TRUE;
}

bool AttachWatchDialog::StartWorker(LPTHREAD_START_ROUTINE procedure) noexcept {
    auto* share = new (std::nothrow) std::shared_ptr<AttachWatchDialog>(shared_from_this());
    if (share == nullptr) return false;
    // The thread frees its bookkeeping itself when the procedure returns.
    ThreadHandle thread(CreateThread(nullptr, 0, procedure, share, 0, nullptr));
    if (!thread) {
        delete share;
        return false;
    }
    return true;
}

std::shared_ptr<AttachWatchDialog> AttachWatchDialog::TakeWorkerShare(void* parameter) noexcept {
    auto* share = static_cast<std::shared_ptr<AttachWatchDialog>*>(parameter);
    std::shared_ptr<AttachWatchDialog> dialog = std::move(*share);
    delete share;
    return dialog;
}

void AttachWatchDialog::StartApplyWorker() noexcept {
    // Only this thread sets the flag, so the test and the set cannot race; a
    // start request that finds a worker under way is dropped.
    if (applyBusy.exchange(true)) return;
    // A worker that could not be started leaves the way open for another try.
    if (!StartWorker(&ApplyWorker)) applyBusy = false;
}

DWORD WINAPI AttachWatchDialog::ApplyWorker(void* parameter) {
    const std::shared_ptr<AttachWatchDialog> dialog = TakeWorkerShare(parameter);
    // Loading and applying every screen's settings joins here with the
    // per-screen settings; until then the worker only ends its run.
    dialog->applyBusy = false;
    return 0;
}

void AttachWatchDialog::HandleDeviceChange(WPARAM, LPARAM) noexcept {
    // The reaction to the touch controller's arrival joins here with the
    // per-screen settings.
}

void AttachWatchDialog::SaveAllScreens() noexcept {
    // The session-end save joins here with the per-screen settings; the session
    // may end in any case.
}
