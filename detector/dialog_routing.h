// How the hidden dialog's procedure treats each window message: which of its
// handlers runs, and what Windows is answered once it has. Plain functions, so that
// a table can check them.
#pragma once

#include <cstdint>

// The message numbers the dialog tells apart (checked against <windows.h> where the
// procedure is).
constexpr std::uint32_t kWmDestroy = 0x0002;
constexpr std::uint32_t kWmPaint = 0x000F;
constexpr std::uint32_t kWmQueryEndSession = 0x0011;
constexpr std::uint32_t kWmEndSession = 0x0016;
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
    kEndSession,    // ends the dialog when the session (or, for an installer, the program) ends
    kHideWindow,    // ShowWindow(SW_HIDE), so that no frame is ever drawn
    kPaint,         // the icon of a minimised dialog, else declines
    kDragIcon,      // answers with the icon
    kCommand,       // OK and cancel end the dialog, anything else declines
    kDestroy,       // undoes the notification registration
    kNcDestroy,     // forgets the window
};

[[nodiscard]] DialogHandler HandlerFor(std::uint32_t message) noexcept;

// What the dialog procedure returns after the handler answered handlerResult (FALSE
// when it declined or has no answer). A FALSE return passes the message on to the
// default dialog handling. setsMessageResult: TRUE is stored as the message's own
// answer (DWLP_MSGRESULT) first, for a message whose answer is not the return value.
struct DialogReply {
    std::intptr_t returned;
    bool setsMessageResult;
};

[[nodiscard]] DialogReply ReplyFor(std::uint32_t message, std::intptr_t handlerResult) noexcept;
