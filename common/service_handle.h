// Use ServiceHandle for a handle closed through the service that opened it, so that a fake sees the close; UniqueResource (unique_handle.h) for one closed by its own Win32 call.
#pragma once

#include <cstdint>
#include <utility>

// A Windows handle (HANDLE or HKEY) as the portable code sees it: opaque.
using OsHandle = void*;

// Both NULL and INVALID_HANDLE_VALUE mean "no handle" (Tool Help and CreateFile report
// failure with the latter, most other calls with the former).
inline bool IsHandle(const void* handle) noexcept {
    return handle != nullptr && handle != reinterpret_cast<const void*>(static_cast<std::intptr_t>(-1));
}

struct OsHandleTraits {
    static constexpr OsHandle kNone = nullptr;
    static bool IsValid(OsHandle handle) noexcept { return IsHandle(handle); }
};

// Owns one handle of service and closes it with (service.*close)(handle). Never copied;
// moving hands the handle on. Traits gives the value an empty owner holds (kNone) and
// tells a real handle from the "none" values (IsValid), which may be more than one.
template <typename Service, typename Handle, void (Service::*close)(Handle) noexcept, typename Traits>
class ServiceHandle {
public:
    ServiceHandle() noexcept = default;
    ServiceHandle(Service& service, Handle handle) noexcept : service_(&service), handle_(handle) {}
    ~ServiceHandle() { Reset(); }

    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ServiceHandle(ServiceHandle&& other) noexcept
        : service_(other.service_), handle_(std::exchange(other.handle_, Traits::kNone)) {}
    ServiceHandle& operator=(ServiceHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            service_ = other.service_;
            handle_ = std::exchange(other.handle_, Traits::kNone);
        }
        return *this;
    }

    [[nodiscard]] bool IsValid() const noexcept { return Traits::IsValid(handle_); }
    [[nodiscard]] Handle Get() const noexcept { return handle_; }

    void Reset() noexcept {
        const Handle handle = std::exchange(handle_, Traits::kNone);
        if (Traits::IsValid(handle) && service_ != nullptr) (service_->*close)(handle);
    }

    void Reset(Service& service, Handle handle) noexcept {
        Reset();
        service_ = &service;
        handle_ = handle;
    }

private:
    Service* service_ = nullptr;
    Handle handle_ = Traits::kNone;
};

template <typename Service, void (Service::*close)(OsHandle) noexcept>
using OwnedHandle = ServiceHandle<Service, OsHandle, close, OsHandleTraits>;
