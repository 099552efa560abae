#include "shared_contract.h"

#include "ascii_case.h"

namespace {

bool IsHexDigit(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool IsLeftoverTemporaryName(const char* name) noexcept {
    if (name == nullptr || UpperAscii(name[0]) != 'P' || UpperAscii(name[1]) != 'N' || UpperAscii(name[2]) != 'L') {
        return false;
    }
    std::size_t digits = 0;
    while (digits < 4 && IsHexDigit(name[3 + digits])) ++digits;
    return digits > 0 && EqualsIgnoringAsciiCase(name + 3 + digits, ".TMP");
}
