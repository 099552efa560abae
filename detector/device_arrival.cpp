#include "device_arrival.h"

#include "ascii_case.h"

#include <cstring>

const char kControllerFilterText[] = "HID#Vid_0a7c&Pid_0030";

namespace {

std::uint32_t ReadField(const void* record, std::uint32_t offset) noexcept {
    std::uint32_t value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
    return value;
}

}  // namespace

bool IsControllerArrival(std::uintptr_t event, const void* record) noexcept {
    // The event is tested before the record is looked at: other events may carry none.
    if (event != kDeviceArrival || record == nullptr) return false;
    const std::uint32_t size = ReadField(record, 0);
    if (size <= kInterfaceNameOffset || ReadField(record, 4) != kDeviceInterfaceType) return false;
    // Windows reports interface names in capitals or in lower case, never in the
    // filter text's mixed case.
    const char* name = static_cast<const char*>(record) + kInterfaceNameOffset;
    return ContainsIgnoringAsciiCase(name, size - kInterfaceNameOffset, kControllerFilterText);
}
