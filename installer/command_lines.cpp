#include "command_lines.h"

#include "bounded_text.h"

bool PathInFolder(char (&dest)[kMaxPath], const char* folder, const char* name) noexcept {
    if (!IsKnownFolder(folder) || !name) {
        dest[0] = '\0';
        return false;
    }
    return FormatWhole(dest, sizeof dest, "%s\\%s", folder, name);
}

bool EngineCommand(char (&dest)[kMaxPath], const char* commandLineTail) noexcept {
    return FormatWhole(dest, sizeof dest, "kx.exe %s", commandLineTail ? commandLineTail : "");
}

bool DetectorCommand(char (&dest)[kMaxPath], const char* installFolder) noexcept {
    if (!IsKnownFolder(installFolder)) {
        dest[0] = '\0';
        return false;
    }
    return FormatWhole(dest, sizeof dest, "\"%s\\%s\"", installFolder, kDetectorProcessName);
}

bool ScriptCommand(char (&dest)[kMaxPath], const char* systemFolder, const char* installFolder,
                   const char* argument) noexcept {
    if (!IsKnownFolder(systemFolder) || !IsKnownFolder(installFolder) || !argument) {
        dest[0] = '\0';
        return false;
    }
    return FormatWhole(dest, sizeof dest, "\"%s\\cmd.exe\" /s /c \"\"%s\\menulinks.bat\" %s\"", systemFolder,
                       installFolder, argument);
}
