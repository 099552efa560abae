// Which device-change notifications announce the touch controller's arrival.
#pragma once

#include <cstdint>

constexpr std::uintptr_t kDeviceArrival = 0x8000;      // DBT_DEVICEARRIVAL
constexpr std::uint32_t kDeviceInterfaceType = 5;      // DBT_DEVTYP_DEVICEINTERFACE
constexpr std::uint32_t kInterfaceNameOffset = 28;     // dbcc_name in DEV_BROADCAST_DEVICEINTERFACE_A

// The controller's vendor and product, as the filter text spells them.
extern const char kControllerFilterText[];  // "HID#Vid_0a7c&Pid_0030"

// True for an arrival (event) of a device interface whose name contains the filter
// text in any ASCII letter case. record is the notification's DEV_BROADCAST_HDR;
// nothing beyond its dbch_size bytes is read.
[[nodiscard]] bool IsControllerArrival(std::uintptr_t event, const void* record) noexcept;
