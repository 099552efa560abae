// Handles the portable installer code receives from its platform services,
// and the one owner type that closes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

// A Windows handle (HANDLE or HKEY) as the portable code sees it: opaque.
using OsHandle = void*;

// Paths and command lines live in buffers of this size, terminator included.
constexpr std::size_t kMaxPath = 260;

// Both NULL and INVALID_HANDLE_VALUE mean "no handle" (Tool Help and CreateFile
// report failure with the latter, most other calls with the former).
inline bool IsHandle(OsHandle handle) noexcept {
    return handle != nullptr && handle != reinterpret_cast<OsHandle>(static_cast<std::intptr_t>(-1));
}

// Owns one handle and closes it through the service that produced it.
// Never copied; moving hands the handle on.
template <typename Api, void (Api::*CloseHandleOf)(OsHandle) noexcept>
class OwnedHandle {
public:
    OwnedHandle() noexcept = default;
    OwnedHandle(Api& api, OsHandle handle) noexcept : api_(&api), handle_(handle) {}
    ~OwnedHandle() { Close(); }

    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept
        : api_(other.api_), handle_(std::exchange(other.handle_, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            api_ = other.api_;
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    // Closes the held handle at once, then holds the new one.
    void Reset(Api& api, OsHandle handle) noexcept {
        Close();
        api_ = &api;
        handle_ = handle;
    }

    void Close() noexcept {
        OsHandle handle = std::exchange(handle_, nullptr);
        if (IsHandle(handle)) (api_->*CloseHandleOf)(handle);
    }

    [[nodiscard]] bool IsOpen() const noexcept { return IsHandle(handle_); }
    [[nodiscard]] OsHandle Get() const noexcept { return handle_; }

private:
    Api* api_ = nullptr;
    OsHandle handle_ = nullptr;
};
