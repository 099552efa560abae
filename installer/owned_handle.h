// Handles the portable installer code receives from its platform services, and the
// owner that closes them through those services.
#pragma once

#include "service_handle.h"

#include <cstddef>
#include <cstdint>

// A Windows handle (HANDLE or HKEY) as the portable code sees it: opaque.
using OsHandle = void*;

// Paths and command lines live in buffers of this size, terminator included.
constexpr std::size_t kMaxPath = 260;

// Both NULL and INVALID_HANDLE_VALUE mean "no handle" (Tool Help and CreateFile
// report failure with the latter, most other calls with the former).
inline bool IsHandle(OsHandle handle) noexcept {
    return handle != nullptr && handle != reinterpret_cast<OsHandle>(static_cast<std::intptr_t>(-1));
}

struct OsHandleTraits {
    static constexpr OsHandle kNone = nullptr;
    static bool IsValid(OsHandle handle) noexcept { return IsHandle(handle); }
};

// Owns one handle and closes it through the service that produced it.
template <typename Api, void (Api::*CloseHandleOf)(OsHandle) noexcept>
using OwnedHandle = ServiceHandle<Api, OsHandle, CloseHandleOf, OsHandleTraits>;
