// How the hidden dialog's procedure treats each window message: which of its
// handlers runs, whether the default dialog handling sees the message as well, and
// what Windows is answered. A plain function, so that a table can check it.
#pragma once

#include <cstdint>

// The message numbers the dialog tells apart (checked against <windows.h> where the
// procedure is).
constexpr std::uint32_t kWmDestroy = 0x0002;
constexpr std::uint32_t kWmPaint = 0x000F;
constexpr std::uint32_t kWmQueryEndSession = 0x0011;
constexpr std::uint32_t kWmQueryDragIcon = 0x0037;
constexpr std::uint32_t kWmNcDestroy = 0x0082;
constexpr std::uint32_t kWmNcPaint = 0x0085;
constexpr std::uint32_t kWmInitDialog = 0x0110;
constexpr std::uint32_t kWmCommand = 0x0111;
constexpr std::uint32_t kWmDeviceChange = 0x0219;

enum class DialogHandler {
    kNone,
    kInitDialog,    // reads the installer key, registers for notifications, starts the start-up worker
    kDeviceChange,  // HandleDeviceChange(wParam, lParam)
    kSessionEnd,    // SaveAllScreens()
    kHideWindow,    // ShowWindow(SW_HIDE), so that no frame is ever drawn
    kPaint,         // the icon of a minimised dialog, else declines
    kDragIcon,      // answers with the icon
    kCommand,       // OK and cancel end the dialog, anything else declines
    kDestroy,       // undoes the notification registration
    kNcDestroy,     // forgets the window
};

enum class PassOn {
    kNever,
    kAlways,
    kWhenHandlerDeclines,  // the handler's FALSE passes the message on
};

enum class DialogAnswer {
    kDefault,        // what the default dialog handling answers
    kTrue,           // TRUE, through DWLP_MSGRESULT
    kHandled,        // answered here; the dialog manager answers 0
    kHandlerResult,  // the handler's own result (a handle, or TRUE)
};

struct DialogRoute {
    DialogHandler handler;
    PassOn passOn;
    DialogAnswer answer;
};

[[nodiscard]] DialogRoute RouteDialogMessage(std::uint32_t message) noexcept;
