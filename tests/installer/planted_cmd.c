/* Planted beside the installer under the name cmd.exe: notes in ORVA_PLANTED_RECORD
   that it ran, which must never happen. */
#include <windows.h>

int main(void) {
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("ORVA_PLANTED_RECORD", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, line, lstrlenA(line), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
    return 0;
}
