// The installer's one piece of user interface.
#pragma once

class MessageBoxApi {
public:
    virtual ~MessageBoxApi() = default;
    // A modal box with no owner, the system's default caption and MB_OK.
    virtual void ShowError(const char* text) noexcept = 0;
};

#if defined(_WIN32)
MessageBoxApi& WindowsMessageBoxApi() noexcept;
#endif
