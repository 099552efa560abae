// Text into fixed buffers. A result that does not fit is a failure, never a shorter
// text: a cut path names some other file, a cut command line runs something else.
#pragma once

#include <cstddef>

// Copies source whole into dest (size bytes, terminator included). On failure
// (source null or too long) dest is left empty.
[[nodiscard]] bool CopyWhole(char* dest, std::size_t size, const char* source) noexcept;

template <std::size_t size>
[[nodiscard]] bool CopyWhole(char (&dest)[size], const char* source) noexcept {
    return CopyWhole(dest, size, source);
}

// printf-style formatting into dest (size bytes, terminator included). On failure
// (the result does not fit, or the format fails) dest is left empty.
// (The standard attribute comes first: clang accepts no standard attribute after a GNU one.)
[[nodiscard]]
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
bool FormatWhole(char* dest, std::size_t size, const char* format, ...) noexcept;
