#include "bounded_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool CopyWhole(char* dest, std::size_t size, const char* source) noexcept {
    if (size == 0) return false;
    const std::size_t length = source ? std::strlen(source) : 0;
    if (!source || length >= size) {
        dest[0] = '\0';
        return false;
    }
    std::memcpy(dest, source, length + 1);
    return true;
}

bool FormatWhole(char* dest, std::size_t size, const char* format, ...) noexcept {
    if (size == 0) return false;
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(dest, size, format, arguments);
    va_end(arguments);
    // Some C runtimes return -1 and leave no terminator on overflow; both read as failure.
    if (written < 0 || static_cast<std::size_t>(written) >= size) {
        dest[0] = '\0';
        return false;
    }
    return true;
}
