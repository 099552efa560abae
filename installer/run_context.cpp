#include "run_context.h"

#include "install_log.h"
#include "message_box.h"
#include "platform.h"

const char* WhyNoUserIsThere() noexcept {
    RunContextApi& context = *Platform().context;
    if (context.RunsAsSystem()) return "runs as SYSTEM";
    if (context.SessionId() == 0) return "runs in session 0";
    return nullptr;
}

void ShowError(const char* text) noexcept {
    const char* why = WhyNoUserIsThere();
    if (why == nullptr && !Platform().context->WindowStationVisible()) why = "window station not visible";
    if (why != nullptr) {
        LogLine("message box not shown (%s): %s", why, text);
        return;
    }
    LogLine("message box: %s", text);
    Platform().messageBox->ShowError(text);
}
