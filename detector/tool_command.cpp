#include "tool_command.h"

#include "bounded_text.h"

#include <cstring>

bool PrepareToolCommandLine(const char* stored, bool namesExistingFile, char* commandLine,
                            std::size_t size) noexcept {
    const bool quote = namesExistingFile && std::strchr(stored, '"') == nullptr;
    return FormatWhole(commandLine, size, quote ? "\"%s\"" : "%s", stored);
}
