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

// Lets the compiler check a printf-style function's arguments against its format.
#if defined(__GNUC__)
#define ORVA_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define ORVA_PRINTF(formatIndex, firstArgument)
#endif

// printf-style formatting into dest (size bytes, terminator included). On failure
// (the result does not fit, or the format fails) dest is left empty.
// (The standard attribute comes first: clang accepts no standard attribute after a GNU one.)
[[nodiscard]] ORVA_PRINTF(3, 4) bool FormatWhole(char* dest, std::size_t size, const char* format, ...) noexcept;
