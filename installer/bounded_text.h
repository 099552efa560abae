// Text into the installer's fixed 260-byte buffers. A result that does not fit is
// a failure, never a shorter text: a cut path names some other file.
#pragma once

#include "owned_handle.h"

// Copies source whole; on failure dest is left empty.
[[nodiscard]] bool CopyText(char (&dest)[kMaxPath], const char* source) noexcept;

// Formats a pattern holding exactly one %s with argument; on failure dest is left empty.
[[nodiscard]] bool FormatPath(char (&dest)[kMaxPath], const char* format, const char* argument) noexcept;

// Plain ASCII: a to z become A to Z, every other byte stays as it is.
void UpperCaseAscii(char* text) noexcept;

// Whole-text equality, ignoring the case of the ASCII letters only.
[[nodiscard]] bool EqualsIgnoringAsciiCase(const char* left, const char* right) noexcept;
