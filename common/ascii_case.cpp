#include "ascii_case.h"

#include <cstring>

void UpperCaseAscii(char* text) noexcept {
    for (; text && *text; ++text) *text = UpperAscii(*text);
}

bool EqualsIgnoringAsciiCase(const char* left, const char* right) noexcept {
    if (!left || !right) return false;
    for (; *left && *right; ++left, ++right) {
        if (UpperAscii(*left) != UpperAscii(*right)) return false;
    }
    return *left == *right;
}

bool ContainsIgnoringAsciiCase(const char* text, std::size_t size, const char* needle) noexcept {
    if (!text || !needle) return false;
    std::size_t length = 0;
    while (length < size && text[length] != '\0') ++length;
    const std::size_t needleLength = std::strlen(needle);
    if (needleLength > length) return false;
    for (std::size_t start = 0; start + needleLength <= length; ++start) {
        std::size_t i = 0;
        while (i < needleLength && UpperAscii(text[start + i]) == UpperAscii(needle[i])) ++i;
        if (i == needleLength) return true;
    }
    return false;
}
