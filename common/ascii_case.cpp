#include "ascii_case.h"

#include <algorithm>
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
    const char* const end = std::find(text, text + size, '\0');
    const char* const needleEnd = needle + std::strlen(needle);
    const auto sameLetter = [](char left, char right) { return UpperAscii(left) == UpperAscii(right); };
    // An empty needle stands even within an empty text, where the search finds no place.
    return needle == needleEnd || std::search(text, end, needle, needleEnd, sameLetter) != end;
}
