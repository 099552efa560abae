#include "bounded_text.h"

#include <cstdio>
#include <cstring>

namespace {

char AsciiUpper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool CopyText(char (&dest)[kMaxPath], const char* source) noexcept {
    std::size_t length = source ? std::strlen(source) : 0;
    if (!source || length >= kMaxPath) {
        dest[0] = '\0';
        return false;
    }
    std::memcpy(dest, source, length + 1);
    return true;
}

bool FormatPath(char (&dest)[kMaxPath], const char* format, const char* argument) noexcept {
    // Some C runtimes return -1 and leave no terminator on overflow; both read as failure.
    int written = std::snprintf(dest, kMaxPath, format, argument ? argument : "");
    if (written < 0 || static_cast<std::size_t>(written) >= kMaxPath) {
        dest[0] = '\0';
        return false;
    }
    return true;
}

void UpperCaseAscii(char* text) noexcept {
    for (; text && *text; ++text) *text = AsciiUpper(*text);
}

bool EqualsIgnoringAsciiCase(const char* left, const char* right) noexcept {
    if (!left || !right) return false;
    for (; *left && *right; ++left, ++right) {
        if (AsciiUpper(*left) != AsciiUpper(*right)) return false;
    }
    return *left == *right;
}
