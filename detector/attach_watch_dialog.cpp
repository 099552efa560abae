#include "attach_watch_dialog.h"

#include "detector_app.h"
#include "dialog_routing.h"
#include "resource.h"

#include <dbt.h>

#include <new>
#include <utility>

namespace {

// GUID_DEVINTERFACE_HID, spelled out so that no HID library is needed.
const GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32, "the notification filter is 32 bytes");

static_assert(kWmDestroy == WM_DESTROY && kWmPaint == WM_PAINT && kWmQueryEndSession == WM_QUERYENDSESSION &&
                  kWmEndSession == WM_ENDSESSION &&
                  kWmQueryDragIcon == WM_QUERYDRAGICON && kWmNcDestroy == WM_NCDESTROY && kWmNcPaint == WM_NCPAINT &&
                  kWmInitDialog == WM_INITDIALOG && kWmCommand == WM_COMMAND && kWmDeviceChange == WM_DEVICECHANGE,
              "the routing's message numbers are Windows' own");

HDEVNOTIFY RegisterHidInterfaces(HWND window) noexcept {
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHidInterfaceClass;
    return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

}  // namespace

std::unique_ptr<AttachWatchDialog> AttachWatchDialog::Create(HINSTANCE instance, DetectorPlatform& platform,
                                                             WorkerServices& services) noexcept {
    try {
        auto session = std::make_shared<WatchSession>(platform, services);
        return std::make_unique<AttachWatchDialog>(instance, std::move(session));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

AttachWatchDialog::AttachWatchDialog(HINSTANCE instance, std::shared_ptr<WatchSession> session) noexcept
    : instance_(instance),
      // LoadIcon's icons are shared by the system and never destroyed.
      appIcon(LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME))),
      session(std::move(session)) {}

INT_PTR AttachWatchDialog::DoModal() noexcept {
    return DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ATTACHWATCH_DIALOG), nullptr, &DialogProcedure,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK AttachWatchDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The dialog object arrives with the initialisation; it is found from the window after that.
    if (HandlerFor(message) == DialogHandler::kInitDialog) {
        auto* dialog = reinterpret_cast<AttachWatchDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->window_ = window;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<AttachWatchDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    return dialog == nullptr ? FALSE : dialog->WindowProcedure(message, wParam, lParam);
}

INT_PTR AttachWatchDialog::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    INT_PTR handlerResult = FALSE;
    switch (HandlerFor(message)) {
    case DialogHandler::kNone:
    case DialogHandler::kInitDialog:  // taken by DialogProcedure
        break;
    case DialogHandler::kDeviceChange:
        HandleDeviceChange(wParam, lParam);
        break;
    case DialogHandler::kSessionEnd:
        SaveAllScreens();
        break;
    case DialogHandler::kEndSession:
        // The session ends, or an installer closes the detector (ENDSESSION_CLOSEAPP): ended
        // as a close request is, so that the process goes at once. FALSE: it goes on.
        if (wParam != FALSE) {
            session->EndWatching();
            EndDialog(window_, IDCANCEL);
        }
        break;
    case DialogHandler::kHideWindow:
        // The modal loop shows every dialog once; hiding here undoes that before
        // any frame is drawn.
        ShowWindow(window_, SW_HIDE);
        break;
    case DialogHandler::kPaint:
        handlerResult = OnPaint();
        break;
    case DialogHandler::kDragIcon:
        handlerResult = reinterpret_cast<INT_PTR>(appIcon);
        break;
    case DialogHandler::kCommand:
        // OK and cancel end the dialog, as the dialog framework does; a close
        // request arrives here as cancel.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window_, LOWORD(wParam));
            handlerResult = TRUE;
        }
        break;
    case DialogHandler::kDestroy:
        notification_.Reset();
        break;
    case DialogHandler::kNcDestroy:
        SetWindowLongPtrA(window_, DWLP_USER, 0);
        window_ = nullptr;
        break;
    }

    const DialogReply reply = ReplyFor(message, handlerResult);
    if (reply.setsMessageResult) SetWindowLongPtrA(window_, DWLP_MSGRESULT, static_cast<LONG_PTR>(TRUE));
    return reply.returned;
}

BOOL AttachWatchDialog::OnInitDialog() noexcept {
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));

    RegistryInstallerKey installerKey;
    // No worker runs yet, so the session's paths are written here alone.
    if (!ReadInstallerKey(installerKey, session->toolCommand, session->settingsPath)) return EndWithoutWatching();

    notification_.Reset(RegisterHidInterfaces(window_));
    if (!notification_) {
        MessageBoxA(window_, "Error registering device notification!", theApp.GetAppName(), MB_OK);
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

void AttachWatchDialog::StartApplyWorker() noexcept { session->StartApplyWorker(); }

void AttachWatchDialog::HandleDeviceChange(WPARAM wParam, LPARAM lParam) noexcept {
    session->HandleDeviceChange(wParam, reinterpret_cast<const void*>(lParam));
}

void AttachWatchDialog::SaveAllScreens() noexcept { session->SaveAllScreens(); }
