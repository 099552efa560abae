// A small program the Wine tests start under names such as hidwatch.exe.
//   sleep MS CODE          waits MS milliseconds, then ends with exit code CODE
//   cwd FILE               writes its current directory into FILE
//   source-folder FILE     writes the installer's source folder, worked out from its own path
//   load DLL               exit code 1 when DLL loads by its bare name, 0 when not
//   load-restricted DLL    the same after the installer's DLL search restriction
//   hold FILE MS READY     holds FILE open against deletion for MS milliseconds, writing READY once it does
#include "entry.h"
#include "platform.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int WriteText(const char* file, const char* text) {
    FILE* out = std::fopen(file, "w");
    if (!out) return 2;
    std::fputs(text, out);
    return std::fclose(out) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
        return std::atoi(argv[3]);
    }
    if (argc == 3 && std::strcmp(argv[1], "cwd") == 0) {
        char folder[MAX_PATH];
        DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
        if (length == 0 || length >= MAX_PATH) return 3;
        return WriteText(argv[2], folder);
    }
    if (argc == 3 && std::strcmp(argv[1], "source-folder") == 0) {
        UseWindowsPlatform();
        char folder[kMaxPath];
        if (!FindSourceFolder(folder)) return 3;
        return WriteText(argv[2], folder);
    }
    if (argc == 3 && (std::strcmp(argv[1], "load") == 0 || std::strcmp(argv[1], "load-restricted") == 0)) {
        if (std::strcmp(argv[1], "load-restricted") == 0) RestrictDllSearch();
        return LoadLibraryA(argv[2]) ? 1 : 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "hold") == 0) {
        const UniqueHandle file(CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || WriteText(argv[4], "held") != 0) return 2;
        Sleep(static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
        return 0;
    }
    return 64;
}
