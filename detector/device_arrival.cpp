#include "device_arrival.h"

#include <cstring>

const char kControllerFilterText[] = "HID#Vid_0a7c&Pid_0030";

namespace {

char LowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::uint32_t ReadField(const void* record, std::uint32_t offset) noexcept {
    std::uint32_t value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
    return value;
}

}  // namespace

bool ContainsIgnoringAsciiCase(const char* text, std::uint32_t size, const char* needle) noexcept {
    std::uint32_t length = 0;
    while (length < size && text[length] != '\0') ++length;
    const std::size_t needleLength = std::strlen(needle);
    if (needleLength > length) return false;
    for (std::uint32_t start = 0; start + needleLength <= length; ++start) {
        std::size_t i = 0;
        while (i < needleLength && LowerAscii(text[start + i]) == LowerAscii(needle[i])) ++i;
        if (i == needleLength) return true;
    }
    return false;
}

bool IsControllerArrival(std::uintptr_t event, const void* record) noexcept {
    // The event is tested before the record is looked at: other events may carry none.
    if (event != kDeviceArrival || record == nullptr) return false;
    const std::uint32_t size = ReadField(record, 0);
    if (size < 8 || ReadField(record, 4) != kDeviceInterfaceType) return false;
    if (size <= kInterfaceNameOffset) return false;
    // Windows reports interface names in capitals or in lower case, never in the
    // filter text's mixed case.
    const char* name = static_cast<const char*>(record) + kInterfaceNameOffset;
    return ContainsIgnoringAsciiCase(name, size - kInterfaceNameOffset, kControllerFilterText);
}
