// ASCII letter case, the one fold of the programs: a to z and A to Z only, every
// other byte as it is. Names and switches are ASCII; a code-page fold would make
// the result depend on the user's locale. UTF-16 units fold the same way.
#pragma once

#include <cstddef>

template <typename Unit>
[[nodiscard]] constexpr Unit UpperAscii(Unit c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<Unit>(c - 'a' + 'A') : c;
}

void UpperCaseAscii(char* text) noexcept;

// Whole-text equality, ignoring the case of the ASCII letters only. False when
// either side is null.
[[nodiscard]] bool EqualsIgnoringAsciiCase(const char* left, const char* right) noexcept;

// True when needle stands within text, ignoring ASCII case. Reads no more than size
// bytes of text and stops at a NUL before them.
[[nodiscard]] bool ContainsIgnoringAsciiCase(const char* text, std::size_t size, const char* needle) noexcept;
