#include "command_lines.h"

#include "bounded_text.h"

bool PathInFolder(char (&dest)[kMaxPath], const char* folder, const char* name) noexcept {
    dest[0] = '\0';
    return IsKnownFolder(folder) && name && FormatWhole(dest, sizeof dest, "%s\\%s", folder, name);
}

bool EngineCommand(char (&dest)[kMaxPath], const char* commandLineTail) noexcept {
    return FormatWhole(dest, sizeof dest, "kx.exe %s", commandLineTail ? commandLineTail : "");
}

bool DetectorCommand(char (&dest)[kMaxPath], const char* installFolder) noexcept {
    dest[0] = '\0';
    return IsKnownFolder(installFolder) &&
           FormatWhole(dest, sizeof dest, "\"%s\\%s\"", installFolder, kDetectorProcessName);
}

bool ScriptCommand(char (&dest)[kMaxPath], const char* systemFolder, const char* installFolder,
                   const char* argument) noexcept {
    dest[0] = '\0';
    return IsKnownFolder(systemFolder) && IsKnownFolder(installFolder) && argument &&
           FormatWhole(dest, sizeof dest, "\"%s\\cmd.exe\" /s /c \"\"%s\\menulinks.bat\" %s\"", systemFolder,
                       installFolder, argument);
}
