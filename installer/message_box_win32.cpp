#include "message_box.h"

#include <windows.h>

namespace {

class WindowsMessageBox final : public MessageBoxApi {
public:
    void ShowError(const char* text) noexcept override { MessageBoxA(nullptr, text, nullptr, MB_OK); }
};

}  // namespace

MessageBoxApi& WindowsMessageBoxApi() noexcept {
    static WindowsMessageBox messageBox;
    return messageBox;
}
