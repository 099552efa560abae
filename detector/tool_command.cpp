#include "tool_command.h"

#include <cstring>

bool PrepareToolCommandLine(const char* stored, bool namesExistingFile, char* commandLine,
                            std::size_t size) noexcept {
    const std::size_t length = std::strlen(stored);
    const bool quote = namesExistingFile && std::strchr(stored, '"') == nullptr;
    const std::size_t needed = length + (quote ? 2 : 0) + 1;
    if (needed > size) return false;
    char* out = commandLine;
    if (quote) *out++ = '"';
    std::memcpy(out, stored, length);
    out += length;
    if (quote) *out++ = '"';
    *out = '\0';
    return true;
}
