#include "command_lines.h"

#include <cstdarg>
#include <cstdio>

namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool FormatWhole(char (&dest)[kMaxPath], const char* format, ...) noexcept {
    va_list arguments;
    va_start(arguments, format);
    int written = std::vsnprintf(dest, kMaxPath, format, arguments);
    va_end(arguments);
    // Some C runtimes return -1 and leave no terminator on overflow; both read as failure.
    if (written < 0 || static_cast<std::size_t>(written) >= kMaxPath) {
        dest[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace

bool PathInFolder(char (&dest)[kMaxPath], const char* folder, const char* name) noexcept {
    if (!IsKnownFolder(folder) || !name) {
        dest[0] = '\0';
        return false;
    }
    return FormatWhole(dest, "%s\\%s", folder, name);
}

bool EngineCommand(char (&dest)[kMaxPath], const char* commandLineTail) noexcept {
    return FormatWhole(dest, "kx.exe %s", commandLineTail ? commandLineTail : "");
}

bool DetectorCommand(char (&dest)[kMaxPath], const char* installFolder) noexcept {
    if (!IsKnownFolder(installFolder)) {
        dest[0] = '\0';
        return false;
    }
    return FormatWhole(dest, "\"%s\\hidwatch.exe\"", installFolder);
}

bool ScriptCommand(char (&dest)[kMaxPath], const char* systemFolder, const char* installFolder,
                   const char* argument) noexcept {
    if (!IsKnownFolder(systemFolder) || !IsKnownFolder(installFolder) || !argument) {
        dest[0] = '\0';
        return false;
    }
    return FormatWhole(dest, "\"%s\\cmd.exe\" /s /c \"\"%s\\menulinks.bat\" %s\"", systemFolder, installFolder,
                       argument);
}
