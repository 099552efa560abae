// Use UniqueResource for a Win32 handle closed by its own system call; ServiceHandle (service_handle.h) for one closed through a service that tests replace.
#pragma once

#include <windows.h>

#include <utility>

// Closes a handle and leaves GetLastError() as it was, so that a failure can still
// be read after the handles of a failed step are gone.
template <typename Handle, typename Close>
void CloseKeepingLastError(Handle handle, Close close) noexcept {
    const DWORD error = GetLastError();
    close(handle);
    SetLastError(error);
}

// Closes its handle when it goes; never copied, moving hands it on. NULL and
// INVALID_HANDLE_VALUE both mean "none" (Tool Help and CreateFile fail with the latter).
template <typename Handle, typename Close, Close close>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, Handle{}));
        return *this;
    }

    [[nodiscard]] bool IsValid() const noexcept {
        return handle_ != Handle{} && handle_ != reinterpret_cast<Handle>(INVALID_HANDLE_VALUE);
    }
    explicit operator bool() const noexcept { return IsValid(); }
    [[nodiscard]] Handle Get() const noexcept { return handle_; }
    // For the Win32 calls that return a handle through a pointer; closes the old one first.
    Handle* Receive() noexcept {
        Reset();
        return &handle_;
    }
    [[nodiscard]] Handle Release() noexcept { return std::exchange(handle_, Handle{}); }

    void Reset(Handle handle = Handle{}) noexcept {
        if (IsValid()) CloseKeepingLastError(handle_, close);
        handle_ = handle;
    }

private:
    Handle handle_{};
};

using UniqueHandle = UniqueResource<HANDLE, decltype(&CloseHandle), &CloseHandle>;
using UniqueRegKey = UniqueResource<HKEY, decltype(&RegCloseKey), &RegCloseKey>;
using UniqueModule = UniqueResource<HMODULE, decltype(&FreeLibrary), &FreeLibrary>;
using UniqueFindHandle = UniqueResource<HANDLE, decltype(&FindClose), &FindClose>;
using UniqueDeviceNotification =
    UniqueResource<HDEVNOTIFY, decltype(&UnregisterDeviceNotification), &UnregisterDeviceNotification>;

// The two handles CreateProcess returns. Members close in reverse order: the thread
// is declared first so that the process closes first, as the system's own tools do.
struct UniqueProcessInformation {
    UniqueHandle thread;
    UniqueHandle process;
    DWORD processId = 0;

    void Adopt(const PROCESS_INFORMATION& info) noexcept {
        process.Reset(info.hProcess);
        thread.Reset(info.hThread);
        processId = info.dwProcessId;
    }
};
