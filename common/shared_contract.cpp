#include "shared_contract.h"

#include "ascii_case.h"

#include <cctype>

bool IsLeftoverTemporaryName(const char* name) noexcept {
    if (name == nullptr || UpperAscii(name[0]) != 'P' || UpperAscii(name[1]) != 'N' || UpperAscii(name[2]) != 'L') {
        return false;
    }
    std::size_t digits = 0;
    while (digits < 4 && std::isxdigit(static_cast<unsigned char>(name[3 + digits]))) ++digits;
    return digits > 0 && EqualsIgnoringAsciiCase(name + 3 + digits, ".TMP");
}
